#pragma once

#include <QJsonObject>
#include <QString>

#include <string_view>

// The simulator's JSON-lines log. Each entry is one write() on an O_APPEND descriptor, so the SNMP
// agent process (which inherits the descriptor) can append to the same file without tearing lines.
// Every entry gets "t", milliseconds of CLOCK_MONOTONIC, comparable across both processes.
class SimLog
{
  public:
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog&) = delete;
    SimLog& operator=(const SimLog&) = delete;

    bool Open(const QString& path, QString& error);
    bool IsOpen() const { return m_fd >= 0; }
    void Write(QJsonObject entry) const;
    // The hot path of the node protocol: fields already in JSON, without the braces.
    void WriteFields(std::string_view fields) const;

  private:
    static double NowMs();
    void WriteLine(const char* data, std::size_t length) const;

    int m_fd = -1;
};
