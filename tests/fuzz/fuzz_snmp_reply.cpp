// The SNMP reply reading rule on replies of any shape: variables with any name, any type and
// any value length, built by hand (values in exact-size heap blocks, so a read past a value's end
// is caught) or through Net-SNMP's own constructor. The outcome is checked against the rule:
// reading succeeds exactly when every variable names an entry and carries a 32-bit value. The
// strict reading of the same replies must stay within them too, and never read what the rule
// refuses.
#include "tests/fuzz/FuzzSupport.h"

#include "snmpconfig/CSnmpAccess.h"
#include "core/SnmpReading.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace {

using Name = std::vector<oid>;

const Name kPrefix = {1, 3, 6, 1, 4, 1, 32473, 1, 4};

Name Under(std::initializer_list<oid> tail)
{
    Name name = kPrefix;
    name.insert(name.end(), tail);
    return name;
}

// Ordered as SerialSettings reads them; the port number is filled by the second GET.
const std::array<Name, 8> kSerialNames = {
    Under({2, 2, 0}),  Under({2, 4, 0}),  Under({2, 5, 0}),  Under({2, 10, 0}),
    Under({2, 12, 0}), Under({2, 15, 0}), Under({2, 20, 0}), Under({2, 25, 0}),
};

// Names a reply could plausibly carry: the serial group, the I/O group for ports 0 to 9 and leaves
// 0 to 6, the commit variable.
std::vector<Name> KnownNames()
{
    std::vector<Name> names(kSerialNames.begin(), kSerialNames.end());
    names.push_back(Under({1, 2, 0}));
    names.push_back(Under({3, 1, 0}));
    names.push_back(Under({3, 2, 0}));
    for (oid port = 0; port <= 9; ++port) {
        for (oid leaf = 0; leaf <= 6; ++leaf)
            names.push_back(Under({3, 10, port, leaf, 0}));
    }
    return names;
}

const std::vector<Name>& Known()
{
    static const std::vector<Name> names = KnownNames();
    return names;
}

Name GpioName(oid port, oid leaf)
{
    return Under({3, 10, port, leaf, 0});
}

Name AnyName(FuzzInput& input, const std::vector<Name>& table)
{
    const uint8_t how = input.Byte();
    const std::vector<Name>& pool = (how & 1) && !table.empty() ? table : Known();
    Name name = pool[input.Byte() % pool.size()];
    switch ((how >> 1) % 4) {
    case 0:
        break;
    case 1: // one sub-identifier changed
        if (!name.empty())
            name[input.Byte() % name.size()] = input.Word();
        break;
    case 2: // shortened or lengthened
        if (input.Byte() & 1)
            name.resize(input.Byte() % (name.size() + 1));
        else
            name.push_back(input.Word() % 4);
        break;
    default: { // anything up to the longest name Net-SNMP allows
        name.resize(input.Byte() % (MAX_OID_LEN + 1));
        for (oid& sub : name)
            sub = input.Byte();
        break;
    }
    }
    return name;
}

u_char AnyType(FuzzInput& input)
{
    static const u_char kTypes[] = {
        ASN_INTEGER,      ASN_OCTET_STR,     ASN_IPADDRESS,     ASN_COUNTER,         ASN_GAUGE,
        ASN_TIMETICKS,    ASN_OPAQUE,        ASN_COUNTER64,     ASN_OBJECT_ID,       ASN_NULL,
        ASN_BIT_STR,      ASN_UINTEGER,      SNMP_NOSUCHOBJECT, SNMP_NOSUCHINSTANCE, SNMP_ENDOFMIBVIEW,
        ASN_OPAQUE_FLOAT, ASN_OPAQUE_DOUBLE, ASN_OPAQUE_I64,    ASN_OPAQUE_U64,
    };
    const uint8_t pick = input.Byte();
    return pick < 0xe0 ? kTypes[pick % std::size(kTypes)] : input.Byte();
}

