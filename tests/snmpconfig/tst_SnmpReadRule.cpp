// The reply reading rules on replies built in memory: no network involved.
#include "snmpconfig/CSnmpAccess.h"
#include "core/SnmpReading.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Name = std::vector<oid>;

const Name kBitRate = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 10, 0};
const Name kPeer = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 4, 0};
const Name kPort5Mode = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 3, 10, 5, 1, 0};
const Name kUnknown = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 11, 0};
const Name kBitRateLonger = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 10, 0, 0};
const Name kBitRateShorter = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 10};

struct Var
{
    Name name;
    u_char type;
    std::vector<u_char> bytes; // used for non-integer types
    long number = 0;           // used for integer types
};

Var Int(const Name& name, long value, u_char type = ASN_INTEGER)
{
    return {name, type, {}, value};
}
Var Bytes(const Name& name, u_char type, std::vector<u_char> bytes)
{
    return {name, type, std::move(bytes)};
}
Var Exception(const Name& name, u_char type)
{
    return {name, type, {}};
}

bool IsIntegerType(u_char type)
{
    return type == ASN_INTEGER || type == ASN_COUNTER || type == ASN_GAUGE || type == ASN_TIMETICKS ||
           type == ASN_UINTEGER;
}

struct PduFreer
{
    void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduFreer>;

PduPtr Reply(const std::vector<Var>& vars)
{
    PduPtr pdu(snmp_pdu_create(SNMP_MSG_RESPONSE));
    for (const Var& var : vars) {
        netsnmp_variable_list* added = nullptr;
        if (IsIntegerType(var.type))
            added = snmp_pdu_add_variable(pdu.get(), var.name.data(), var.name.size(), var.type, &var.number,
                                          sizeof var.number);
        else
            added = snmp_pdu_add_variable(pdu.get(), var.name.data(), var.name.size(), var.type,
                                          var.bytes.empty() ? nullptr : var.bytes.data(), var.bytes.size());
        EXPECT_NE(added, nullptr);
    }
    return pdu;
}

constexpr int32_t kUntouched = 0x5a5a5a5a;

struct Fields
{
    int32_t bitRate = kUntouched;
    int32_t peer = kUntouched;
    int32_t mode = kUntouched;
};

int Read(const netsnmp_pdu* reply, Fields& fields)
{
    const CSnmpAccess::ReadEntry table[] = {
        {kBitRate.data(), kBitRate.size(), &fields.bitRate},
        {kPeer.data(), kPeer.size(), &fields.peer},
        {kPort5Mode.data(), kPort5Mode.size(), &fields.mode},
    };
    return CSnmpAccess::ReadReply(reply, table, std::size(table));
}

int32_t FromBytes(std::initializer_list<u_char> bytes)
{
    int32_t value = 0;
    std::memcpy(&value, std::data(bytes), sizeof value);
    return value;
}

struct RuleCase
{
    const char* what;
    std::vector<Var> vars;
    int result;
    Fields expected; // checked only when result is 1
};

TEST(ReplyReadingRule, Table)
{
    const std::vector<RuleCase> cases = {
        {"integers and an address, any order",
         {Int(kPort5Mode, 1), Int(kBitRate, 115200), Bytes(kPeer, ASN_IPADDRESS, {192, 0, 2, 10})},
         1,
         {115200, FromBytes({192, 0, 2, 10}), 1}},
        {"negative integer", {Int(kBitRate, -1)}, 1, {-1, kUntouched, kUntouched}},
        {"integer wider than 32 bits keeps its low half",
         {Int(kBitRate, 0x100000005L)},
         1,
         {5, kUntouched, kUntouched}},
        {"Gauge32 read as its number",
         {Int(kBitRate, 4000000000L, ASN_GAUGE)},
         1,
         {static_cast<int32_t>(4000000000U), kUntouched, kUntouched}},
        {"Counter32 and TimeTicks read as numbers",
         {Int(kBitRate, 9600, ASN_COUNTER), Int(kPort5Mode, 3, ASN_TIMETICKS)},
         1,
         {9600, kUntouched, 3}},
        {"four-byte OCTET STRING read in host order",
         {Bytes(kPeer, ASN_OCTET_STR, {1, 2, 3, 4})},
         1,
         {kUntouched, FromBytes({1, 2, 3, 4}), kUntouched}},
        {"the later of two equal names wins",
         {Int(kBitRate, 1200), Int(kBitRate, 2400)},
         1,
         {2400, kUntouched, kUntouched}},
        {"empty reply leaves every field", {}, 1, {}},
        {"noSuchInstance among good values",
         {Int(kBitRate, 9600), Exception(kPeer, SNMP_NOSUCHINSTANCE), Int(kPort5Mode, 0)},
         0,
         {}},
        {"noSuchObject first", {Exception(kBitRate, SNMP_NOSUCHOBJECT), Int(kPort5Mode, 0)}, 0, {}},
        {"endOfMibView last", {Int(kBitRate, 9600), Exception(kPort5Mode, SNMP_ENDOFMIBVIEW)}, 0, {}},
        {"name not in the table", {Int(kBitRate, 9600), Int(kUnknown, 1)}, 0, {}},
        {"table name plus a sub-identifier", {Int(kBitRateLonger, 1)}, 0, {}},
        {"table name minus its instance", {Int(kBitRateShorter, 1)}, 0, {}},
        {"two-byte OCTET STRING", {Int(kBitRate, 9600), Bytes(kPeer, ASN_OCTET_STR, {0x01, 0x02})}, 0, {}},
        {"three-byte IpAddress", {Bytes(kPeer, ASN_IPADDRESS, {192, 0, 2})}, 0, {}},
        {"NULL value", {Bytes(kBitRate, ASN_NULL, {})}, 0, {}},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.what);
        const PduPtr reply = Reply(c.vars);
        Fields fields;
        EXPECT_EQ(Read(reply.get(), fields), c.result);
        if (c.result == 1) {
            EXPECT_EQ(fields.bitRate, c.expected.bitRate);
            EXPECT_EQ(fields.peer, c.expected.peer);
            EXPECT_EQ(fields.mode, c.expected.mode);
        }
    }
}

