// The empire-level messages as their handlers and senders see them, in one
// process: an empire's settings and periodic state (130), empire messages
// (131), design thresholds (135), colonise commands and trait changes (136),
// a client's refused design (127), and hostile bodies of every message a
// client sends. Red is the sender's empire, blue another player's; the
// network manager plays a server or a client by its flags, and what it
// sends is captured.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/locks.h"
#include "core/net_encoders.h"
#include "core/threads.h"
#include "design/build/build_fixture.h"
#include "empire/empire_commands.h"
#include "empire/traits.h"
#include "net/diplomacy_messages.h"
#include "net/empire_messages.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "support/log_capture.h"

namespace empire_messages_test {

namespace {

using Bytes = std::vector<uint8_t>;
using irr::core::stringw;

constexpr uint8_t kHullLayoutId = 127;
constexpr uint8_t kChatId = 113;

Bytes bytesOf(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return data == nullptr ? Bytes() : Bytes(data, data + stream.GetNumberOfBytesUsed());
}

// A message's body (behind its id byte) as a handler is handed it.
struct Body {
  RakNet::BitStream stream;
  explicit Body(const Bytes& message) {
    for (size_t i = 1; i < message.size(); ++i)
      stream.Write(message[i]);
  }
  Body() = default;
};

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A wide string as it travels: the length, then each unit low byte first.
Bytes wide(const std::string& text) {
  Bytes out{static_cast<uint8_t>(text.size())};
  for (char c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

// A planet that notes the star-system nesting of the thread that asks its
// type, while `watching` is set.
class WatchedPlanet : public objHabitation {
 public:
  explicit WatchedPlanet(empire* owner) : objHabitation(owner, nullptr) {}
  int getType() const override {
    if (watching)
      nestings.push_back(threadLocals().systemLockNesting);
    return objHabitation::getType();
  }
  static bool watching;
  static std::vector<int> nestings;
};
bool WatchedPlanet::watching = false;
std::vector<int> WatchedPlanet::nestings;

class EmpireMessagesTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    networkManager->isServer = true;
    player.emp = red;
    player.hasGalaxy = 1;
    player.address = RakNet::SystemAddress::fromOctets(127, 0, 0, 5, 40000);
    spectator.hasGalaxy = 1;
    spectator.address = RakNet::SystemAddress::fromOctets(127, 0, 0, 6, 40001);
    savedVersion_ = networkManager->peerVersion;
  }

  void TearDown() override {
    {
      std::lock_guard<std::mutex> guard(networkManager->playersLock);
      networkManager->players.clear();
    }
    networkManager->peerVersion = savedVersion_;
    activeEmpire = nullptr;
    playingEmpire = nullptr;
    red->clearCommands();
    blue->clearCommands();
    clearTraits();
    BuildTest::TearDown();
  }

  // Lists `record` with the server under `guid`.
  void list(uint64_t guid, const NetPlayer& record) {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    networkManager->players[guid] = record;
  }

  void becomeClient() {
    networkManager->isServer = false;
    networkManager->isNetworked = true;
    networkManager->isConnected = true;
  }

  static float settingOf(empire* emp, const wchar_t* name) { return emp->getSetting(name); }
  static size_t settingCount(empire* emp) {
    ScopedReadLock guard(emp->locks[EA_Settings]);
    return emp->settings.size();
  }
  static std::vector<generic_object*> commandPlanets(empire* emp) {
    std::vector<generic_object*> planets;
    ScopedReadLock guard(emp->locks[EA_Commands]);
    for (empCommand* command : emp->commands)
      if (auto* colonize = dynamic_cast<ColonizePlanetCommand*>(command))
        planets.push_back(colonize->planet);
    return planets;
  }
  static float traitVariable(empire* emp, const wchar_t* name) {
    float value = -1.0f;
    emp->traitVars.get(name, value);
    return value;
  }

  // What the network manager was handed with `id` first.
  std::vector<SentMessage> sentWithId(uint8_t id) const {
    std::vector<SentMessage> out;
    for (const SentMessage& message : sent)
      if (!message.bytes.empty() && message.bytes[0] == id)
        out.push_back(message);
    return out;
  }

  NetPlayer player;     // plays red
  NetPlayer spectator;  // has no empire

 private:
  uint32_t savedVersion_ = kProtocolVersion;
};

// --- 130 ---------------------------------------------------------------------

TEST_F(EmpireMessagesTest, AClientsSettingTravelsToTheServerAndSetsItsSendersEmpire) {
  becomeClient();
  red->setSetting(L"autoPark", 0.5f);
  const std::vector<SentMessage> out = sentWithId(ID_EMPIRE_SETTING);
  ASSERT_EQ(out.size(), 1u);
  const Bytes expected{0x82, 0x08, 0x61, 0x00, 0x75, 0x00, 0x74, 0x00, 0x6F, 0x00, 0x50,
                       0x00, 0x61, 0x00, 0x72, 0x00, 0x6B, 0x00, 0x3F, 0x00, 0x00, 0x00};
  EXPECT_EQ(out[0].bytes, expected);
  EXPECT_EQ(out[0].channel, 6);
  EXPECT_EQ(out[0].reliability, RakNet::RELIABLE);
  EXPECT_EQ(out[0].target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);

  // The server: the setting of the sender's empire; a spectator's changes
  // nothing. Red's client copy had it already: take it out first.
  networkManager->isNetworked = false;
  networkManager->isConnected = false;
  networkManager->isServer = true;
  red->setSetting(L"autoPark", 0.0f);
  Body fromSpectator(expected);
  handleEmpireSetting(fromSpectator.stream, &spectator);
  EXPECT_EQ(settingOf(red, L"autoPark"), 0.0f);
  EXPECT_EQ(settingOf(blue, L"autoPark"), 0.0f);
  Body fromPlayer(expected);
  handleEmpireSetting(fromPlayer.stream, &player);
  EXPECT_EQ(settingOf(red, L"autoPark"), 0.5f);
  EXPECT_EQ(settingOf(blue, L"autoPark"), 0.0f);
  // The server's own setSetting sends nothing.
  EXPECT_EQ(sentWithId(ID_EMPIRE_SETTING).size(), 1u);
}

TEST_F(EmpireMessagesTest, TheServerRefusesEndlessAndUnfiniteSettings) {
  const auto setting = [](const std::string& name, float value) {
    RakNet::BitStream stream;
    stream.Write(ID_EMPIRE_SETTING);
    writeNetStringW(stream, stringw(name.c_str()), kMaxNetStringLength);
    stream.Write(value);
    return bytesOf(stream);
  };
  const auto deliver = [&](const Bytes& message) {
    Body body(message);
    handleEmpireSetting(body.stream, &player);
  };
  const size_t before = settingCount(red);
  for (int i = 0; i < 2000; ++i)
    deliver(setting("name" + std::to_string(i), 1.0f));
  EXPECT_EQ(settingCount(red), kMaxClientEmpireSettings);
  EXPECT_LE(before, kMaxClientEmpireSettings);
  // A name held already can still be set; a new one cannot.
  deliver(setting("name3", 7.0f));
  EXPECT_EQ(settingOf(red, L"name3"), 7.0f);
  deliver(setting("fresh", 7.0f));
  EXPECT_EQ(settingOf(red, L"fresh"), 0.0f);
  EXPECT_EQ(settingCount(red), kMaxClientEmpireSettings);

  const float refused[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity()};
  for (float value : refused) {
    SCOPED_TRACE(value);
    deliver(setting("name5", value));
    EXPECT_EQ(settingOf(red, L"name5"), 1.0f);
  }
  // Cut short anywhere: nothing changes.
  const Bytes whole = setting("name6", 9.0f);
  for (size_t length = 1; length < whole.size(); ++length) {
    deliver(Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
    EXPECT_EQ(settingOf(red, L"name6"), 1.0f) << length;
  }
}

// Setting names from the wire are held by their empire, never added to the
// process-wide common strings (which are never freed): not by a server from
// its client (130), nor by a client from its server's state (130) or its
// galaxy's empire records. What a client set comes back to it as it was.
TEST_F(EmpireMessagesTest, SettingNamesFromTheWireAreNeverPooled) {
  const auto pooled = [](const std::string& name) { return commonStringList().find(stringw(name.c_str())) >= 0; };
  const size_t poolBefore = commonStringList().size();
  // The server takes a client's settings.
  for (int i = 0; i < 50; ++i) {
    RakNet::BitStream stream;
    stream.Write(ID_EMPIRE_SETTING);
    writeNetStringW(stream, stringw(("wireOnlyServer" + std::to_string(i)).c_str()), kMaxNetStringLength);
    stream.Write(static_cast<float>(i));
    Body body(bytesOf(stream));
    handleEmpireSetting(body.stream, &player);
  }
  for (int i = 0; i < 50; ++i) {
    const std::string name = "wireOnlyServer" + std::to_string(i);
    EXPECT_FALSE(pooled(name)) << name;
    EXPECT_EQ(settingOf(red, stringw(name.c_str()).c_str()), static_cast<float>(i)) << name;
  }
  EXPECT_EQ(commonStringList().size(), poolBefore);
  // The echo: red's state carries the names back.
  RakNet::BitStream echo;
  writeEmpireState(echo, red, false);
  const Bytes echoed = bytesOf(echo);
  const Bytes expectedName = wide("wireOnlyServer49");
  EXPECT_NE(std::search(echoed.begin(), echoed.end(), expectedName.begin(), expectedName.end()), echoed.end());

  // A client takes its server's state with names of its own.
  RakNet::BitStream state;
  state.Write(ID_EMPIRE_SETTING);
  state.Write(static_cast<uint16_t>(2));
  writeNetStringW(state, stringw(L"wireOnlyClientA"), kMaxNetStringLength);
  state.Write(1.5f);
  writeNetStringW(state, stringw(L"wireOnlyClientB"), kMaxNetStringLength);
  state.Write(2.5f);
  state.Write(static_cast<uint8_t>(0));  // relations
  state.Write(false);                    // no names
  state.Write(static_cast<uint32_t>(1));
  becomeClient();
  activeEmpire = red;
  Body body(bytesOf(state));
  handleEmpireSetting(body.stream, nullptr);
  EXPECT_EQ(settingOf(red, L"wireOnlyClientA"), 1.5f);
  EXPECT_EQ(settingOf(red, L"wireOnlyClientB"), 2.5f);
  EXPECT_FALSE(pooled("wireOnlyClientA"));
  EXPECT_FALSE(pooled("wireOnlyClientB"));
  EXPECT_EQ(commonStringList().size(), poolBefore);
}

// A hostile server's states with ever new names: the client's empire holds
// a bounded number of them, and a setting it holds still follows its server.
TEST_F(EmpireMessagesTest, AClientHoldsABoundedNumberOfSettingNamesFromItsServer) {
  becomeClient();
  activeEmpire = red;
  const auto state = [](size_t round, float value) {
    RakNet::BitStream stream;
    stream.Write(ID_EMPIRE_SETTING);
    stream.Write(static_cast<uint16_t>(1000));
    for (int i = 0; i < 1000; ++i) {
      writeNetStringW(stream, stringw(("round" + std::to_string(round) + "_" + std::to_string(i)).c_str()),
                      kMaxNetStringLength);
      stream.Write(value);
    }
    stream.Write(static_cast<uint8_t>(0));  // relations
    stream.Write(false);                    // no names
    stream.Write(static_cast<uint32_t>(1));
    return bytesOf(stream);
  };
  const size_t before = settingCount(red);
  const size_t rounds = SettingNameStore::kMaxNames / 1000 + 2;
  for (size_t round = 0; round < rounds; ++round) {
    Body body(state(round, 1.0f));
    handleEmpireSetting(body.stream, nullptr);
  }
  EXPECT_EQ(red->settingNames.size(), SettingNameStore::kMaxNames);
  EXPECT_EQ(settingCount(red), before + SettingNameStore::kMaxNames);
  EXPECT_EQ(settingOf(red, L"round0_5"), 1.0f);
  EXPECT_EQ(settingOf(red, stringw(("round" + std::to_string(rounds - 1) + "_5").c_str()).c_str()), 0.0f);
  Body again(state(0, 3.0f));
  handleEmpireSetting(again.stream, nullptr);
  EXPECT_EQ(settingOf(red, L"round0_5"), 3.0f);
  EXPECT_EQ(red->settingNames.size(), SettingNameStore::kMaxNames);
}

TEST_F(EmpireMessagesTest, TheServersPeriodicStateIsWrittenAsItTravelsAndAppliedByTheClient) {
  // An empire of its own: one setting, one relation (blue, ID 2, allied), no
  // names, mask 3.
  empire* alone = new empire;
  alone->setSetting(L"autoPark", 1.0f);
  ASSERT_EQ(blue->ID, 2);
  alone->getRelation(blue)->allied = true;
  alone->visibility = 3;
  RakNet::BitStream stream;
  writeEmpireState(stream, alone, false);
  delete alone;
  const Bytes expected{0x82, 0x00, 0x01, 0x08, 0x61, 0x00, 0x75, 0x00, 0x74, 0x00, 0x6F, 0x00, 0x50,
                       0x00, 0x61, 0x00, 0x72, 0x00, 0x6B, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x01, 0x02,
                       0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x80};
  EXPECT_EQ(bytesOf(stream), expected);
  EXPECT_EQ(packEmpireRelation(false, true), 0x0100);

  // The client (red plays) takes it into its own empire.
  becomeClient();
  activeEmpire = red;
  red->getRelation(blue)->enemy = true;
  Body body(expected);
  handleEmpireSetting(body.stream, nullptr);
  EXPECT_EQ(settingOf(red, L"autoPark"), 1.0f);
  EXPECT_TRUE(red->isAllied(blue));
  EXPECT_FALSE(red->isEnemy(blue));
  EXPECT_EQ(red->visibility.load(), 3u);
  EXPECT_EQ(settingOf(blue, L"autoPark"), 0.0f);
  EXPECT_TRUE(sentWithId(ID_EMPIRE_SETTING).empty()) << "the client echoed the state to its server";

  // With the names: each listed empire's player's name.
  networkManager->isServer = true;
  red->setPlayerName(L"Ann");
  blue->setPlayerName(L"Bo");
  RakNet::BitStream named;
  writeEmpireState(named, red, true);
  red->setPlayerName(L"");
  blue->setPlayerName(L"");
  becomeClient();
  Body namedBody(bytesOf(named));
  handleEmpireSetting(namedBody.stream, nullptr);
  EXPECT_EQ(red->getPlayerName(), stringw(L"Ann"));
  EXPECT_EQ(blue->getPlayerName(), stringw(L"Bo"));
}

TEST_F(EmpireMessagesTest, AClientRefusesTooManySettingsAndAShortStateChangesNothing) {
  // Red's state as the server has it, with the names.
  red->setSetting(L"autoPark", 1.0f);
  red->getRelation(blue)->enemy = true;
  red->visibility = 7;
  blue->setPlayerName(L"Bo");
  RakNet::BitStream whole;
  writeEmpireState(whole, red, true);
  const Bytes message = bytesOf(whole);
  // The client's copy before it.
  red->setSetting(L"autoPark", 2.0f);
  red->getRelation(blue)->enemy = false;
  red->visibility = 1;
  blue->setPlayerName(L"");
  becomeClient();
  activeEmpire = red;

  const Bytes tooMany = concat({{0x82, 0x4E, 0x21}, wide("autoPark"), {0x3F, 0x80, 0x00, 0x00}});  // 20001
  Body refused(tooMany);
  handleEmpireSetting(refused.stream, nullptr);
  EXPECT_EQ(settingOf(red, L"autoPark"), 2.0f);

  for (size_t length = 1; length < message.size(); ++length) {
    SCOPED_TRACE(length);
    Body cut(Bytes(message.begin(), message.begin() + static_cast<long>(length)));
    handleEmpireSetting(cut.stream, nullptr);
    EXPECT_EQ(settingOf(red, L"autoPark"), 2.0f);
    EXPECT_FALSE(red->isEnemy(blue));
    EXPECT_EQ(blue->getPlayerName(), stringw());
    EXPECT_EQ(red->visibility.load(), 1u);
    EXPECT_EQ(heldLockEntry(red->locks[EA_Settings]), nullptr);
    EXPECT_EQ(red->locks[EA_Settings].writeOwned.load(), 0u);
  }
  Body full(message);
  handleEmpireSetting(full.stream, nullptr);
  EXPECT_EQ(settingOf(red, L"autoPark"), 1.0f);
  EXPECT_TRUE(red->isEnemy(blue));
  EXPECT_EQ(blue->getPlayerName(), stringw(L"Bo"));
  EXPECT_EQ(red->visibility.load(), 7u);
}

// --- 131 ---------------------------------------------------------------------

TEST_F(EmpireMessagesTest, AnEmpireMessageReachesOnlyItsEmpiresPlayer) {
  list(1, player);
  postEmpireMessage(red, L"Lost", L"ship_lost", 3, 77);
  postEmpireMessage(blue, L"Nobody", L"misc", 0, 5);  // blue has no player
  std::vector<SentMessage> out = sentWithId(ID_EMPIRE_MESSAGE);
  ASSERT_EQ(out.size(), 1u);
  const Bytes expected = concat({{131}, wide("Lost"), wide("ship_lost"), {0, 0, 0, 3, 0, 0, 0, 77}});
  EXPECT_EQ(out[0].bytes, expected);
  EXPECT_EQ(out[0].target, player.address);
  EXPECT_EQ(out[0].channel, 0);
  EXPECT_EQ(out[0].reliability, RakNet::RELIABLE);

  // The server's own player's empire is shown locally only.
  playingEmpire = red;
  postEmpireMessage(red, L"Mine", L"misc", 0, 5);
  EXPECT_EQ(sentWithId(ID_EMPIRE_MESSAGE).size(), 1u);
  playingEmpire = nullptr;

  // A text of 300 units arrives as its first 255.
  sent.clear();
  postEmpireMessage(red, stringw(std::wstring(300, L'x').c_str()), L"misc", 0, 5);
  out = sentWithId(ID_EMPIRE_MESSAGE);
  ASSERT_EQ(out.size(), 1u);
  becomeClient();
  activeEmpire = blue;
  Body body(out[0].bytes);
  handleEmpireMessage(body.stream);
  ASSERT_FALSE(blue->messages.empty());
  EXPECT_EQ(blue->messages.back().text.size(), 255u);
}

// A message filed "now" takes the game clock's whole seconds; a clock past
// their 32 bits files their end instead of an undefined number.
TEST_F(EmpireMessagesTest, AMessageFiledNowTakesTheClockWithinItsSeconds) {
  const struct {
    double clock;
    int32_t filed;
  } cases[] = {{12.75, 12}, {4.09607e128, INT32_MAX}, {-1e300, INT32_MIN}};
  for (const auto& c : cases) {
    gameTime = c.clock;
    postEmpireMessage(red, L"Now", L"misc", 0, -1);
    ASSERT_FALSE(red->messages.empty());
    EXPECT_EQ(red->messages.back().time, c.filed) << c.clock;
  }
  gameTime = 0.0;
}

TEST_F(EmpireMessagesTest, AClientPostsAllFieldsFromAVersion7ServerAndTheTextAloneFromVersion6) {
  const Bytes message = concat({{131}, wide("Found"), wide("res_new"), {0, 0, 0, 4, 0, 0, 0, 90}});
  const struct {
    uint32_t version;
    const wchar_t* category;
    int32_t priority;
    int32_t time;
  } cases[] = {{7, L"res_new", 4, 90}, {6, L"misc", 0, 12}};
  becomeClient();
  gameTime = 12.0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    networkManager->peerVersion = c.version;
    activeEmpire = blue;
    blue->messages.clear();
    Body body(message);
    handleEmpireMessage(body.stream);
    ASSERT_EQ(blue->messages.size(), 1u);
    const EmpireMessage& got = blue->messages.back();
    EXPECT_EQ(got.text, stringw(L"Found"));
    EXPECT_EQ(*got.category, stringw(c.category));
    EXPECT_EQ(got.priority, c.priority);
    EXPECT_EQ(got.time, c.time);
  }
  // Without a local empire, or cut short, nothing is posted.
  networkManager->peerVersion = 7;
  activeEmpire = nullptr;
  Body none(message);
  handleEmpireMessage(none.stream);
  activeEmpire = blue;
  blue->messages.clear();
  for (size_t length = 1; length < message.size(); ++length) {
    Body cut(Bytes(message.begin(), message.begin() + static_cast<long>(length)));
    handleEmpireMessage(cut.stream);
  }
  EXPECT_TRUE(blue->messages.empty());
  EXPECT_TRUE(red->messages.empty());
}

// --- 135 ---------------------------------------------------------------------

TEST_F(EmpireMessagesTest, AThresholdChangesOnlyTheSendersOwnDesign) {
  hull_list* own = layoutOf(red, L"Scout", {L"Frame"});
  hull_list* foreign = layoutOf(blue, L"Scout", {L"Frame"});
  own->updateThreshold = 2.0f;
  foreign->updateThreshold = 2.0f;
  const auto threshold = [](uint8_t kind, const std::string& name, float value) {
    RakNet::BitStream stream;
    stream.Write(ID_HULL_SETTING);
    stream.Write(kind);
    writeNetStringW(stream, stringw(name.c_str()), kMaxNetStringLength);
    stream.Write(value);
    return bytesOf(stream);
  };
  const struct {
    const char* what;
    Bytes message;
    NetPlayer* from;
    float ownAfter;
  } cases[] = {
      {"set", threshold(1, "Scout", 40.0f), &player, 40.0f},
      {"unknown name", threshold(1, "Ghost", 50.0f), &player, 40.0f},
      {"spectator", threshold(1, "Scout", 60.0f), &spectator, 40.0f},
      {"no sender", threshold(1, "Scout", 60.0f), nullptr, 40.0f},
      {"other sub-kind", threshold(2, "Scout", 70.0f), &player, 40.0f},
      {"cut", Bytes{135, 1, 5, 'S', 0}, &player, 40.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Body body(c.message);
    handleHullSetting(body.stream, c.from);
    EXPECT_EQ(own->updateThreshold, c.ownAfter);
    EXPECT_EQ(foreign->updateThreshold, 2.0f);
    EXPECT_EQ(NamedVar<hull_list*>::find(red->hulls, L"Ghost"), -1);
  }
}

// --- 136 ---------------------------------------------------------------------

TEST_F(EmpireMessagesTest, ColonisingASystemQueuesACommandPerFreePlanetOutsideTheSystemsLock) {
  const auto placed = [&](objHabitation* planet, float x) {
    planet->position = vector3df(x, 0, 0);
    planet->radius = 10.0f;
    planet->setContainer(system);
    return planet;
  };
  WatchedPlanet* free1 = new WatchedPlanet(space);
  placed(free1, 300);
  objHabitation* free2 = placed(new objHabitation(space, nullptr), 400);
  objHabitation* taken = placed(new objHabitation(blue, nullptr), 500);
  objHabitation* own = placed(new objHabitation(red, nullptr), 600);
  (void)taken;
  (void)own;
  const auto colonise = [](uint32_t uid, uint8_t kind = 1) {
    RakNet::BitStream stream;
    stream.Write(ID_EMPIRE_COMMAND);
    stream.Write(kind);
    stream.Write(uid);
    stream.Write(true);
    return bytesOf(stream);
  };
  const struct {
    const char* what;
    Bytes message;
    NetPlayer* from;
    size_t queued;
  } cases[] = {
      {"a planet", colonise(free2->uid), &player, 0},
      {"a spectator", colonise(system->uid), &spectator, 0},
      {"no sender", colonise(system->uid), nullptr, 0},
      {"other sub-kind", colonise(system->uid, 2), &player, 0},
      {"unknown UID", colonise(0xFFFFFF), &player, 0},
      {"cut", Bytes{136, 1, 0, 0}, &player, 0},
      {"the system", colonise(system->uid), &player, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WatchedPlanet::nestings.clear();
    WatchedPlanet::watching = true;
    Body body(c.message);
    handleEmpireCommand(body.stream, c.from);
    WatchedPlanet::watching = false;
    EXPECT_EQ(commandPlanets(red).size(), c.queued);
    EXPECT_TRUE(commandPlanets(blue).empty());
  }
  const std::vector<generic_object*> planets = commandPlanets(red);
  EXPECT_EQ(std::set<generic_object*>(planets.begin(), planets.end()),
            (std::set<generic_object*>{free1, free2}));
  for (empCommand* command : red->commands) {
    EXPECT_TRUE(static_cast<ColonizePlanetCommand*>(command)->toFront);
  }
  // The planets were sorted out under the system's lock; the command was
  // made without it.
  EXPECT_NE(std::find(WatchedPlanet::nestings.begin(), WatchedPlanet::nestings.end(), 1),
            WatchedPlanet::nestings.end());
  EXPECT_NE(std::find(WatchedPlanet::nestings.begin(), WatchedPlanet::nestings.end(), 0),
            WatchedPlanet::nestings.end());
  EXPECT_EQ(threadLocals().systemLockNesting, 0);
}

TEST_F(EmpireMessagesTest, TraitChangesReachEveryClientsCopyOfTheEmpire) {
  ITrait* brave = new ITrait;
  brave->id = L"brave";
  brave->tags.push_back(L"bold");
  traitRegistry[brave->id] = brave;

  red->addTrait(L"brave");
  std::vector<SentMessage> out = sentWithId(ID_EMPIRE_COMMAND);
  ASSERT_EQ(out.size(), 1u);
  const Bytes added = concat({{136, 1, 1}, wide("brave")});
  EXPECT_EQ(out[0].bytes, added);
  EXPECT_EQ(out[0].target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  EXPECT_EQ(out[0].channel, 0);
  EXPECT_EQ(out[0].reliability, RakNet::RELIABLE_ORDERED);
  red->addTrait(L"brave");     // held already
  red->addTrait(L"unheard");   // not registered
  EXPECT_EQ(sentWithId(ID_EMPIRE_COMMAND).size(), 1u);
  red->removeTrait(L"brave");
  out = sentWithId(ID_EMPIRE_COMMAND);
  ASSERT_EQ(out.size(), 2u);
  const Bytes removed = concat({{136, 2, 1}, wide("brave")});
  EXPECT_EQ(out[1].bytes, removed);

  // A client's copy of red follows; its trait variables with it.
  becomeClient();
  red->updateTraitVariables();
  EXPECT_EQ(traitVariable(red, L"brave"), 0.0f);
  const struct {
    const char* what;
    Bytes message;
    bool has;
    float variable;
  } steps[] = {
      {"added", added, true, 1.0f},
      {"added again", added, true, 1.0f},
      {"unknown id", concat({{136, 1, 1}, wide("unheard")}), true, 1.0f},
      {"unknown removed", concat({{136, 2, 1}, wide("unheard")}), true, 1.0f},
      {"other sub-kind", concat({{136, 3, 1}, wide("brave")}), true, 1.0f},
      {"cut", concat({{136, 2, 1, 5}, {'b', 0}}), true, 1.0f},
      {"unknown empire", concat({{136, 2, 99}, wide("brave")}), true, 1.0f},
      {"removed", removed, false, 0.0f},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    Body body(step.message);
    handleEmpireCommand(body.stream, nullptr);
    EXPECT_EQ(red->hasTrait(L"brave"), step.has);
    EXPECT_EQ(traitVariable(red, L"brave"), step.variable);
    EXPECT_EQ(traitVariable(red, L"bold"), step.variable);
    EXPECT_FALSE(blue->hasTrait(L"brave"));
  }
  EXPECT_FALSE(red->hasTrait(L"unheard"));
  EXPECT_EQ(sentWithId(ID_EMPIRE_COMMAND).size(), 2u) << "a client sent trait changes";
}

// --- 127 on a client ----------------------------------------------------------

TEST_F(EmpireMessagesTest, AClientLogsADesignItCannotBuild) {
  layout_desc desc;
  desc.scale = 1.0f;
  desc.systems.push_back({def(L"Plate"), 1.0f, 0.0f, 0.0f, -1});  // no hull
  hull_list* hull = new hull_list(desc, red, true);
  hull->name = L"Hulless";
  RakNet::BitStream stream;
  ASSERT_TRUE(writeHullLayoutMessage(stream, hull, nullptr, nullptr));
  hull->drop();
  becomeClient();
  LogCapture log;
  Body body(bytesOf(stream));
  handleHullLayout(body.stream, nullptr);
  const std::string text = log.take();
  EXPECT_NE(text.find("Hull load error: "), std::string::npos) << text;
  EXPECT_EQ(NamedVar<hull_list*>::find(red->hulls, L"Hulless"), -1);
}

// --- Hostile bodies -------------------------------------------------------------

// What a sender could change of an empire it does not control.
struct EmpireSnapshot {
  std::map<std::wstring, float> settings;
  std::map<const empire*, std::pair<bool, bool>> relations;
  std::map<std::wstring, float> designs;  // name -> threshold
  size_t commands = 0;
  size_t traits = 0;

  static EmpireSnapshot of(empire* emp) {
    EmpireSnapshot s;
    {
      ScopedReadLock guard(emp->locks[EA_Settings]);
      for (irr::u32 i = 0; i < emp->settings.size(); ++i)
        s.settings[emp->settings[i].entryName().c_str()] = emp->settings[i].value;
    }
    {
      ScopedReadLock guard(emp->locks[EA_Relations]);
      for (const auto& entry : emp->relations)
        s.relations[entry.first] = {entry.second->allied, entry.second->enemy};
    }
    {
      ScopedReadLock guard(emp->locks[EA_HullLayouts]);
      for (irr::u32 i = 0; i < emp->hulls.size(); ++i)
        s.designs[emp->hulls[i].entryName().c_str()] = emp->hulls[i].value->updateThreshold;
    }
    {
      ScopedReadLock guard(emp->locks[EA_Commands]);
      s.commands = emp->commands.size();
    }
    s.traits = emp->traits.size();
    return s;
  }
  bool operator==(const EmpireSnapshot& o) const {
    // NaN thresholds compare by their bits' meaning: equal when both are NaN.
    if (designs.size() != o.designs.size())
      return false;
    for (const auto& entry : designs) {
      const auto found = o.designs.find(entry.first);
      if (found == o.designs.end())
        return false;
      if (!(entry.second == found->second || (std::isnan(entry.second) && std::isnan(found->second))))
        return false;
    }
    return settings == o.settings && relations == o.relations && commands == o.commands && traits == o.traits;
  }
};

TEST_F(EmpireMessagesTest, HostileBodiesChangeNoEmpireTheSenderDoesNotControl) {
  layoutOf(red, L"Scout", {L"Frame"});
  layoutOf(blue, L"Scout", {L"Frame"});
  objHabitation* free = planetOf(space, 10, 10.0f, vector3df(300, 0, 0));
  blue->setSetting(L"autoPark", 1.0f);
  red->setSetting(L"autoPark", 1.0f);

  // Whole messages to cut and spoil, for each id.
  std::map<uint8_t, std::vector<Bytes>> seeds;
  for (empire* owner : {red, blue}) {
    layout_desc desc;
    desc.scale = 1.0f;
    desc.systems.push_back({def(L"Frame"), 1.0f, 0.0f, 0.0f, -1});
    hull_list* layout = new hull_list(desc, owner, true);
    layout->name = L"Lancer";
    RakNet::BitStream stream;
    writeHullLayoutMessage(stream, layout, nullptr, nullptr);
    seeds[kHullLayoutId].push_back(bytesOf(stream));
    layout->drop();
  }
  {
    RakNet::BitStream stream;
    stream.Write(ID_EMPIRE_SETTING);
    writeNetStringW(stream, L"autoPark", kMaxNetStringLength);
    stream.Write(0.25f);
    seeds[ID_EMPIRE_SETTING].push_back(bytesOf(stream));
  }
  {
    RakNet::BitStream stream;
    stream.Write(ID_HULL_SETTING);
    stream.Write(uint8_t{1});
    writeNetStringW(stream, L"Scout", kMaxNetStringLength);
    stream.Write(30.0f);
    seeds[ID_HULL_SETTING].push_back(bytesOf(stream));
  }
  for (uint32_t uid : {system->uid, free->uid}) {
    RakNet::BitStream stream;
    stream.Write(ID_EMPIRE_COMMAND);
    stream.Write(uint8_t{1});
    stream.Write(uid);
    stream.Write(false);
    seeds[ID_EMPIRE_COMMAND].push_back(bytesOf(stream));
  }
  const std::map<uint8_t, std::function<void(RakNet::BitStream&, NetPlayer*)>> handlers{
      {kHullLayoutId, handleHullLayout},
      {ID_EMPIRE_SETTING, handleEmpireSetting},
      {ID_HULL_SETTING, handleHullSetting},
      {ID_EMPIRE_COMMAND, handleEmpireCommand},
  };

  // A refused design is answered to its sender alone.
  const auto answersWentToThePlayerOnly = [&] {
    for (const SentMessage& message : sent)
      if (!message.bytes.empty() && message.bytes[0] == kChatId) {
        ASSERT_EQ(message.target, player.address);
      }
  };

  std::mt19937 random(20261211);
  constexpr int kBodies = 10000;
  for (const auto& handler : handlers) {
    SCOPED_TRACE(int(handler.first));
    const std::vector<Bytes>& whole = seeds[handler.first];
    for (int i = 0; i < kBodies; ++i) {
      Bytes message;
      switch (random() % 3) {
        case 0: {  // random bytes
          message.resize(1 + random() % 80);
          for (uint8_t& byte : message)
            byte = static_cast<uint8_t>(random());
          break;
        }
        case 1: {  // a whole message cut short
          const Bytes& seed = whole[random() % whole.size()];
          message.assign(seed.begin(), seed.begin() + static_cast<long>(1 + random() % seed.size()));
          break;
        }
        default: {  // a whole message with a few bits flipped
          message = whole[random() % whole.size()];
          for (int flips = 1 + static_cast<int>(random() % 3); flips > 0; --flips)
            message[1 + random() % (message.size() - 1)] ^= static_cast<uint8_t>(1u << (random() % 8));
          break;
        }
      }
      message[0] = handler.first;
      const bool fromPlayer = i % 2 == 0;
      const EmpireSnapshot redBefore = fromPlayer ? EmpireSnapshot() : EmpireSnapshot::of(red);
      const EmpireSnapshot blueBefore = EmpireSnapshot::of(blue);
      Body body(message);
      handler.second(body.stream, fromPlayer ? &player : &spectator);
      ASSERT_TRUE(EmpireSnapshot::of(blue) == blueBefore) << "body " << i;
      if (!fromPlayer) {
        ASSERT_TRUE(EmpireSnapshot::of(red) == redBefore) << "body " << i;
      }
      // What the player may change of its own empire is taken back now and
      // then, so that the snapshots stay small.
      if (i % 100 == 0) {
        answersWentToThePlayerOnly();
        sent.clear();
        red->clearCommands();
        {
          ScopedWriteLock guard(red->locks[EA_Settings]);
          red->settings.clear();
        }
        red->setSetting(L"autoPark", 1.0f);
      }
    }
  }
  answersWentToThePlayerOnly();
}

}  // namespace

}  // namespace empire_messages_test
