#include "protocol/CNodeProtocol.h"
#include "protocol/CNodeQueue.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr uint32_t kLoopback = 0x7f000001u;

// Runs in the death-test child, where only `spare` more descriptors can be opened: with none the
// engine's wake-up event cannot be created, with one its socket cannot. Nothing can leave either:
// the destination is loopback and there is no socket.
int Requests(CNodeProtocol& engine)
{
    const uint8_t mac[6] = {0x00, 0x0a, 0xff, 0x10, 0x20, 0x3b};
    NetworkSettings settings;
    settings.SetDhcp(1);
    int sent = 0;
    sent += engine.SendSearchRequest() != 0;
    sent += engine.SendAddressRequest(settings, mac) != 0;
    sent += engine.SendPacket(NodeInfo{}) != 0;
    return sent;
}

[[noreturn]] void RequestsWithoutDescriptors(int spare)
{
    // The same calls once with descriptors to spare: the sanitizer's first look at a dynamic type
    // needs a descriptor of its own, later looks hit its cache.
    CNodeQueue queue;
    {
        CNodeProtocol warmUp(UdpEndpoint{kLoopback, 0}, UdpEndpoint{kLoopback, 9}, queue);
        if (warmUp.BoundPort() == 0 || Requests(warmUp) != 3) {
            _exit(1);
        }
    }

    const int lowestFree = dup(0);
    if (lowestFree < 0) {
        _exit(2);
    }
    close(lowestFree);
    const auto limit = static_cast<rlim_t>(lowestFree + spare);
    const rlimit limits{limit, limit};
    if (setrlimit(RLIMIT_NOFILE, &limits) != 0) {
        _exit(3);
    }

    int failures = 0;
    {
        CNodeProtocol engine(UdpEndpoint{kLoopback, 0}, UdpEndpoint{kLoopback, 9}, queue);
        failures += engine.BoundPort() != 0;
        failures += Requests(engine);
        engine.Close();
        failures += engine.SendSearchRequest() != 0;
    }
    // _exit: the leak checker's exit hook would itself need descriptors.
    _exit(failures == 0 ? 0 : 10 + failures);
}

TEST(CNodeProtocolDeathTest, EngineThatCannotOpenMakesEveryRequestReturnZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RequestsWithoutDescriptors(0), ::testing::ExitedWithCode(0), "") << "no wake-up event";
    EXPECT_EXIT(RequestsWithoutDescriptors(1), ::testing::ExitedWithCode(0), "") << "no socket";
}

} // namespace
