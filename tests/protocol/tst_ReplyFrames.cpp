// Replies in every kind of frame that small IP stacks send: a unicast frame to this host, a unicast
// datagram in an Ethernet broadcast frame (a stack without an ARP entry for us), and IP broadcasts,
// limited and directed. Each reply must be handed on exactly once, and a socket group must share
// them all out. Runs only inside tests/protocol/veth-pair: the frames come in on lf-rx from a
// packet socket on lf-tx, and this process is unprivileged, as the tool is on a stock kernel.
#include "protocol/CNodeProtocol.h"
#include "protocol/CNodeQueue.h"
#include "protocol/Trace.h"
#include "tests/support/SimProcess.h"
#include "tests/support/UdpTestSocket.h"

#include <QScopeGuard>
#include <QSet>
#include <QTest>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>

namespace {

constexpr uint32_t kOwnAddress = 0x0a520001u; // 10.82.0.1 on lf-rx
constexpr uint16_t kBoardPort = 22222;
constexpr int kBoards = 256;

using Mac = std::array<uint8_t, 6>;

struct FrameKind
{
    const char* name;
    bool broadcastFrame;
    uint32_t destination;
};

constexpr FrameKind kKinds[] = {
    {"unicast frame", false, kOwnAddress},
    {"unicast datagram in a broadcast frame", true, kOwnAddress},
    {"limited broadcast", true, 0xffffffffu},
    {"directed broadcast", true, 0x0a5200ffu},
};

struct Board
{
    Mac mac;
    uint32_t address; // host order
};

// Boards that share addresses, as they come from the factory, with MACs of one vendor prefix.
std::vector<Board> MakeBoards()
{
    std::mt19937 random(1822u);
    std::set<Mac> seen;
    std::vector<Board> boards;
    while (boards.size() < kBoards) {
        const Mac mac{0x00, 0x0a, 0xff, uint8_t(random()), uint8_t(random()), uint8_t(random())};
        if (seen.insert(mac).second) {
            boards.push_back({mac, 0x0a520002u + uint32_t(boards.size() % 8)});
        }
    }
    return boards;
}

uint16_t IpChecksum(const uint8_t* header)
{
    uint32_t sum = 0;
    for (int i = 0; i < 20; i += 2) {
        sum += uint32_t(header[i] << 8 | header[i + 1]);
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return uint16_t(~sum);
}

void PutBig(uint8_t* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        at[i] = uint8_t(value >> (8 * (bytes - 1 - i)));
    }
}

// Writes Ethernet frames onto lf-tx as the boards would send them.
class FrameSender
{
  public:
    ~FrameSender()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }

    bool Open()
    {
        m_fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        ifreq request{};
        std::strncpy(request.ifr_name, "lf-rx", IFNAMSIZ - 1);
        if (m_fd < 0 || ioctl(m_fd, SIOCGIFHWADDR, &request) != 0) {
            return false;
        }
        std::memcpy(m_receiverMac.data(), request.ifr_hwaddr.sa_data, m_receiverMac.size());
        m_to.sll_family = AF_PACKET;
        m_to.sll_ifindex = int(if_nametoindex("lf-tx"));
        m_to.sll_halen = uint8_t(m_receiverMac.size());
        return m_to.sll_ifindex != 0;
    }

    // A search reply of the board with transaction id id, to port.
    bool Send(const FrameKind& kind, const Board& board, uint16_t port, uint32_t id)
    {
        std::array<uint8_t, 14 + 20 + 8 + NodeInfo::kPacketSize> frame{};
        const Mac destination = kind.broadcastFrame ? Mac{0xff, 0xff, 0xff, 0xff, 0xff, 0xff} : m_receiverMac;
        std::memcpy(frame.data(), destination.data(), 6);
        std::memcpy(frame.data() + 6, board.mac.data(), 6);
        PutBig(&frame[12], 0x0800, 2);
        uint8_t* ip = &frame[14];
        ip[0] = 0x45;
        PutBig(ip + 2, 20 + 8 + NodeInfo::kPacketSize, 2);
        ip[8] = 64;
        ip[9] = IPPROTO_UDP;
        PutBig(ip + 12, board.address, 4);
        PutBig(ip + 16, kind.destination, 4);
        PutBig(ip + 10, IpChecksum(ip), 2);
        uint8_t* udp = ip + 20;
        PutBig(udp, kBoardPort, 2);
        PutBig(udp + 2, port, 2);
        PutBig(udp + 4, 8 + NodeInfo::kPacketSize, 2); // checksum 0: none
        uint8_t* reply = udp + 8;
        reply[3] = OP_SEARCH_REPLY;
        std::memcpy(reply + 4, &id, 4);
        std::memcpy(reply + 8, board.mac.data(), 6);
        PutBig(reply + 24, board.address, 4);
        std::memcpy(m_to.sll_addr, destination.data(), 6);
        return sendto(m_fd, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&m_to),
                      sizeof m_to) == ssize_t(frame.size());
    }

  private:
    int m_fd = -1;
    Mac m_receiverMac{};
    sockaddr_ll m_to{};
};

