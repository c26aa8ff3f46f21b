#include "protocol/CNodeProtocol.h"
#include "protocol/CNodeQueue.h"
#include "protocol/CReceiveLoop.h"
#include "protocol/ReplySockets.h"
#include "protocol/Trace.h"
#include "tests/protocol/PacketSink.h"
#include "tests/support/UdpTestSocket.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kLoopback = 0x7f000001u;
constexpr uint32_t kDocumentationAddress = 0xc0000201u; // 192.0.2.1, never an address of this host
const QString kLoopbackText = QStringLiteral("127.0.0.1");

// A valid-length datagram whose bytes identify it: op code, id (low byte first) and a fill.
QByteArray Packet(uint32_t op, uint32_t id, char fill = 0)
{
    QByteArray wire(NodeInfo::kPacketSize, fill);
    for (int i = 0; i < 4; ++i) {
        wire[i] = static_cast<char>(op >> (24 - 8 * i));
        wire[4 + i] = static_cast<char>(id >> (8 * i));
    }
    return wire;
}

uint32_t IdOf(const QByteArray& wire)
{
    uint32_t id = 0;
    for (int i = 3; i >= 0; --i) {
        id = (id << 8) | static_cast<uint8_t>(wire.at(4 + i));
    }
    return id;
}

std::unique_ptr<CNodeProtocol> EngineSendingTo(CNodeReceiver& receiver, const UdpTestSocket& peer,
                                               UdpEndpoint local = {kLoopback, 0},
                                               int sockets = CNodeProtocol::kSocketsAsNeeded)
{
    return std::make_unique<CNodeProtocol>(local, UdpEndpoint{kLoopback, peer.Port()}, receiver, sockets);
}

QByteArray Bytes(const NodeInfo& record)
{
    QByteArray bytes(NodeInfo::kPacketSize, '\0');
    record.Pack(reinterpret_cast<uint8_t*>(bytes.data()));
    return bytes;
}

// Records taken from a queue, with their bytes and where they came in.
struct Taken
{
    std::vector<QByteArray> bytes;
    std::vector<std::string> interfaces;
    std::vector<uint32_t> senders;

    void Add(ReceivedNodes nodes)
    {
        for (const ReceivedNode& node : nodes) {
            bytes.push_back(Bytes(*node.record));
            interfaces.push_back(node.interfaceName + '#' + std::to_string(node.interfaceIndex));
            senders.push_back(node.sourceAddress);
        }
    }
};

bool SendTo(UdpTestSocket& from, const CNodeProtocol& engine, const QByteArray& wire)
{
    return from.SendTo(wire, kLoopbackText, engine.BoundPort());
}

// A search reply of board number `board`, which its MAC address carries (and so picks its socket).
QByteArray ReplyOf(uint32_t board)
{
    QByteArray wire = Packet(OP_SEARCH_REPLY, 0x4242);
    for (int i = 0; i < 4; ++i) {
        wire[10 + i] = static_cast<char>(board >> (24 - 8 * i));
    }
    return wire;
}

// Sends the replies of boards 0 to count - 1, then counts each one the queue hands out, until
// every board came or 5 s passed. Replies of other boards are left out.
std::map<uint32_t, int> SendAndCollect(UdpTestSocket& from, uint16_t port, CNodeQueue& queue, uint32_t count)
{
    for (uint32_t board = 0; board < count; ++board) {
        from.SendTo(ReplyOf(board), kLoopbackText, port);
    }
    std::map<uint32_t, int> received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.size() < count) {
        std::optional<ReceivedNode> node = queue.Take(deadline);
        if (!node) {
            break;
        }
        const uint8_t* mac = node->record->GetMacAddress();
        const uint32_t board =
            uint32_t(mac[2]) << 24 | uint32_t(mac[3]) << 16 | uint32_t(mac[4]) << 8 | mac[5];
        if (board < count) {
            ++received[board];
        }
    }
    return received;
}

} // namespace

