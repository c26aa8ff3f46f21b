#include "protocol/CNodeProtocol.h"
#include "tests/protocol/PacketSink.h"
#include "tests/support/SimProcess.h"
#include "tests/support/UdpTestSocket.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QTest>

#include <arpa/inet.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

// The tool's real addresses and ports against lanfinch-sim. Only inside scripts/netns-run, where the
// broadcast cannot leave the machine.
namespace {

uint32_t Address(const char* dotted)
{
    in_addr address{};
    inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

} // namespace

class tst_ProtocolNetns : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void broadcastSearchFindsEveryBoard_data();
    void broadcastSearchFindsEveryBoard();
    void setAddressChangesOneBoard();
    void broadcastRepliesAreDeliveredOnce_data();
    void broadcastRepliesAreDeliveredOnce();

  private:
    void OpenEngine(int sockets);
    // Runs a search and waits for boardCount replies to it.
    std::vector<const NodeInfo*> Search(int boardCount);

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<PacketSink> m_sink;
    std::unique_ptr<CNodeProtocol> m_engine;
};

void tst_ProtocolNetns::initTestCase()
{
    // Fail, not skip: run outside the namespace, this test would broadcast onto the real network.
    QVERIFY2(RunningInPrivateNetns(), "must run inside scripts/netns-run");
}

void tst_ProtocolNetns::init()
{
    // Fresh boards for every test, so that no test sees another one's address changes.
    m_sim = std::make_unique<SimProcess>();
    QVERIFY(m_sim->Start({QStringLiteral("--boards"), QStringLiteral("3"), QStringLiteral("--bind"),
                          QStringLiteral("0.0.0.0:22222"), QStringLiteral("--no-snmp")}));
    QCOMPARE(m_sim->UdpPort(), quint16{22222});

    m_sink = std::make_unique<PacketSink>();
}

void tst_ProtocolNetns::OpenEngine(int sockets)
{
    m_engine = std::make_unique<CNodeProtocol>(CNodeProtocol::kLocalEndpoint,
                                               CNodeProtocol::kRequestDestination, m_sink->receiver, sockets);
    QCOMPARE(m_engine->BoundPort(), CNodeProtocol::kLocalEndpoint.port);
}

void tst_ProtocolNetns::cleanup()
{
    m_engine.reset();
    m_sink.reset();
    if (m_sim) {
        QVERIFY(m_sim->Stop());
        m_sim.reset();
    }
}

std::vector<const NodeInfo*> tst_ProtocolNetns::Search(int boardCount)
{
    const uint32_t id = m_engine->SendSearchRequest();
    if (id == 0) {
        return {};
    }
    [[maybe_unused]] const bool arrived = QTest::qWaitFor(
        [&] { return m_sink->Replies(id, OP_SEARCH_REPLY).size() >= std::size_t(boardCount); }, 5000);
    return m_sink->Replies(id, OP_SEARCH_REPLY);
}

void tst_ProtocolNetns::broadcastSearchFindsEveryBoard_data()
{
    QTest::addColumn<int>("sockets");
    QTest::newRow("as many sockets as needed") << int(CNodeProtocol::kSocketsAsNeeded);
    QTest::newRow("spread over 4 sockets") << 4;
}

void tst_ProtocolNetns::broadcastSearchFindsEveryBoard()
{
    QFETCH(int, sockets);
    OpenEngine(sockets);
    const std::vector<const NodeInfo*> replies = Search(3);
    QCOMPARE(replies.size(), std::size_t{3});

    std::set<std::string> macs;
    std::set<std::string> addresses;
    for (const NodeInfo* reply : replies) {
        macs.insert(reply->GetMacText());
        addresses.insert(reply->GetSettings().GetIpText());
        QCOMPARE(reply->GetSettings().GetMaskText(), std::string("255.0.0.0"));
        QCOMPARE(reply->GetSettings().GetGatewayText(), std::string("none"));
        QCOMPARE(reply->GetSettings().GetDhcpText(), std::string("no"));
    }
    QCOMPARE(macs.size(), std::size_t{3});
    QCOMPARE(addresses, (std::set<std::string>{"127.0.0.2", "127.0.0.3", "127.0.0.4"}));

    // The boards saw the request, and every search request came from the tool's own port.
    const uint32_t id = replies.front()->GetTransactionId();
    const QString tid = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(&id), 4).toHex());
    int seen = 0;
    for (const QJsonObject& entry : m_sim->LogEntries()) {
        if (entry.value(QStringLiteral("proto")).toString() != QLatin1String("node") ||
            entry.value(QStringLiteral("dir")).toString() != QLatin1String("in") ||
            entry.value(QStringLiteral("op")).toInt(-1) != OP_SEARCH_REQUEST) {
            continue;
        }
        const QString peer = entry.value(QStringLiteral("peer")).toString();
        QVERIFY2(peer.endsWith(QLatin1String(":22223")), qPrintable(peer));
        seen += entry.value(QStringLiteral("tid")).toString().compare(tid, Qt::CaseInsensitive) == 0;
    }
    QVERIFY(seen >= 1);
}

