#pragma once

#include <QByteArray>

class QIODevice;

// The rest of an open file that a command reads (a plan, a settings document) as its parser takes
// it: without the UTF-8 byte-order mark that some editors write at the start of a file.
QByteArray ReadInputText(QIODevice& file);