class tst_CNodeProtocol : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void wrongLengthIsDroppedAndNextIsDelivered_data();
    void wrongLengthIsDroppedAndNextIsDelivered();
    void randomBurstFromAnySenderDeliversThePacketsInOrder_data();
    void randomBurstFromAnySenderDeliversThePacketsInOrder();
    void nothingIsPostedAfterClose_data();
    void nothingIsPostedAfterClose();
    void pendingRecordsAreDeletedWithTheirWindow();
    void requestLeavesFromOwnPortAndReplyComesBack_data();
    void requestLeavesFromOwnPortAndReplyComesBack();
    void unboundSocketStillSends_data();
    void unboundSocketStillSends();
    void secondEngineBindsTheSamePort_data();
    void secondEngineBindsTheSamePort();
    void failedReceivesAreRetriedAndASocketThatKeepsFailingLeaves_data();
    void failedReceivesAreRetriedAndASocketThatKeepsFailingLeaves();
    void socketThatTheThreadClosedIsNotClosedAgain();

  private:
    // The window's receiver, or else the queue.
    CNodeReceiver& Receiver(bool window, CNodeQueue& queue) const
    {
        return window ? static_cast<CNodeReceiver&>(m_sink->receiver) : queue;
    }

    std::unique_ptr<PacketSink> m_sink;
    std::unique_ptr<UdpTestSocket> m_peer; // the boards' side
};

void tst_CNodeProtocol::init()
{
    m_sink = std::make_unique<PacketSink>();
    m_peer = std::make_unique<UdpTestSocket>();
    QVERIFY(m_peer->Open());
}

void tst_CNodeProtocol::cleanup()
{
    m_sink.reset();
    m_peer.reset();
}

void tst_CNodeProtocol::wrongLengthIsDroppedAndNextIsDelivered_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("sockets");
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("one short") << 35 << 1;
    QTest::newRow("one over") << 37 << 1;
    QTest::newRow("100") << 100 << 1;
    QTest::newRow("largest datagram") << 65507 << 1;
    QTest::newRow("one over, 4 sockets") << 37 << 4;
    QTest::newRow("largest datagram, 4 sockets") << 65507 << 4;
}

void tst_CNodeProtocol::wrongLengthIsDroppedAndNextIsDelivered()
{
    QFETCH(int, length);
    QFETCH(int, sockets);
    const auto engine = EngineSendingTo(m_sink->receiver, *m_peer, {kLoopback, 0}, sockets);
    QVERIFY(engine->BoundPort() != 0);
    QCOMPARE(engine->ReceiveSocketCount(), sockets);

    // Starts like a valid packet, so a truncating receive that ignored the length would deliver it.
    QByteArray stray = Packet(OP_SEARCH_REPLY, 0x1111, 0x5a).leftJustified(length, 0x5a, true);
    const QByteArray valid = Packet(OP_SEARCH_REPLY, 0x2222, 0x33);
    QVERIFY(SendTo(*m_peer, *engine, stray));
    QVERIFY(SendTo(*m_peer, *engine, valid));

    QTRY_COMPARE(m_sink->records.size(), std::size_t{1});
    QCOMPARE(m_sink->RecordBytes(0), valid);
}

void tst_CNodeProtocol::randomBurstFromAnySenderDeliversThePacketsInOrder_data()
{
    QTest::addColumn<int>("sockets");
    QTest::addColumn<bool>("window"); // delivered to the window's receiver, or else to a queue
    QTest::newRow("one socket") << 1 << true;
    QTest::newRow("spread over 8 sockets") << 8 << true;
    QTest::newRow("spread over 8 sockets, no window") << 8 << false;
}

