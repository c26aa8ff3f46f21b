#include "cli/HelpText.h"

#include <QTextStream>

QString MainHelpText()
{
    return QStringLiteral(
               "Usage: %1 COMMAND [OPTIONS] [ARGUMENTS]\n"
               "Finds Corvane-K1 boards on the local network, changes their IP settings, and reads and\n"
               "writes their serial-port and I/O settings over SNMP, one board or a whole batch, for\n"
               "scripts and machines without a desktop.\n"
               "\n"
               "Commands:\n"
               "  search [--timeout MS]           every board that answers one search (wait 1000 ms unless\n"
               "                                  told otherwise): MAC, IP settings, the interface it\n"
               "                                  answered on\n"
               "  set-ip MAC (--dhcp | --ip A --mask M [--gateway G])\n"
               "                                  change a board's IP settings, checked by the IP settings\n"
               "                                  dialog's rules; waits up to 15 s for the board's reply;\n"
               "                                  --dry-run sends nothing and shows what would change,\n"
               "                                  --unchanged-ok ends with 0 where nothing would\n"
               "  set-ip --plan FILE.csv          change many boards, a line each: mac,ip,mask,gateway or\n"
               "                                  mac,dhcp\n"
               "  set-ip --from A --mask M [--gateway G] [--dry-run] [MAC...]\n"
               "                                  consecutive addresses from A on for the boards a search\n"
               "                                  lists (or the MACs given), in MAC order\n"
               "  serial get IP                   the board's serial-port settings\n"
               "  serial set IP KEY=VALUE...      change serial-port settings (mode, port, peer, bitrate,\n"
               "                                  databits, stopbits, parity, flow)\n"
               "  gpio get IP [--port N|--all]    the board's I/O settings (port 1 unless told otherwise)\n"
               "  gpio set IP [--manager A] [--period S] [--port N KEY=VALUE...]\n"
               "                                  change I/O settings (mode, state, initial, trapstate,\n"
               "                                  traptime)\n"
               "  export IP                       serial and I/O settings (all eight ports) as JSON\n"
               "  apply FILE.json IP...           write such a document to each board, commit, read back\n"
               "                                  and compare\n"
               "  inventory [--check FILE.json] [MAC|IP...]\n"
               "                                  every board a search lists (or those with the MACs or\n"
               "                                  addresses given) with its serial and I/O settings; with\n"
               "                                  --check, compared with such a document\n"
               "  watch (--plan FILE.csv | --from A --mask M [--gateway G]) [--profile FILE.json]\n"
               "        [--journal FILE.jsonl] [--count N]\n"
               "                                  a commissioning station: each board as it appears gets\n"
               "                                  its IP settings, then the profile; a line per board\n"
               "\n"
               "Options:\n"
               "  -h, --help                      show this text; COMMAND --help shows a command's options\n"
               "  -v, --version                   show the version\n"
               "  --format table|json|csv         (commands that print records) output form; table is the\n"
               "                                  default\n"
               "  --verify                        (serial set, gpio set) read back and compare after the\n"
               "                                  commit; apply always does\n"
               "\n"
               "search, set-ip and inventory broadcast on every network interface (UDP port 22222; replies\n"
               "come to port 22223). set-ip searches first: it names boards by MAC and, like the IP\n"
               "settings dialog, keeps a board's addresses when it switches to DHCP and refuses a change\n"
               "that changes nothing.\n"
               "\n"
               "A write reads the board first, so settings that are not given keep the board's values; it\n"
               "then sends the same requests and commit as the settings dialogs of the Corvane-K1 Tool. A\n"
               "read is strict: every setting must come back once, with its own type, or the read fails\n"
               "naming it. A board without a serial port number shows none (null in JSON) and gets none\n"
               "written unless port=N is given. A write stops at the first request the board refuses or\n"
               "does not answer and then commits nothing; it is done only when the commit was accepted.\n"
               "Input is checked completely before anything is sent: a bad value, an unknown key, a key\n"
               "given twice or an address that no board can have is reported with its key or line, and\n"
               "nothing is sent.\n"
               "\n"
               "Exit status:\n"
               "  0  all done\n"
               "  1  the output could not be written (a full disk, a closed pipe); any status below wins\n"
               "  2  bad usage or invalid input; nothing was written\n"
               "  3  a board refused a request, a read-back differed from what was written, set-ip\n"
               "     refused a change that changes nothing (unless --unchanged-ok), or a board differs\n"
               "     from inventory's --check\n"
               "  4  a board did not answer in time\n"
               "  5  a request could not be sent\n"
               "  6  no board answered the search for a MAC (set-ip, inventory) or an address (inventory)\n"
               "\n"
               "A batch reports each board and exits with the highest status of its boards.\n"
               "\n"
               "Examples:\n"
               "  %1 search --format json\n"
               "\n"
               "  %1 set-ip 00:0a:ff:10:20:3b --ip 192.168.0.10 --mask 255.255.255.0 --gateway 192.168.0.1\n"
               "\n"
               "  %1 set-ip --from 192.168.0.100 --mask 255.255.255.0 --dry-run --format csv > plan.csv\n"
               "\n"
               "  %1 set-ip --plan plan.csv\n"
               "\n"
               "  %1 serial set 192.168.0.10 bitrate=115200 parity=even --verify\n"
               "\n"
               "  %1 gpio set 192.168.0.10 --port 3 mode=INPUT trapstate=HIGH traptime=500\n"
               "\n"
               "  %1 export 192.168.0.10 > line3.json\n"
               "\n"
               "  %1 apply line3.json 192.168.0.11 192.168.0.12 --format json\n"
               "\n"
               "  %1 inventory --check line3.json\n")
        .arg(ProgramName());
}

QString VersionText()
{
    return QStringLiteral("%1 %2\n").arg(ProgramName(), QStringLiteral(LANFINCH_VERSION));
}

std::optional<CliStatus> AnswerHelpOrVersion(const QStringList& arguments, QTextStream& out)
{
    const QString first = arguments.value(0);
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        out << MainHelpText();
        return CliStatus::Done;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        out << VersionText();
        return CliStatus::Done;
    }
    return std::nullopt;
}
