// The treaty's network record and message 133: the record's bits, round
// trips between server and client, the treaty ID counter, refused and broken
// records, how a read treaty is filed, answers, and an empire's full list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "core/post_load.h"
#include "empire/empire.h"
#include "empire/treaty.h"
#include "empire/treaty_factory.h"
#include "empire/treaty_network.h"
#include "net/diplomacy_network.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "script/script_string.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "support/sent_messages.h"

namespace treaty_network_test {

namespace {

// "strike" may be imposed by one side alone, "note" may not.
const char* const kFixtureClauses =
    "<treaties>\n"
    "  <clause id=\"strike\" name=\"Strike\" desc=\"A strike.\"><offensive/></clause>\n"
    "  <clause id=\"note\" name=\"Note\" desc=\"A note.\"/>\n"
    "</treaties>\n";

using Sent = SentMessage;

enum class Role { Local, Server, Client };

Bytes bytesOf(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return data == nullptr ? Bytes() : Bytes(data, data + stream.GetNumberOfBytesUsed());
}

class TreatyNetworkTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = {networkManager->isServer, networkManager->isNetworked, networkManager->isConnected};
    savedActive_ = activeEmpire;
    clearPostObjectTreeSteps();
    registerEmpires();
    loadTreatyClauses(CORVANE_SOURCE_DIR "/data/Game Data/treaties.xml");
    const std::string fixture = (scratchDir() / "treaties.xml").string();
    std::ofstream(fixture, std::ios::binary) << kFixtureClauses;
    loadTreatyClauses(fixture.c_str());
    captureSends(sent_);
  }
  void TearDown() override {
    stopCapturingSends();
    networkManager->isServer = saved_.isServer;
    networkManager->isNetworked = saved_.isNetworked;
    networkManager->isConnected = saved_.isConnected;
    activeEmpire = savedActive_;
    clearPostObjectTreeSteps();
    deleteAllEmpires();
    clearTreatyClauses();
  }

  void registerEmpires() {
    nextEmpireID = 1;
    a_ = registerEmpire(new empire);
    b_ = registerEmpire(new empire);
    c_ = registerEmpire(new empire);
    ASSERT_EQ(c_->ID, 3);
  }
  // Empires without treaties, jobs or proposals, for the next case of a table.
  void freshEmpires() {
    activeEmpire = nullptr;
    deleteAllEmpires();
    registerEmpires();
  }

  static void setRole(Role role) {
    networkManager->isServer = role == Role::Server;
    networkManager->isNetworked = role == Role::Client;
    networkManager->isConnected = role == Role::Client;
  }

  // Appends a clause of `kind` to `treaty`; the treaty holds its only
  // reference.
  static IClause* add(ITreaty* treaty, const wchar_t* kind, bool reversed = false) {
    IClause* clause = createClause(kind, reversed);
    EXPECT_NE(clause, nullptr) << "no clause kind";
    if (clause == nullptr)
      return nullptr;
    treaty->addClause(clause);
    clause->release();
    return clause;
  }

  static ITreaty* make(empire* from, empire* to, const std::vector<const wchar_t*>& kinds) {
    ITreaty* treaty = createTreaty(from, to);
    for (const wchar_t* kind : kinds)
      add(treaty, kind);
    return treaty;
  }

  static void setText(ClauseOption* option, const wchar_t* text) {
    ScriptString* value = new ScriptString(irr::core::stringw(text));
    option->opAssign(value);
    value->release();
  }

  // [war reversed, ceasefire 87.5, pledge "Friendship" 5, pledge "Entente" 1]
  static ITreaty* fullTreaty(empire* from, empire* to) {
    ITreaty* treaty = createTreaty(from, to);
    add(treaty, L"war", true);
    add(treaty, L"ceasefire")->getOption(0)->opAssign(87.5f);
    IClause* pledge = add(treaty, L"pledge");
    setText(pledge->getOption(0), L"Friendship");
    pledge->getOption(1)->opAssign(int32_t{5});
    setText(add(treaty, L"pledge", true)->getOption(0), L"Entente");
    return treaty;
  }

