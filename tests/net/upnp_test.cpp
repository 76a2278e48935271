// The port-mapping thread that hosting starts: without a gateway it ends
// silently; against miniupnpd in a gateway namespace that the test makes
// (tests/support/upnp_gateway.sh) it maps the game port, or logs why not.
// Everything runs in private network namespaces: discovery never reaches a
// real network.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "net/network_manager.h"
#include "net/upnp.h"
#include "support/corvane_process.h"
#include "support/log_capture.h"
#include "support/network_child.h"
#include "support/scratch_dir.h"

namespace upnp_test {

namespace {

namespace fs = std::filesystem;

constexpr int kSafetyMs = 60000;

// Waits (without holding anything up) until every mapping thread ended.
bool waitForMappingThreads() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSafetyMs);
  while (upnpThreadsRunning() != 0) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// What the thread logs, whatever it finds.
const char* const kMappingLines[] = {"IGD", "Local IP", "External", "UPNP_"};

TEST(UpnpPortMapping, WithoutAGatewayEachHostingsThreadEndsSilently) {
  privatenet::runInPrivateNetwork([] {
    NetworkManager& manager = *networkManager;
    manager.maxPlayers = 2;
    LogCapture log;
    ASSERT_TRUE(manager.host(kDefaultGamePort));
    ASSERT_TRUE(manager.host(kDefaultGamePort));  // the server is kept; a second thread starts
    EXPECT_EQ(upnpThreadsStarted(), 2u);
    // Nobody waits for them; the test only watches them end.
    ASSERT_TRUE(waitForMappingThreads());
    const std::string logged = log.take();
    for (const char* text : kMappingLines)
      EXPECT_EQ(logged.find(text), std::string::npos) << logged;
    manager.disconnect();
  });
}

bool installed(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string commandOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
      out += buffer;
    ::pclose(pipe);
  }
  return out;
}

// miniupnpd in a namespace of its own, linked to this process's namespace
// by lan1 (10.77.0.2). Ends the daemon, and with it the namespace, when
// destroyed.
class Gateway {
 public:
  Gateway(const fs::path& folder, const std::string& externalAddress) : folder_(folder) {
    const std::string script = CORVANE_SOURCE_DIR "/tests/support/upnp_gateway.sh";
    const std::string lanPid = std::to_string(::getpid());
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      const std::string output = (folder / "script.log").string();
      if (std::freopen(output.c_str(), "w", stdout) == nullptr || std::freopen(output.c_str(), "a", stderr) == nullptr)
        ::_exit(126);
      ::execl(script.c_str(), script.c_str(), folder.c_str(), lanPid.c_str(), externalAddress.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Gateway() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Waits until the daemon listens; false when the script ended first.
  bool waitUntilListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSafetyMs);
    while (corvaneproc::readFile(folder_ / "gateway.log").find("HTTP listening on port") == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline || ::waitpid(pid_, nullptr, WNOHANG) == pid_)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  std::string logs() const {
    return corvaneproc::readFile(folder_ / "script.log") + corvaneproc::readFile(folder_ / "gateway.log");
  }
  std::string ruleset() const {
    return commandOutput("nsenter --net=/proc/" + std::to_string(pid_) + "/ns/net nft list ruleset 2>&1");
  }

 private:
  fs::path folder_;
  pid_t pid_ = -1;
};

TEST(UpnpPortMapping, AGatewayMapsTheGamePortOrSaysWhyNot) {
  ASSERT_TRUE(installed("miniupnpd") && installed("nft") && installed("nsenter"))
      << "the gateway needs miniupnpd, nftables and util-linux: run scripts/setup.sh";
  struct Case {
    const char* what;
    std::string externalAddress;  // empty: the reserved one of ext0
    std::vector<std::string> logged;
    std::vector<std::string> notLogged;
    bool mapped;
  };
  const Case cases[] = {
      {"a public external address",
       "1.2.3.4",
       {"Valid IGD: http://10.77.0.1:", "/ctl/IPConn\n", "Local IP: 10.77.0.2\n", "External IP: 1.2.3.4\n",
        "External 1.2.3.4:12100 UDP => Internal 10.77.0.2:12100\n"},
       {"failed"},
       true},
      {"a reserved external address",
       "",
       {"Unconnected IGD: http://10.77.0.1:", "Local IP: 10.77.0.2\n", "UPNP_GetExternalIPAddress failed.\n",
        "UPNP_AddPortMapping(12100, 12100, 10.77.0.2) failed: code 501 (Action Failed)\n",
        "UPNP_GetSpecificPortMappingEntry() failed: code 714 (NoSuchEntryInArray)\n"},
       {"External IP: ", " => Internal"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    privatenet::runInPrivateNetwork([&c] {
      Gateway gateway(scratchDir(), c.externalAddress);
      ASSERT_TRUE(gateway.waitUntilListening()) << gateway.logs();
      NetworkManager& manager = *networkManager;
      manager.maxPlayers = 2;
      LogCapture log;
      ASSERT_TRUE(manager.host(kDefaultGamePort));
      ASSERT_TRUE(waitForMappingThreads());
      const std::string logged = log.take();
      for (const std::string& line : c.logged)
        EXPECT_NE(logged.find(line), std::string::npos) << line << "\n" << logged << gateway.logs();
      for (const std::string& text : c.notLogged)
        EXPECT_EQ(logged.find(text), std::string::npos) << text << "\n" << logged;
      const std::string rules = gateway.ruleset();
      EXPECT_EQ(rules.find("dnat ip to 10.77.0.2:12100") != std::string::npos, c.mapped) << rules;
      manager.disconnect();
    });
  }
}

}  // namespace

}  // namespace upnp_test
