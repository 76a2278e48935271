// The built server over the network, as an operator runs it: hosting from
// start-up and from the console, connecting out, and a second process
// joining a first one and taking over its game settings. The processes and
// the test's probes share one private network namespace.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/corvane_process.h"
#include "support/net_probe.h"
#include "support/network_child.h"
#include "support/scratch_dir.h"

namespace process_network_test {

namespace {

namespace fs = std::filesystem;
using corvaneproc::Launch;
using corvaneproc::ServerProcess;
using netprobe::Probe;

// A server in the caller's namespace, its own user folder under `home`.
Launch sharedNetwork(const std::vector<std::string>& arguments = {}) {
  Launch launch;
  launch.arguments = arguments;
  launch.ownNetwork = false;
  return launch;
}

bool exitedCleanly(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// True when a probe is admitted on `port` of 127.0.0.1 (it leaves again).
bool admits(uint16_t port) {
  Probe probe;
  if (probe.startConnect(port) != RakNet::CONNECT_STARTED)
    return false;
  const bool admitted = probe.waitFor(143).has_value();
  probe.disconnect();
  return admitted;
}

TEST(ProcessNetwork, HostsAtStartAndFromTheConsole) {
  privatenet::runInPrivateNetwork([] {
    const fs::path home = scratchDir();
    ServerProcess server(home, sharedNetwork({"-singlethreaded"}));
    ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;

    // Started, it hosts on 12100.
    EXPECT_TRUE(admits(12100));
    ASSERT_TRUE(server.waitForOutput("New player connected from 127.0.0.1:")) << server.output;

    // 25000 is the master server's: refused, and 12100 taken instead.
    std::size_t mark = server.output.size();
    server.send("disconnect\nhost 25000\n");
    ASSERT_TRUE(server.waitForOutput("25000 is unavailable for servers, hosting on default port\n", mark))
        << server.output.substr(mark);
    ASSERT_TRUE(server.waitForOutput("Now acting as host\n", mark)) << server.output.substr(mark);
    EXPECT_TRUE(admits(12100));

    // The port reads as far as it is a number.
    mark = server.output.size();
    server.send("disconnect\nhost 13000x\n");
    ASSERT_TRUE(server.waitForOutput("Now acting as host\n", mark)) << server.output.substr(mark);
    EXPECT_TRUE(admits(13000));

    // Nobody listens on port 1: the attempt starts, and fails in the end.
    mark = server.output.size();
    server.send("connect 127.0.0.1:1\n");
    ASSERT_TRUE(server.waitForOutput("Attempting to connect...\n", mark)) << server.output.substr(mark);
    ASSERT_TRUE(server.waitForOutput("Could not connect to 127.0.0.1:1\n", mark)) << server.output.substr(mark);
    EXPECT_TRUE(server.waitForLog("Could not connect to 127.0.0.1:1\n"));

    // Two colons or more: the whole text is the host, which does not resolve.
    mark = server.output.size();
    server.send("connect a:b:c\n");
    ASSERT_TRUE(server.waitForOutput("Malformed connection attempt\n", mark)) << server.output.substr(mark);

    // The lag simulation takes two values and nothing else.
    mark = server.output.size();
    server.send("net_sim 1 2\nnet_sim 1\n");
    ASSERT_TRUE(server.waitForOutput("net_filter MinPingAdd ExtraPingVariance - ", mark))
        << server.output.substr(mark);
    EXPECT_EQ(server.output.find("net_filter", mark), server.output.rfind("net_filter"));

    EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs)));
  });
}

// A second process joins the first: it takes the first one's settings and
// starts its next session with them; the first one's shut-down reaches it.
TEST(ProcessNetwork, ASecondProcessJoinsAndTakesTheServersSettings) {
  privatenet::runInPrivateNetwork([] {
    const fs::path root = scratchDir();
    fs::create_directories(root / "server" / "Corvane");
    std::ofstream(root / "server" / "Corvane" / "autoexec.ini") << "game_setting SV_JOIN_PROBE 42\n";
    ServerProcess server(root / "server", sharedNetwork({"-singlethreaded"}));
    ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
    // The second cannot host on the port the first one holds; it plays on
    // alone until told to connect.
    ServerProcess client(root / "client", sharedNetwork({"-singlethreaded"}));
    ASSERT_TRUE(client.waitForOutput("Game loop start ")) << client.output;

    std::size_t mark = client.output.size();
    client.send("connect 127.0.0.1:12100\n");
    ASSERT_TRUE(client.waitForOutput("Attempting to connect...\n", mark)) << client.output.substr(mark);
    ASSERT_TRUE(client.waitForOutput("Successfully connected to 127.0.0.1:12100\n", mark))
        << client.output.substr(mark);
    ASSERT_TRUE(server.waitForOutput("New player connected from 127.0.0.1:")) << server.output;
    // 142 ends the session: the next one begins with the server's settings.
    const std::size_t joined = client.output.find("Successfully connected to", mark);
    ASSERT_TRUE(client.waitForOutput("Seed: ", joined)) << client.output.substr(mark);
    ASSERT_TRUE(client.waitForOutput("Game loop start ", client.output.find("Seed: ", joined)))
        << client.output.substr(mark);
    mark = client.output.size();
    client.send("game_setting SV_JOIN_PROBE\n");
    ASSERT_TRUE(client.waitForOutput("  SV_JOIN_PROBE 42.000000\n", mark)) << client.output.substr(mark);

    // The server shuts its hosting down: the client hears of it.
    mark = client.output.size();
    server.send("disconnect\n");
    ASSERT_TRUE(client.waitForOutput("Server shutting down\n", mark)) << client.output.substr(mark);
    ASSERT_TRUE(client.waitForOutput("Reason: Server shutting down\n", mark)) << client.output.substr(mark);

    EXPECT_TRUE(exitedCleanly(client.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs)));
    EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs)));
  });
}

}  // namespace

}  // namespace process_network_test
