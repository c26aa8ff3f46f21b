#pragma once

#include <QString>

// The program's string table (ids in ResourceIds.h). GUI-free; any thread may call it.
// An unknown id gives an empty string.
QString LoadString(int id);

// True for the ids whose message box carries the exclamation icon (the data-exchange texts).
bool IsDataExchangeString(int id);
