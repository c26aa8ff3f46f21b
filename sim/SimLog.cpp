#include "sim/SimLog.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <fcntl.h>
#include <unistd.h>

SimLog::~SimLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SimLog::Open(const QString& path, QString& error)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    return true;
}

double SimLog::NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec / 1000000);
}

void SimLog::Write(QJsonObject entry) const
{
    if (m_fd < 0)
        return;
    entry.insert(QStringLiteral("t"), NowMs());
    QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact);
    line += '\n';
    WriteLine(line.constData(), static_cast<std::size_t>(line.size()));
}

void SimLog::WriteFields(std::string_view fields) const
{
    if (m_fd < 0)
        return;
    std::string line;
    line.reserve(fields.size() + 32);
    line += '{';
    line += fields;
    line += ",\"t\":";
    line += std::to_string(static_cast<long long>(NowMs()));
    line += "}\n";
    WriteLine(line.data(), line.size());
}

void SimLog::WriteLine(const char* data, std::size_t left) const
{
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}
