// Diplomatic messages (132): what a client writes, what a server makes of a
// player's message (a probe playing empire 1 beside the AI empires 2 and
// 3), which answers it applies, and what a client does with the server's
// message.
#include "net/diplomacy_messages.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "chat_helpers.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/diplomacy/diplomacy_texts.h"
#include "empire/empire.h"
#include "empire/research/research_network.h"
#include "empire/treaty_network.h"
#include "net/message_ids.h"
#include "scriptapi/diplomacy_script_types.h"
#include "support/network_child.h"
#include "support/save_bytes.h"
#include "support/sent_messages.h"

namespace diplomacy_messages_test {

namespace {

using chattest::chatBytes;
using chattest::hasChat;
using netfixture::ServerFixture;
using netprobe::Probe;

const wchar_t kPeaceText[] = L"Let there be peace.";

void addResponse(uint32_t topic, const wchar_t* text) {
  DiplomacyResponse response;
  const uint32_t strings = compileDiplomacyResponse(text, response);
  diplomacyTexts[topic][DM_Neutral][DA_Neutral][strings].push_back(response);
}

std::vector<std::wstring> miscTexts(empire* emp) {
  std::vector<std::wstring> texts;
  for (const EmpireMessage& message : emp->messages)
    if (*message.category == L"misc")
      texts.emplace_back(message.text.c_str());
  return texts;
}

std::wstring expectedText(const empire* from, const wchar_t* said) {
  return L"#link:e" + std::to_wstring(from->ID) + L"#The " + std::wstring(from->name.c_str()) +
         L" Empire has sent us a message: " + said + L"#link#";
}

void setWar(empire* a, empire* b, bool enemy) {
  a->getRelation(b)->enemy = enemy;
  b->getRelation(a)->enemy = enemy;
}

bool atWar(empire* a, empire* b) { return a->isEnemy(b) || b->isEnemy(a); }
bool atPeace(empire* a, empire* b) { return !a->isEnemy(b) && !b->isEnemy(a); }

// A session whose probe plays empire 1; empires 2 and 3 are the AI's.
struct Session {
  Session() {
    clearDiplomacyTexts();
    addResponse(DT_Peace, kPeaceText);
    e1 = getEmpireByID(1);
    e2 = getEmpireByID(2);
    e3 = getEmpireByID(3);
    for (empire* a : {e1, e2, e3})
      for (empire* b : {e1, e2, e3})
        if (a != b)
          a->getRelation(b)->enemy = false;
    server.attach(player, e1);
  }
  ~Session() {
    clearDiplomacyTexts();
    playingEmpire = nullptr;
  }

  // Sends `bytes` from the player, then a greeting to empire 3 behind it on
  // the same ordered channel, and polls until the greeting was told: the
  // server has handled the message by then.
  bool sendAndSettle(Probe& from, const Bytes& bytes) {
    const size_t before = miscTexts(e3).size();
    from.send(bytes, RakNet::RELIABLE_ORDERED, 0);
    if (&from == &player) {
      player.send(hexBytes("84 01 03 00 00 00 00"), RakNet::RELIABLE_ORDERED, 0);
      return server.pollUntil([&] { return miscTexts(e3).size() > before; });
    }
    // Any other sender: a chat line behind it, heard by the player.
    const std::wstring line = L"settled " + std::to_wstring(++marks);
    from.send(chatBytes(line), RakNet::RELIABLE_ORDERED, 0);
    return server.pollUntil([&] {
      for (const std::wstring& text : chattest::chatTexts(player))
        if (text.find(line) != std::wstring::npos)
          return true;
      return false;
    });
  }

  ServerFixture server;
  Probe player;
  empire* e1 = nullptr;
  empire* e2 = nullptr;
  empire* e3 = nullptr;
  int marks = 0;
};

}  // namespace

TEST(DiplomacyMessages, AClientWritesWhatItsServerReads) {
  NetworkManager& manager = *networkManager;
  manager.isNetworked = true;
  manager.isConnected = true;
  std::vector<SentMessage> sent;
  captureSends(sent);
  nextEmpireID = 1;
  empire* e1 = registerEmpire(new empire);
  empire* e2 = registerEmpire(new empire);
  empire* e3 = registerEmpire(new empire);
  // The queue of empire 1: an answered greeting, then a peace offer and a
  // declaration of war from 2, none from 3.
  auto* greeting = new DiploMsg(DT_Greetings, e2);
  greeting->setResponse(true);
  e1->diplomacyMessages = {greeting, new DiploMsg(DT_Peace, e2), new DiploMsg(DT_War, e2)};

  struct Case {
    empire* playing;
    empire* from;  // whom the script speaks for: never what a client sends
    empire* to;
    uint32_t topic;
    const char* expected;  // null: nothing sent
  } const cases[] = {
      {e1, e3, e2, DT_Peace, "84 01 02 00 00 00 05 00"},
      {e1, e1, e2, DT_War, "84 01 02 00 00 00 06 00"},
      {e1, e1, e2, DT_Greetings, "84 01 02 00 00 00 00"},
      {e1, e1, e2, DT_Accept, "84 01 02 00 00 00 09 00 00 00 05 80"},  // the oldest unanswered: peace
      {e1, e1, e2, DT_Reject, "84 01 02 00 00 00 0A 00 00 00 05 00"},
      {e1, e1, e3, DT_Accept, "84 01 03 00 00 00 09 00 00 00 00 80"},  // nothing from 3 to answer
      {nullptr, e1, e2, DT_Peace, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "topic " << c.topic);
    playingEmpire = c.playing;
    sent.clear();
    EXPECT_EQ(sendDiplomacyMessage(manager, c.from, c.to, c.topic), c.expected != nullptr);
    if (c.expected == nullptr) {
      EXPECT_TRUE(sent.empty());
      continue;
    }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(hexText(sent[0].bytes), hex(c.expected));
    EXPECT_EQ(sent[0].channel, 0);
    EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE);
  }
  stopCapturingSends();
  playingEmpire = nullptr;
  manager.isNetworked = false;
  manager.isConnected = false;
  deleteAllEmpires();
}

