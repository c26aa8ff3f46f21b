#pragma once

#include <QString>

// lanfinch-cli's exit statuses. A batch ends with the worst (highest) status of its boards.
enum class CliStatus : int
{
    Done = 0,
    OutputFailed = 1, // the output could not be written (a full disk, a closed pipe); any other failure wins
    BadInput = 2,     // bad usage or invalid input; nothing was written
    Refused = 3,      // a board refused a request, answered unreadably, or a read-back differed
    NoReply = 4,      // a board did not answer in time
    NotSent = 5,      // a request could not be sent
    NotFound = 6,     // no board answered the search for a MAC
};

constexpr CliStatus Worst(CliStatus a, CliStatus b)
{
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

// The worst status of a batch's per-board results (anything with a status member).
template <class Results> CliStatus WorstStatus(const Results& results)
{
    CliStatus worst = CliStatus::Done;
    for (const auto& result : results)
        worst = Worst(worst, result.status);
    return worst;
}

// The result word of a status in a batch's report: ok, invalid, refused, no reply, not sent, not found.
inline QString ResultWord(CliStatus status)
{
    switch (status) {
    case CliStatus::Done:
        return QStringLiteral("ok");
    case CliStatus::OutputFailed:
        return QStringLiteral("output failed");
    case CliStatus::BadInput:
        return QStringLiteral("invalid");
    case CliStatus::Refused:
        return QStringLiteral("refused");
    case CliStatus::NoReply:
        return QStringLiteral("no reply");
    case CliStatus::NotSent:
        return QStringLiteral("not sent");
    case CliStatus::NotFound:
        return QStringLiteral("not found");
    }
    return {};
}
