// A search wait of the real node list window under a flood: 100,000 datagrams of random sizes and
// contents, mixed with the search replies of 1,000 made-up boards (each answering three times) and
// with replies that carry another transaction id. The sender keeps only a bounded number of
// datagrams unconsumed so that the kernel drops none; the test then proves that the window lost
// nothing of what it was delivered, stayed responsive and did not grow.
#include "app/CNodeListDlg.h"
#include "app/CWaitReplyDlg.h"
#include "protocol/NodePacketEvent.h"
#include "protocol/Trace.h"
#include "snmpconfig/CSnmpAccess.h"
#include "tests/support/UdpTestSocket.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr quint32 kLoopback = 0x7f000001;
constexpr int kRandomDatagrams = 100000;
constexpr int kBoards = 1000;
constexpr int kRepliesPerBoard = 3;
constexpr int kStaleReplies = 1000;
// Unconsumed datagrams the sender allows: far below what the socket's receive buffer holds.
constexpr int kMaxInFlight = 64;
constexpr int kMaxInFlightBytes = 96 * 1024;
constexpr qint64 kMaxRssGrowthKb = 64 * 1024;

// What the trace lines report, from the receive thread (a datagram taken off the socket) and from
// the window (a record handled).
struct Progress
{
    std::mutex mutex;
    std::condition_variable changed;
    long invalid = 0;
    long accepted = 0;
    long handled = 0;
    bool stop = false;

    long Consumed() const { return invalid + accepted; }

    void OnTrace(const std::string& line)
    {
        std::lock_guard lock(mutex);
        if (line == "invalid packet received\n")
            ++invalid;
        else if (line == "Get new packet!!\n")
            ++accepted;
        else if (line == "main window received message\n")
            ++handled;
        else
            return;
        changed.notify_all();
    }
};

qint64 RssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

using Mac = std::array<uint8_t, 6>;

struct Reply
{
    int board;
    bool stale;  // carries another transaction id
    uint32_t ip; // network order
};

size_t WriteReply(uint8_t* p, uint32_t op, uint32_t id, const Mac& mac, uint32_t ip)
{
    std::memset(p, 0, 36);
    const uint32_t opWire = htonl(op);
    const uint32_t mask = htonl(0xffff0000u);
    std::memcpy(p, &opWire, 4);
    std::memcpy(p + 4, &id, 4);
    std::memcpy(p + 8, mac.data(), 6);
    std::memcpy(p + 24, &ip, 4);
    std::memcpy(p + 28, &mask, 4);
    return 36;
}

// The whole flood, drawn from one fixed seed as it is sent, into one reused buffer (so that the
// test's own allocations do not blur the memory check).
class Flood
{
  public:
    Flood(uint32_t id, const std::vector<Mac>& macs, std::vector<Reply> replies)
        : m_id(id), m_macs(macs), m_replies(std::move(replies))
    {
    }

    int Total() const { return kRandomDatagrams + int(m_replies.size()); }

    // The next datagram into buffer (room for the largest); returns its size. Replies are spread
    // evenly through the random ones.
    size_t Next(uint8_t* buffer)
    {
        const int spacing = Total() / int(m_replies.size());
        if (m_sent++ % spacing == 0 && m_nextReply < m_replies.size()) {
            const Reply& reply = m_replies[m_nextReply++];
            return WriteReply(buffer, OP_SEARCH_REPLY, reply.stale ? m_id ^ 0x00010000u : m_id,
                              m_macs[size_t(reply.board)], reply.ip);
        }
        return RandomDatagram(buffer);
    }

    bool RepliesAllSent() const { return m_nextReply == m_replies.size(); }

