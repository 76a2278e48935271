// The remote console: what `remote` sends (144), what a receiver does with
// it by password, the lock-out after wrong passwords, and that a received
// line runs after the poll, not inside the receive loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/console_commands.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/net_encoders.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "net/remote_console.h"
#include "platform/bit_stream.h"
#include "support/log_capture.h"
#include "support/net_probe.h"
#include "support/network_child.h"
#include "support/sent_messages.h"
#include "net_fixture.h"

namespace remote_console_test {

namespace {

using netfixture::ServerFixture;
using netprobe::Probe;

ConsoleArgs argsOf(const std::vector<std::wstring>& words) {
  ConsoleArgs args;
  for (const std::wstring& word : words)
    args.push_back(irr::core::stringw(word.c_str()));
  return args;
}

std::wstring wide(const irr::core::stringw& text) { return std::wstring(text.c_str(), text.size()); }

// A 144 with the texts written as they are, or cut after `keepBytes`.
std::vector<uint8_t> remoteMessage(const std::wstring& password, const std::wstring& command,
                                   std::size_t keepBytes = SIZE_MAX) {
  RakNet::BitStream stream;
  writeRemoteConsoleMessage(stream, password.c_str(), command.c_str());
  std::vector<uint8_t> bytes = netprobe::bytesOf(stream);
  if (keepBytes < bytes.size())
    bytes.resize(keepBytes);
  return bytes;
}

// ---------------------------------------------------------------------------
// What `remote` sends

TEST(RemoteCommand, SendsThePasswordAndTheCommandTextToTheServer) {
  struct Case {
    const char* what;
    std::vector<std::wstring> words;
    std::wstring password;  // as read back
    std::wstring command;
  };
  const std::wstring longPassword(300, L'p');
  const std::wstring longWord(300, L'c');
  const Case cases[] = {
      {"two words", {L"remote", L"pw", L"sv_cheats", L"1"}, L"pw", L"sv_cheats 1"},
      {"a quoted argument", {L"remote", L"pw", L"say", L"two words"}, L"pw", L"say \"two words\""},
      {"a 300-unit password", {L"remote", longPassword, L"echo"}, std::wstring(255, L'p'), L"echo"},
      {"a 300-unit command", {L"remote", L"pw", longWord}, L"pw", std::wstring(255, L'c')},
      {"a character outside the basic plane", {L"remote", L"pw", L"say", L"\U0001F600"}, L"pw", L"say \U0001F600"},
  };
  NetworkManager& manager = *networkManager;
  manager.isNetworked = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<SentMessage> sent;
    captureSends(sent);
    remoteCommand(argsOf(c.words));
    stopCapturingSends();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].channel, 0);
    EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);
    EXPECT_EQ(sent[0].target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    RakNet::BitStream stream(sent[0].bytes.data(), sent[0].bytes.size(), false);
    uint8_t id = 0;
    irr::core::stringw password;
    irr::core::stringw command;
    ASSERT_TRUE(stream.Read(id) && readNetStringW(stream, password) && readNetStringW(stream, command));
    EXPECT_EQ(id, msgid::kRemoteConsole);
    EXPECT_EQ(wide(password), c.password);
    EXPECT_EQ(wide(command), c.command);
    EXPECT_EQ(stream.GetNumberOfUnreadBits(), 0u);
  }

  // The bytes of the first case, as the server receives them.
  std::vector<SentMessage> sent;
  captureSends(sent);
  remoteCommand(argsOf({L"remote", L"pw", L"sv_cheats", L"1"}));
  const std::vector<uint8_t> expected{0x90, 0x02, 0x70, 0x00, 0x77, 0x00, 0x0B, 0x73, 0x00, 0x76, 0x00,
                                      0x5F, 0x00, 0x63, 0x00, 0x68, 0x00, 0x65, 0x00, 0x61, 0x00, 0x74,
                                      0x00, 0x73, 0x00, 0x20, 0x00, 0x31, 0x00};
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, expected);

  // Without a command word, or without a client peer, nothing goes.
  sent.clear();
  remoteCommand(argsOf({L"remote", L"pw"}));
  manager.isNetworked = false;
  remoteCommand(argsOf({L"remote", L"pw", L"sv_cheats", L"1"}));
  stopCapturingSends();
  EXPECT_TRUE(sent.empty());
}

// ---------------------------------------------------------------------------
// What a receiver does

