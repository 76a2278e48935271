// Ship designs (127) and the empire state (130) between a server and probes
// on the tiny map: who may file a design, who hears of a refused one, who
// receives a replacement, and who gets the per-player state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/locale.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/traits.h"
#include "net/empire_messages.h"
#include "net/message_receiver.h"
#include "net_fixture.h"
#include "support/network_child.h"
#include "support/sent_messages.h"

namespace empire_messages_network_test {

namespace {

using netfixture::ServerFixture;
using netprobe::Probe;
using Bytes = std::vector<uint8_t>;
using irr::core::stringw;

constexpr uint8_t kBarrierId = 150;
constexpr uint8_t kHullLayoutId = 127;
constexpr uint8_t kChatId = 113;
// Where the design scale sits in 127: behind the id and the empire.
constexpr size_t kScaleAt = 2;

// Counts the barriers the probes send behind their messages on the same
// ordered channel: once one is counted, what came before it was handled.
class Barrier : public MessageReceiver {
 public:
  void handle(uint8_t, RakNet::BitStream&, NetPlayer*) override { ++count; }
  int count = 0;
};

const SubSystemDef* frameHull() {
  const irr::s32 index = findSubSystemDefByName(L"Frame Hull");
  return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
}

// A layout of `owner` named `name`: the frame alone, or nothing at all.
hull_list* layoutOf(empire* owner, const wchar_t* name, bool withFrame = true) {
  layout_desc desc;
  desc.scale = 2.0f;
  if (withFrame)
    desc.systems.push_back({frameHull(), 1.0f, 0.0f, 0.0f, -1});
  hull_list* layout = new hull_list(desc, owner, true);
  layout->name = name;
  return layout;
}

// The design message of a new layout of `owner`.
Bytes designOf(empire* owner, const wchar_t* name, bool withFrame = true) {
  hull_list* layout = layoutOf(owner, name, withFrame);
  RakNet::BitStream stream;
  EXPECT_TRUE(writeHullLayoutMessage(stream, layout, nullptr, nullptr));
  layout->drop();
  return netprobe::bytesOf(stream);
}

bool files(empire* emp, const wchar_t* name) { return NamedVar<hull_list*>::find(emp->hulls, name) >= 0; }

// The messages with `id` handed to the manager, and where each went.
std::vector<SentMessage> withId(const std::vector<SentMessage>& sent, uint8_t id) {
  std::vector<SentMessage> out;
  for (const SentMessage& message : sent)
    if (!message.bytes.empty() && message.bytes[0] == id)
      out.push_back(message);
  return out;
}

std::wstring chatTextOf(const SentMessage& message) {
  netprobe::Got got;
  got.bytes = message.bytes;
  return netprobe::chatText(got);
}

TEST(EmpireMessagesNetwork, DesignsAreFiledForTheSendersOwnEmpireAndRefusalsAnsweredToItAlone) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    Barrier barrier;
    server.manager.registerReceiver(kBarrierId, &barrier);
    std::vector<SentMessage> sent;
    captureSends(sent);
    empire* one = getEmpireByID(1);
    empire* two = getEmpireByID(2);
    empire* three = getEmpireByID(3);
    ASSERT_NE(frameHull(), nullptr);
    for (empire* emp : {one, two, three}) {
      ASSERT_EQ(emp->ID, emp == one ? 1 : emp == two ? 2 : 3);
      const_cast<SubSystemDef*>(frameHull())->unlockedBy.fetch_or(emp->ownBit);
    }
    Probe player;
    Probe newcomer;
    Probe watcher;
    NetPlayer* playerRecord = server.attach(player, one);
    NetPlayer* newcomerRecord = server.attach(newcomer, two);
    ASSERT_NE(playerRecord, nullptr);
    ASSERT_NE(newcomerRecord, nullptr);
    ASSERT_NE(server.attach(watcher), nullptr);
    {
      std::lock_guard<std::mutex> guard(server.manager.playersLock);
      newcomerRecord->hasGalaxy = 0;  // still receiving the galaxy
    }
    const RakNet::SystemAddress playerAddress = playerRecord->address;
    sent.clear();  // the join notices