TEST(ReplyReadingRule, NoReplyFails)
{
    Fields fields;
    EXPECT_EQ(Read(nullptr, fields), 0);
}

TEST(ReplyReadingRule, SerialPortNumberDefaultsWhenAbsent)
{
    const Name port = {1, 3, 6, 1, 4, 1, 32473, 1, 4, 2, 5, 0};
    SerialSettings settings;
    settings.portNumber = 4001;
    EXPECT_EQ(CSnmpAccess::ParseSerialReply(Reply({Int(kBitRate, 19200)}).get(), settings), 1);
    EXPECT_EQ(settings.portNumber, 21347);
    EXPECT_EQ(settings.bitRate, 19200);

    EXPECT_EQ(CSnmpAccess::ParseSerialReply(Reply({Int(port, 5000)}).get(), settings), 1);
    EXPECT_EQ(settings.portNumber, 5000);
    // A reading that fails still starts from the default.
    EXPECT_EQ(CSnmpAccess::ParseSerialReply(Reply({Exception(port, SNMP_NOSUCHOBJECT)}).get(), settings), 0);
    EXPECT_EQ(settings.portNumber, 21347);
}

// Random replies under the sanitizers: the rule must never read past a value, and its outcome
// must match a plain restatement of when a reply is readable.
TEST(ReplyReadingRule, RandomReplies)
{
    std::mt19937 random(20240611);
    const Name names[] = {kBitRate, kPeer, kPort5Mode, kUnknown, kBitRateLonger, kBitRateShorter};
    const u_char types[] = {ASN_INTEGER,  ASN_COUNTER,       ASN_GAUGE,           ASN_TIMETICKS,
                            ASN_UINTEGER, ASN_IPADDRESS,     ASN_OCTET_STR,       ASN_OPAQUE,
                            ASN_NULL,     SNMP_NOSUCHOBJECT, SNMP_NOSUCHINSTANCE, SNMP_ENDOFMIBVIEW};
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    int readable = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<Var> vars(pick(9));
        bool expected = true;
        Fields oracle;
        for (Var& var : vars) {
            var.name = names[pick(std::size(names))];
            var.type = types[pick(std::size(types))];
            int32_t value = 0;
            bool ok = false;
            if (IsIntegerType(var.type)) {
                var.number = static_cast<long>(random()) - 0x7fffffffL;
                value = static_cast<int32_t>(var.number);
                ok = true;
            } else if (var.type == ASN_NULL || var.type >= SNMP_NOSUCHOBJECT) {
                ok = false;
            } else {
                var.bytes.resize(pick(9));
                for (u_char& byte : var.bytes)
                    byte = static_cast<u_char>(random());
                ok = var.bytes.size() >= 4;
                if (ok)
                    std::memcpy(&value, var.bytes.data(), sizeof value);
            }
            int32_t* field = var.name == kBitRate     ? &oracle.bitRate
                             : var.name == kPeer      ? &oracle.peer
                             : var.name == kPort5Mode ? &oracle.mode
                                                      : nullptr;
            if (expected && ok && field)
                *field = value;
            expected = expected && ok && field;
        }
        const PduPtr reply = Reply(vars);
        Fields fields;
        const int result = Read(reply.get(), fields);
        ASSERT_EQ(result, expected ? 1 : 0) << "round " << round;
        if (result == 1) {
            ++readable;
            ASSERT_EQ(fields.bitRate, oracle.bitRate) << "round " << round;
            ASSERT_EQ(fields.peer, oracle.peer) << "round " << round;
            ASSERT_EQ(fields.mode, oracle.mode) << "round " << round;
        }
    }
    EXPECT_GT(readable, 100); // the generator must produce readable replies too
}