void tst_CNodeProtocol::randomBurstFromAnySenderDeliversThePacketsInOrder()
{
    QFETCH(int, sockets);
    QFETCH(bool, window);
    // Replies come from every board's own address, not only from where the requests went.
    UdpTestSocket other;
    QVERIFY(other.Open(QStringLiteral("127.0.0.5")));
    CNodeQueue queue;
    const auto engine = EngineSendingTo(Receiver(window, queue), *m_peer, {kLoopback, 0}, sockets);
    QCOMPARE(engine->ReceiveSocketCount(), sockets);
    std::mt19937 random(20240607u);
    std::uniform_int_distribution<int> length(0, 100);
    std::uniform_int_distribution<int> byte(0, 255);
    std::bernoulli_distribution valid(0.3);

    // Rounds that each end with a known packet keep the burst within the socket's receive buffer.
    std::vector<QByteArray> expected;
    std::vector<uint32_t> senders;
    Taken taken;
    const auto delivered = [&] {
        taken.Add(queue.TakeAll());
        return window ? m_sink->records.size() : taken.bytes.size();
    };
    for (uint32_t round = 0; round < 8; ++round) {
        UdpTestSocket& sender = round % 2 == 0 ? *m_peer : other;
        for (int i = 0; i < 60; ++i) {
            QByteArray wire(valid(random) ? NodeInfo::kPacketSize : length(random), '\0');
            for (char& b : wire) {
                b = static_cast<char>(byte(random));
            }
            if (wire.size() == NodeInfo::kPacketSize) {
                expected.push_back(wire);
                senders.push_back(round % 2 == 0 ? kLoopback : 0x7f000005u);
            }
            QVERIFY(SendTo(sender, *engine, wire));
        }
        expected.push_back(Packet(OP_SEARCH_REPLY, 0x10000 + round));
        senders.push_back(round % 2 == 0 ? kLoopback : 0x7f000005u);
        QVERIFY(SendTo(sender, *engine, expected.back()));
        QTRY_COMPARE_WITH_TIMEOUT(delivered(), expected.size(), 10000);
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(window ? m_sink->RecordBytes(i) : taken.bytes[i], expected[i]);
    }
    if (!window) {
        const std::string loopback = "lo#" + std::to_string(if_nametoindex("lo"));
        QCOMPARE(taken.interfaces, std::vector<std::string>(expected.size(), loopback));
        QCOMPARE(taken.senders, senders);
        QCoreApplication::sendPostedEvents();
        QVERIFY(m_sink->records.empty()); // the window got none of them
    }
}

void tst_CNodeProtocol::nothingIsPostedAfterClose_data()
{
    QTest::addColumn<int>("sockets");
    QTest::addColumn<bool>("window");
    QTest::newRow("one socket") << 1 << true;
    QTest::newRow("spread over 8 sockets") << 8 << true;
    QTest::newRow("spread over 8 sockets, no window") << 8 << false;
}

void tst_CNodeProtocol::nothingIsPostedAfterClose()
{
    QFETCH(int, sockets);
    QFETCH(bool, window);
    constexpr uint32_t kPerRound = 100;
    CNodeQueue queue;
    std::vector<uint32_t> ids;
    const auto collect = [&] {
        if (window) {
            QCoreApplication::sendPostedEvents(m_sink.get(), WM_NODE_PACKET);
            for (std::size_t i = ids.size(); i < m_sink->records.size(); ++i) {
                ids.push_back(m_sink->records[i]->GetTransactionId());
            }
        }
        for (const ReceivedNode& node : queue.TakeAll()) {
            ids.push_back(node.record->GetTransactionId());
        }
        return ids.size();
    };
    std::size_t postedBeforeClose = 0;
    for (int round = 0; round < 10; ++round) {
        const auto engine = EngineSendingTo(Receiver(window, queue), *m_peer, {kLoopback, 0}, sockets);
        for (uint32_t id = 1; id <= kPerRound; ++id) {
            QByteArray wire = Packet(OP_SEARCH_REPLY, id);
            wire[13] = static_cast<char>(id); // spread over the sockets by the MAC address
            QVERIFY(SendTo(*m_peer, *engine, wire));
        }
        // Every other round, let the thread get going on the burst so that Close meets it midway.
        if (round % 2 == 1) {
            QTRY_VERIFY(collect() > postedBeforeClose);
        }
        engine->Close();
        QCOMPARE(engine->SendSearchRequest(), 0u);
        QCOMPARE(engine->ReceiveSocketCount(), 0);

        const std::size_t delivered = collect() - postedBeforeClose;
        QVERIFY(delivered <= kPerRound);
        for (std::size_t i = 0; i < delivered; ++i) {
            QCOMPARE(ids[postedBeforeClose + i], uint32_t(i + 1));
        }
        postedBeforeClose = ids.size();
    }
    // A receive thread that outlived its Close would deliver from here on.
    QTest::qWait(100);
    QCOMPARE(collect(), postedBeforeClose);
}

