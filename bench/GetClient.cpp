// lanfinch-bench-getclient --first A --boards N [--jobs J] [--port P]
// The baseline of the inventory figures: a minimal SNMPv2c client on Net-SNMP's traditional
// asynchronous API that reads N boards (A, A+1, ...) as inventory does, J boards at once, and
// nothing else. Per board, one after another on one session: the seven serial settings, the
// serial port number, and each I/O port's seven variables. Prints one "getclient" line.
// Runs only inside scripts/netns-run (the agents are on port 161).
#include "bench/BenchSupport.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <arpa/inet.h>
#include <sys/select.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A GET's names below the enterprise subtree 1.3.6.1.4.1.32473.1.4.
using Names = std::vector<std::vector<oid>>;

std::vector<Names> BoardGets()
{
    std::vector<Names> gets;
    gets.push_back({{2, 2, 0}, {2, 4, 0}, {2, 10, 0}, {2, 12, 0}, {2, 15, 0}, {2, 20, 0}, {2, 25, 0}});
    gets.push_back({{2, 5, 0}});
    for (oid port = 1; port <= 8; ++port) {
        Names names{{3, 1, 0}, {3, 2, 0}};
        for (oid variable = 1; variable <= 5; ++variable)
            names.push_back({3, 10, port, variable, 0});
        gets.push_back(names);
    }
    return gets;
}

struct Client;

// One board at a time: its session, and which of its GETs is out.
struct Slot
{
    Client* client = nullptr;
    netsnmp_session* session = nullptr;
    std::size_t step = 0;
    bool finished = false;
};

struct Client
{
    std::vector<Names> gets = BoardGets();
    uint32_t first = 0; // host order
    int boards = 0;
    int next = 0;
    int ok = 0;
    int failed = 0;
    unsigned port = 161;
};

int OnReply(int operation, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic);

bool SendStep(Slot& slot)
{
    static const oid kEnterprise[] = {1, 3, 6, 1, 4, 1, 32473, 1, 4};
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
    for (const std::vector<oid>& tail : slot.client->gets[slot.step]) {
        oid name[MAX_OID_LEN];
        std::memcpy(name, kEnterprise, sizeof kEnterprise);
        std::copy(tail.begin(), tail.end(), name + std::size(kEnterprise));
        snmp_add_null_var(pdu, name, std::size(kEnterprise) + tail.size());
    }
    if (snmp_async_send(slot.session, pdu, OnReply, &slot) != 0)
        return true;
    snmp_free_pdu(pdu);
    return false;
}

// Every variable asked for came back with a value.
bool Complete(const netsnmp_pdu* pdu, std::size_t expected)
{
    if (pdu->errstat != SNMP_ERR_NOERROR)
        return false;
    std::size_t count = 0;
    for (const netsnmp_variable_list* variable = pdu->variables; variable;
         variable = variable->next_variable) {
        if (variable->type == SNMP_NOSUCHOBJECT || variable->type == SNMP_NOSUCHINSTANCE ||
            variable->type == SNMP_ENDOFMIBVIEW)
            return false;
        ++count;
    }
    return count == expected;
}

// Sends the board's next GET from here; the session is closed by the main loop, outside the
// library's read.
int OnReply(int operation, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic)
{
    Slot& slot = *static_cast<Slot*>(magic);
    Client& client = *slot.client;
    const bool answered =
        operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && Complete(pdu, client.gets[slot.step].size());
    if (answered && ++slot.step < client.gets.size() && SendStep(slot))
        return 1;
    (answered && slot.step == client.gets.size() ? client.ok : client.failed) += 1;
    slot.finished = true;
    return 1;
}

// Opens a session to the next board and sends its first GET; false when no board is left.
bool StartBoard(Slot& slot)
{
    Client& client = *slot.client;
    while (client.next < client.boards) {
        in_addr address{htonl(client.first + static_cast<uint32_t>(client.next++))};
        char text[INET_ADDRSTRLEN + 8];
        std::snprintf(text, sizeof text, "%s:%u", inet_ntoa(address), client.port);
        netsnmp_session settings;
        snmp_sess_init(&settings);
        settings.version = SNMP_VERSION_2c;
        settings.peername = text;
        static char community[] = "vantile";
        settings.community = reinterpret_cast<u_char*>(community);
        settings.community_len = std::strlen(community);
        settings.retries = 0;
        settings.timeout = 5000000;
        slot.session = snmp_open(&settings);
        slot.step = 0;
        slot.finished = false;
        if (slot.session && SendStep(slot))
            return true;
        if (slot.session)
            snmp_close(slot.session);
        slot.session = nullptr;
        ++client.failed;
    }
    return false;
}

void RunClient(std::vector<Slot>& slots)
{
    std::size_t active = 0;
    for (Slot& slot : slots)
        active += StartBoard(slot);
    while (active > 0) {
        int fds = 0;
        int block = 1;
        fd_set readable;
        FD_ZERO(&readable);
        timeval timeout{};
        snmp_select_info(&fds, &readable, &timeout, &block);
        if (select(fds, &readable, nullptr, nullptr, block ? nullptr : &timeout) > 0)
            snmp_read(&readable);
        else
            snmp_timeout();
        for (Slot& slot : slots) {
            if (!slot.session || !slot.finished)
                continue;
            snmp_close(slot.session);
            slot.session = nullptr;
            if (!StartBoard(slot))
                --active;
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    Client client;
    int jobs = 32;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--first") == 0 && inet_pton(AF_INET, argv[i + 1], &client.first) == 1)
            client.first = ntohl(client.first);
        else if (std::strcmp(argv[i], "--boards") == 0)
            client.boards = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--jobs") == 0)
            jobs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--port") == 0)
            client.port = static_cast<unsigned>(std::atoi(argv[i + 1]));
    }
    if (client.first == 0 || client.boards < 1 || jobs < 1) {
        std::fputs("usage: lanfinch-bench-getclient --first A --boards N [--jobs J] [--port P]\n", stderr);
        return 2;
    }
    if (!Bench::InPrivateNetns()) {
        std::fputs("lanfinch-bench-getclient: refusing to run outside scripts/netns-run\n", stderr);
        return 2;
    }
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);

    std::vector<Slot> slots(static_cast<std::size_t>(std::min(jobs, client.boards)));
    for (Slot& slot : slots)
        slot.client = &client;
    const int64_t start = Bench::NowNs();
    RunClient(slots);
    const double getMs = Bench::NsToMs(Bench::NowNs() - start);
    std::printf("getclient boards=%d jobs=%d ok=%d failed=%d get_ms=%.1f\n", client.boards, jobs, client.ok,
                client.failed, getMs);
    return client.failed == 0 ? 0 : 1;
}