  static void expectFullTreaty(ITreaty* treaty, empire* from, empire* to) {
    ASSERT_NE(treaty, nullptr);
    EXPECT_EQ(treaty->getFromEmpire(), from);
    EXPECT_EQ(treaty->getToEmpire(), to);
    ASSERT_EQ(treaty->getClauseCount(), 4u);
    const wchar_t* const kinds[] = {L"war", L"ceasefire", L"pledge", L"pledge"};
    const bool reversed[] = {true, false, false, true};
    for (uint32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(treaty->getClause(i)->getId()->toStringw(), kinds[i]) << i;
      EXPECT_EQ(treaty->getClause(i)->isReversed(), reversed[i]) << i;
    }
    const ClauseOption* duration = treaty->getClause(1u)->getOption(0);
    EXPECT_EQ(duration->getType(), OT_FLOAT);
    EXPECT_EQ(duration->toFloat(), 87.5f);
    EXPECT_EQ(treaty->getClause(2u)->getOption(0)->getString()->toStringw(), L"Friendship");
    EXPECT_EQ(treaty->getClause(2u)->getOption(1)->getType(), OT_INTEGER);
    EXPECT_EQ(treaty->getClause(2u)->getOption(1)->toInt(), 5);
    EXPECT_EQ(treaty->getClause(3u)->getOption(0)->getString()->toStringw(), L"Entente");
    EXPECT_EQ(treaty->getClause(3u)->getOption(1)->toInt(), 1);
  }

  // The treaties of the activating jobs queued on `emp`.
  static std::vector<ITreaty*> activating(empire* emp) {
    std::vector<ITreaty*> found;
    for (empJob* job : emp->jobs) {
      auto* assign = dynamic_cast<assignTreatyJob*>(job);
      if (assign != nullptr && assign->activate)
        found.push_back(assign->treaty);
    }
    return found;
  }

  static bool holds(empire* emp, const ITreaty* treaty) {
    for (irr::u32 i = 0; i < emp->treaties.size(); ++i)
      if (emp->treaties[i] == treaty)
        return true;
    return false;
  }

  // True when no empire holds or is about to file any treaty.
  bool nothingFiled() const {
    for (empire* emp : {a_, b_, c_})
      if (!emp->proposedTreaties.empty() || !emp->treaties.empty() || !emp->jobs.empty())
        return false;
    return true;
  }

  // Reads a message as its receiver does: the id, the sub-kind, then the
  // body is left to the caller.
  static void expectHeader(RakNet::BitStream& stream, uint8_t kind) {
    uint8_t id = 0;
    uint8_t sub = 0;
    EXPECT_TRUE(stream.Read(id));
    EXPECT_TRUE(stream.Read(sub));
    EXPECT_EQ(id, kTreatyMessageId);
    EXPECT_EQ(sub, kind);
  }

  // A server reads a proposal of a_ to b_, then one to c_: true when they
  // took the IDs 2 and 3.
  bool firstIDsAre2And3() {
    setRole(Role::Server);
    for (empire* to : {b_, c_}) {
      ITreaty* treaty = make(a_, to, {L"note"});
      RakNet::BitStream stream;
      writeTreaty(treaty, stream);
      treaty->release();
      if (!readTreaty(a_, stream))
        return false;
    }
    const ITreaty* first = a_->getProposedTreaty(b_);
    const ITreaty* second = a_->getProposedTreaty(c_);
    return first != nullptr && first->getID() == 2 && second != nullptr && second->getID() == 3;
  }

  struct Flags {
    bool isServer, isNetworked, isConnected;
  } saved_{};
  empire* savedActive_ = nullptr;
  empire* a_ = nullptr;
  empire* b_ = nullptr;
  empire* c_ = nullptr;
  std::vector<Sent> sent_;
};