// A window that goes away before it looks at its records deletes them with itself; the engine of
// another window in the same process hands that one only its own.
void tst_CNodeProtocol::pendingRecordsAreDeletedWithTheirWindow()
{
#ifdef NDEBUG
    QSKIP("needs the trace lines of a debug build to know when the thread is done");
#endif
    std::mutex mutex;
    std::condition_variable traced;
    int invalid = 0;
    lanfinch::SetTraceSink([&](const std::string& line) {
        if (line == "invalid packet received\n") {
            const std::lock_guard lock(mutex);
            ++invalid;
            traced.notify_all();
        }
    });
    const auto restoreTrace = qScopeGuard([] { lanfinch::SetTraceSink({}); });

    auto gone = std::make_unique<PacketSink>();
    const auto engine = EngineSendingTo(gone->receiver, *m_peer);
    const auto other = EngineSendingTo(m_sink->receiver, *m_peer);
    for (uint32_t id = 1; id <= 20; ++id) {
        QVERIFY(SendTo(*m_peer, *engine, Packet(OP_SEARCH_REPLY, id)));
    }
    // The thread handles datagrams in order: once it has dropped this one, it is done with the 20.
    QVERIFY(SendTo(*m_peer, *engine, QByteArray(5, '\0')));
    {
        // Not through the event loop, which would hand the window its event.
        std::unique_lock lock(mutex);
        QVERIFY(traced.wait_for(lock, std::chrono::seconds(10), [&] { return invalid == 1; }));
    }
    engine->Close();
    gone.reset();

    QVERIFY(SendTo(*m_peer, *other, Packet(OP_SEARCH_REPLY, 99)));
    QTRY_COMPARE(m_sink->records.size(), std::size_t{1});
    QCOMPARE(m_sink->records[0]->GetTransactionId(), 99u);
    // Whether the 20 records were freed, and their event never touched the receiver after it was
    // gone, the sanitizers tell.
}

void tst_CNodeProtocol::requestLeavesFromOwnPortAndReplyComesBack_data()
{
    QTest::addColumn<bool>("setAddress");
    QTest::newRow("search") << false;
    QTest::newRow("set address") << true;
}

void tst_CNodeProtocol::requestLeavesFromOwnPortAndReplyComesBack()
{
    QFETCH(bool, setAddress);
    const auto engine = EngineSendingTo(m_sink->receiver, *m_peer);
    const uint16_t ownPort = engine->BoundPort();
    QVERIFY(ownPort != 0);

    QByteArray expected(NodeInfo::kPacketSize, '\0');
    uint32_t id = 0;
    if (setAddress) {
        const QByteArray mac = QByteArray::fromHex("000aff10203b");
        const QByteArray settings = QByteArray::fromHex("00000000c0a8000affffff00c0a80001");
        NodeInfo parsed;
        parsed.Unpack(reinterpret_cast<const uint8_t*>(QByteArray(20, '\0').append(settings).constData()));
        id = engine->SendAddressRequest(parsed.GetSettings(),
                                        reinterpret_cast<const uint8_t*>(mac.constData()));
        expected[3] = 2;
        expected.replace(8, 6, mac);
        expected.replace(20, 16, settings);
    } else {
        id = engine->SendSearchRequest();
    }
    QVERIFY(id >= 1 && id <= 32767);
    expected[4] = static_cast<char>(id & 0xff);
    expected[5] = static_cast<char>(id >> 8);

    const auto request = m_peer->Receive(5000);
    QVERIFY(request.has_value());
    QCOMPARE(request->data.toHex(' '), expected.toHex(' '));
    QCOMPARE(request->port, ownPort);
    QCOMPARE(request->address, kLoopbackText);

    // A board answers to wherever the request came from.
    QByteArray reply = request->data;
    reply[3] = static_cast<char>(setAddress ? OP_SET_ADDRESS_REPLY : OP_SEARCH_REPLY);
    QVERIFY(m_peer->SendTo(reply, request->address, request->port));
    QTRY_COMPARE(m_sink->records.size(), std::size_t{1});
    QCOMPARE(m_sink->RecordBytes(0), reply);
    QCOMPARE(m_sink->records[0]->GetTransactionId(), id);
}

