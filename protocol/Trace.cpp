#include "protocol/Trace.h"

#include "protocol/CNodeReceiver.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace lanfinch {
namespace {

std::mutex g_sinkMutex;
std::function<void(const std::string&)> g_sink;

} // namespace

void TraceLine(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);

    std::lock_guard lock(g_sinkMutex);
    if (g_sink) {
        g_sink(buffer);
    } else {
        std::fputs(buffer, stderr);
    }
}

void SetTraceSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(sink);
}

} // namespace lanfinch

void ReportDroppedRecords(std::size_t count)
{
    if (count > 0) {
        LF_TRACE("receive queue full, %zu records dropped\n", count);
    }
}