void tst_ProtocolNetns::setAddressChangesOneBoard()
{
    OpenEngine(CNodeProtocol::kSocketsAsNeeded);
    const std::vector<const NodeInfo*> before = Search(3);
    QCOMPARE(before.size(), std::size_t{3});
    const NodeInfo target = *before[1];
    std::vector<NodeInfo> others = {*before[0], *before[2]};

    NetworkSettings fixed;
    fixed.SetDhcp(0);
    fixed.SetIpAddress(Address("127.0.0.20"));
    fixed.SetSubnetMask(Address("255.255.255.0"));
    fixed.SetGateway(Address("127.0.0.1"));
    const uint32_t id = m_engine->SendAddressRequest(fixed, target.GetMacAddress());
    QVERIFY(id != 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_sink->Replies(id, OP_SET_ADDRESS_REPLY).size(), std::size_t{1}, 5000);
    const NodeInfo* reply = m_sink->Replies(id, OP_SET_ADDRESS_REPLY).front();
    QCOMPARE(reply->GetResult(), 0u);
    QVERIFY(reply->HasSameMac(target));
    QVERIFY(reply->GetSettings() == fixed);

    m_sink->records.clear();
    const std::vector<const NodeInfo*> after = Search(3);
    QCOMPARE(after.size(), std::size_t{3});
    int changed = 0;
    for (const NodeInfo* node : after) {
        if (node->HasSameMac(target)) {
            ++changed;
            QVERIFY(node->GetSettings() == fixed);
            QCOMPARE(node->GetSettings().GetGatewayText(), std::string("127.0.0.1"));
        } else {
            const bool unchanged =
                (node->HasSameMac(others[0]) && node->GetSettings() == others[0].GetSettings()) ||
                (node->HasSameMac(others[1]) && node->GetSettings() == others[1].GetSettings());
            QVERIFY2(unchanged, node->GetMacText().c_str());
        }
    }
    QCOMPARE(changed, 1);
}

void tst_ProtocolNetns::broadcastRepliesAreDeliveredOnce_data()
{
    QTest::addColumn<QString>("broadcast");
    QTest::newRow("limited broadcast") << QStringLiteral("255.255.255.255");
    // Loopback marks it as a packet for this host: only the same bytes and time tell the copies.
    QTest::newRow("directed broadcast of loopback") << QStringLiteral("127.255.255.255");
}

// Every socket of a group gets a broadcast; the tool must list the board once all the same.
void tst_ProtocolNetns::broadcastRepliesAreDeliveredOnce()
{
    QFETCH(QString, broadcast);
    OpenEngine(4);
    UdpTestSocket board;
    QVERIFY(board.Open(QStringLiteral("127.0.0.2"), 0, 0, true));
    std::vector<QByteArray> sent;
    for (uint8_t i = 1; i <= 20; ++i) {
        QByteArray wire(NodeInfo::kPacketSize, '\0');
        wire[3] = OP_SEARCH_REPLY;
        wire[4] = 0x42;
        wire[13] = static_cast<char>(i);
        QVERIFY(board.SendTo(wire, i % 2 == 0 ? broadcast : QStringLiteral("127.0.0.1"),
                             CNodeProtocol::kLocalEndpoint.port));
        sent.push_back(wire);
    }
    QTRY_COMPARE(m_sink->records.size(), sent.size());
    QTest::qWait(50); // copies would come right behind
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_sink->records.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        QCOMPARE(m_sink->RecordBytes(i), sent[i]);
    }
}

QTEST_GUILESS_MAIN(tst_ProtocolNetns)
#include "tst_ProtocolNetns.moc"
