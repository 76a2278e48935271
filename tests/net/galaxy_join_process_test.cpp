// Joining a running game end to end: two server processes in one private
// network namespace, the second told to connect on its standard input. It
// receives the first one's galaxy whole, keeps its game clock in step, and
// takes over one of its AI empires; a second player's claim on that empire
// goes unanswered. Both processes are the test build with the listing
// commands (tests/programs/galaxy_listing_main.cpp).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/corvane_process.h"
#include "support/net_probe.h"
#include "support/network_child.h"
#include "support/scratch_dir.h"

namespace galaxy_join_process_test {

namespace {

namespace fs = std::filesystem;
using corvaneproc::Launch;
using corvaneproc::ServerProcess;
using netprobe::Got;
using netprobe::Probe;

constexpr uint8_t kSettings = 142;
constexpr uint8_t kRequest = 115;
constexpr uint8_t kHeader = 120;
constexpr uint8_t kProgress = 121;
constexpr uint8_t kPlayAs = 119;
constexpr uint8_t kChat = 113;

// The test maps as a mod of the user folder under `home`.
void installTestMaps(const fs::path& home) {
  const fs::path mod = home / "Corvane" / "Mods" / "testmaps";
  fs::create_directories(mod / "Maps");
  for (const auto& entry : fs::directory_iterator(CORVANE_SOURCE_DIR "/tests/app/maps"))
    fs::copy_file(entry.path(), mod / "Maps" / entry.path().filename(), fs::copy_options::overwrite_existing);
  std::ofstream(mod / "modinfo.txt") << "Name: Test Maps\n";
}

Launch listingServer(const fs::path& home, const std::vector<std::string>& arguments) {
  installTestMaps(home);
  Launch launch;
  launch.arguments = arguments;
  launch.ownNetwork = false;
  launch.program = "corvane_galaxy_listing";
  launch.errors = home / "errors.txt";
  return launch;
}

struct Listed {
  int kind = 0;
  int owner = 0;
  uint32_t container = 0;
  float x = 0, y = 0, z = 0;
  std::string name;
};

// Runs list_galaxy and reads its lines: the objects by UID.
std::map<uint32_t, Listed> listGalaxy(ServerProcess& process) {
  const std::size_t mark = process.output.size();
  process.send("list_galaxy\n");
  std::map<uint32_t, Listed> objects;
  if (!process.waitForOutput("\nend\n", mark))
    return objects;
  std::istringstream lines(process.output.substr(mark, process.output.find("\nend\n", mark) - mark));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("obj ", 0) != 0)
      continue;
    std::istringstream fields(line.substr(4));
    uint32_t uid = 0;
    Listed listed;
    fields >> uid >> listed.kind >> listed.owner >> listed.container >> listed.x >> listed.y >> listed.z;
    std::getline(fields, listed.name);
    objects[uid] = listed;
  }
  return objects;
}

struct Clock {
  double time = 0;
  double speed = 0;
  double at = 0;  // the monotonic clock, shared by both processes
};

Clock readClock(ServerProcess& process) {
  const std::size_t mark = process.output.size();
  process.send("show_clock\n");
  Clock clock;
  if (!process.waitForOutput("clock ", mark))
    return clock;
  const std::size_t at = process.output.find("clock ", mark);
  if (!process.waitForOutput("\n", at))
    return clock;
  std::istringstream(process.output.substr(at + 6)) >> clock.time >> clock.speed >> clock.at;
  return clock;
}

// The fields of show_empire: ID, player-controlled, has AI, layouts, build
// lists, settings, active empire's ID, name; then the lists' names.
struct EmpireState {
  int id = -1, playerControlled = -1, hasAI = -1, layouts = -1, lists = -1, settings = -1, active = -1;
  std::string name;
  std::vector<std::string> listNames;
};

