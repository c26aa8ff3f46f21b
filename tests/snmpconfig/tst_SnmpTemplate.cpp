// The session template's timeout over the life of an access object: the first SET changes it for
// good.
#include "snmpconfig/CSnmpAccess.h"
#include "tests/snmpconfig/SnmpTestSupport.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <gtest/gtest.h>

#include <chrono>

namespace {

const oid kPeriodOid[] = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 3, 2, 0};
const char kSilent[] = "127.0.0.7";
const char kBoard[] = "127.0.0.2";

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(SnmpTemplate, FiveSecondsUntilTheFirstSetThenTen)
{
    SimProcess sim;
    ASSERT_TRUE(StartSimulator(sim, {Board(2), Board(7, QJsonObject{{QStringLiteral("silent"), true}})}));
    CSnmpAccess access;
    access.SetAgentPortForTesting(sim.SnmpPort());
    EXPECT_EQ(access.TimeoutMicroseconds(), 5000000);

    // One real wait: a GET before any SET gives up after 5 s, with no retry.
    const SnmpVarSpec get[] = {{kPeriodOid, 12, 0, nullptr}};
    int status = -1;
    netsnmp_pdu* reply = reinterpret_cast<netsnmp_pdu*>(&status);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(access.Get(kSilent, get, 1, status, reply), 1);
    const double waited = SecondsSince(start);
    EXPECT_EQ(status, STAT_TIMEOUT);
    EXPECT_EQ(reply, nullptr);
    EXPECT_GE(waited, 4.9);
    EXPECT_LT(waited, 7.5);

    // GETs, successful or not, leave the template alone.
    SerialSettings serial;
    EXPECT_EQ(access.GetSerialSettings(kBoard, serial), 1);
    EXPECT_EQ(access.TimeoutMicroseconds(), 5000000);

    // The first SET switches to 10 s even when its session never opens.
    access.SetAgentPortForTesting(CSnmpAccess::kAgentPort);
    const SnmpVarSpec set[] = {{kPeriodOid, 12, 'i', "100"}};
    EXPECT_EQ(access.Set("127.0.0.2:no-port", set, 1, status, reply), 0);
    EXPECT_EQ(access.TimeoutMicroseconds(), 10000000);
    access.SetAgentPortForTesting(sim.SnmpPort());

    EXPECT_EQ(access.GetSerialSettings(kBoard, serial), 1);
    GpioSettings gpio;
    EXPECT_EQ(access.SetGpioSettings(kBoard, 1, gpio), 1);
    EXPECT_EQ(access.TimeoutMicroseconds(), 10000000);
    EXPECT_TRUE(sim.Stop());
}

} // namespace
