#pragma once

class SnmpLoop;
class QTextStream;

// What every command works with: the SNMP loop its boards' requests go through (many boards at
// once), the two output streams, and whether long work may show its progress on stderr (it is a
// terminal).
struct CliContext
{
    SnmpLoop& snmp;
    QTextStream& out;
    QTextStream& err;
    bool progress = false;
};