void tst_CNodeProtocol::unboundSocketStillSends_data()
{
    QTest::addColumn<bool>("portTaken");
    QTest::newRow("port held without SO_REUSEADDR") << true;
    QTest::newRow("address not of this host") << false;
}

void tst_CNodeProtocol::unboundSocketStillSends()
{
    QFETCH(bool, portTaken);
    UdpTestSocket blocker;
    QVERIFY(blocker.Open());
    const UdpEndpoint local =
        portTaken ? UdpEndpoint{kLoopback, blocker.Port()} : UdpEndpoint{kDocumentationAddress, 0};
    const auto engine = EngineSendingTo(m_sink->receiver, *m_peer, local);
    QCOMPARE(engine->BoundPort(), uint16_t{0});

    const uint32_t id = engine->SendSearchRequest();
    QVERIFY(id != 0);
    const auto request = m_peer->Receive(5000);
    QVERIFY(request.has_value());
    QCOMPARE(request->data.size(), qsizetype{NodeInfo::kPacketSize});
    QCOMPARE(IdOf(request->data), id);

    // The receive thread has given up on the unbound socket: a reply reaches the socket but is
    // never handed on.
    QByteArray reply = request->data;
    reply[3] = OP_SEARCH_REPLY;
    QVERIFY(m_peer->SendTo(reply, request->address, request->port));
    QTest::qWait(100);
    QCOMPARE(m_sink->records.size(), std::size_t{0});
}

void tst_CNodeProtocol::secondEngineBindsTheSamePort_data()
{
    QTest::addColumn<int>("firstSockets");
    QTest::newRow("first with one socket") << 1;
    QTest::newRow("first spread over 4 sockets") << 4;
}

void tst_CNodeProtocol::secondEngineBindsTheSamePort()
{
    QFETCH(int, firstSockets);
    CNodeQueue firstQueue, secondQueue;
    const auto first = EngineSendingTo(firstQueue, *m_peer, {kLoopback, 0}, firstSockets);
    const uint16_t port = first->BoundPort();
    QVERIFY(port != 0);
    // The second one shares the port with one socket, outside the first one's group.
    const auto second = EngineSendingTo(secondQueue, *m_peer, UdpEndpoint{kLoopback, port}, 4);
    QCOMPARE(second->BoundPort(), port);
    QCOMPARE(first->ReceiveSocketCount(), firstSockets);
    QCOMPARE(second->ReceiveSocketCount(), 1);
    QVERIFY(second->SendSearchRequest() != 0);
    QVERIFY(m_peer->Receive(5000).has_value());
}

void tst_CNodeProtocol::failedReceivesAreRetriedAndASocketThatKeepsFailingLeaves_data()
{
    QTest::addColumn<int>("sockets");
    QTest::addColumn<int>("failing"); // its place in the group
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("failures"); // receives that fail; -1: every one
    QTest::addColumn<int>("readingAfter");
    QTest::newRow("out of buffers for a moment") << 4 << 2 << ENOBUFS << 3 << 4;
    QTest::newRow("an ICMP error on the only socket") << 1 << 0 << int(ECONNREFUSED) << 2 << 1;
    QTest::newRow("a member keeps failing") << 4 << 1 << EIO << -1 << 3;
    QTest::newRow("the last member keeps failing") << 4 << 3 << EIO << -1 << 3;
    QTest::newRow("the first socket keeps failing") << 4 << 0 << EIO << -1 << 3;
    QTest::newRow("the only socket keeps failing") << 1 << 0 << EIO << -1 << 0;
}