    const auto deliver = [&](Probe& from, const Bytes& message) {
      const int before = barrier.count;
      from.send(message);
      from.send(Bytes{kBarrierId});
      ASSERT_TRUE(server.pollUntil([&] { return barrier.count > before; }));
    };

    const struct {
      const char* what;
      Probe* from;
      empire* owner;
      const wchar_t* name;
      bool filed;
    } cases[] = {
        {"another player's empire", &player, two, L"Theirs", false},
        {"a spectator", &watcher, one, L"Watched", false},
        {"a player not yet in the game", &newcomer, two, L"Early", false},
        {"the player's own empire", &player, one, L"Own", true},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      deliver(*c.from, designOf(c.owner, c.name));
      EXPECT_EQ(files(c.owner, c.name), c.filed);
    }
    EXPECT_TRUE(withId(sent, kChatId).empty());

    // Refused designs: the evaluator's text, as a chat line to the sender
    // alone.
    Bytes nanScale = designOf(one, L"Ghost");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    uint32_t bits = 0;
    std::memcpy(&bits, &nan, sizeof bits);
    for (size_t i = 0; i < 4; ++i)
      nanScale[kScaleAt + i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
    const struct {
      const char* what;
      Bytes message;
      const wchar_t* key;
    } refused[] = {
        {"a NaN design scale", nanScale, L"#LEE_Small"},
        {"no sub-systems", designOf(one, L"Empty", false), L"#LEE_SubSys"},
    };
    for (const auto& c : refused) {
      SCOPED_TRACE(c.what);
      sent.clear();
      player.forget();
      deliver(player, c.message);
      const std::vector<SentMessage> answers = withId(sent, kChatId);
      ASSERT_EQ(answers.size(), 1u);
      EXPECT_EQ(answers[0].target, playerAddress);
      EXPECT_EQ(answers[0].channel, kChatChannel);
      EXPECT_EQ(answers[0].reliability, RakNet::RELIABLE_ORDERED);
      const std::wstring text = getLocalizedText(c.key);
      EXPECT_EQ(chatTextOf(answers[0]), text);
      const std::optional<netprobe::Got> got = player.waitFor(kChatId, server.polling());
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(netprobe::chatText(*got), text);
    }
    EXPECT_FALSE(files(one, L"Ghost"));
    EXPECT_FALSE(files(one, L"Empty"));

    // Replacements: an AI empire's go nowhere, a player's to that player.
    sent.clear();
    for (empire* emp : {three, one}) {
      hull_list* older = layoutOf(emp, L"Lancer");
      hull_list* newer = layoutOf(emp, L"Lancer");
      {
        ScopedWriteLock guard(emp->locks[EA_HullLayouts]);
        NamedVar<hull_list*>::getOrAdd(emp->hulls, stringw(L"Lancer")).value = older;  // the table's reference
      }
      emp->replaceHull(older, newer);
      newer->drop();
      if (emp == three) {
        EXPECT_TRUE(withId(sent, kHullLayoutId).empty()) << "an AI empire's design was sent";
      }
    }
    const std::vector<SentMessage> designs = withId(sent, kHullLayoutId);
    ASSERT_EQ(designs.size(), 1u);
    EXPECT_EQ(designs[0].target, playerAddress);
    EXPECT_EQ(designs[0].bytes[1], one->ID);
    EXPECT_TRUE(player.waitFor(kHullLayoutId, server.polling()).has_value());
    EXPECT_FALSE(watcher.has(kHullLayoutId));
    EXPECT_FALSE(newcomer.has(kHullLayoutId));
    stopCapturingSends();
  });
}

