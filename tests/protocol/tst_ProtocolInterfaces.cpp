// A machine on two networks, with boards on each and the default route on the first: one search
// must find them all, and a set-address request must reach a board off the default route. Runs only
// inside tests/protocol/two-interfaces, which makes the interfaces in a namespace of its own.
#include "protocol/CNodeProtocol.h"
#include "protocol/CNodeQueue.h"
#include "tests/support/SimProcess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QTest>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <array>
#include <chrono>
#include <memory>

namespace {

const QStringList kInterfaces{QStringLiteral("lf-a1"), QStringLiteral("lf-a2")};

QString Mac(int side, int board)
{
    return QStringLiteral("02:00:00:00:%1:%2")
        .arg(side, 2, 10, QLatin1Char('0'))
        .arg(board, 2, 10, QLatin1Char('0'));
}

uint32_t Address(const char* dotted)
{
    in_addr address{};
    inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

} // namespace

class tst_ProtocolInterfaces : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchListsTheBoardsOfEveryInterfaceOnce();
    void setAddressReachesBoardOffTheDefaultRoute_data();
    void setAddressReachesBoardOffTheDefaultRoute();

  private:
    // The replies to one request, "mac@interface" each, once count have come or after timeoutMs.
    QStringList Replies(uint32_t id, uint32_t op, int count, int timeoutMs = 5000);
    // The requests with this op code and id that the boards of one side received, "peer" each.
    QStringList RequestsSeen(int side, uint32_t op, uint32_t id) const;

    std::array<std::unique_ptr<SimProcess>, 2> m_sims;
    std::unique_ptr<CNodeQueue> m_queue;
    std::unique_ptr<CNodeProtocol> m_engine;
    std::vector<std::unique_ptr<NodeInfo>> m_records; // of the last Replies()
};

void tst_ProtocolInterfaces::initTestCase()
{
    // Fail, not skip: anywhere else the broadcast would go out onto a real network.
    QVERIFY2(qEnvironmentVariable("LANFINCH_TWO_INTERFACES") == QLatin1String("1") &&
                 InterfacesUp() == QSet<QString>({QStringLiteral("lo"), kInterfaces[0], kInterfaces[1]}),
             "must run inside tests/protocol/two-interfaces");
}

void tst_ProtocolInterfaces::init()
{
    for (int side = 1; side <= 2; ++side) {
        const QString netns =
            qEnvironmentVariable(qPrintable(QStringLiteral("LANFINCH_SIDE%1_NETNS").arg(side)));
        auto sim = std::make_unique<SimProcess>(
            QStringList{QStringLiteral("nsenter"), QStringLiteral("--net=") + netns});
        QJsonArray boards;
        for (int board = 1; board <= 2; ++board) {
            boards.append(
                QJsonObject{{QStringLiteral("mac"), Mac(side, board)},
                            {QStringLiteral("ip"), QStringLiteral("10.81.%1.%2").arg(side).arg(10 + board)},
                            {QStringLiteral("mask"), QStringLiteral("255.255.255.0")}});
        }
        const QString config = sim->WriteConfig(QJsonObject{{QStringLiteral("boards"), boards}});
        QVERIFY(sim->Start({QStringLiteral("--bind"), QStringLiteral("0.0.0.0:22222"),
                            QStringLiteral("--no-snmp"), QStringLiteral("--config"), config}));
        m_sims[size_t(side - 1)] = std::move(sim);
    }
    m_queue = std::make_unique<CNodeQueue>();
    m_engine = std::make_unique<CNodeProtocol>(CNodeProtocol::kLocalEndpoint,
                                               CNodeProtocol::kRequestDestination, *m_queue);
    QCOMPARE(m_engine->BoundPort(), CNodeProtocol::kLocalEndpoint.port);
}

void tst_ProtocolInterfaces::cleanup()
{
    m_engine.reset();
    m_queue.reset();
    for (auto& sim : m_sims) {
        if (sim) {
            QVERIFY(sim->Stop());
            sim.reset();
        }
    }
}

QStringList tst_ProtocolInterfaces::Replies(uint32_t id, uint32_t op, int count, int timeoutMs)
{
    QStringList replies;
    m_records.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (replies.size() < count) {
        std::optional<ReceivedNode> node = m_queue->Take(deadline);
        if (!node) {
            break;
        }
        if (node->record->GetTransactionId() != id || ntohl(node->record->GetOpCode()) != op) {
            continue;
        }
        const QString name = QString::fromStdString(node->interfaceName);
        const bool indexMatches = node->interfaceIndex == if_nametoindex(node->interfaceName.c_str());
        replies << QString::fromStdString(node->record->GetMacText()) + QLatin1Char('@') +
                       (indexMatches ? name : QStringLiteral("index %1").arg(node->interfaceIndex));
        m_records.push_back(std::move(node->record));
    }
    replies.sort();
    return replies;
}