// A server on the test map with one probe joined, the sends it makes seen.
class RemoteConsoleServer {
 public:
  RemoteConsoleServer() {
    registerConsoleCommands();
    captureSends(sent);
    joined = server.attach(probe) != nullptr;
    remoteConsoleGuard().clear();
  }
  ~RemoteConsoleServer() { stopCapturingSends(); }

  // The refusal lines sent to `to`.
  std::size_t refusalsTo(const RakNet::SystemAddress& to) const {
    std::size_t n = 0;
    for (const SentMessage& message : sent)
      if (message.target == to && isChat(message) && textOf(message) == kRemoteConsoleRefusal)
        ++n;
    return n;
  }

  // Sends `bytes` from `from`, then a name the server rejects; polls until
  // that rejection went back, so that the first message has been handled.
  void exchange(Probe& from, const std::vector<uint8_t>& bytes) {
    sent.clear();
    from.send(bytes);
    RakNet::BitStream rename;
    rename.Write(msgid::kPlayerName);
    writeNetStringW(rename, L"", kMaxNetStringLength);
    from.send(rename);
    const RakNet::SystemAddress address = from.address();
    EXPECT_TRUE(server.pollUntil([&] {
      for (const SentMessage& message : sent)
        if (message.target == address && isChat(message) && textOf(message) != kRemoteConsoleRefusal)
          return true;
      return false;
    }));
  }

  static bool isChat(const SentMessage& message) {
    return !message.bytes.empty() && message.bytes[0] == msgid::kChat;
  }
  static std::wstring textOf(const SentMessage& message) {
    netprobe::Got got;
    got.bytes = message.bytes;
    return netprobe::chatText(got);
  }

  ServerFixture server;
  Probe probe;
  std::vector<SentMessage> sent;
  bool joined = false;
};

