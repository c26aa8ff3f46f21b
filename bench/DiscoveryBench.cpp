// lanfinch-bench-discovery --sim PATH --boards N [--rcvbuf-cap BYTES] [--reply-broadcast]
// The real node list window on the product's ports against N simulated boards that answer one
// search at once, then a bare receive loop with the engine's socket options as the kernel's limit.
// --rcvbuf-cap: receive buffers as an unprivileged process gets them on a kernel with that
// net.core.rmem_max (SocketHooks.h). --reply-broadcast: the boards answer to 255.255.255.255.
// Runs only inside scripts/netns-run. Prints one "discovery" line and one "discovery-detail" line.
#include "bench/BenchSupport.h"
#include "bench/SocketHooks.h"

#include "app/CNodeListDlg.h"
#include "protocol/CNodeProtocol.h"
#include "protocol/NodeInfo.h"
#include "protocol/NodePacketEvent.h"
#include "resources/ResourceIds.h"
#include "snmpconfig/CSnmpAccess.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What the window did during the measured search.
struct Probe
{
    bool measuring = false;
    int64_t lastPacketNs = 0;
    QWidget* listViewport = nullptr;

    struct Handled
    {
        int rowsBefore;
        int64_t costNs;
    };
    std::vector<Handled> handled;
    std::vector<int64_t> paintNs;
    std::vector<int64_t> rowNs;
    int lateReplies = 0;
    bool waitOver = false;
};

Probe g_probe;

// Times every reply the window handles and notes every repaint of the list.
class BenchApplication final : public QApplication
{
  public:
    using QApplication::QApplication;

    CNodeListDlg* window = nullptr;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (event->type() == WM_NODE_PACKET) {
            // One event carries a batch of replies; each is charged its share.
            const int replies = static_cast<int>(static_cast<CNodePacketEvent*>(event)->Count());
            const int rowsBefore = window != nullptr ? window->RowCount() : 0;
            const int64_t start = Bench::NowNs();
            const bool result = QApplication::notify(receiver, event);
            const int64_t end = Bench::NowNs();
            g_probe.lastPacketNs = end;
            if (g_probe.measuring && replies > 0) {
                if (g_probe.waitOver) {
                    g_probe.lateReplies += replies;
                } else {
                    // The rows the batch added are spread evenly over its replies.
                    const int added = (window != nullptr ? window->RowCount() : 0) - rowsBefore;
                    for (int i = 0; i < replies; ++i)
                        g_probe.handled.push_back(
                            {rowsBefore + added * i / replies, (end - start) / replies});
                }
            }
            return result;
        }
        if (event->type() == QEvent::Paint && g_probe.measuring && receiver == g_probe.listViewport)
            g_probe.paintNs.push_back(Bench::NowNs());
        return QApplication::notify(receiver, event);
    }
};

// Drops counted by the kernel for the UDP socket bound to the port (this namespace only).
long SocketDrops(uint16_t port)
{
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    long drops = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        if (local.size() < 5 || local.compare(local.size() - 5, 5, wanted) != 0)
            continue;
        std::string field;
        long last = 0;
        while (fields >> field)
            last = std::strtol(field.c_str(), nullptr, 10);
        drops += last;
    }
    return drops;
}

// The receive buffers of the engine's sockets on the port as the kernel granted them, added up.
struct EngineSockets
{
    int count = 0;
    long bufferBytes = 0;
};

EngineSockets EngineSocketsOn(uint16_t port)
{
    EngineSockets sockets;
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            address.sin_family != AF_INET || ntohs(address.sin_port) != port)
            continue;
        int effective = 0;
        length = sizeof effective;
        getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &effective, &length);
        ++sockets.count;
        sockets.bufferBytes += effective;
    }
    return sockets;
}

// Median handling time of the replies that arrived while the list held fromRow to toRow - 1 rows.
double MedianUs(const std::vector<Probe::Handled>& handled, int fromRow, int toRow)
{
    std::vector<double> costs;
    for (const Probe::Handled& h : handled) {
        if (h.rowsBefore >= fromRow && h.rowsBefore < toRow)
            costs.push_back(static_cast<double>(h.costNs) / 1000.0);
    }
    return Bench::Median(std::move(costs));
}

struct KernelLimit
{
    int delivered = 0;
    long drops = 0;
    int receiveBuffer = 0;
    double lastMs = 0;
};