QStringList tst_ProtocolInterfaces::RequestsSeen(int side, uint32_t op, uint32_t id) const
{
    const QString tid = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(&id), 4).toHex());
    QStringList peers;
    for (const QJsonObject& entry : m_sims[size_t(side - 1)]->LogEntries()) {
        if (entry.value(QStringLiteral("dir")).toString() == QLatin1String("in") &&
            entry.value(QStringLiteral("op")).toInt(-1) == int(op) &&
            entry.value(QStringLiteral("tid")).toString().compare(tid, Qt::CaseInsensitive) == 0) {
            peers << entry.value(QStringLiteral("peer")).toString();
        }
    }
    return peers;
}

void tst_ProtocolInterfaces::searchListsTheBoardsOfEveryInterfaceOnce()
{
    const uint32_t id = m_engine->SendSearchRequest();
    QVERIFY(id != 0);
    const QStringList expected{Mac(1, 1) + QStringLiteral("@lf-a1"), Mac(1, 2) + QStringLiteral("@lf-a1"),
                               Mac(2, 1) + QStringLiteral("@lf-a2"), Mac(2, 2) + QStringLiteral("@lf-a2")};
    QCOMPARE(Replies(id, OP_SEARCH_REPLY, 4), expected);
    // Nothing more: one request per interface, each heard by the boards of its own network only.
    QCOMPARE(Replies(id, OP_SEARCH_REPLY, 1, 300), QStringList());
    QCOMPARE(RequestsSeen(1, OP_SEARCH_REQUEST, id), QStringList{QStringLiteral("10.81.1.1:22223")});
    QCOMPARE(RequestsSeen(2, OP_SEARCH_REQUEST, id), QStringList{QStringLiteral("10.81.2.1:22223")});

    // A request that goes out on no interface at all is not sent.
    m_engine->Close();
    QCOMPARE(m_engine->SendSearchRequest(), 0u);
}

void tst_ProtocolInterfaces::setAddressReachesBoardOffTheDefaultRoute_data()
{
    QTest::addColumn<QString>("interfaceName"); // the one it goes out on; empty: every one
    QTest::newRow("on every interface") << QString();
    QTest::newRow("on the board's interface only") << kInterfaces[1];
}

void tst_ProtocolInterfaces::setAddressReachesBoardOffTheDefaultRoute()
{
    QFETCH(QString, interfaceName);
    NetworkSettings fixed;
    fixed.SetIpAddress(Address("10.81.2.50"));
    fixed.SetSubnetMask(Address("255.255.255.0"));
    fixed.SetGateway(Address("10.81.2.2"));
    const uint8_t target[6] = {0x02, 0, 0, 0, 0x02, 0x02};
    const unsigned interfaceIndex = interfaceName.isEmpty() ? 0 : if_nametoindex(qPrintable(interfaceName));
    const uint32_t id = m_engine->SendAddressRequest(fixed, target, interfaceIndex);
    QVERIFY(id != 0);
    QCOMPARE(Replies(id, OP_SET_ADDRESS_REPLY, 1), QStringList{Mac(2, 2) + QStringLiteral("@lf-a2")});
    QCOMPARE(m_records.front()->GetResult(), 0u);
    QVERIFY(m_records.front()->GetSettings() == fixed);
    QTRY_COMPARE(RequestsSeen(2, OP_SET_ADDRESS_REQUEST, id).size(), 1);

    // The board keeps its new address; the others keep theirs. (Within the same second a search
    // carries the same id as the request before it, so it is told apart by its op code.)
    const uint32_t search = m_engine->SendSearchRequest();
    QVERIFY(search != 0);
    QCOMPARE(Replies(search, OP_SEARCH_REPLY, 4).size(), 4);
    QStringList addresses;
    for (const auto& record : m_records) {
        addresses << QString::fromStdString(record->GetMacText() + ' ' + record->GetSettings().GetIpText());
    }
    addresses.sort();
    QCOMPARE(
        addresses,
        QStringList({Mac(1, 1) + QStringLiteral(" 10.81.1.11"), Mac(1, 2) + QStringLiteral(" 10.81.1.12"),
                     Mac(2, 1) + QStringLiteral(" 10.81.2.11"), Mac(2, 2) + QStringLiteral(" 10.81.2.50")}));
    // The first side's simulator has written down the search, and so anything that came before it.
    QTRY_COMPARE(RequestsSeen(1, OP_SEARCH_REQUEST, search).size(), 1);
    QCOMPARE(RequestsSeen(1, OP_SET_ADDRESS_REQUEST, id).size(), interfaceName.isEmpty() ? 1 : 0);
}

QTEST_GUILESS_MAIN(tst_ProtocolInterfaces)
#include "tst_ProtocolInterfaces.moc"