// The strict reading, over bit rate (INTEGER), peer (IpAddress) and a port's mode (INTEGER).
struct StrictCase
{
    const char* what;
    std::vector<Var> vars;
    StrictReadProblem::Kind problem;
    size_t index = 0; // of the expected variable the problem concerns
    u_char type = 0;  // that came for it
    bool peerAbsent = false;
};

TEST(StrictReading, Table)
{
    using Kind = StrictReadProblem::Kind;
    const std::vector<u_char> address = {192, 0, 2, 10};
    const Var bitRate = Int(kBitRate, 115200);
    const Var peer = Bytes(kPeer, ASN_IPADDRESS, address);
    const Var mode = Int(kPort5Mode, 1);
    const std::vector<StrictCase> cases = {
        {"each once, any order", {mode, peer, bitRate}, Kind::None},
        {"the peer lacking, noted",
         {bitRate, Exception(kPeer, SNMP_NOSUCHOBJECT), mode},
         Kind::None,
         0,
         0,
         true},
        {"noSuchInstance as lacking",
         {bitRate, Exception(kPeer, SNMP_NOSUCHINSTANCE), mode},
         Kind::None,
         0,
         0,
         true},
        {"empty reply", {}, Kind::Missing, 0},
        {"one left out", {bitRate, mode}, Kind::Missing, 1},
        {"one twice", {bitRate, peer, Int(kBitRate, 2400), mode}, Kind::Repeated, 0},
        {"a value and a lacking one",
         {bitRate, peer, mode, Exception(kPort5Mode, SNMP_NOSUCHOBJECT)},
         Kind::Repeated,
         2},
        {"one not asked for", {bitRate, peer, Int(kUnknown, 1), mode}, Kind::Unrequested},
        {"a longer name", {bitRate, peer, mode, Int(kBitRateLonger, 1)}, Kind::Unrequested},
        {"Gauge32 for an INTEGER",
         {Int(kBitRate, 9600, ASN_GAUGE), peer, mode},
         Kind::WrongType,
         0,
         ASN_GAUGE},
        {"OCTET STRING for an IpAddress",
         {bitRate, Bytes(kPeer, ASN_OCTET_STR, address), mode},
         Kind::WrongType,
         1,
         ASN_OCTET_STR},
        {"endOfMibView",
         {bitRate, peer, Exception(kPort5Mode, SNMP_ENDOFMIBVIEW)},
         Kind::WrongType,
         2,
         SNMP_ENDOFMIBVIEW},
        {"IpAddress of three bytes",
         {bitRate, Bytes(kPeer, ASN_IPADDRESS, {192, 0, 2}), mode},
         Kind::BadValue,
         1,
         ASN_IPADDRESS},
    };
    for (const StrictCase& c : cases) {
        SCOPED_TRACE(c.what);
        Fields fields;
        const ExpectedVariable expected[] = {
            {kBitRate.data(), kBitRate.size(), ASN_INTEGER, &fields.bitRate},
            {kPeer.data(), kPeer.size(), ASN_IPADDRESS, &fields.peer},
            {kPort5Mode.data(), kPort5Mode.size(), ASN_INTEGER, &fields.mode},
        };
        bool absent[3] = {};
        StrictReadProblem problem;
        const PduPtr reply = Reply(c.vars);
        const int result = ReadReplyStrictly(*reply, expected, std::size(expected), absent, problem);
        EXPECT_EQ(result, c.problem == Kind::None ? 1 : 0);
        EXPECT_EQ(problem.kind, c.problem);
        if (c.problem == Kind::Unrequested) {
            EXPECT_EQ(Name(problem.name.begin(), problem.name.end()),
                      c.vars[2].name == kUnknown ? kUnknown : kBitRateLonger);
        } else if (c.problem != Kind::None) {
            EXPECT_EQ(problem.index, c.index);
            EXPECT_EQ(problem.type, c.type);
        } else {
            EXPECT_EQ(fields.bitRate, 115200);
            EXPECT_EQ(fields.mode, 1);
            EXPECT_EQ(absent[1], c.peerAbsent);
            EXPECT_EQ(fields.peer, c.peerAbsent ? kUntouched : FromBytes({192, 0, 2, 10}));
            EXPECT_FALSE(absent[0] || absent[2]);
        }
    }
}

} // namespace