// One search on a bare socket set up like the engine's, counting the distinct boards whose
// replies the kernel hands over within the search wait.
bool MeasureKernelLimit(uint32_t transactionId, KernelLimit& limit)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return false;
    const int on = 1;
    const int wanted = 8 * 1024 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    socklen_t length = sizeof limit.receiveBuffer;
    getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &limit.receiveBuffer, &length);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(CNodeProtocol::kLocalEndpoint.port);
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(CNodeProtocol::kRequestDestination.port);
    destination.sin_addr.s_addr = htonl(CNodeProtocol::kRequestDestination.address);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return false;
    }

    NodeInfo request;
    request.SetOpCode(htonl(OP_SEARCH_REQUEST));
    request.SetTransactionId(transactionId);
    uint8_t packet[NodeInfo::kPacketSize];
    request.Pack(packet);
    const int64_t sentNs = Bench::NowNs();
    if (sendto(fd, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&destination),
               sizeof destination) != static_cast<ssize_t>(sizeof packet)) {
        close(fd);
        return false;
    }

    std::set<uint64_t> boards;
    const int64_t deadline = sentNs + static_cast<int64_t>(CNodeProtocol::kSearchWaitMs) * 1000000;
    uint8_t buffer[NodeInfo::kPacketSize + 1];
    for (;;) {
        const int64_t now = Bench::NowNs();
        if (now >= deadline)
            break;
        pollfd readable{fd, POLLIN, 0};
        const int waitMs = static_cast<int>((deadline - now + 999999) / 1000000);
        if (poll(&readable, 1, waitMs) <= 0)
            continue;
        iovec vector{buffer, sizeof buffer};
        msghdr message{};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        const ssize_t received = recvmsg(fd, &message, MSG_DONTWAIT);
        if (received < 0)
            continue;
        if (received != NodeInfo::kPacketSize)
            continue;
        NodeInfo reply;
        reply.Unpack(buffer);
        if (reply.GetTransactionId() != transactionId || ntohl(reply.GetOpCode()) != OP_SEARCH_REPLY)
            continue;
        uint64_t mac = 0;
        for (int i = 0; i < 6; ++i)
            mac = (mac << 8) | reply.GetMacAddress()[i];
        if (boards.insert(mac).second)
            limit.lastMs = Bench::NsToMs(Bench::NowNs() - sentNs);
    }
    limit.delivered = static_cast<int>(boards.size());
    limit.drops = SocketDrops(CNodeProtocol::kLocalEndpoint.port);
    close(fd);
    return true;
}

void Usage()
{
    std::fputs(
        "usage: lanfinch-bench-discovery --sim PATH --boards N [--rcvbuf-cap BYTES] [--reply-broadcast]\n",
        stderr);
}

} // namespace

