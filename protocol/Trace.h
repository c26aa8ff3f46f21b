#pragma once

#include <functional>
#include <string>

// Diagnostic trace lines. Debug builds write them to stderr (or to a sink a test installs);
// release builds compile every LF_TRACE away.

namespace lanfinch {

void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Replaces where trace lines go; an empty function restores stderr. Safe from any thread.
void SetTraceSink(std::function<void(const std::string&)> sink);

} // namespace lanfinch

#ifdef NDEBUG
#define LF_TRACE(...) ((void)0)
#else
#define LF_TRACE(...) ::lanfinch::TraceLine(__VA_ARGS__)
#endif
