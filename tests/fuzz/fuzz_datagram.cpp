// Received datagrams, from the wire to the node list: every input is a list of datagrams sent over
// loopback to a real CNodeListDlg (not shown; its engine bound to 127.0.0.1:0), one at a time, so
// each goes through the receive thread's length test and Unpack and then the window's packet
// handler. The input also chooses the outstanding transaction id and whether a reply wait runs.
// The rows and the wait's outcome are compared with a model of the packet rules.
#include "tests/fuzz/FuzzSupport.h"

#include "app/CNodeListDlg.h"
#include "app/CWaitReplyDlg.h"
#include "protocol/NodePacketEvent.h"
#include "protocol/Trace.h"
#include "snmpconfig/CSnmpAccess.h"

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kLoopback = 0x7f000001;
using Wire = std::vector<uint8_t>;
using Packet = std::array<uint8_t, NodeInfo::kPacketSize>;

// What the trace lines tell: the receive thread has taken a datagram off the socket, the window
// has started handling a record.
std::mutex g_mutex;
std::condition_variable g_changed;
long g_received = 0;
std::atomic<long> g_handled{0};
int g_sender = -1;

void CountTrace(const std::string& line)
{
    if (line == "main window received message\n") {
        ++g_handled;
        return;
    }
    if (line == "invalid packet received\n" || line == "Get new packet!!\n") {
        std::lock_guard lock(g_mutex);
        ++g_received;
        g_changed.notify_all();
    }
}

uint32_t Load32(const uint8_t* bytes)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Sends one datagram and returns once the receive thread has judged it and, for one it accepted,
// the window has handled the record.
void Deliver(const Wire& datagram, uint16_t port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(kLoopback);

    std::unique_lock lock(g_mutex);
    const long received = g_received;
    const long handled = g_handled;
    const ssize_t sent =
        sendto(g_sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    FUZZ_CHECK(sent == ssize_t(datagram.size()));
    FUZZ_CHECK(g_changed.wait_for(lock, std::chrono::seconds(3), [&] { return g_received > received; }));
    lock.unlock();

    if (datagram.size() != NodeInfo::kPacketSize)
        return;
    // The post follows its trace line at once; the handler runs when posted events are sent.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (g_handled == handled) {
        FUZZ_CHECK(std::chrono::steady_clock::now() < deadline);
        QCoreApplication::sendPostedEvents(nullptr, WM_NODE_PACKET);
        if (g_handled == handled)
            std::this_thread::yield();
    }
}

// The packet rules: the id, then the wait, then the op code; the first reply per MAC is listed,
// a set-address reply ends the wait and, on success, moves its node's row to the end.
struct Model
{
    uint32_t outstanding = 0;
    bool waiting = false;
    int waitResult = -1;
    std::vector<Packet> rows;

    static bool SameMac(const Packet& a, const Packet& b)
    {
        return std::equal(a.begin() + 8, a.begin() + 14, b.begin() + 8);
    }

    void Receive(const Wire& datagram)
    {
        if (datagram.size() != NodeInfo::kPacketSize)
            return;
        Packet packet;
        std::copy(datagram.begin(), datagram.end(), packet.begin());
        if (Load32(&packet[4]) != outstanding || !waiting)
            return;
        const uint32_t op = ntohl(Load32(&packet[0]));
        auto listed =
            std::find_if(rows.begin(), rows.end(), [&](const Packet& row) { return SameMac(row, packet); });
        if (op == OP_SEARCH_REPLY) {
            if (listed == rows.end())
                rows.push_back(packet);
        } else if (op == OP_SET_ADDRESS_REPLY) {
            waiting = false;
            if (ntohl(Load32(&packet[16])) != 0) {
                waitResult = WAIT_RESULT_FAILED;
                return;
            }
            waitResult = WAIT_RESULT_SUCCEEDED;
            if (listed != rows.end())
                rows.erase(listed);
            rows.push_back(packet);
        }
    }
};