// A queue that can keep the receive thread inside a hand-over, so that whatever arrives meanwhile
// stays in the sockets' buffers.
class HoldingQueue final : public CNodeReceiver
{
  public:
    void OnNodesReceived(ReceivedNodes nodes) override
    {
        std::unique_lock lock(m_mutex);
        m_held = m_holding;
        m_changed.wait(lock, [this] { return !m_holding; });
        m_held = false;
        lock.unlock();
        m_queue.OnNodesReceived(std::move(nodes));
    }

    void Hold(bool holding)
    {
        std::lock_guard lock(m_mutex);
        m_holding = holding;
        m_changed.notify_all();
    }
    bool Held()
    {
        std::lock_guard lock(m_mutex);
        return m_held;
    }
    CNodeQueue& Queue() { return m_queue; }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_holding = false;
    bool m_held = false;
    CNodeQueue m_queue;
};

// How many UDP sockets of this process on port have a datagram waiting.
int SocketsHolding(uint16_t port)
{
    int holding = 0;
    for (const int fd : UdpSocketsOn(port)) {
        int waiting = 0;
        holding += ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0;
    }
    return holding;
}

} // namespace

class tst_ReplyFrames : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void everyReplyIsKeptOnceAndTheGroupSharesThem_data();
    void everyReplyIsKeptOnceAndTheGroupSharesThem();
};

void tst_ReplyFrames::initTestCase()
{
    lanfinch::SetTraceSink([](const std::string&) {});
    QVERIFY2(qEnvironmentVariable("LANFINCH_VETH_PAIR") == QLatin1String("1") &&
                 InterfacesUp() ==
                     QSet<QString>({QStringLiteral("lo"), QStringLiteral("lf-rx"), QStringLiteral("lf-tx")}),
             "must run inside tests/protocol/veth-pair");
}

void tst_ReplyFrames::everyReplyIsKeptOnceAndTheGroupSharesThem_data()
{
    QTest::addColumn<int>("sockets");
    QTest::addColumn<int>("kind");
    for (const int sockets : {1, 2, 5, 40}) {
        for (int kind = 0; kind < int(std::size(kKinds)); ++kind) {
            QTest::addRow("%d socket%s, %s", sockets, sockets == 1 ? "" : "s", kKinds[kind].name)
                << sockets << kind;
        }
    }
}

void tst_ReplyFrames::everyReplyIsKeptOnceAndTheGroupSharesThem()
{
    QFETCH(int, sockets);
    QFETCH(int, kind);
    const std::vector<Board> boards = MakeBoards();
    // Marks the start and the end of the burst: a unicast frame with a MAC of its own.
    const Board marker{{0x02, 0, 0, 0, 0, 1}, 0x0a520063u};
    constexpr uint32_t kId = 0x101;
    constexpr uint32_t kEndId = 0x102;
    FrameSender sender;
    QVERIFY(sender.Open());
    HoldingQueue receiver;
    CNodeProtocol engine(UdpEndpoint{0, 0}, UdpEndpoint{0x7f000001u, 9}, receiver, sockets);
    const auto release = qScopeGuard([&receiver] { receiver.Hold(false); });
    QCOMPARE(engine.ReceiveSocketCount(), sockets);
    const uint16_t port = engine.BoundPort();

    // The thread is held while the burst comes in, so that each socket's share can be seen.
    receiver.Hold(true);
    QVERIFY(sender.Send(kKinds[0], marker, port, kId));
    QTRY_VERIFY(receiver.Held());
    for (const Board& board : boards) {
        QVERIFY(sender.Send(kKinds[kind], board, port, kId));
    }
    QTRY_COMPARE(SocketsHolding(port), sockets);
    receiver.Hold(false);
    // Copies would come before the end marker: the thread hands records on in arrival order.
    QVERIFY(sender.Send(kKinds[0], marker, port, kEndId));

    std::map<Mac, int> received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::optional<ReceivedNode> node = receiver.Queue().Take(deadline)) {
        Mac mac;
        std::memcpy(mac.data(), node->record->GetMacAddress(), mac.size());
        if (mac == marker.mac) {
            if (node->record->GetTransactionId() == kEndId) {
                break;
            }
            continue;
        }
        const auto board =
            std::find_if(boards.begin(), boards.end(), [&](const Board& b) { return b.mac == mac; });
        QVERIFY(board != boards.end());
        QCOMPARE(node->sourceAddress, board->address);
        ++received[mac];
    }
    QCOMPARE(received.size(), boards.size());
    for (const auto& [mac, count] : received) {
        QCOMPARE(count, 1);
    }
}

QTEST_GUILESS_MAIN(tst_ReplyFrames)
#include "tst_ReplyFrames.moc"
