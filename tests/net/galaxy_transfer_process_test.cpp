// The built server restarting while it sends its galaxy: a player asks for
// the galaxy and at once votes for a restart, which passes with the only
// vote. The session waits for the transfer to let go of the galaxy before
// it destroys it, the next session starts, and the process ends cleanly
// (under the address sanitizer, a transfer that walked a freed galaxy
// would end it with an error).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "chat_helpers.h"
#include "support/corvane_process.h"
#include "support/net_probe.h"
#include "support/network_child.h"
#include "support/scratch_dir.h"

namespace galaxy_transfer_process_test {

namespace {

namespace fs = std::filesystem;
using corvaneproc::Launch;
using corvaneproc::ServerProcess;
using netprobe::Probe;

constexpr uint8_t kSettings = 142;
constexpr uint8_t kRequest = 115;
constexpr uint8_t kHeader = 120;
constexpr uint8_t kRestart = 145;

TEST(GalaxyTransferProcess, ARestartVotedDuringATransferTearsDownCleanly) {
  privatenet::runInPrivateNetwork([] {
    const fs::path home = scratchDir();
    Launch launch;
    launch.ownNetwork = false;
    launch.errors = home / "errors.txt";
    ServerProcess server(home, launch);
    ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
    const std::size_t firstSession = server.output.find("Game loop start ");

    Probe probe;
    ASSERT_EQ(probe.startConnect(), RakNet::CONNECT_STARTED);
    ASSERT_TRUE(probe.waitFor(kSettings).has_value()) << "not admitted";
    probe.send({kRequest});
    probe.send(chattest::chatBytes(L"!restart"), RakNet::RELIABLE_ORDERED, 100);
    ASSERT_TRUE(probe.waitFor(kHeader).has_value()) << "no transfer";
    ASSERT_TRUE(probe.waitFor(kRestart).has_value()) << "no restart";
    ASSERT_TRUE(server.waitForOutput("Sending galaxy...\n")) << server.output;

    // The next session runs.
    ASSERT_TRUE(server.waitForOutput("Game loop start ", firstSession + 1))
        << server.output << corvaneproc::readFile(home / "errors.txt");
    probe.disconnect();

    const int status = server.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs);
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << corvaneproc::readFile(home / "errors.txt");
  });
}

}  // namespace

}  // namespace galaxy_transfer_process_test