void tst_CNodeProtocol::failedReceivesAreRetriedAndASocketThatKeepsFailingLeaves()
{
    QFETCH(int, sockets);
    QFETCH(int, failing);
    QFETCH(int, error);
    QFETCH(int, failures);
    QFETCH(int, readingAfter);
    const int first = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{AF_INET, 0, {htonl(kLoopback)}, {}};
    socklen_t length = sizeof local;
    QVERIFY(ReplySockets::SetIntOption(first, SO_REUSEPORT, 1) == 0 &&
            bind(first, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            getsockname(first, reinterpret_cast<sockaddr*>(&local), &length) == 0);
    const std::vector<int> group =
        sockets > 1 ? ReplySockets::FormGroup(first, sockets) : std::vector<int>{first};
    QCOMPARE(int(group.size()), sockets);
    const int failingFd = group[std::size_t(failing)];
    std::atomic<int> left{failures};
    CNodeQueue queue;
    const int wake = eventfd(0, EFD_CLOEXEC);
    CReceiveLoop loop(group, wake, queue, [&](int fd, mmsghdr* messages, unsigned count) {
        if (fd == failingFd && left != 0) {
            left -= left > 0 ? 1 : 0;
            errno = error;
            return -1;
        }
        return recvmmsg(fd, messages, count, MSG_DONTWAIT, nullptr);
    });
    std::thread thread([&loop] { loop.Run(); });
    const auto stop = qScopeGuard([&] {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake, &one, sizeof one);
        thread.join();
        for (const int fd : group) {
            if (std::find(loop.ClosedSockets().begin(), loop.ClosedSockets().end(), fd) ==
                loop.ClosedSockets().end()) {
                close(fd);
            }
        }
        close(wake);
    });

    // Replies of other boards until one reaches the failing socket and its receives have failed.
    const auto failed = [&] { return failures >= 0 ? left == 0 : loop.ReadingCount() < sockets; };
    for (uint32_t probe = 0x10000; !failed() && probe < 0x10400; ++probe) {
        QVERIFY(m_peer->SendTo(ReplyOf(probe), kLoopbackText, ntohs(local.sin_port)));
        if (QTest::qWaitFor(failed, 20)) {
            break;
        }
    }
    QVERIFY(failed());
    QTRY_COMPARE(loop.ReadingCount(), readingAfter);
    if (readingAfter == 0) {
        thread.join(); // it ends by itself
        thread = std::thread([] {});
    } else {
        const std::map<uint32_t, int> received = SendAndCollect(*m_peer, ntohs(local.sin_port), queue, 256);
        QCOMPARE(received.size(), std::size_t{256});
        QVERIFY(std::all_of(received.begin(), received.end(),
                            [](const auto& board) { return board.second == 1; }));
    }
    const std::vector<int> closed =
        failures < 0 && failing > 0 ? std::vector<int>{failingFd} : std::vector<int>{};
    QCOMPARE(loop.ClosedSockets(), closed);
}

// The engine closes what is left once the thread has ended: never one that the thread closed, which
// may belong to someone else by then.
void tst_CNodeProtocol::socketThatTheThreadClosedIsNotClosedAgain()
{
    CNodeQueue queue;
    const auto engine = EngineSendingTo(queue, *m_peer, {kLoopback, 0}, 4);
    // Lowest descriptor first: the first bound.
    const std::vector<int> sockets = UdpSocketsOn(engine->BoundPort());
    QCOMPARE(sockets.size(), std::size_t{4});
    // A member's descriptor is taken over: the socket is gone, and every receive fails from now on.
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    QCOMPARE(dup2(devNull, sockets[1]), sockets[1]);
    // The thread may be waiting on the socket that was there: replies wake it to look again.
    const auto left = [&] { return engine->ReceiveSocketCount() == 3; };
    for (uint32_t probe = 0x10000; !left() && probe < 0x10400; ++probe) {
        QVERIFY(m_peer->SendTo(ReplyOf(probe), kLoopbackText, engine->BoundPort()));
        if (QTest::qWaitFor(left, 20))
            break;
    }
    QCOMPARE(engine->ReceiveSocketCount(), 3);
    QCOMPARE(fcntl(devNull, F_DUPFD_CLOEXEC, sockets[1]), sockets[1]);

    const std::map<uint32_t, int> received = SendAndCollect(*m_peer, engine->BoundPort(), queue, 256);
    QCOMPARE(received.size(), std::size_t{256});
    QVERIFY(
        std::all_of(received.begin(), received.end(), [](const auto& board) { return board.second == 1; }));
    engine->Close();
    QVERIFY(fcntl(sockets[1], F_GETFD) != -1);
    close(sockets[1]);
    close(devNull);
}

QTEST_GUILESS_MAIN(tst_CNodeProtocol)
#include "tst_CNodeProtocol.moc"