  private:
    size_t RandomDatagram(uint8_t* p)
    {
        const unsigned kind = m_rng() % 100;
        int size = 0;
        if (kind < 3)
            size = 1473 + int(m_rng() % (65507 - 1473));
        else if (kind < 20)
            size = 30 + int(m_rng() % 12);
        else
            size = int(m_rng() % 1473);
        for (int i = 0; i < size; i += 8) {
            const uint64_t word = m_rng();
            std::memcpy(p + i, &word, size_t(std::min(8, size - i)));
        }
        if (size == 36) {
            // Some carry the outstanding id, but never an op code that the window acts on.
            if (m_rng() % 4 == 0)
                std::memcpy(p + 4, &m_id, 4);
            uint32_t id = 0;
            std::memcpy(&id, p + 4, 4);
            uint32_t op = 0;
            std::memcpy(&op, p, 4);
            if (id == m_id && (ntohl(op) == OP_SEARCH_REPLY || ntohl(op) == OP_SET_ADDRESS_REPLY))
                p[3] ^= 0x04;
        }
        return size_t(size);
    }

    uint32_t m_id;
    const std::vector<Mac>& m_macs;
    std::vector<Reply> m_replies;
    std::mt19937_64 m_rng{20240611};
    int m_sent = 0;
    size_t m_nextReply = 0;
};

} // namespace

class TestDatagramFlood : public QObject
{
    Q_OBJECT

  private slots:
    void floodDuringSearchWait();
};

