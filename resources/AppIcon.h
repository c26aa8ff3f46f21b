#pragma once

#include <QIcon>

// The application icon (resource id 128): 16, 32 and 48 pixel images. GUI thread only.
QIcon AppIcon();
