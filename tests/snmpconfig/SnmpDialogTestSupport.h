#pragma once

#include "resources/CIpAddressCtrl.h"
#include "snmpconfig/CSnmpAccess.h"
#include "resources/CTemplateDialog.h"
#include "tests/support/SimProcess.h"
#include "snmpconfig/SnmpDialogSupport.h"
#include "tests/snmpconfig/SnmpTestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <map>

// Shared by the SNMP dialog tests: simulated boards on 127.0.0.x and their agent's log, rendered
// as one line per request so that a whole exchange compares in one QCOMPARE.

namespace SnmpDialogTest {

inline const QString kPrefix = QStringLiteral("1.3.6.1.4.1.32473.1.4.");

// The board's variable under the enterprise prefix, e.g. Oid("2.10.0").
inline QString Oid(const char* tail)
{
    return kPrefix + QLatin1String(tail);
}

// A board of the simulator at this 127.0.0.x address.
inline QJsonObject Board(const QString& ip, const QJsonObject& snmp)
{
    return ::Board(ip.section(QLatin1Char('.'), 3).toInt(), snmp);
}

// Starts the simulator with these boards, points access at its agent port and lets every request
// wait as the program's do.
inline bool StartBoards(SimProcess& sim, CSnmpAccess& access, const QJsonArray& boards)
{
    if (!StartSimulator(sim, boards))
        return false;
    access.SetAgentPortForTesting(sim.SnmpPort());
    InstallSnmpWaitHook(access);
    return true;
}

// The requests a board (or, with an empty name, any board) received after the first `skip` log
// entries, one line each:
//   "get 2.2.0 2.4.0"    "set 2.2.0=INTEGER:1 2.4.0=IpAddress:192.0.2.7"
inline QStringList Requests(const SimProcess& sim, const QString& board, qsizetype skip = 0)
{
    std::map<qint64, QString> lines;
    const QList<QJsonObject> entries = sim.LogEntries();
    for (qsizetype i = skip; i < entries.size(); ++i) {
        const QJsonObject& e = entries[i];
        if (!e.contains(QStringLiteral("snmp")) ||
            (!board.isEmpty() && e.value(QStringLiteral("board")).toString() != board))
            continue;
        const QString op = e.value(QStringLiteral("snmp")).toString();
        QString oid = e.value(QStringLiteral("oid")).toString();
        if (oid.startsWith(kPrefix))
            oid.remove(0, kPrefix.size());
        QString& line = lines[e.value(QStringLiteral("request")).toInteger()];
        if (line.isEmpty())
            line = op;
        line += QLatin1Char(' ') + oid;
        if (op == QLatin1String("set")) {
            const QJsonValue value = e.value(QStringLiteral("value"));
            line += QLatin1Char('=') + e.value(QStringLiteral("type")).toString() + QLatin1Char(':') +
                    (value.isString() ? value.toString() : QString::number(value.toInteger()));
        }
    }
    QStringList result;
    for (const auto& [number, line] : lines)
        result << line;
    return result;
}

inline const QString kCommit = QStringLiteral("set 1.2.0=INTEGER:1");

// Runs the dialog modally, calls body once the dialog is shown, then closes it with Cancel (unless
// body ended it). Returns the dialog's result; ran tells whether body ran at all. Timers run while
// the reads of the dialog's initialisation wait, so a plain queued call could come too early.
inline int RunDialog(CTemplateDialog& dialog, const std::function<void()>& body, bool* ran = nullptr)
{
    auto* shown = new QTimer(&dialog);
    shown->setInterval(5);
    QObject::connect(shown, &QTimer::timeout, &dialog, [&dialog, shown, body, ran] {
        if (!dialog.isVisible())
            return;
        shown->stop();
        body();
        if (ran)
            *ran = true;
        dialog.EndDialog(IDCANCEL);
    });
    shown->start();
    return dialog.DoModal();
}

inline quint32 HostOrder(int a, int b, int c, int d)
{
    return quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | quint32(d);
}

inline quint32 Host(const QString& dotted)
{
    const QStringList parts = dotted.split(QLatin1Char('.'));
    return HostOrder(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
}

// What an address control shows, with the number of filled fields: "192.0.2.1/4".
inline QString Shown(const CIpAddressCtrl* control)
{
    quint32 a = 0;
    const int filled = control->GetAddress(a);
    return QStringLiteral("%1.%2.%3.%4/%5")
        .arg(a >> 24)
        .arg((a >> 16) & 255)
        .arg((a >> 8) & 255)
        .arg(a & 255)
        .arg(filled);
}

} // namespace SnmpDialogTest