TEST_F(TreatyNetworkTest, TheRecordOfADeclarationOfWar) {
  const struct {
    bool reversed;
    const char* bytes;
  } cases[] = {
      {false, "01 02 01 01 80 77 00 61 00 72 00"},
      {true, "01 02 01 81 80 77 00 61 00 72 00"},
  };
  for (const auto& c : cases) {
    ITreaty* treaty = createTreaty(a_, b_);
    add(treaty, L"war", c.reversed);
    RakNet::BitStream stream;
    writeTreaty(treaty, stream);
    EXPECT_EQ(hexText(bytesOf(stream)), hex(c.bytes)) << c.reversed;
    treaty->release();
  }

  // A treaty without a to empire names the invalid empire.
  ITreaty* alone = createTreaty(a_, nullptr);
  RakNet::BitStream stream;
  writeTreaty(alone, stream);
  EXPECT_EQ(hexText(bytesOf(stream)), hex("01 83 00"));
  alone->release();
}

TEST_F(TreatyNetworkTest, AClientProposalReadByTheServerKeepsEveryField) {
  setRole(Role::Client);
  ITreaty* treaty = fullTreaty(a_, b_);
  RakNet::BitStream stream;
  writeTreaty(treaty, stream);
  treaty->release();

  setRole(Role::Server);
  ASSERT_TRUE(readTreaty(a_, stream));
  EXPECT_EQ(stream.GetNumberOfUnreadBits(), 0u);
  ITreaty* read = a_->getProposedTreaty(b_);
  expectFullTreaty(read, a_, b_);
  EXPECT_EQ(b_->getProposedTreaty(a_), read);
  EXPECT_EQ(read->getState(), TS_Proposed);
  EXPECT_GE(read->getID(), 2u);
  EXPECT_TRUE(sent_.empty());
}

TEST_F(TreatyNetworkTest, AServerRecordReadByAClientKeepsEveryField) {
  // The server's list entry: the ID, the record, the active bit.
  for (const bool active : {false, true}) {
    SCOPED_TRACE(active);
    freshEmpires();
    setRole(Role::Server);
    ITreaty* treaty = fullTreaty(a_, b_);
    RakNet::BitStream stream;
    stream.Write(uint32_t{77});
    writeTreaty(treaty, stream);
    stream.Write(active);
    treaty->release();

    setRole(Role::Client);
    ASSERT_TRUE(readTreaty(nullptr, stream));
    EXPECT_EQ(stream.GetNumberOfUnreadBits(), 0u);
    ITreaty* read = nullptr;
    if (active) {
      // In force: standing on both empires at once with state 1, nothing
      // queued to activate (the server runs it), and no answer sent.
      ASSERT_EQ(a_->treaties.size(), 1u);
      read = a_->treaties[0];
      EXPECT_TRUE(holds(b_, read));
      EXPECT_EQ(b_->treaties.size(), 1u);
      EXPECT_TRUE(a_->jobs.empty());
      EXPECT_TRUE(b_->jobs.empty());
      EXPECT_EQ(read->getState(), TS_Accepted);
      EXPECT_EQ(a_->getProposedTreaty(b_), nullptr);
    } else {
      read = a_->getProposedTreaty(b_);
      EXPECT_EQ(b_->getProposedTreaty(a_), read);
      EXPECT_TRUE(a_->jobs.empty());
      ASSERT_NE(read, nullptr);
      EXPECT_EQ(read->getState(), TS_Proposed);
    }
    expectFullTreaty(read, a_, b_);
    EXPECT_EQ(read->getID(), 77u);
    EXPECT_TRUE(sent_.empty());
  }
}

// The counter is process-wide and never reset, so its first values are seen
// in a process of their own.
TEST_F(TreatyNetworkTest, AFreshServerGivesTheIDs2Then3) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(std::_Exit(firstIDsAre2And3() ? 0 : 1), testing::ExitedWithCode(0), "");
}