void TestDatagramFlood::floodDuringSearchWait()
{
#ifdef NDEBUG
    QSKIP("the pacing counts the diagnostic trace lines, which this build leaves out");
#endif
    Progress progress;
    lanfinch::SetTraceSink([&progress](const std::string& line) { progress.OnTrace(line); });

    UdpTestSocket board;
    QVERIFY(board.Open());
    CSnmpAccess snmp;
    CNodeListDlg dialog(snmp, UdpEndpoint{kLoopback, 0}, UdpEndpoint{kLoopback, board.Port()});
    const quint16 port = dialog.Protocol().BoundPort();
    QVERIFY(port != 0);

    // The search request goes out through the window's engine; the boards echo its id bytes.
    const uint32_t id = dialog.Protocol().SendSearchRequest();
    QVERIFY(id != 0);
    dialog.SetOutstandingTransactionId(id);
    const std::optional<UdpTestSocket::Datagram> request = board.Receive(5000);
    QVERIFY(request && request->data.size() == 36);
    uint32_t echoed = 0;
    std::memcpy(&echoed, request->data.constData() + 4, 4);
    QCOMPARE(echoed, id);

    std::mt19937 rng(7);
    std::vector<Mac> macs;
    for (int b = 0; b < kBoards; ++b)
        macs.push_back({0x02, uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(b >> 8), uint8_t(b)});
    std::vector<Reply> replies;
    for (int b = 0; b < kBoards; ++b) {
        for (int r = 0; r < kRepliesPerBoard; ++r)
            replies.push_back({b, false, htonl(0x0a000000u | uint32_t(b) << 8 | uint32_t(r + 1))});
    }
    for (int s = 0; s < kStaleReplies; ++s)
        replies.push_back({int(rng() % kBoards), true, htonl(0xc0000200u | (rng() & 0xff))});
    std::shuffle(replies.begin(), replies.end(), rng);
    // The first current reply of each board is the one its row must show.
    std::vector<uint32_t> firstIp(kBoards, 0);
    for (const Reply& reply : replies) {
        if (!reply.stale && firstIp[size_t(reply.board)] == 0)
            firstIp[size_t(reply.board)] = reply.ip;
    }
    Flood flood(id, macs, replies);
    const int total = flood.Total();

    const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QVERIFY(sender >= 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(kLoopback);

    std::atomic<int> sent{0};
    std::atomic<int> sendErrors{0};
    std::atomic<bool> senderDone{false};
    auto send = [&] {
        std::deque<int> inFlightSizes;
        int inFlightBytes = 0;
        long retired = 0;
        std::vector<uint8_t> datagram(65536);
        for (int i = 0; i < total; ++i) {
            const size_t size = flood.Next(datagram.data());
            std::unique_lock lock(progress.mutex);
            // Paced on what the receive thread took (kernel buffer) and what the window handled
            // (event queue); datagrams are consumed in the order they were sent.
            progress.changed.wait(lock, [&] {
                for (; retired < progress.Consumed(); ++retired) {
                    inFlightBytes -= inFlightSizes.front();
                    inFlightSizes.pop_front();
                }
                const long unhandled = sent - progress.invalid - progress.handled;
                return progress.stop ||
                       (unhandled < kMaxInFlight && inFlightBytes + int(size) + 1024 <= kMaxInFlightBytes) ||
                       inFlightSizes.empty();
            });
            if (progress.stop)
                break;
            lock.unlock();
            if (sendto(sender, datagram.data(), size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) !=
                ssize_t(size))
                ++sendErrors;
            inFlightSizes.push_back(int(size) + 1024);
            inFlightBytes += inFlightSizes.back();
            ++sent;
        }
        senderDone = true;
    };

    QTimer zeroTimer;
    zeroTimer.setInterval(0);
    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    long ticks = 0;
    connect(&zeroTimer, &QTimer::timeout, this, [&] {
        if (sinceTick.isValid())
            longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
        sinceTick.start();
        ++ticks;
    });

    const qint64 rssBefore = RssKb();
    const QDeadlineTimer deadline(150000);
    std::thread senderThread;
    QTimer watcher;
    watcher.setInterval(20);
    bool allDelivered = false;
    connect(&watcher, &QTimer::timeout, this, [&] {
        std::unique_lock lock(progress.mutex);
        allDelivered = senderDone && progress.Consumed() == sent && progress.handled == progress.accepted;
        if (allDelivered || deadline.hasExpired()) {
            progress.stop = true;
            progress.changed.notify_all();
            lock.unlock();
            if (CWaitReplyDlg* wait = dialog.WaitDialog())
                wait->EndDialog(WAIT_RESULT_CANCELLED);
        }
    });
    QTimer::singleShot(0, this, [&] {
        zeroTimer.start();
        watcher.start();
        senderThread = std::thread(send);
    });

    QElapsedTimer clock;
    clock.start();
    const int result = dialog.RunWaitDialog(600000);
    const qint64 floodMs = clock.elapsed();
    zeroTimer.stop();
    watcher.stop();
    if (senderThread.joinable())
        senderThread.join();
    ::close(sender);
    const qint64 rssAfter = RssKb();
    lanfinch::SetTraceSink({});

    qInfo("flood: %d datagrams in %lld ms, %ld zero-timer ticks, longest gap %lld ms, RSS %lld -> %lld kB",
          int(sent), floodMs, ticks, longestGapMs, rssBefore, rssAfter);
    QVERIFY2(allDelivered, "the flood did not drain before the deadline");
    QCOMPARE(result, int(WAIT_RESULT_CANCELLED));
    QCOMPARE(int(sent), total);
    QCOMPARE(int(sendErrors), 0);
    // Nothing was lost between the socket and the window.
    QCOMPARE(progress.Consumed(), long(total));
    QCOMPARE(progress.handled, progress.accepted);

    QCOMPARE(dialog.RowCount(), kBoards);
    QSet<QByteArray> listed;
    for (int row = 0; row < dialog.RowCount(); ++row) {
        const NodeInfo* record = dialog.RowRecord(row);
        QVERIFY(record != nullptr);
        Mac mac;
        std::copy_n(record->GetMacAddress(), mac.size(), mac.begin());
        const QByteArray key(reinterpret_cast<const char*>(mac.data()), int(mac.size()));
        QVERIFY2(!listed.contains(key), record->GetMacText().c_str());
        listed.insert(key);
        const auto known = std::find(macs.begin(), macs.end(), mac);
        QVERIFY2(known != macs.end(), record->GetMacText().c_str());
        QCOMPARE(record->GetSettings().GetIpAddress(), firstIp[size_t(known - macs.begin())]);
    }

    QVERIFY(ticks > 0);
    QVERIFY2(longestGapMs < 1000, qPrintable(QString::number(longestGapMs)));
    QVERIFY(rssBefore > 0 && rssAfter > 0);
    QVERIFY2(rssAfter - rssBefore < kMaxRssGrowthKb, qPrintable(QString::number(rssAfter - rssBefore)));
}

QTEST_MAIN(TestDatagramFlood)
#include "tst_DatagramFlood.moc"
