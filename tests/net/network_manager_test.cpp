// The network manager's parts that need no network: player records, the
// text hash, the chat log, the console's address reading and the sends a
// manager without a peer still shows its observer.
#include "net/network_manager.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/console_commands.h"
#include "net/chat_log.h"
#include "net/message_ids.h"
#include "platform/bit_stream.h"
#include "support/sent_messages.h"

namespace network_manager_test {

namespace {

// The process's first record is the manager's own; every record made later
// counts on from it (this test runs in a process of its own).
TEST(NetPlayer, TheManagersOwnRecordIsTheFirstAndOthersCountOn) {
  EXPECT_EQ(networkManager->localPlayer.name, irr::core::stringw(L"Unknown"));
  EXPECT_EQ(networkManager->localPlayer.id, 50u);
  const NetPlayer second;
  const NetPlayer third;
  EXPECT_EQ(second.name, irr::core::stringw(L"Player 2"));
  EXPECT_EQ(second.id, 51u);
  EXPECT_EQ(third.name, irr::core::stringw(L"Player 3"));
  EXPECT_EQ(third.id, 52u);
  EXPECT_EQ(second.address, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  EXPECT_EQ(second.emp, nullptr);
  EXPECT_EQ(second.hasGalaxy, 0);
  EXPECT_FALSE(second.voteYes);
  // A copy is the same record, not a new one.
  const NetPlayer copy = second;
  EXPECT_EQ(copy.id, 51u);
  EXPECT_EQ(NetPlayer().id, 53u);
}

TEST(NetworkManager, StartsIdleWithTheDefaultsOfASession) {
  const NetworkManager& manager = *networkManager;
  EXPECT_FALSE(manager.peerActive());
  EXPECT_FALSE(manager.isServer);
  EXPECT_FALSE(manager.isNetworked);
  EXPECT_FALSE(manager.isConnected);
  EXPECT_EQ(manager.port, kDefaultGamePort);
  EXPECT_EQ(manager.updateMode, 1u);
  EXPECT_EQ(manager.peerVersion, 7u);
  EXPECT_EQ(manager.masterAddress, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  EXPECT_TRUE(manager.autoPause);
  EXPECT_TRUE(manager.welcomeMessage);
  EXPECT_TRUE(manager.votesEnabled);
  EXPECT_TRUE(manager.players.empty());
}

// The effect graphics' receiver is entered at start-up; entering it again
// changes nothing.
TEST(NetworkManager, StartUpEntersTheBuiltInReceivers) {
  NetworkManager* manager = createNetworkManager();
  ASSERT_EQ(manager, networkManager);
  // The effect graphics; the object record, destruction and event of a
  // client; the requests a client makes of its objects, with the
  // build-list names a server tells it; the object update batches and
  // object details; the empire messages (designs, settings, empire
  // messages, thresholds, empire commands); diplomatic messages, treaties
  // and research; the joining messages (galaxy request, play-as, galaxy
  // header, progress, game time, gas sprites).
  std::vector<uint32_t> ids;
  for (const auto& entry : manager->receivers) {
    ids.push_back(entry.first);
    EXPECT_NE(entry.second, nullptr) << entry.first;
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139}));
  const std::map<uint32_t, MessageReceiver*> first = manager->receivers;
  createNetworkManager();
  EXPECT_EQ(manager->receivers, first);
}

TEST(HashWideString, HashesTheUtf16Units) {
  struct Case {
    const wchar_t* text;
    uint32_t hash;
  } const cases[] = {
      {L"", 0u},
      {L"A", 0x41u},                   // shorter than 3 units: h itself
      {L"ab", 24930u},                 // 0x6162
      {L"abc", 0xB4D5F249u},           // h squared
      {L"Planet 12", 0x394B75E1u},     // h to the 4th
      {L"Hello, world", 0xD7248000u},  // the rotation wraps
      {L"\U0001F600", 0x00D91B00u},    // a surrogate pair: two units
  };
  for (const Case& c : cases)
    EXPECT_EQ(hashWideString(c.text), c.hash) << irr::core::stringc(c.text).c_str();
}

TEST(ChatLog, KeepsTheNewestHundredLinesAndCountsEveryOne) {
  const uint32_t before = lastChatId();
  for (int i = 1; i <= 101; ++i)
    appendChatLog(irr::core::stringw(L"line ") + irr::core::stringw(i));
  EXPECT_EQ(lastChatId(), before + 101);
  const std::vector<irr::core::stringw> lines = chatLogLines();
  ASSERT_EQ(lines.size(), kChatLogLines);
  EXPECT_EQ(lines.front(), irr::core::stringw(L"line 101"));
  EXPECT_EQ(lines.back(), irr::core::stringw(L"line 2"));
}

TEST(ChatLog, ChatMessagesCarryTheTextAsUtf16LowByteFirst) {
  RakNet::BitStream stream;
  writeChatMessage(stream, L"Hi\U0001F600");
  const std::vector<uint8_t> expected = {113, 'H', 0, 'i', 0, 0x3D, 0xD8, 0x00, 0xDE};
  EXPECT_EQ(std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed()), expected);
}

TEST(ConsoleAddresses, ConnectSplitsAtTheOnlyColon) {
  struct Case {
    const wchar_t* text;
    const wchar_t* address;
    uint16_t port;
  } const cases[] = {
      {L"10.0.0.5", L"10.0.0.5", 12100},
      {L"10.0.0.5:13000", L"10.0.0.5", 13000},
      {L"127.0.0.1:1", L"127.0.0.1", 1},
      {L"::1", L"::1", 12100},        // two colons: an IPv6 form, whole
      {L"a:b:c", L"a:b:c", 12100},
      {L"host:", L"host", 0},         // nothing after the colon reads 0
      {L"host:1,2.3x9", L"host", 123},
      {L"host:70000", L"host", 4464},  // wraps at 16 bits
  };
  for (const Case& c : cases) {
    const ConnectTarget target = splitConnectTarget(c.text);
    EXPECT_EQ(target.address, irr::core::stringw(c.address)) << irr::core::stringc(c.text).c_str();
    EXPECT_EQ(target.port, c.port) << irr::core::stringc(c.text).c_str();
  }
}

TEST(ConsoleAddresses, PortsReadAsFarAsTheyGo) {
  struct Case {
    const wchar_t* text;
    uint16_t port;
  } const cases[] = {
      {L"13000x", 13000}, {L"-13000", 13000}, {L"1-3", 1}, {L"", 0}, {L"x1", 0}, {L"65536", 0}, {L"1.2,3", 123},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parsePort(c.text), c.port) << irr::core::stringc(c.text).c_str();
}

// Without a peer nothing leaves the process, but the observer sees every
// send, with the channel and reliability asked for.
TEST(NetworkManager, SendsWithoutAPeerReachOnlyTheObserver) {
  std::vector<SentMessage> sent;
  captureSends(sent);
  RakNet::BitStream stream;
  stream.Write(msgid::kChat);
  networkManager->send(&stream, kChatChannel, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  networkManager->send(nullptr, 0, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  stopCapturingSends();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, std::vector<uint8_t>{113});
  EXPECT_EQ(sent[0].channel, kChatChannel);
  EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE);
}

}  // namespace

}  // namespace network_manager_test