TEST_F(TreatyNetworkTest, RefusedRecordsFileNothingAndAreReadToTheirEnd) {
  setRole(Role::Server);
  const struct {
    const char* name;
    uint8_t from;
    uint8_t to;
    bool sentByB;  // the required sender is b_
    bool invalidTo;
    bool noClauses;
  } cases[] = {
      {"unknown empire", 1, 9, false, false, false},    {"invalid ID", 131, 2, false, false, false},
      {"same empire twice", 1, 1, false, false, false}, {"not the required sender", 1, 2, true, false, false},
      {"empire not valid", 1, 2, false, true, false},   {"no clauses", 1, 2, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RakNet::BitStream stream;
    stream.Write(c.from);
    stream.Write(c.to);
    if (c.noClauses) {
      stream.Write(uint8_t{0});
    } else {
      ITreaty* record = make(a_, b_, {L"note", L"pledge"});
      RakNet::BitStream clauses;
      writeTreaty(record, clauses);
      record->release();
      clauses.IgnoreBits(16);  // from and to: the count and clauses follow
      while (clauses.GetNumberOfUnreadBits() > 0) {
        bool bit = false;
        clauses.Read(bit);
        stream.Write(bit);
      }
    }
    b_->valid = !c.invalidTo;
    EXPECT_FALSE(readTreaty(c.sentByB ? b_ : nullptr, stream));
    b_->valid = true;
    EXPECT_EQ(stream.GetNumberOfUnreadBits(), 0u);
    EXPECT_FALSE(stream.ReadFailed());
    EXPECT_TRUE(nothingFiled());
  }
}

TEST_F(TreatyNetworkTest, ABrokenRecordDestroysTheTreatyAndItsClauses) {
  setRole(Role::Server);
  ITreaty* noted = make(a_, b_, {L"note"});
  ITreaty* pledged = make(a_, b_, {L"note", L"pledge"});
  RakNet::BitStream noteStream;
  RakNet::BitStream pledgeStream;
  writeTreaty(noted, noteStream);
  writeTreaty(pledged, pledgeStream);
  noted->release();
  pledged->release();
  const Bytes note = bytesOf(noteStream);
  const Bytes pledge = bytesOf(pledgeStream);

  Bytes unknown = note;
  unknown[5] = 'm';  // "note" becomes "mote"
  const struct {
    const char* name;
    Bytes bytes;
    const char* logged;
  } cases[] = {
      // empires, count, reversed and length (2 bytes), then "note": cut after "no"
      {"cut inside the clause id", Bytes(note.begin(), note.begin() + 9), "cut short"},
      // the pledge's last field is its 32-bit count
      {"cut inside an option", Bytes(pledge.begin(), pledge.end() - 2), "cut short"},
      // header and note (13 bytes), the pledge's reversed bit and length (2),
      // "pledge" (12): cut before the first option's type
      {"cut before an option's type", Bytes(pledge.begin(), pledge.begin() + 27), "cut short"},
      {"unknown clause id", unknown, "unknown clause kind \"mote\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    RakNet::BitStream stream(c.bytes.data(), c.bytes.size(), true);
    EXPECT_FALSE(readTreaty(a_, stream));
    EXPECT_TRUE(nothingFiled());
    EXPECT_NE(log.take().find(c.logged), std::string::npos);
  }
}

TEST_F(TreatyNetworkTest, AHostingServerActivatesOnlyAllOffensiveTreaties) {
  using Kinds = std::vector<const wchar_t*>;
  const struct {
    const char* name;
    Kinds kinds;
    bool inForce;
  } cases[] = {
      {"[strike]", {L"strike"}, true},
      {"[strike, strike]", {L"strike", L"strike"}, true},
      {"[strike, note]", {L"strike", L"note"}, false},
      {"[note, strike]", {L"note", L"strike"}, false},
      {"[note]", {L"note"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    freshEmpires();
    setRole(Role::Server);
    ITreaty* treaty = make(a_, b_, c.kinds);
    RakNet::BitStream stream;
    writeTreaty(treaty, stream);
    treaty->release();
    ASSERT_TRUE(readTreaty(a_, stream));

    if (c.inForce) {
      ASSERT_EQ(activating(a_).size(), 1u);
      EXPECT_EQ(activating(b_), activating(a_));
      EXPECT_EQ(activating(a_)[0]->getState(), TS_Accepted);
      EXPECT_EQ(a_->getProposedTreaty(b_), nullptr);
      EXPECT_EQ(b_->getProposedTreaty(a_), nullptr);
    } else {
      ITreaty* read = a_->getProposedTreaty(b_);
      ASSERT_NE(read, nullptr);
      EXPECT_EQ(b_->getProposedTreaty(a_), read);
      EXPECT_EQ(read->getState(), TS_Proposed);
      EXPECT_TRUE(a_->jobs.empty() && b_->jobs.empty());
    }
  }
}

TEST_F(TreatyNetworkTest, AProposalTheToEmpireRefusesIsTakenBackFromBoth) {
  setRole(Role::Server);
  ITreaty* held = make(b_, a_, {L"note"});
  ASSERT_TRUE(b_->setProposedTreaty(a_, held));
  ITreaty* treaty = make(a_, b_, {L"note"});
  RakNet::BitStream stream;
  writeTreaty(treaty, stream);
  treaty->release();

  EXPECT_FALSE(readTreaty(a_, stream));
  EXPECT_EQ(a_->getProposedTreaty(b_), nullptr);
  EXPECT_EQ(b_->getProposedTreaty(a_), held);
  EXPECT_FALSE(held->isEnded());
  held->release();
}

TEST_F(TreatyNetworkTest, AClientsAnswerIsSentToTheServer) {
  ITreaty* treaty = make(a_, b_, {L"note"});
  treaty->setID(0x01020304);

  setRole(Role::Server);
  treaty->setState(TS_Accepted);
  EXPECT_EQ(treaty->getState(), TS_Accepted);
  EXPECT_TRUE(sent_.empty());

  setRole(Role::Client);
  treaty->setState(TS_Rejected);
  EXPECT_EQ(treaty->getState(), TS_Rejected);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(hexText(sent_[0].bytes), hex("85 01 01 02 03 04 01 02"));
  EXPECT_EQ(sent_[0].channel, 8);
  EXPECT_EQ(sent_[0].reliability, RakNet::RELIABLE_ORDERED);
  EXPECT_EQ(sent_[0].reliability, 3);
  EXPECT_EQ(sent_[0].target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  treaty->release();
}

TEST_F(TreatyNetworkTest, AProposalIsSentAsSubKind0) {
  setRole(Role::Client);
  ITreaty* treaty = make(a_, b_, {L"war"});
  sendTreatyProposal(treaty);
  treaty->release();
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(hexText(sent_[0].bytes), hex("85 00 01 02 01 01 80 77 00 61 00 72 00"));
  EXPECT_EQ(sent_[0].channel, 8);
  EXPECT_EQ(sent_[0].reliability, RakNet::RELIABLE_ORDERED);
  EXPECT_EQ(sent_[0].target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

TEST_F(TreatyNetworkTest, AnAnswerAppliesOnlyToTheSendersMatchingProposal) {
  setRole(Role::Server);
  const uint32_t kID = 40;
  // b_'s proposal from a_ (ID 40), and b_'s own proposal to c_ with the same ID.
  ITreaty* fromA = make(a_, b_, {L"note"});
  fromA->setID(kID);
  ASSERT_TRUE(a_->setProposedTreaty(b_, fromA) && b_->setProposedTreaty(a_, fromA));
  ITreaty* toC = make(b_, c_, {L"note"});
  toC->setID(kID);
  ASSERT_TRUE(b_->setProposedTreaty(c_, toC) && c_->setProposedTreaty(b_, toC));

  const struct {
    const char* name;
    empire* sender;
    uint32_t id;
    uint8_t from;
    int state;  // -1: the message ends before it
    uint32_t expected;
  } cases[] = {
      {"accepted", b_, kID, 1, 1, TS_Accepted},
      {"rejected", b_, kID, 1, 2, TS_Rejected},
      {"state 3", b_, kID, 1, 3, TS_Proposed},
      {"state 0", b_, kID, 1, 0, TS_Proposed},
      {"short message", b_, kID, 1, -1, TS_Proposed},
      {"another ID", b_, kID + 1, 1, 1, TS_Proposed},
      {"the proposer answering", a_, kID, 1, 1, TS_Proposed},
      {"unknown empire", b_, kID, 9, 1, TS_Proposed},
      {"no sender", nullptr, kID, 1, 1, TS_Proposed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fromA->setState(TS_Proposed);
    RakNet::BitStream stream;
    stream.Write(c.id);
    stream.Write(c.from);
    if (c.state >= 0)
      stream.Write(static_cast<uint8_t>(c.state));
    readTreatyAnswer(stream, c.sender);
    EXPECT_EQ(fromA->getState(), c.expected);
    EXPECT_EQ(toC->getState(), TS_Proposed);
  }

  // The from empire must match as well: b_'s own proposal to c_ is not
  // answered by b_ naming c_.
  RakNet::BitStream stream;
  stream.Write(kID);
  stream.Write(uint8_t{3});
  stream.Write(uint8_t{1});
  readTreatyAnswer(stream, b_);
  EXPECT_EQ(toC->getState(), TS_Proposed);
  EXPECT_TRUE(sent_.empty());
  fromA->release();
  toC->release();
}

TEST_F(TreatyNetworkTest, AFullListReplacesTheClientsTreaties) {
  setRole(Role::Server);
  // a_'s standing treaties: one that lost its clauses (sent with count 0, so
  // refused, but the list stays in step) and a peace with b_.
  ITreaty* empty = make(a_, b_, {});
  empty->setID(4);
  empty->setState(TS_Accepted);
  ITreaty* peace = make(a_, b_, {L"peace"});
  peace->setID(5);
  peace->setState(TS_Accepted);
  for (ITreaty* treaty : {empty, peace}) {
    treaty->addRef();
    a_->treaties.push_back(treaty);
    treaty->addRef();
    b_->treaties.push_back(treaty);
  }
  // Its proposals: a pledge to c_ and a note from b_.
  ITreaty* pledge = make(a_, c_, {L"pledge"});
  pledge->setID(6);
  pledge->getClause(0u)->getOption(1)->opAssign(int32_t{5});
  ITreaty* note = make(b_, a_, {L"note"});
  note->setID(7);
  for (ITreaty* treaty : {pledge, note}) {
    ASSERT_TRUE(treaty->getFromEmpire()->setProposedTreaty(treaty->getToEmpire(), treaty));
    ASSERT_TRUE(treaty->getToEmpire()->setProposedTreaty(treaty->getFromEmpire(), treaty));
  }

  RakNet::SystemAddress player;
  player.binaryAddress = 0x0100007F;
  player.port = 4000;
  sendTreaty(a_, player);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].channel, 8);
  EXPECT_EQ(sent_[0].reliability, RakNet::RELIABLE_ORDERED);
  EXPECT_EQ(sent_[0].target, player);
  const Bytes list = sent_[0].bytes;
  sent_.clear();

  // The same empires now play the client, whose old lists are the above.
  setRole(Role::Client);
  activeEmpire = a_;
  RakNet::BitStream stream(list.data(), list.size(), false);
  expectHeader(stream, TMK_List);
  readTreatyList(stream);
  EXPECT_LT(stream.GetNumberOfUnreadBits(), 8u);  // only the last byte's padding
  EXPECT_FALSE(stream.ReadFailed());
  EXPECT_TRUE(sent_.empty());  // reading answers nothing

  for (ITreaty* old : {empty, peace, pledge, note})
    EXPECT_TRUE(old->isEnded());
  EXPECT_EQ(empty->getRefCount(), 2);  // the test's and b_'s list's
  EXPECT_EQ(peace->getRefCount(), 2);
  EXPECT_EQ(pledge->getRefCount(), 1);  // neither side holds them now
  EXPECT_EQ(note->getRefCount(), 1);

  // The proposals are back as proposals on both sides.
  ITreaty* newPledge = a_->getProposedTreaty(c_);
  ASSERT_NE(newPledge, nullptr);
  EXPECT_NE(newPledge, pledge);
  EXPECT_EQ(c_->getProposedTreaty(a_), newPledge);
  EXPECT_EQ(newPledge->getID(), 6u);
  EXPECT_EQ(newPledge->getState(), TS_Proposed);
  EXPECT_EQ(newPledge->getClause(0u)->getOption(1)->toInt(), 5);
  ITreaty* newNote = a_->getProposedTreaty(b_);
  ASSERT_NE(newNote, nullptr);
  EXPECT_EQ(b_->getProposedTreaty(a_), newNote);
  EXPECT_EQ(newNote->getFromEmpire(), b_);
  EXPECT_EQ(newNote->getID(), 7u);

  // The standing peace is back in force at once, on both sides, with no
  // job queued that would run its clauses' hooks here.
  EXPECT_TRUE(a_->jobs.empty());
  EXPECT_TRUE(b_->jobs.empty());
  ASSERT_EQ(a_->treaties.size(), 1u);
  ITreaty* newPeace = a_->treaties[0];
  EXPECT_NE(newPeace, peace);
  EXPECT_TRUE(holds(b_, newPeace));
  EXPECT_EQ(newPeace->getID(), 5u);
  EXPECT_EQ(newPeace->getState(), TS_Accepted);
  EXPECT_FALSE(newPeace->isEnded());
  EXPECT_EQ(newPeace->getClause(0u)->getId()->toStringw(), L"peace");
  EXPECT_TRUE(sent_.empty());

  for (ITreaty* old : {empty, peace, pledge, note})
    old->release();
}

TEST_F(TreatyNetworkTest, WithoutALocalPlayersEmpireTheListIsIgnored) {
  setRole(Role::Server);
  ITreaty* note = make(b_, a_, {L"note"});
  note->setID(7);
  ASSERT_TRUE(b_->setProposedTreaty(a_, note) && a_->setProposedTreaty(b_, note));
  sendTreaty(a_, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  ASSERT_EQ(sent_.size(), 1u);

  setRole(Role::Client);
  activeEmpire = nullptr;
  RakNet::BitStream stream(sent_[0].bytes.data(), sent_[0].bytes.size(), false);
  expectHeader(stream, TMK_List);
  const RakNet::BitSize before = stream.GetNumberOfUnreadBits();
  readTreatyList(stream);
  EXPECT_EQ(stream.GetNumberOfUnreadBits(), before);
  EXPECT_FALSE(note->isEnded());
  EXPECT_EQ(a_->getProposedTreaty(b_), note);
  EXPECT_EQ(b_->getProposedTreaty(a_), note);
  note->release();
}

// Message 133 as its receiver hands it on: each side takes only the
// sub-kinds that the other side sends, and a server only from a player who
// speaks for the treaty's from empire.
TEST_F(TreatyNetworkTest, TheHandlerTakesOnlyWhatEachSideMaySend) {
  const auto deliver = [](const Bytes& bytes, NetPlayer* from) {
    RakNet::BitStream stream(bytes.data(), bytes.size(), false);
    stream.IgnoreBits(8);
    DiplomacyHandler().handle(kTreatyMessageId, stream, from);
  };
  // {133, 0, a_'s note to b_} as a client proposes it.
  const auto proposal = [this] {
    RakNet::BitStream stream;
    stream.Write(kTreatyMessageId);
    stream.Write(uint8_t{TMK_Proposal});
    ITreaty* treaty = make(a_, b_, {L"note"});
    writeTreaty(treaty, stream);
    treaty->release();
    return bytesOf(stream);
  };
  // The same as a server sends it to a client: its ID and the active bit.
  const auto serversProposal = [this] {
    RakNet::BitStream stream;
    stream.Write(kTreatyMessageId);
    stream.Write(uint8_t{TMK_Proposal});
    stream.Write(uint32_t{12});
    ITreaty* treaty = make(a_, b_, {L"note"});
    writeTreaty(treaty, stream);
    treaty->release();
    stream.Write0();
    return bytesOf(stream);
  };
  // a_'s list with one proposal from c_, as the server sends it.
  const auto list = [this] {
    const Role before = networkManager->isServer ? Role::Server : Role::Client;
    setRole(Role::Server);
    ITreaty* note = make(c_, a_, {L"note"});
    note->setID(8);
    EXPECT_TRUE(c_->setProposedTreaty(a_, note) && a_->setProposedTreaty(c_, note));
    note->release();
    sent_.clear();
    sendTreaty(a_, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    const Bytes bytes = sent_.at(0).bytes;
    sent_.clear();
    // The list's own empires are gone again: what the case files is what the
    // handler read.
    freshEmpires();
    setRole(before);
    return bytes;
  };

  enum class Sender { PlayerA, PlayerB, Spectator, None };
  const struct Case {
    const char* name;
    Role role;
    Sender sender;
    std::function<Bytes()> bytes;
    bool files;
  } cases[] = {
      {"a proposal from its empire's player", Role::Server, Sender::PlayerA, proposal, true},
      {"a proposal for another empire", Role::Server, Sender::PlayerB, proposal, false},
      {"a proposal from a spectator", Role::Server, Sender::Spectator, proposal, false},
      {"a proposal from nobody listed", Role::Server, Sender::None, proposal, false},
      {"a full list on the server", Role::Server, Sender::PlayerA, list, false},
      {"no sub-kind on the server", Role::Server, Sender::PlayerA, [] { return hexBytes("85"); }, false},
      {"sub-kind 7 on the server", Role::Server, Sender::PlayerA, [] { return hexBytes("85 07 01 02 00"); }, false},
      {"the server's proposal", Role::Client, Sender::None, serversProposal, true},
      {"the server's list", Role::Client, Sender::None, list, true},
      {"no sub-kind on a client", Role::Client, Sender::None, [] { return hexBytes("85"); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshEmpires();
    setRole(c.role);
    const Bytes bytes = c.bytes();
    activeEmpire = a_;
    NetPlayer player;
    player.emp = c.sender == Sender::PlayerA ? a_ : c.sender == Sender::PlayerB ? b_ : nullptr;
    deliver(bytes, c.sender == Sender::None ? nullptr : &player);
    EXPECT_EQ(!nothingFiled(), c.files);
    EXPECT_TRUE(sent_.empty());
  }

  // A client takes no answers: those are the server's to apply.
  freshEmpires();
  setRole(Role::Client);
  ITreaty* note = make(b_, a_, {L"note"});
  note->setID(9);
  ASSERT_TRUE(b_->setProposedTreaty(a_, note) && a_->setProposedTreaty(b_, note));
  NetPlayer player;
  player.emp = a_;
  deliver(hexBytes("85 01 00 00 00 09 02 01"), &player);
  EXPECT_EQ(note->getState(), TS_Proposed);
  note->release();
}

TEST_F(TreatyNetworkTest, AFactorysProposalReachesTheServerAndItsListGoesOutOnce) {
  setRole(Role::Client);
  activeEmpire = a_;
  TreatyFactory* factory = new TreatyFactory(a_, b_);
  add(factory->getTreaty(), L"note");
  ASSERT_TRUE(factory->propose());
  factory->release();
  ASSERT_EQ(sent_.size(), 1u);
  const Bytes proposal = sent_[0].bytes;
  sent_.clear();

  // The server's empires of the same IDs.
  freshEmpires();
  setRole(Role::Server);
  NetPlayer player;
  player.emp = a_;
  player.address.binaryAddress = 0x0100007F;
  player.address.port = 4000;
  RakNet::BitStream stream(proposal.data(), proposal.size(), false);
  stream.IgnoreBits(8);
  DiplomacyHandler().handle(kTreatyMessageId, stream, &player);
  ITreaty* recorded = a_->getProposedTreaty(b_);
  ASSERT_NE(recorded, nullptr);
  EXPECT_EQ(b_->getProposedTreaty(a_), recorded);
  EXPECT_EQ(recorded->getFromEmpire(), a_);
  EXPECT_TRUE(a_->treatiesChanged);
  EXPECT_TRUE(b_->treatiesChanged);

  // The per-player pass: the list once, then nothing until the next change.
  for (int pass = 0; pass < 2; ++pass) {
    sendPlayerTreaties(*networkManager, player);
    EXPECT_FALSE(a_->treatiesChanged);
  }
  ASSERT_EQ(sent_.size(), 1u);
  ASSERT_GE(sent_[0].bytes.size(), 2u);
  EXPECT_EQ(sent_[0].bytes[0], kTreatyMessageId);
  EXPECT_EQ(sent_[0].bytes[1], TMK_List);
  EXPECT_EQ(sent_[0].target, player.address);
  EXPECT_TRUE(b_->treatiesChanged);  // another player's empire

  // A spectator gets no list.
  NetPlayer spectator;
  sendPlayerTreaties(*networkManager, spectator);
  EXPECT_EQ(sent_.size(), 1u);
}

}  // namespace

}  // namespace treaty_network_test