netsnmp_variable_list* HandMadeVariable(const Name& name, u_char type, const std::vector<u_char>& value,
                                        bool nullWhenEmpty)
{
    auto* var = static_cast<netsnmp_variable_list*>(std::calloc(1, sizeof(netsnmp_variable_list)));
    if (var == nullptr || snmp_set_var_objid(var, name.data(), name.size()) != 0) {
        std::free(var);
        return nullptr;
    }
    var->type = type;
    var->val_len = value.size();
    if (value.empty()) {
        var->val.string = nullWhenEmpty ? nullptr : var->buf;
    } else {
        var->val.string = static_cast<u_char*>(std::malloc(value.size()));
        std::memcpy(var->val.string, value.data(), value.size());
    }
    return var;
}

struct PduFreer
{
    void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduFreer>;

PduPtr AnyReply(FuzzInput& input, const std::vector<Name>& table)
{
    PduPtr reply(snmp_pdu_create(SNMP_MSG_RESPONSE));
    netsnmp_variable_list** tail = &reply->variables;
    for (int count = input.Byte() % 16; count > 0 && !input.Empty(); --count) {
        const Name name = AnyName(input, table);
        const u_char type = AnyType(input);
        std::vector<u_char> value(input.Byte() % 48);
        value.resize(input.Bytes(value.data(), value.size()));
        const uint8_t build = input.Byte();
        if (build & 1) {
            // The library's constructor normalises integer lengths; refusals just leave the
            // variable out.
            (void)snmp_pdu_add_variable(reply.get(), name.data(), name.size(), type, value.data(),
                                        value.size());
            while (*tail != nullptr)
                tail = &(*tail)->next_variable;
        } else if (netsnmp_variable_list* var = HandMadeVariable(name, type, value, build & 2)) {
            *tail = var;
            tail = &var->next_variable;
        }
    }
    return reply;
}

bool SameName(const netsnmp_variable_list* var, const Name& name)
{
    return var->name_length == name.size() &&
           std::equal(name.begin(), name.end(), var->name, var->name + var->name_length);
}

bool IsException(u_char type)
{
    return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
}

// What the rule makes of the reply: nullopt when reading must fail, otherwise the value each table
// entry ends with (nullopt for entries that no variable names).
std::optional<std::vector<std::optional<int32_t>>> ModelReading(const netsnmp_pdu* reply,
                                                                const std::vector<Name>& table)
{
    std::vector<std::optional<int32_t>> fields(table.size());
    for (const netsnmp_variable_list* var = reply->variables; var != nullptr; var = var->next_variable) {
        if (var->val_len < sizeof(int32_t) || IsException(var->type))
            return std::nullopt;
        size_t entry = 0;
        while (entry < table.size() && !SameName(var, table[entry]))
            ++entry;
        if (entry == table.size())
            return std::nullopt;
        // Integers are held as a long; on this little-endian host its first four bytes are the
        // low 32 bits, exactly as for the raw bytes of an IpAddress.
        int32_t value = 0;
        std::memcpy(&value, var->val.string, sizeof value);
        fields[entry] = value;
    }
    return fields;
}

void CheckSerial(FuzzInput& input)
{
    const std::vector<Name> table(kSerialNames.begin(), kSerialNames.end());
    const PduPtr reply = AnyReply(input, table);

    SerialSettings before;
    before.connectionMode = -11;
    before.peerAddress = -12;
    before.bitRate = -13;
    before.dataLength = -14;
    before.stopBits = -15;
    before.parity = -16;
    before.flowControl = -17;
    before.portNumber = -18;
    SerialSettings settings = before;
    const int result = CSnmpAccess::ParseSerialReply(reply.get(), settings);

    const auto model = ModelReading(reply.get(), table);
    FUZZ_CHECK(result == (model ? 1 : 0));
    if (!model)
        return;
    const int32_t kDefaultPort = 21347;
    const int32_t expected[8] = {
        (*model)[0].value_or(before.connectionMode), (*model)[1].value_or(before.peerAddress),
        (*model)[2].value_or(kDefaultPort),          (*model)[3].value_or(before.bitRate),
        (*model)[4].value_or(before.dataLength),     (*model)[5].value_or(before.stopBits),
        (*model)[6].value_or(before.parity),         (*model)[7].value_or(before.flowControl),
    };
    const int32_t actual[8] = {settings.connectionMode, settings.peerAddress, settings.portNumber,
                               settings.bitRate,        settings.dataLength,  settings.stopBits,
                               settings.parity,         settings.flowControl};
    FUZZ_CHECK(std::equal(std::begin(expected), std::end(expected), std::begin(actual)));
}

void CheckGpio(FuzzInput& input)
{
    // No request has chosen a port on a new access object, so the reading is for port 1.
    const std::vector<Name> table = {Under({3, 1, 0}), Under({3, 2, 0}), GpioName(1, 1), GpioName(1, 2),
                                     GpioName(1, 3),   GpioName(1, 4),   GpioName(1, 5)};
    const PduPtr reply = AnyReply(input, table);

    GpioSettings before;
    before.managerAddress = 0xa1a2a3a4u;
    before.period = 0xb1b2b3b4u;
    before.mode = -21;
    before.state = -22;
    before.initialState = -23;
    before.trapState = -24;
    before.trapTime = 0xc1c2c3c4u;
    GpioSettings settings = before;
    const int result = CSnmpAccess().ParseGpioReply(reply.get(), settings);

    const auto model = ModelReading(reply.get(), table);
    FUZZ_CHECK(result == (model ? 1 : 0));
    if (!model)
        return;
    FUZZ_CHECK(settings.managerAddress == uint32_t((*model)[0].value_or(int32_t(before.managerAddress))));
    FUZZ_CHECK(settings.period == uint32_t((*model)[1].value_or(int32_t(before.period))));
    FUZZ_CHECK(settings.mode == (*model)[2].value_or(before.mode));
    FUZZ_CHECK(settings.state == (*model)[3].value_or(before.state));
    FUZZ_CHECK(settings.initialState == (*model)[4].value_or(before.initialState));
    FUZZ_CHECK(settings.trapState == (*model)[5].value_or(before.trapState));
    FUZZ_CHECK(settings.trapTime == uint32_t((*model)[6].value_or(int32_t(before.trapTime))));
}

// Any table, duplicates included: the first entry with the variable's name takes the value.
void CheckGeneric(FuzzInput& input)
{
    std::vector<Name> table;
    for (int count = 1 + input.Byte() % 8; count > 0; --count)
        table.push_back(AnyName(input, {}));
    const PduPtr reply = AnyReply(input, table);

    std::vector<int32_t> fields(table.size());
    for (size_t i = 0; i < fields.size(); ++i)
        fields[i] = int32_t(0x5a000000 + i);
    const std::vector<int32_t> before = fields;
    std::vector<CSnmpAccess::ReadEntry> entries;
    for (size_t i = 0; i < table.size(); ++i)
        entries.push_back({table[i].data(), table[i].size(), &fields[i]});
    const int result = CSnmpAccess::ReadReply(reply.get(), entries.data(), entries.size());

    const auto model = ModelReading(reply.get(), table);
    FUZZ_CHECK(result == (model ? 1 : 0));

    // Read strictly, a reply with every variable present reads as the rule reads it.
    std::vector<int32_t> strict = before;
    std::vector<ExpectedVariable> expected;
    for (size_t i = 0; i < table.size(); ++i)
        expected.push_back({table[i].data(), table[i].size(),
                            input.Byte() % 2 ? u_char(ASN_INTEGER) : u_char(ASN_IPADDRESS), &strict[i]});
    const auto absent = std::make_unique<bool[]>(table.size());
    StrictReadProblem problem;
    const bool allThere =
        ReadReplyStrictly(*reply, expected.data(), expected.size(), absent.get(), problem) == 1 &&
        std::none_of(absent.get(), absent.get() + table.size(), [](bool lacking) { return lacking; });
    FUZZ_CHECK(!allThere || (model && strict == fields));
    if (!model)
        return;
    for (size_t i = 0; i < fields.size(); ++i)
        FUZZ_CHECK(fields[i] == (*model)[i].value_or(before[i]));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The library's settings and session defaults are made once, by the first access object,
    // outside any input.
    const CSnmpAccess first;
    // The library's complaints about the odd values built here are expected.
    snmp_disable_log();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    switch (input.Byte() % 3) {
    case 0:
        CheckSerial(input);
        break;
    case 1:
        CheckGpio(input);
        break;
    default:
        CheckGeneric(input);
        break;
    }
    FUZZ_CHECK(CSnmpAccess::ReadReply(nullptr, nullptr, 0) == 0);
    return 0;
}