TEST(RemoteConsole, RunsTheLineOnlyForTheRightPasswordAndRefusesTheRest) {
  privatenet::runInPrivateNetwork([] {
    RemoteConsoleServer fixture;
    ASSERT_TRUE(fixture.joined);
    struct Case {
      const char* what;
      std::wstring serverPassword;
      std::vector<uint8_t> message;
      bool runs;
      bool refused;
    };
    const std::vector<uint8_t> right = remoteMessage(L"s3cret", L"game_setting REMOTE_PROBE 5");
    const Case cases[] = {
        {"the right password", L"s3cret", right, true, false},
        {"a wrong one", L"s3cret", remoteMessage(L"wrong", L"game_setting REMOTE_PROBE 6"), false, true},
        {"another case", L"s3cret", remoteMessage(L"S3CRET", L"game_setting REMOTE_PROBE 6"), false, true},
        {"a prefix", L"s3cret", remoteMessage(L"s3cre", L"game_setting REMOTE_PROBE 6"), false, true},
        {"one unit more", L"s3cret", remoteMessage(L"s3cret!", L"game_setting REMOTE_PROBE 6"), false, true},
        {"an empty one", L"s3cret", remoteMessage(L"", L"game_setting REMOTE_PROBE 6"), false, true},
        {"no server password", L"", right, false, true},
        {"both empty", L"", remoteMessage(L"", L"game_setting REMOTE_PROBE 6"), false, true},
        {"the command cut", L"s3cret", std::vector<uint8_t>(right.begin(), right.end() - 3), false, false},
        {"the password cut", L"s3cret", std::vector<uint8_t>(right.begin(), right.begin() + 5), false, false},
        {"the id alone", L"s3cret", std::vector<uint8_t>{msgid::kRemoteConsole}, false, false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      fixture.server.manager.consolePassword = c.serverPassword.c_str();
      remoteConsoleGuard().clear();
      LogCapture log;
      fixture.exchange(fixture.probe, c.message);
      EXPECT_EQ(queuedRemoteConsoleCommands(), c.runs ? 1u : 0u);
      EXPECT_EQ(fixture.refusalsTo(fixture.probe.address()), c.refused ? 1u : 0u);
      // A refusal is not logged.
      EXPECT_EQ(log.take(), "");
      // The line waits for the main thread, which runs it with its echo.
      setGameSetting(L"REMOTE_PROBE", 0.0f);
      EXPECT_EQ(runRemoteConsoleCommands(), c.runs ? 1 : 0);
      EXPECT_EQ(getGameSetting(L"REMOTE_PROBE", -1.0f), c.runs ? 5.0f : 0.0f);
    }
    // The one line that ran was echoed.
    std::size_t echoes = 0;
    for (const irr::core::stringw& line : console()->lines())
      if (wide(line) == L"> game_setting REMOTE_PROBE 5")
        ++echoes;
    EXPECT_EQ(echoes, 1u);
    // The probe read the refusal as a chat line.
    const std::vector<netprobe::Got> chat = fixture.probe.ofId(msgid::kChat);
    std::size_t refusals = 0;
    for (const netprobe::Got& got : chat)
      if (netprobe::chatText(got) == kRemoteConsoleRefusal)
        ++refusals;
    EXPECT_EQ(refusals, 7u);
  });
}

TEST(RemoteConsole, FiveWrongPasswordsLockTheAddressOutForAMinute) {
  privatenet::runInPrivateNetwork([] {
    RemoteConsoleServer fixture;
    ASSERT_TRUE(fixture.joined);
    Probe other;
    ASSERT_NE(fixture.server.attach(other), nullptr);
    NetworkManager& manager = fixture.server.manager;
    manager.consolePassword = L"s3cret";
    const std::vector<uint8_t> wrong = remoteMessage(L"guess", L"echo x");
    const std::vector<uint8_t> right = remoteMessage(L"s3cret", L"echo x");
    const RakNet::SystemAddress address = fixture.probe.address();

    LogCapture log;
    for (unsigned i = 1; i <= kRemoteConsoleMaxFailures; ++i) {
      SCOPED_TRACE(i);
      fixture.server.timer.realTime += 1000;
      fixture.exchange(fixture.probe, wrong);
      EXPECT_EQ(fixture.refusalsTo(address), 1u);
      const std::string logged = log.take();
      if (i < kRemoteConsoleMaxFailures) {
        EXPECT_EQ(logged, "");
      } else {
        EXPECT_EQ(countOccurrences(logged, "Remote console: 5 wrong passwords from 127.0.0."), 1u) << logged;
      }
    }
    // Locked out: neither a right nor a wrong password gets anything.
    for (const std::vector<uint8_t>* message : {&right, &wrong}) {
      fixture.server.timer.realTime += 1000;
      fixture.exchange(fixture.probe, *message);
      EXPECT_EQ(fixture.refusalsTo(address), 0u);
      EXPECT_EQ(queuedRemoteConsoleCommands(), 0u);
    }
    EXPECT_EQ(log.take(), "");
    // Another address is not.
    fixture.exchange(other, right);
    EXPECT_EQ(queuedRemoteConsoleCommands(), 1u);
    runRemoteConsoleCommands();

    // A minute after the lock-out began, the address is heard again.
    fixture.server.timer.realTime += kRemoteConsoleLockoutMs - 2000;
    fixture.exchange(fixture.probe, right);
    EXPECT_EQ(queuedRemoteConsoleCommands(), 0u);
    fixture.server.timer.realTime += 1;
    fixture.exchange(fixture.probe, right);
    EXPECT_EQ(queuedRemoteConsoleCommands(), 1u);
    runRemoteConsoleCommands();
    // Wrong passwords spread wider than the window never lock it.
    for (unsigned i = 0; i < 2 * kRemoteConsoleMaxFailures; ++i) {
      fixture.server.timer.realTime += kRemoteConsoleFailureWindowMs / (kRemoteConsoleMaxFailures - 1) + 1;
      fixture.exchange(fixture.probe, wrong);
      EXPECT_EQ(fixture.refusalsTo(address), 1u) << i;
    }
  });
}

// "disconnect" from afar stops the peer only after the poll, on the thread
// that runs the queue, never under the receive loop.
TEST(RemoteConsole, ALineThatStopsThePeerRunsAfterThePoll) {
  privatenet::runInPrivateNetwork([] {
    RemoteConsoleServer fixture;
    ASSERT_TRUE(fixture.joined);
    NetworkManager& manager = fixture.server.manager;
    manager.consolePassword = L"s3cret";
    fixture.exchange(fixture.probe, remoteMessage(L"s3cret", L"disconnect"));
    EXPECT_TRUE(manager.peerActive());
    EXPECT_TRUE(manager.isServer);
    EXPECT_EQ(runRemoteConsoleCommands(), 1);
    EXPECT_FALSE(manager.peerActive());
    EXPECT_FALSE(manager.isServer);
    EXPECT_TRUE(fixture.probe.waitFor(RakNet::ID_DISCONNECTION_NOTIFICATION).has_value());
  });
}

}  // namespace

}  // namespace remote_console_test