EmpireState showEmpire(ServerProcess& process, int id) {
  const std::size_t mark = process.output.size();
  process.send("show_empire " + std::to_string(id) + "\necho shown\n");
  EmpireState state;
  if (!process.waitForOutput("shown\n", mark))
    return state;
  std::istringstream lines(process.output.substr(mark));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("empire ", 0) == 0) {
      std::istringstream fields(line.substr(7));
      fields >> state.id >> state.playerControlled >> state.hasAI >> state.layouts >> state.lists >> state.settings >>
          state.active;
      std::getline(fields >> std::ws, state.name);
    } else if (line.rfind("list ", 0) == 0) {
      state.listNames.push_back(line.substr(5));
    }
  }
  return state;
}

double monotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool exitedCleanly(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

TEST(GalaxyJoinProcess, AClientReceivesTheGalaxyKeepsTheClockAndPlaysAnAIEmpire) {
  privatenet::runInPrivateNetwork([] {
    const fs::path root = scratchDir();
    ServerProcess server(root / "server", listingServer(root / "server", {"+MAP", "tiny", "+MOD", "testmaps"}));
    ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
    // Held still, so that both lists describe one moment.
    server.send("set_speed_factor 0\n");
    ServerProcess client(root / "client", listingServer(root / "client", {"+MOD", "testmaps"}));
    ASSERT_TRUE(client.waitForOutput("Game loop start ")) << client.output;

    // -- The galaxy ------------------------------------------------------------
    std::size_t mark = client.output.size();
    client.send("connect 127.0.0.1:12100\n");
    ASSERT_TRUE(client.waitForOutput("Successfully connected to 127.0.0.1:12100\n", mark))
        << client.output.substr(mark);
    ASSERT_TRUE(server.waitForOutput("Sending galaxy...\n")) << server.output;
    ASSERT_TRUE(server.waitForOutput("Done sending galaxy...(")) << server.output;
    const std::size_t done = server.output.find("Done sending galaxy...(");
    ASSERT_TRUE(server.waitForOutput("ms)\n", done)) << server.output.substr(done);
    EXPECT_EQ(server.output.find("ms)\n", done), server.output.find_first_not_of("0123456789", done + 23))
        << server.output.substr(done);

    const std::map<uint32_t, Listed> served = listGalaxy(server);
    ASSERT_FALSE(served.empty()) << server.output;
    std::map<uint32_t, Listed> received;
    const double listDeadline = monotonicSeconds() + corvaneproc::kProcessTimeoutMs / 1000.0;
    while (received.size() < served.size() && monotonicSeconds() < listDeadline) {
      received = listGalaxy(client);
      if (received.size() < served.size())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(received.size(), served.size()) << client.output.substr(mark);
    for (const auto& [uid, object] : served) {
      SCOPED_TRACE("UID " + std::to_string(uid) + " " + object.name);
      const auto found = received.find(uid);
      ASSERT_NE(found, received.end());
      const Listed& copy = found->second;
      EXPECT_EQ(copy.kind, object.kind);
      EXPECT_EQ(copy.owner, object.owner);
      EXPECT_EQ(copy.container, object.container);
      EXPECT_EQ(copy.name, object.name);
      EXPECT_LE(std::hypot(copy.x - object.x, copy.y - object.y, copy.z - object.z), 1.0f);
    }

    // -- The clock ---------------------------------------------------------------
    // The server runs again; over the next 10 s the client's game time stays
    // within 0.5 s of the server's at the same moment (the server's time
    // there taken between its two readings around the client's).
    server.send("set_speed_factor 1\n");
    Clock before = readClock(server);
    ASSERT_GT(before.at, 0.0) << server.output;
    const double until = before.at + 10.0;
    int samples = 0;
    while (before.at < until) {
      const Clock theirs = readClock(client);
      const Clock after = readClock(server);
      ASSERT_GT(theirs.at, 0.0) << client.output.substr(mark);
      ASSERT_GT(after.at, 0.0) << server.output;
      if (before.speed > 0.0 && after.speed > 0.0 && after.at > before.at) {
        const double share = (theirs.at - before.at) / (after.at - before.at);
        const double serverThen = before.time + share * (after.time - before.time);
        EXPECT_NEAR(theirs.time, serverThen, 0.5) << "at " << theirs.at - (until - 10.0) << " s";
        ++samples;
      }
      before = after;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GT(samples, 0);

    // -- Play-as ---------------------------------------------------------------------
    const EmpireState serverSide = showEmpire(server, 2);
    ASSERT_EQ(serverSide.id, 2) << server.output;
    ASSERT_EQ(serverSide.hasAI, 1);
    ASSERT_FALSE(serverSide.name.empty());

    // The server may not play; a name of no valid empire is refused.
    mark = server.output.size();
    server.send("play_as \"" + serverSide.name + "\"\n");
    ASSERT_TRUE(server.waitForOutput("The server may not become, or change, its empire", mark))
        << server.output.substr(mark);
    std::size_t clientMark = client.output.size();
    client.send("play_as Nobody\n");
    ASSERT_TRUE(client.waitForOutput("Specified invalid empire. Note: Names are case-sensitive.", clientMark))
        << client.output.substr(clientMark);

    // A second player, in the game before the claim, hears of it too.
    Probe second;
    ASSERT_EQ(second.startConnect(), RakNet::CONNECT_STARTED);
    ASSERT_TRUE(second.waitFor(kSettings).has_value()) << "not admitted";

    const std::string notice = "Player 2 is now playing as the " + serverSide.name + " empire.";
    clientMark = client.output.size();
    client.send("play_as \"" + serverSide.name + "\"\n");
    EXPECT_TRUE(client.waitForOutput(notice, clientMark)) << client.output.substr(clientMark);
    const double noticeDeadline = monotonicSeconds() + corvaneproc::kProcessTimeoutMs / 1000.0;
    bool heard = false;
    while (!heard && monotonicSeconds() < noticeDeadline) {
      for (const Got& got : second.ofId(kChat))
        heard = heard || netprobe::chatText(got) == std::wstring(notice.begin(), notice.end());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(heard);

    const EmpireState taken = showEmpire(server, 2);
    EXPECT_EQ(taken.playerControlled, 1);
    EXPECT_EQ(taken.hasAI, 0);
    const EmpireState played = showEmpire(client, 2);
    EXPECT_EQ(played.active, 2);
    EXPECT_EQ(played.layouts, taken.layouts);
    EXPECT_EQ(played.listNames, taken.listNames);
    EXPECT_GE(played.settings, taken.settings);

    // The second player's claim on the same empire goes unanswered. Messages of
    // one sender are handled in order and answers leave in the order sent:
    // the header of a galaxy asked for after the claim comes after any
    // answer to it.
    second.send({kRequest});
    ASSERT_TRUE(second.waitFor(kProgress).has_value());
    const auto endMark = [&] {
      for (const Got& got : second.ofId(kProgress))
        if (got.bytes == std::vector<uint8_t>{kProgress, 0x3F, 0x80, 0x00, 0x00})
          return true;
      return false;
    };
    const double markDeadline = monotonicSeconds() + corvaneproc::kProcessTimeoutMs / 1000.0;
    while (!endMark() && monotonicSeconds() < markDeadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(endMark());
    second.send({kProgress});
    second.forget();
    second.send({kPlayAs, 2});
    second.send({kRequest});
    ASSERT_TRUE(second.waitFor(kHeader).has_value());
    EXPECT_TRUE(second.ofId(kPlayAs).empty());
    second.disconnect();

    EXPECT_TRUE(exitedCleanly(client.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs)))
        << corvaneproc::readFile(root / "client" / "errors.txt");
    EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, corvaneproc::kProcessTimeoutMs)))
        << corvaneproc::readFile(root / "server" / "errors.txt");
  });
}

}  // namespace

}  // namespace galaxy_join_process_test
