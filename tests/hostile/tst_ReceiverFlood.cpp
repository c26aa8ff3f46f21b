// A flood of search replies from one sender into a receiver that nobody reads: lanfinch-cli's queue,
// and the main window's hand-over while its event loop does not run. Each keeps what its bound
// holds, counts the rest in one trace line, and memory does not grow with the flood. Loopback and
// ephemeral ports.
#include "protocol/CNodeProtocol.h"
#include "protocol/CNodeQueue.h"
#include "protocol/Trace.h"
#include "tests/protocol/PacketSink.h"
#include "tests/support/UdpTestSocket.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// Freed records would otherwise stay resident in the sanitizer's quarantine and look like growth.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=4";
}

namespace {

constexpr uint32_t kLoopback = 0x7f000001u;
constexpr int kFlood = 8 * int(CNodeQueue::kDefaultCapacity);
constexpr int kMaxInFlight = 256; // far below what the socket's receive buffer holds
constexpr qint64 kMaxRssGrowthKb = 40 * 1024;

qint64 RssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

// What the trace lines tell: datagrams the receive thread took, and the drops reported.
struct Progress
{
    std::mutex mutex;
    std::condition_variable changed;
    int accepted = 0;
    std::vector<unsigned long> drops;

    void OnTrace(const std::string& line)
    {
        unsigned long dropped = 0;
        std::lock_guard lock(mutex);
        if (line == "Get new packet!!\n") {
            ++accepted;
            changed.notify_all();
        } else if (std::sscanf(line.c_str(), "receive queue full, %lu records dropped", &dropped) == 1) {
            drops.push_back(dropped);
        }
    }
};

ReceivedNodes Numbered(int first, int count)
{
    ReceivedNodes nodes(count);
    for (int i = 0; i < count; ++i)
        nodes[i].sourceAddress = uint32_t(first + i);
    return nodes;
}

// The source addresses of what a receiver holds, in its order.
template <typename Held> std::vector<uint32_t> Sources(const Held& held)
{
    std::vector<uint32_t> sources;
    for (const ReceivedNode& node : held)
        sources.push_back(node.sourceAddress);
    return sources;
}

} // namespace

class tst_ReceiverFlood : public QObject
{
    Q_OBJECT

  private slots:
    void floodIntoAReceiverNobodyReads_data();
    void floodIntoAReceiverNobodyReads();
    void batchKeepsItsFirstRecordsThatFit_data();
    void batchKeepsItsFirstRecordsThatFit();
};

void tst_ReceiverFlood::floodIntoAReceiverNobodyReads_data()
{
    QTest::addColumn<bool>("window");
    QTest::newRow("queue") << false;
    QTest::newRow("window") << true; // the main window's hand-over
}

void tst_ReceiverFlood::floodIntoAReceiverNobodyReads()
{
#ifdef NDEBUG
    QSKIP("the pacing counts the diagnostic trace lines, which this build leaves out");
#endif
    QFETCH(bool, window);
    const std::size_t bound = window ? CNodePacketEvent::kMaxJoined : CNodeQueue::kDefaultCapacity;
    Progress progress;
    lanfinch::SetTraceSink([&progress](const std::string& line) { progress.OnTrace(line); });
    const auto restoreTrace = qScopeGuard([] { lanfinch::SetTraceSink({}); });
    PacketSink mainWindow;
    CNodeQueue queue;
    UdpTestSocket board;
    QVERIFY(board.Open());
    CNodeProtocol engine(UdpEndpoint{kLoopback, 0}, UdpEndpoint{kLoopback, board.Port()},
                         window ? static_cast<CNodeReceiver&>(mainWindow.receiver) : queue, 1);
    QVERIFY(engine.BoundPort() != 0);

    QByteArray reply(NodeInfo::kPacketSize, '\0');
    reply[3] = OP_SEARCH_REPLY;
    const qint64 rssBefore = RssKb();
    for (int sent = 0; sent < kFlood; ++sent) {
        std::unique_lock lock(progress.mutex);
        QVERIFY(progress.changed.wait_for(lock, std::chrono::seconds(10),
                                          [&] { return sent - progress.accepted < kMaxInFlight; }));
        lock.unlock();
        std::memcpy(reply.data() + 10, &sent, sizeof sent);
        QVERIFY(board.SendTo(reply, QStringLiteral("127.0.0.1"), engine.BoundPort()));
    }
    {
        std::unique_lock lock(progress.mutex);
        QVERIFY(progress.changed.wait_for(lock, std::chrono::seconds(10),
                                          [&] { return progress.accepted == kFlood; }));
    }
    const qint64 rssAfter = RssKb();
    // The thread hands on what it read before it looks at the wake-up.
    engine.Close();

    const std::size_t held =
        window ? (QCoreApplication::sendPostedEvents(&mainWindow, WM_NODE_PACKET), mainWindow.records.size())
               : queue.TakeAll().size();
    qInfo("flood of %d replies: %zu held, RSS %lld -> %lld kB", kFlood, held, rssBefore, rssAfter);
    QCOMPARE(held, bound);
    std::lock_guard lock(progress.mutex);
    QCOMPARE(progress.drops, std::vector<unsigned long>{kFlood - bound});
    QVERIFY(rssBefore > 0 && rssAfter > 0);
    QVERIFY2(rssAfter - rssBefore < kMaxRssGrowthKb, qPrintable(QString::number(rssAfter - rssBefore)));
}

// The bound both receivers keep, on a batch that arrives as they fill: the queue's deque and the
// window's event's vector.
void tst_ReceiverFlood::batchKeepsItsFirstRecordsThatFit_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("batch");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("kept");
    QTest::newRow("room for all") << 1 << 3 << 5 << 3;
    QTest::newRow("fills it exactly") << 2 << 3 << 5 << 3;
    QTest::newRow("straddles the bound") << 3 << 4 << 5 << 2;
    QTest::newRow("already full") << 5 << 2 << 5 << 0;
    QTest::newRow("fuller than the bound") << 6 << 2 << 5 << 0;
    QTest::newRow("empty batch") << 5 << 0 << 5 << 0;
}

void tst_ReceiverFlood::batchKeepsItsFirstRecordsThatFit()
{
    QFETCH(int, held);
    QFETCH(int, batch);
    QFETCH(int, capacity);
    QFETCH(int, kept);
    std::vector<uint32_t> expected = Sources(Numbered(0, held));
    const std::vector<uint32_t> first = Sources(Numbered(100, kept));
    expected.insert(expected.end(), first.begin(), first.end());

    ReceivedNodes vector = Numbered(0, held);
    ReceivedNodes nodes = Numbered(100, batch);
    QCOMPARE(AppendUpTo(vector, nodes, std::size_t(capacity)), std::size_t(batch - kept));
    QCOMPARE(Sources(vector), expected);

    ReceivedNodes start = Numbered(0, held);
    std::deque<ReceivedNode> deque(std::make_move_iterator(start.begin()),
                                   std::make_move_iterator(start.end()));
    nodes = Numbered(100, batch);
    QCOMPARE(AppendUpTo(deque, nodes, std::size_t(capacity)), std::size_t(batch - kept));
    QCOMPARE(Sources(deque), expected);
}

QTEST_GUILESS_MAIN(tst_ReceiverFlood)
#include "tst_ReceiverFlood.moc"
