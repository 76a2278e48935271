// The remote console and the master server between real processes: a
// client process runs console lines on a server process with its password,
// and a server process announces itself to a fake master. The processes,
// the fake master and the probes share one private network namespace.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/message_ids.h"
#include "support/corvane_process.h"
#include "support/fake_master.h"
#include "support/network_child.h"
#include "support/scratch_dir.h"

namespace remote_process_test {

namespace {

namespace fs = std::filesystem;
using corvaneproc::Launch;
using corvaneproc::ServerProcess;

Launch sharedNetwork(const std::vector<std::string>& arguments) {
  Launch launch;
  launch.arguments = arguments;
  launch.ownNetwork = false;
  return launch;
}

bool exitedCleanly(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// Connects `client` to the server on 12100 and waits for the session that
// the server's settings start.
void join(ServerProcess& client) {
  const std::size_t mark = client.output.size();
  client.send("connect 127.0.0.1:12100\n");
  ASSERT_TRUE(client.waitForOutput("Successfully connected to 127.0.0.1:12100\n", mark)) << client.output.substr(mark);
  const std::size_t joined = client.output.find("Successfully connected to", mark);
  ASSERT_TRUE(client.waitForOutput("Seed: ", joined)) << client.output.substr(mark);
  ASSERT_TRUE(client.waitForOutput("Game loop start ", client.output.find("Seed: ", joined)))
      << client.output.substr(mark);
}

TEST(RemoteConsoleProcess, AClientRunsServerCommandsWithThePassword) {
  privatenet::runInPrivateNetwork([] {
    const fs::path root = scratchDir();
    ServerProcess server(root / "server", sharedNetwork({"-singlethreaded", "+serverpass", "s3cret"}));
    ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
    ServerProcess client(root / "client", sharedNetwork({"-singlethreaded"}));
    ASSERT_TRUE(client.waitForOutput("Game loop start ")) << client.output;
    join(client);

    // The right password: the server runs the line and echoes it.
    std::size_t mark = server.output.size();
    client.send("remote s3cret game_setting FOO 5\n");
    ASSERT_TRUE(server.waitForOutput("> game_setting FOO 5\n", mark)) << server.output.substr(mark);
    server.send("game_setting FOO\n");
    ASSERT_TRUE(server.waitForOutput("  FOO 5.000000\n", mark)) << server.output.substr(mark);

    // A wrong one: the client reads the refusal; the server says nothing.
    mark = server.output.size();
    const std::size_t logMark = server.log().size();
    std::size_t clientMark = client.output.size();
    client.send("remote wrong game_setting FOO 6\n");
    ASSERT_TRUE(client.waitForOutput("Invalid password specified for console command.", clientMark))
        << client.output.substr(clientMark);
    server.send("game_setting FOO\n");
    ASSERT_TRUE(server.waitForOutput("  FOO 5.000000\n", mark)) << server.output.substr(mark);
    EXPECT_EQ(server.output.find("game_setting FOO 6", mark), std::string::npos) << server.output.substr(mark);
    EXPECT_EQ(server.log().find("password", logMark), std::string::npos) << server.log().substr(logMark);

    // "disconnect" from afar ends the hosting after the poll; the server
    // goes on reading its console.
    mark = server.output.size();
    clientMark = client.output.size();
    client.send("remote s3cret disconnect\n");
    ASSERT_TRUE(client.waitForOutput("Server shutting down\n", clientMark)) << client.output.substr(clientMark);
    server.send("game_setting FOO\n");
    ASSERT_TRUE(server.waitForOutput("  FOO 5.000000\n", mark)) << server.output.substr(mark);

    EXPECT_TRUE(exitedCleanly(client.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs)));
    EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs)));
  });
}

// A public server whose config.cfg names the master server announces itself
// at start and closes the connection after its heartbeat.
TEST(MasterServerProcess, APublicServerAnnouncesItselfToTheConfiguredMaster) {
  privatenet::runInPrivateNetwork([] {
    fakemaster::FakeMaster master;
    ASSERT_TRUE(master.started());
    const fs::path home = scratchDir();
    fs::create_directories(home / "Corvane");
    std::ofstream(home / "Corvane" / "config.cfg") << "[General]\r\nsMasterServer = 127.0.0.1\r\n";
    ServerProcess server(home, sharedNetwork({"-singlethreaded"}));
    ASSERT_TRUE(master.waitForCount(msgid::kMasterHeartbeat, 1)) << server.output;
    const fakemaster::Heartbeat beat = fakemaster::readHeartbeat(master.ofId(msgid::kMasterHeartbeat)[0]);
    EXPECT_TRUE(beat.complete);
    EXPECT_EQ(beat.playerCount, 0);
    ASSERT_TRUE(server.waitForLog("Heartbeat...\n")) << server.log();
    EXPECT_TRUE(master.waitForCount(RakNet::ID_DISCONNECTION_NOTIFICATION, 1));
    EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs)));
  });
}

}  // namespace

}  // namespace remote_process_test
