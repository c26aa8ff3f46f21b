#pragma once

class CSnmpAccess;
class QTextStream;

// What every command works with: the SNMP access object, the two output streams, and whether
// long work may show its progress on stderr (it is a terminal).
struct CliContext
{
    CSnmpAccess& snmp;
    QTextStream& out;
    QTextStream& err;
    bool progress = false;
};