TEST(DiplomacyMessages, AClientTellsItsPlayerWhatTheServerSends) {
  NetworkManager& manager = *networkManager;
  manager.isNetworked = true;
  manager.isConnected = true;
  clearDiplomacyTexts();
  addResponse(DT_Peace, kPeaceText);
  nextEmpireID = 1;
  empire* e1 = registerEmpire(new empire);
  registerEmpire(new empire);
  empire* e3 = registerEmpire(new empire);

  struct Case {
    const char* body;  // after the id byte
    empire* playing;
    bool told;
  } const cases[] = {
      {"03 00 00 00 05", e1, true},
      {"03 00 00 00 05", nullptr, false},  // no empire of our own
      {"03 00 00 00", e1, false},          // cut in the topic
      {"50 00 00 00 05", e1, false},       // no such empire
      {"01 00 00 00 05", e1, false},       // from ourselves
      {"", e1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    playingEmpire = c.playing;
    const size_t before = miscTexts(e1).size();
    const size_t jobsBefore = e1->jobs.size();
    const Bytes body = hexBytes(c.body);
    RakNet::BitStream stream(body.data(), body.size(), false);
    handleDiplomacyMessage(manager, stream, nullptr);
    EXPECT_EQ(miscTexts(e1).size(), before + (c.told ? 1 : 0));
    EXPECT_EQ(e1->jobs.size(), jobsBefore + (c.told ? 1 : 0));
    if (c.told) {
      EXPECT_EQ(miscTexts(e1).back(), expectedText(e3, kPeaceText));
    }
  }
  runEmpireJobs(e1);
  ASSERT_EQ(e1->diplomacyMessages.size(), 1u);
  EXPECT_EQ(e1->diplomacyMessages.front()->topic, uint32_t{DT_Peace});
  EXPECT_EQ(e1->diplomacyMessages.front()->sender, e3);

  playingEmpire = nullptr;
  clearDiplomacyTexts();
  manager.isNetworked = false;
  manager.isConnected = false;
  deleteAllEmpires();
}

TEST(DiplomacyMessages, APlayersMessagesReachTheEmpiresTheyName) {
  privatenet::runInPrivateNetwork([] {
    Session s;
    ASSERT_NE(s.e3, nullptr);

    // A peace offer to an AI empire is queued on it and told to it.
    ASSERT_TRUE(s.sendAndSettle(s.player, hexBytes("84 01 02 00 00 00 05 00")));
    ASSERT_EQ(miscTexts(s.e2).size(), 1u);
    EXPECT_EQ(miscTexts(s.e2)[0], expectedText(s.e1, kPeaceText));
    runEmpireJobs(s.e2);
    ASSERT_EQ(s.e2->diplomacyMessages.size(), 1u);
    EXPECT_EQ(s.e2->diplomacyMessages.front()->topic, uint32_t{DT_Peace});
    EXPECT_EQ(s.e2->diplomacyMessages.front()->sender, s.e1);
    EXPECT_TRUE(atPeace(s.e1, s.e2));

    // A declaration of war counts at once, before the AI has heard it.
    s.player.send(hexBytes("84 01 02 00 00 00 06 00"), RakNet::RELIABLE_ORDERED, 0);
    ASSERT_TRUE(s.server.pollUntil([&] { return s.e1->isEnemy(s.e2) && s.e2->isEnemy(s.e1); }));

    // Dropped: a sender speaking for another empire, a message cut after
    // its topic, one to nobody, and anything from a spectator.
    Probe spectator;
    s.server.attach(spectator);
    const size_t toldBefore = miscTexts(s.e3).size();
    struct Case {
      Probe* from;
      const char* bytes;
    } const cases[] = {
        {&s.player, "84 02 03 00 00 00 06 00"},
        {&s.player, "84 01 03 00 00 00 06"},
        {&s.player, "84 01 83 00 00 00 06 00"},
        {&s.player, "84 01 01 00 00 00 06 00"},
        {&s.player, "84 01"},
        {&spectator, "84 01 03 00 00 00 06 00"},
        {&spectator, "84 02 03 00 00 00 06 00"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.bytes);
      ASSERT_TRUE(s.sendAndSettle(*c.from, hexBytes(c.bytes)));
      EXPECT_TRUE(atPeace(s.e3, s.e1));
      EXPECT_TRUE(atPeace(s.e3, s.e2));
    }
    // Only the settling greetings were told.
    const std::vector<std::wstring> told = miscTexts(s.e3);
    ASSERT_EQ(told.size(), toldBefore + 5);
    for (size_t i = toldBefore; i < told.size(); ++i)
      EXPECT_EQ(told[i], expectedText(s.e1, L""));
  });
}

TEST(DiplomacyMessages, OnlyAProposalTheServerDeliveredCanBeAccepted) {
  privatenet::runInPrivateNetwork([] {
    Session s;
    ASSERT_NE(s.e3, nullptr);
    ASSERT_EQ(playingEmpire, nullptr);  // a dedicated server plays no empire

    // Empire 2 never offered peace: accepting it changes nothing.
    setWar(s.e1, s.e2, true);
    ASSERT_TRUE(s.sendAndSettle(s.player, hexBytes("84 01 02 00 00 00 09 00 00 00 05 80")));
    EXPECT_TRUE(s.e1->isEnemy(s.e2));
    EXPECT_TRUE(s.e2->isEnemy(s.e1));

    // Empire 3's AI offers peace: the player hears it in 3's name.
    setWar(s.e1, s.e3, true);
    sendDiplomaticMessage(s.e3, s.e1, DT_Peace, DM_Neutral, DA_Neutral, nullptr);
    const std::optional<netprobe::Got> offer = s.player.waitFor(ID_DIPLOMACY_MESSAGE, s.server.polling());
    ASSERT_TRUE(offer.has_value());
    EXPECT_EQ(hexText(offer->bytes), hex("84 03 00 00 00 05"));
    EXPECT_TRUE(miscTexts(s.e1).empty());  // told through the network only

    // An acceptance of another topic is no answer to it.
    ASSERT_TRUE(s.sendAndSettle(s.player, hexBytes("84 01 03 00 00 00 09 00 00 00 06 80")));
    EXPECT_TRUE(atWar(s.e1, s.e3));
    s.player.send(hexBytes("84 01 03 00 00 00 09 00 00 00 05 80"), RakNet::RELIABLE_ORDERED, 0);
    ASSERT_TRUE(s.server.pollUntil([&] { return atPeace(s.e1, s.e3); }));

    // Once only: the same acceptance again is no answer.
    setWar(s.e1, s.e3, true);
    ASSERT_TRUE(s.sendAndSettle(s.player, hexBytes("84 01 03 00 00 00 09 00 00 00 05 80")));
    EXPECT_TRUE(s.e1->isEnemy(s.e3));
    EXPECT_TRUE(s.e3->isEnemy(s.e1));
  });
}

TEST(DiplomacyMessages, ThePerPlayerPassSendsTheResearchAndChangedTreaties) {
  privatenet::runInPrivateNetwork([] {
    Session s;
    ASSERT_NE(s.e1, nullptr);
    s.e1->researchChanged = true;
    s.e1->treatiesChanged = true;
    // Each poll a step later, so that every poll runs the next pass.
    const auto nextStep = [&] {
      s.server.timer.realTime += kUpdateIntervalMs + 1;
      s.server.poll();
    };
    const auto research = [&] { return s.player.ofId(research::kResearchMessageId); };
    // The two go on channels of their own, so either may arrive first.
    ASSERT_TRUE(s.player.waitFor(kTreatyMessageId, nextStep).has_value());
    ASSERT_TRUE(s.player.waitFor(research::kResearchMessageId, nextStep).has_value());
    // All items first (sub-kind 3, bit 1), then the state (bit 0) each pass.
    EXPECT_EQ(research()[0].bytes.at(1), research::RMK_Web);
    EXPECT_EQ(research()[0].bytes.at(2) & 0x80, 0x80);
    EXPECT_FALSE(s.e1->researchChanged);
    EXPECT_FALSE(s.e1->treatiesChanged);
    for (int pass = 0; pass < 1000 && research().size() < 3; ++pass)
      nextStep();
    ASSERT_GE(research().size(), 3u);
    for (size_t i = 1; i < research().size(); ++i)
      EXPECT_EQ(research()[i].bytes.at(2) & 0x80, 0) << i;
    EXPECT_EQ(s.player.ofId(kTreatyMessageId).size(), 1u);  // the list once
    EXPECT_EQ(s.player.ofId(kTreatyMessageId)[0].bytes.at(1), TMK_List);
  });
}

}  // namespace diplomacy_messages_test