TEST(EmpireMessagesNetwork, ThePerPlayerPassSendsEachPlayerItsOwnEmpiresState) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    std::vector<SentMessage> sent;
    captureSends(sent);
    empire* one = getEmpireByID(1);
    one->setSetting(L"autoPark", 0.5f);
    Probe player;
    Probe watcher;
    NetPlayer* record = server.attach(player, one);
    ASSERT_NE(record, nullptr);
    NetPlayer* watcherRecord = server.attach(watcher);
    ASSERT_NE(watcherRecord, nullptr);
    {
      std::lock_guard<std::mutex> guard(server.manager.playersLock);
      watcherRecord->hasGalaxy = 1;  // an in-game spectator
    }

    server.manager.updateMode = 0;
    server.manager.playerListChanged = true;
    ASSERT_TRUE(server.pollUntil([&] {
      server.timer.realTime += 100;
      return !withId(sent, ID_EMPIRE_SETTING).empty();
    }));
    const std::vector<SentMessage> states = withId(sent, ID_EMPIRE_SETTING);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].target, record->address);
    EXPECT_EQ(states[0].channel, 6);
    EXPECT_EQ(states[0].reliability, RakNet::UNRELIABLE_SEQUENCED);
    // The names follow once, after the players changed.
    RakNet::BitStream withNames;
    writeEmpireState(withNames, one, true);
    EXPECT_EQ(states[0].bytes, netprobe::bytesOf(withNames));
    EXPECT_FALSE(server.manager.playerListChanged.load());

    const std::optional<netprobe::Got> got = player.waitFor(ID_EMPIRE_SETTING, server.polling());
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->bytes, states[0].bytes);
    EXPECT_FALSE(watcher.has(ID_EMPIRE_SETTING));
    stopCapturingSends();
  });
}

TEST(EmpireMessagesNetwork, EmpireMessagesReachTheirPlayerAndTraitChangesEveryone) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    std::vector<SentMessage> sent;
    captureSends(sent);
    empire* one = getEmpireByID(1);
    empire* three = getEmpireByID(3);
    Probe player;
    Probe watcher;
    ASSERT_NE(server.attach(player, one), nullptr);
    ASSERT_NE(server.attach(watcher), nullptr);
    sent.clear();

    // Three has no player: its message goes nowhere (not to everyone).
    postEmpireMessage(three, L"Unheard", L"misc", 0, 5);
    EXPECT_TRUE(withId(sent, ID_EMPIRE_MESSAGE).empty());
    postEmpireMessage(one, L"Found", L"res_new", 2, 40);
    const std::optional<netprobe::Got> message = player.waitFor(ID_EMPIRE_MESSAGE, server.polling());
    ASSERT_TRUE(message.has_value());
    const Bytes expected{131, 5, 'F', 0, 'o', 0, 'u', 0, 'n', 0, 'd', 0, 7, 'r', 0, 'e', 0, 's', 0,
                         '_', 0, 'n', 0, 'e', 0, 'w', 0, 0,   0, 0,   2, 0,   0, 0,   40};
    EXPECT_EQ(message->bytes, expected);

    // A trait change goes to every player, spectators too.
    ITrait* brave = new ITrait;
    brave->id = L"brave";
    traitRegistry[brave->id] = brave;
    one->addTrait(L"brave");
    const Bytes added{136, 1, 1, 5, 'b', 0, 'r', 0, 'a', 0, 'v', 0, 'e', 0};
    for (Probe* probe : {&player, &watcher}) {
      const std::optional<netprobe::Got> got = probe->waitFor(ID_EMPIRE_COMMAND, server.polling());
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(got->bytes, added);
    }
    EXPECT_FALSE(watcher.has(ID_EMPIRE_MESSAGE));
    one->removeTrait(L"brave");
    clearTraits();
    stopCapturingSends();
  });
}

}  // namespace

}  // namespace empire_messages_network_test