int main(int argc, char* argv[])
{
    std::string simPath;
    int boards = -1;
    int receiveBufferCap = 0;
    std::vector<std::string> simOptions{"--no-snmp"};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reply-broadcast") == 0)
            simOptions.push_back(argv[i]);
        else if (i + 1 == argc)
            break;
        else if (std::strcmp(argv[i], "--sim") == 0)
            simPath = argv[++i];
        else if (std::strcmp(argv[i], "--boards") == 0)
            boards = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--rcvbuf-cap") == 0)
            receiveBufferCap = std::atoi(argv[++i]);
    }
    if (simPath.empty() || boards < 0 || receiveBufferCap < 0) {
        Usage();
        return 2;
    }
    if (!Bench::InPrivateNetns()) {
        std::fputs("lanfinch-bench-discovery: refusing to run outside scripts/netns-run\n", stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    Bench::Simulator sim;
    simOptions.insert(simOptions.end(), {"--boards", std::to_string(boards)});
    if (!sim.Start(simPath, simOptions)) {
        std::fputs("lanfinch-bench-discovery: the simulator did not start\n", stderr);
        return 1;
    }

    if (receiveBufferCap > 0)
        SocketHooks::SetReceiveBufferCap(receiveBufferCap);
    BenchApplication application(argc, argv);
    int startupListed = 0;
    int listed = 0;
    int64_t waitEndNs = 0;
    int64_t cpuEndNs = 0;
    long drops = 0;
    int64_t sentNs = 0;
    int64_t cpuSentNs = 0;
    uint32_t transactionId = 0;
    EngineSockets engineSockets;
    {
        CSnmpAccess snmp;
        CNodeListDlg window(snmp);
        const uint16_t enginePort = CNodeProtocol::kLocalEndpoint.port;
        engineSockets = EngineSocketsOn(enginePort);
        application.window = &window;
        g_probe.listViewport = window.NodeList()->viewport();
        g_probe.handled.reserve(static_cast<std::size_t>(boards) * 2);
        g_probe.rowNs.reserve(static_cast<std::size_t>(boards) * 2);
        QObject::connect(
            window.NodeList()->model(), &QAbstractItemModel::rowsInserted, &window,
            [] {
                if (g_probe.measuring && !g_probe.waitOver)
                    g_probe.rowNs.push_back(Bench::NowNs());
            },
            Qt::DirectConnection);

        // The start-up search runs before the window shows; the measured one is a click on Search
        // once the window is up and the start-up replies have stopped coming.
        QTimer settle;
        settle.setInterval(50);
        QObject::connect(&settle, &QTimer::timeout, &window, [&] {
            if (!window.isVisible() || window.WaitDialog() != nullptr ||
                Bench::NowNs() - g_probe.lastPacketNs < 300000000)
                return;
            settle.stop();
            startupListed = window.RowCount();
            SocketHooks::ResetRequestClock();
            drops = -SocketDrops(CNodeProtocol::kLocalEndpoint.port);
            g_probe.measuring = true;
            window.Item<QPushButton>(NodeListIds::Search)->click();
            waitEndNs = Bench::NowNs();
            cpuEndNs = [] {
                timespec cpu{};
                clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
                return static_cast<int64_t>(cpu.tv_sec) * 1000000000 + cpu.tv_nsec;
            }();
            g_probe.waitOver = true;
            listed = window.RowCount();
            sentNs = SocketHooks::LastRequestNs();
            cpuSentNs = SocketHooks::CpuAtLastRequestNs();
            transactionId = window.OutstandingTransactionId();
            // Late replies still queued are counted, then the window closes.
            QTimer::singleShot(500, &window, [&] {
                drops += SocketDrops(CNodeProtocol::kLocalEndpoint.port);
                window.EndDialog(0);
            });
        });
        settle.start();
        window.DoModal();
        g_probe.measuring = false;
        application.window = nullptr;
    }

    KernelLimit limit;
    const bool limitOk = MeasureKernelLimit(transactionId ^ 0x4000u, limit);
    sim.Stop();

    if (sentNs == 0) {
        std::fputs("lanfinch-bench-discovery: the search request was not seen\n", stderr);
        return 1;
    }
    const int64_t lastRowNs = g_probe.rowNs.empty() ? sentNs : g_probe.rowNs.back();
    // Longest stretch without a repaint of the list while rows came in (up to the paint that
    // shows the last row).
    double maxGapMs = 0;
    int paints = 0;
    {
        int64_t previous = sentNs;
        for (const int64_t paint : g_probe.paintNs) {
            if (paint < sentNs)
                continue;
            ++paints;
            maxGapMs = std::max(maxGapMs, Bench::NsToMs(paint - previous));
            previous = paint;
            if (paint >= lastRowNs)
                break;
        }
    }
    const int tenth = std::max(1, listed / 10);
    std::printf("discovery boards=%d listed=%d last_row_ms=%.1f\n", boards, listed,
                Bench::NsToMs(lastRowNs - sentNs));
    std::printf("discovery-detail boards=%d startup_listed=%d wait_ms=%.0f cpu_ms=%.0f reply_us_first=%.2f "
                "reply_us_last=%.2f paints=%d max_paint_gap_ms=%.1f late=%d socket_drops=%ld "
                "kernel_delivered=%d kernel_drops=%ld kernel_last_ms=%.1f rcvbuf=%d engine_rcvbuf=%ld "
                "engine_sockets=%d\n",
                boards, startupListed, Bench::NsToMs(waitEndNs - sentNs), Bench::NsToMs(cpuEndNs - cpuSentNs),
                MedianUs(g_probe.handled, 0, tenth), MedianUs(g_probe.handled, listed - tenth, listed + 1),
                paints, maxGapMs, g_probe.lateReplies, drops, limitOk ? limit.delivered : -1, limit.drops,
                limit.lastMs, limit.receiveBuffer, engineSockets.bufferBytes, engineSockets.count);
    return 0;
}