// Datagrams of any length, or replies shaped closely enough to reach the handler's later steps.
std::vector<Wire> Datagrams(FuzzInput& input, uint32_t outstanding)
{
    static const uint8_t kMacs[4][6] = {{0x00, 0x0a, 0xff, 0x10, 0x20, 0x3b},
                                        {0x00, 0x0a, 0xff, 0x10, 0x20, 0x3c},
                                        {0x02, 0, 0, 0, 0, 1},
                                        {0, 0, 0, 0, 0, 0}};
    std::vector<Wire> datagrams;
    while (!input.Empty() && datagrams.size() < 48) {
        const uint8_t shape = input.Byte();
        if (shape < 0xc0) {
            Wire wire(shape % 72 == 71 ? 600 : shape % 72);
            wire.resize(input.Bytes(wire.data(), wire.size()));
            datagrams.push_back(std::move(wire));
            continue;
        }
        Wire wire(NodeInfo::kPacketSize);
        const uint32_t op = htonl(shape & 3);
        std::memcpy(&wire[0], &op, 4);
        std::memcpy(&wire[4], &outstanding, 4);
        std::memcpy(&wire[8], kMacs[(shape >> 2) & 3], 6);
        const uint32_t result = (shape & 0x10) ? htonl(input.Byte()) : 0;
        std::memcpy(&wire[16], &result, 4);
        input.Bytes(&wire[20], 16);
        datagrams.push_back(std::move(wire));
    }
    return datagrams;
}

void CheckRows(const CNodeListDlg& dialog, const Model& model)
{
    FUZZ_CHECK(dialog.RowCount() == int(model.rows.size()));
    for (int i = 0; i < dialog.RowCount(); ++i) {
        const NodeInfo* record = dialog.RowRecord(i);
        FUZZ_CHECK(record != nullptr);
        Packet packed;
        record->Pack(packed.data());
        FUZZ_CHECK(packed == model.rows[size_t(i)]);
        FUZZ_CHECK(dialog.FindRowByMac(*record) == i);
        const QTreeWidgetItem* item = dialog.NodeList()->topLevelItem(i);
        FUZZ_CHECK(item->text(0) == QString::fromStdString(record->GetMacText()));
    }
}

void RunOne(FuzzInput& input)
{
    const uint8_t flags = input.Byte();
    uint8_t idBytes[4] = {};
    input.Bytes(idBytes, 4);
    const uint32_t outstanding = Load32(idBytes);
    const std::vector<Wire> datagrams = Datagrams(input, outstanding);

    CSnmpAccess snmp;
    CNodeListDlg dialog(snmp, UdpEndpoint{kLoopback, 0}, UdpEndpoint{kLoopback, 0});
    const uint16_t port = dialog.Protocol().BoundPort();
    FUZZ_CHECK(port != 0);
    dialog.SetOutstandingTransactionId(outstanding);

    Model model;
    model.outstanding = outstanding;
    size_t next = 0;
    if (flags & 1) {
        model.waiting = true;
        // Within the wait's own loop, as the replies of a real search arrive; a set-address reply
        // ends the wait, and whatever follows arrives after it.
        QTimer::singleShot(0, &dialog, [&] {
            CWaitReplyDlg* wait = dialog.WaitDialog();
            FUZZ_CHECK(wait != nullptr);
            while (next < datagrams.size() && !wait->IsEnded()) {
                Deliver(datagrams[next], port);
                model.Receive(datagrams[next]);
                ++next;
                CheckRows(dialog, model);
            }
            FUZZ_CHECK(wait->IsEnded() == !model.waiting);
            wait->EndDialog(WAIT_RESULT_CANCELLED);
        });
        const int result = dialog.RunWaitDialog(60000);
        FUZZ_CHECK(result == (model.waitResult < 0 ? WAIT_RESULT_CANCELLED : model.waitResult));
        FUZZ_CHECK(dialog.WaitDialog() == nullptr);
        model.waiting = false;
    }
    for (; next < datagrams.size(); ++next) {
        Deliver(datagrams[next], port);
        model.Receive(datagrams[next]);
    }
    CheckRows(dialog, model);
    FUZZ_CHECK(dialog.OutstandingTransactionId() == outstanding);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
#ifdef NDEBUG
    // Delivery is followed through the diagnostic trace lines, which this build leaves out.
    std::fprintf(stderr, "fuzz_datagram: needs a build with trace lines; nothing is run\n");
    return 0;
#endif
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_FONT_DPI", "96");
    static QApplication app(*argc, *argv);
    lanfinch::SetTraceSink(CountTrace);

    g_sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(kLoopback);
    FUZZ_CHECK(g_sender >= 0 && bind(g_sender, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0);

    // Whatever Qt sets up once (fonts, styles, the platform) happens here rather than inside the
    // first input, where the leak check would count it.
    const uint8_t warmUp[] = {1, 0, 0, 0, 0, 0xc1, 36};
    FuzzInput input(warmUp, sizeof warmUp);
    RunOne(input);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
#ifdef NDEBUG
    return 0;
#endif
    FuzzInput input(data, size);
    RunOne(input);
    return 0;
}