// The success test, in the window's form and in the board operations': each row fails exactly one
// of its conditions, and both forms judge it alike.
TEST(SuccessRule, Table)
{
    struct Case
    {
        const char* what;
        bool sent;
        int status;
        bool replied;
        long errstat;
        bool succeeded;
    };
    const Case cases[] = {
        {"answered without error", true, STAT_SUCCESS, true, SNMP_ERR_NOERROR, true},
        {"not sent", false, STAT_SUCCESS, true, SNMP_ERR_NOERROR, false},
        {"timed out", true, STAT_TIMEOUT, true, SNMP_ERR_NOERROR, false},
        {"send error", true, STAT_ERROR, true, SNMP_ERR_NOERROR, false},
        {"no reply", true, STAT_SUCCESS, false, SNMP_ERR_NOERROR, false},
        {"refused", true, STAT_SUCCESS, true, SNMP_ERR_NOTWRITABLE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SnmpResponse response{c.sent, c.status, nullptr};
        if (c.replied) {
            response.reply.reset(snmp_pdu_create(SNMP_MSG_RESPONSE));
            response.reply->errstat = c.errstat;
        }
        EXPECT_EQ(Succeeded(response), c.succeeded);
        EXPECT_EQ(CSnmpAccess::Succeeded(c.sent ? 1 : 0, c.status, response.reply.get()), c.succeeded);
    }
}
