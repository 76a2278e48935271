// Proposing treaties from scripts: the factory's refusals, treaties that
// come into force at once and those recorded as proposals, the Treaty and
// TreatyFactory script rows, and the one send of a client's proposal.
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/locks.h"
#include "empire/treaty.h"
#include "empire/treaty_factory.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "script/script_contexts.h"
#include "script_session.h"

namespace treaty_factory_test {

using namespace AngelScript;

namespace {

// "strike" may be imposed by one side alone; "note" needs an answer.
const char kClauseFile[] = R"(<treaties>
<clause id="strike" name="Strike" desc="D">
  <offensive/>
  <hook type="begin" func="treaty_fixture::beginStrike"/>
</clause>
<clause id="note" name="Note" desc="D">
  <tag>pact</tag>
</clause>
</treaties>)";

const char kFixtureScript[] = R"(
int begun = 0;
ClauseState beginStrike(Clause@ c, Empire@ a, Empire@ b) { ++begun; return CS_NOCHANGE; }
)";

// Built on either engine.
const char kProposeScript[] = R"(
string@ flag(bool v) { return v ? "true" : "false"; }
string@ outcome(TreatyFactory@ f) {
  bool done = f.propose();
  return flag(done) + (f.treaty is null ? " empty" : " holding");
}
string@ propose(Empire@ from, Empire@ to, const string &in first, const string &in second) {
  TreatyFactory f(from, to);
  if (first.length() > 0) f.treaty.addClause(first, false);
  if (second.length() > 0) f.treaty.addClause(second, false);
  return outcome(f);
}
string@ proposeEmpty(Empire@ from, Empire@ to, const string &in first, const string &in second) {
  TreatyFactory f;
  return outcome(f);
}
string@ afterSuccess = "";
string@ proposeTwice(Empire@ from, Empire@ to, const string &in first, const string &in second) {
  TreatyFactory f;
  f.prepare(from, to);
  f.treaty.addClause(first, false);
  afterSuccess = outcome(f);
  return outcome(f);
}
string@ states(Treaty@ t) { return flag(t.isProposed()) + " " + flag(t.isActive()); }
string@ proposedStates(Empire@ from, Empire@ to, const string &in first, const string &in second) {
  TreatyFactory f(from, to);
  Treaty@ t = f.treaty;
  t.addClause(first, false);
  string@ before = states(t);
  f.propose();
  return before + " / " + states(t);
}
string@ rows(Empire@ from, Empire@ to) {
  TreatyFactory f(from, to);
  Treaty@ t = f.treaty;
  Clause@ c = t.addClause("note", false);
  string@ text = (c is null ? "null" : c.id) + " " + t.clauseCount;
  text += " " + (t.addClause("nope", false) is null ? "null" : "clause");
  text += " " + (t.getClause(t.clauseCount) is null ? "null" : "clause");
  text += " " + (t.getClause(0) is c ? "same" : "other");
  text += " " + flag(t.hasTag("pact")) + " " + flag(t.hasTag("war"));
  text += " " + flag(t.getFromEmpire() is from) + " " + flag(t.getToEmpire() is to);
  t.addClause("strike", true);
  t.removeClause(c);
  text += " " + t.clauseCount + " " + t.getClause(0).id;
  t.removeClause(0);
  text += " " + t.clauseCount;
  f.clear();
  text += " " + (f.treaty is null ? "cleared" : "holding");
  return text;
}
void touch(Treaty@ t) {
  Clause@ first = t.getClause(0);
  const Treaty@ view = t;
  const Clause@ again = view.getClause(0);
  Clause@ added = t.addClause("note", true);
  t.hasTag("pact");
  t.getFromEmpire();
  t.removeClause(added);
  t.removeClause(5);
}
)";

// Which context runs a script.
enum class Runner { ServerOwn, ClientOwn, ClientOther };

struct Send {
  std::vector<uint8_t> bytes;
  uint8_t channel;
  RakNet::PacketReliability reliability;
  bool bothRecorded;  // both empires held the proposal when it went out
  size_t jobsQueued;  // jobs waiting on the from empire when it went out
};

class TreatyFactoryTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    std::filesystem::create_directories(root_ / "Game Data");
    std::ofstream(root_ / "Game Data/treaties.xml", std::ios::binary) << kClauseFile;
    initThreadLocals();
    startSession({{"treaty_fixture", kFixtureScript}});
    a_ = registerEmpire(new empire);
    b_ = registerEmpire(new empire);
    c_ = registerEmpire(new empire);
    LogCapture log;
    server_ = build(serverScriptEngine, "propose", kProposeScript);
    client_ = build(clientScriptEngine, "propose", kProposeScript);
    ASSERT_NE(server_, nullptr) << log.take();
    ASSERT_NE(client_, nullptr) << log.take();
  }
  void TearDown() override {
    networkManager->setSendObserver(nullptr);
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
    ScriptSessionTest::TearDown();
    clearTreatyClauses();
  }

  // Runs `function` of the propose module with the two empires and two
  // clause ids ("" for none): its text, or "exception: <text>".
  std::string run(const char* function, empire* from, empire* to, const wchar_t* first = L"",
                  const wchar_t* second = L"", Runner runner = Runner::ServerOwn) {
    asIScriptModule* module = runner == Runner::ServerOwn ? server_ : client_;
    const std::string declaration =
        std::string("string@ ") + function + "(Empire@,Empire@,const string &in,const string &in)";
    asIScriptFunction* script = module->GetFunctionByDecl(declaration.c_str());
    if (script == nullptr)
      return "no function " + declaration;
    asIScriptContext* context = runner == Runner::ServerOwn   ? threadServerContext()
                                : runner == Runner::ClientOwn ? threadClientContext()
                                                              : createScriptContext(clientScriptEngine);
    auto* firstId = new ScriptString(irr::core::stringw(first));
    auto* secondId = new ScriptString(irr::core::stringw(second));
    context->Prepare(script);
    context->SetArgObject(0, from);
    context->SetArgObject(1, to);
    context->SetArgObject(2, firstId);
    context->SetArgObject(3, secondId);
    std::string outcome;
    if (context->Execute() != asEXECUTION_FINISHED) {
      outcome = std::string("exception: ") + context->GetExceptionString();
    } else {
      auto* text = static_cast<ScriptString*>(context->GetReturnObject());
      outcome = text != nullptr ? irr::core::stringc(text->toStringw()).c_str() : "null";
    }
    context->Unprepare();
    if (runner == Runner::ClientOther)
      context->Release();
    firstId->release();
    secondId->release();
    return outcome;
  }

  // Runs `declaration` of `module` on a new context with `objects` as its
  // arguments: the text it returned, "finished", or "exception: <text>".
  static std::string runObjects(asIScriptModule* module, const char* declaration,
                                std::initializer_list<void*> objects) {
    asIScriptFunction* function = module->GetFunctionByDecl(declaration);
    if (function == nullptr)
      return std::string("no function ") + declaration;
    asIScriptContext* context = createScriptContext(module->GetEngine());
    context->Prepare(function);
    asUINT index = 0;
    for (void* object : objects)
      context->SetArgObject(index++, object);
    std::string outcome = "finished";
    if (context->Execute() != asEXECUTION_FINISHED) {
      outcome = std::string("exception: ") + context->GetExceptionString();
    } else if (function->GetReturnTypeId() != asTYPEID_VOID) {
      auto* text = static_cast<ScriptString*>(context->GetReturnObject());
      outcome = text != nullptr ? irr::core::stringc(text->toStringw()).c_str() : "null";
    }
    context->Release();
    return outcome;
  }

  int begun() {
    asIScriptModule* module = serverScriptEngine->GetModule("treaty_fixture");
    return *static_cast<int*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("begun")));
  }

  static size_t standing(empire* emp) {
    ScopedReadLock guard(emp->locks[EA_Treaties]);
    return emp->treaties.size();
  }
  static ITreaty* standingAt(empire* emp, irr::u32 index) {
    ScopedReadLock guard(emp->locks[EA_Treaties]);
    return index < emp->treaties.size() ? emp->treaties[index] : nullptr;
  }
  static size_t jobCount(empire* emp) {
    ScopedReadLock guard(emp->locks[EA_Jobs]);
    return emp->jobs.size();
  }

  // A network client whose sends are captured.
  void becomeClient() {
    networkManager->isNetworked = true;
    networkManager->isConnected = true;
    networkManager->setSendObserver([this](const RakNet::BitStream& stream, uint8_t channel,
                                           RakNet::PacketReliability reliability, const RakNet::SystemAddress&) {
      const uint8_t* data = stream.GetData();
      const bool both = a_->getProposedTreaty(b_) != nullptr && b_->getProposedTreaty(a_) != nullptr;
      sent_.push_back(
          {std::vector<uint8_t>(data, data + stream.GetNumberOfBytesUsed()), channel, reliability, both, jobCount(a_)});
    });
  }

  // A treaty of `from` to `to` holding one "note".
  static ITreaty* noteTreaty(empire* from, empire* to) {
    ITreaty* treaty = createTreaty(from, to);
    IClause* clause = createClause(L"note", false);
    treaty->addClause(clause);
    clause->release();
    return treaty;
  }

  empire* a_ = nullptr;
  empire* b_ = nullptr;
  empire* c_ = nullptr;
  asIScriptModule* server_ = nullptr;
  asIScriptModule* client_ = nullptr;
  std::vector<Send> sent_;
};

TEST_F(TreatyFactoryTest, ProposeRefusesWithScriptExceptions) {
  activeEmpire = a_;
  const std::string notAllowed = "exception: Not allowed to propose treaties as another empire";
  struct Case {
    const char* function;
    empire* from;
    empire* to;
    const wchar_t* clause;
    Runner runner;
    std::string expected;
  };
  const Case cases[] = {
      {"proposeEmpty", a_, b_, L"note", Runner::ServerOwn, "exception: No active treaty to propose"},
      {"proposeEmpty", a_, b_, L"note", Runner::ClientOwn, "exception: No active treaty to propose"},
      {"propose", a_, b_, L"", Runner::ServerOwn, "exception: No clauses in treaty"},
      // Interface scripts speak for the local player's empire only, on any
      // context of their engine, also when the treaty is offered to it.
      {"propose", b_, c_, L"note", Runner::ClientOwn, notAllowed},
      {"propose", b_, a_, L"note", Runner::ClientOwn, notAllowed},
      {"propose", b_, a_, L"strike", Runner::ClientOwn, notAllowed},
      {"propose", b_, a_, L"note", Runner::ClientOther, notAllowed},
      {"propose", b_, a_, L"", Runner::ClientOwn, notAllowed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " runner " + std::to_string(int(c.runner)));
    EXPECT_EQ(run(c.function, c.from, c.to, c.clause, L"", c.runner), c.expected);
    EXPECT_EQ(a_->getProposedTreaty(b_), nullptr);
    EXPECT_EQ(b_->getProposedTreaty(a_), nullptr);
    EXPECT_EQ(b_->getProposedTreaty(c_), nullptr);
    EXPECT_EQ(jobCount(a_) + jobCount(b_), 0u);
  }

  // Allowed: the server engine for any empire, an interface script for its
  // player's.
  EXPECT_EQ(run("propose", b_, a_, L"note", L"", Runner::ServerOwn), "true empty");
  EXPECT_EQ(run("propose", a_, c_, L"note", L"", Runner::ClientOwn), "true empty");
  EXPECT_NE(b_->getProposedTreaty(a_), nullptr);
  EXPECT_NE(a_->getProposedTreaty(c_), nullptr);
}

TEST_F(TreatyFactoryTest, OnlyAllOffensiveTreatiesComeIntoForceUnanswered) {
  struct Case {
    const wchar_t* first;
    const wchar_t* second;
    bool inForce;
    int begun;  // begin hooks run: one per clause of a treaty in force
  };
  const Case cases[] = {
      {L"strike", L"", true, 1},      {L"strike", L"strike", true, 2}, {L"strike", L"note", false, 0},
      {L"note", L"strike", false, 0}, {L"note", L"", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(irr::core::stringc(c.first).c_str() + std::string(",") + irr::core::stringc(c.second).c_str());
    const int begunBefore = begun();
    EXPECT_EQ(run("propose", a_, b_, c.first, c.second), "true empty");
    runEmpireJobs(a_);
    runEmpireJobs(b_);
    EXPECT_EQ(begun() - begunBefore, c.begun);
    if (c.inForce) {
      ASSERT_EQ(standing(a_), 1u);
      ASSERT_EQ(standing(b_), 1u);
      ITreaty* treaty = standingAt(a_, 0);
      EXPECT_EQ(standingAt(b_, 0), treaty);
      EXPECT_EQ(treaty->getState(), uint32_t(TS_Accepted));
      EXPECT_EQ(treaty->getRefCount(), 2);  // the two lists
      EXPECT_EQ(a_->getProposedTreaty(b_), nullptr);
      EXPECT_EQ(b_->getProposedTreaty(a_), nullptr);
      for (empire* emp : {a_, b_}) {
        ScopedWriteLock guard(emp->locks[EA_Treaties]);
        emp->treaties[0]->release();
        emp->treaties.clear();
      }
    } else {
      EXPECT_EQ(standing(a_) + standing(b_), 0u);
      ITreaty* treaty = a_->getProposedTreaty(b_);
      ASSERT_NE(treaty, nullptr);
      EXPECT_EQ(b_->getProposedTreaty(a_), treaty);
      EXPECT_EQ(treaty->getState(), uint32_t(TS_Proposed));
      EXPECT_FALSE(treaty->isEnded());
      EXPECT_EQ(treaty->getRefCount(), 2);  // the two records
      EXPECT_TRUE(a_->setProposedTreaty(b_, nullptr));
      EXPECT_TRUE(b_->setProposedTreaty(a_, nullptr));
    }
  }
}

// A refused proposal leaves the treaty with the factory; the records are
// those from before, or cleared again when only the second was refused.
TEST_F(TreatyFactoryTest, RefusedRecordingsLeaveTheRecordsAsBefore) {
  struct Case {
    const char* name;
    bool aHoldsOld;  // B's earlier proposal is on A's side too
  };
  for (const Case& c : {Case{"both records taken", true}, Case{"only B's record taken", false}}) {
    SCOPED_TRACE(c.name);
    ITreaty* old = noteTreaty(b_, a_);
    ASSERT_TRUE(b_->setProposedTreaty(a_, old));
    if (c.aHoldsOld) {
      ASSERT_TRUE(a_->setProposedTreaty(b_, old));
    }

    auto* factory = new TreatyFactory(a_, b_);
    IClause* clause = createClause(L"note", false);
    factory->treaty->addClause(clause);
    clause->release();
    ITreaty* made = factory->getTreaty();
    made->addRef();
    EXPECT_FALSE(factory->propose());
    EXPECT_EQ(factory->getTreaty(), made);
    EXPECT_EQ(a_->getProposedTreaty(b_), c.aHoldsOld ? old : nullptr);
    EXPECT_EQ(b_->getProposedTreaty(a_), old);
    EXPECT_FALSE(old->isEnded());
    // A first record that had to be cleared again ended the treaty.
    EXPECT_EQ(made->isEnded(), !c.aHoldsOld);
    EXPECT_EQ(made->getRefCount(), 2);  // the factory and this test

    // With the way clear, the kept treaty is proposed again, unless it has
    // ended: an ended treaty would stay on A's side, unanswerable.
    EXPECT_TRUE(b_->setProposedTreaty(a_, nullptr));
    if (c.aHoldsOld) {
      EXPECT_TRUE(a_->setProposedTreaty(b_, nullptr));
    }
    EXPECT_EQ(factory->propose(), c.aHoldsOld);
    EXPECT_EQ(factory->getTreaty(), c.aHoldsOld ? nullptr : made);
    EXPECT_EQ(a_->getProposedTreaty(b_), c.aHoldsOld ? made : nullptr);
    EXPECT_EQ(b_->getProposedTreaty(a_), c.aHoldsOld ? made : nullptr);
    a_->setProposedTreaty(b_, nullptr);
    b_->setProposedTreaty(a_, nullptr);
    factory->release();
    EXPECT_EQ(made->getRefCount(), 1);
    EXPECT_EQ(old->getRefCount(), 1);
    made->release();
    old->release();
  }
}

// Treaties between missing, identical or invalid empires are refused as a
// recording would be: false, nothing filed, the treaty kept.
TEST_F(TreatyFactoryTest, TreatiesThatCannotStandAreRefused) {
  for (const bool offensive : {false, true}) {
    for (auto [from, to] : {std::pair(a_, a_), std::pair(a_, static_cast<empire*>(nullptr)),
                            std::pair(static_cast<empire*>(nullptr), b_), std::pair(a_, defaultEmpire())}) {
      TreatyFactory factory(from, to);
      IClause* clause = createClause(offensive ? L"strike" : L"note", false);
      factory.treaty->addClause(clause);
      clause->release();
      EXPECT_FALSE(factory.propose());
      EXPECT_NE(factory.getTreaty(), nullptr);
      EXPECT_EQ(jobCount(a_) + jobCount(b_), 0u);
      EXPECT_TRUE(a_->proposedTreaties.empty());
      EXPECT_TRUE(b_->proposedTreaties.empty());
    }
  }
}

TEST_F(TreatyFactoryTest, ASuccessfulProposeLetsGoOfTheTreaty) {
  EXPECT_EQ(run("proposeTwice", a_, b_, L"note"), "exception: No active treaty to propose");
  EXPECT_EQ(irr::core::stringc((*static_cast<ScriptString**>(
                                    server_->GetAddressOfGlobalVar(server_->GetGlobalVarIndexByName("afterSuccess"))))
                                   ->toStringw())
                .c_str(),
            std::string("true empty"));
  ASSERT_NE(a_->getProposedTreaty(b_), nullptr);
  EXPECT_EQ(a_->getProposedTreaty(b_)->getRefCount(), 2);

  // The handle a script kept follows the state.
  a_->setProposedTreaty(b_, nullptr);
  b_->setProposedTreaty(a_, nullptr);
  EXPECT_EQ(run("proposedStates", a_, b_, L"note"), "true false / true false");
  EXPECT_EQ(run("proposedStates", b_, c_, L"strike"), "true false / false true");
}

TEST_F(TreatyFactoryTest, TreatyRows) {
  for (asIScriptModule* module : {server_, client_}) {
    SCOPED_TRACE(module == server_ ? "server" : "client");
    EXPECT_EQ(runObjects(module, "string@ rows(Empire@,Empire@)", {a_, b_}),
              "note 1 null null same true false true true 1 strike 0 cleared");
  }

  // isProposed and isActive by state.
  ITreaty* treaty = noteTreaty(a_, b_);
  for (auto [state, expected] : {std::pair(TS_Proposed, "true false"), std::pair(TS_Accepted, "false true"),
                                 std::pair(TS_Rejected, "false false")}) {
    treaty->setState(state);
    EXPECT_EQ(runObjects(server_, "string@ states(Treaty@)", {treaty}), expected);
  }

  // Every treaty and clause a script touched is back at its count.
  IClause* held = treaty->getClause(0);
  held->addRef();
  for (asIScriptModule* module : {server_, client_}) {
    EXPECT_EQ(runObjects(module, "void touch(Treaty@)", {treaty}), "finished");
    EXPECT_EQ(treaty->getRefCount(), 1);
    EXPECT_EQ(treaty->getClauseCount(), 1u);
    EXPECT_EQ(held->getRefCount(), 2);
  }
  held->release();
  treaty->release();
}

// On a network client the proposal goes to the server once, after both
// records were made; a refused one is not sent, and an all-offensive one is
// sent before it is activated.
TEST_F(TreatyFactoryTest, AClientSendsAProposalOnce) {
  becomeClient();
  EXPECT_EQ(run("propose", a_, b_, L"note"), "true empty");
  ASSERT_EQ(sent_.size(), 1u);
  ASSERT_GE(sent_[0].bytes.size(), 5u);
  EXPECT_EQ(sent_[0].bytes[0], 133);
  EXPECT_EQ(sent_[0].bytes[1], 0);
  EXPECT_EQ(sent_[0].bytes[2], a_->ID);  // the record: from, to, one clause
  EXPECT_EQ(sent_[0].bytes[3], b_->ID);
  EXPECT_EQ(sent_[0].bytes[4], 1);
  EXPECT_EQ(sent_[0].channel, 8);
  EXPECT_EQ(sent_[0].reliability, RakNet::PacketReliability(3));
  EXPECT_TRUE(sent_[0].bothRecorded);

  // B's record for C is taken: refused, nothing sent.
  sent_.clear();
  ITreaty* old = noteTreaty(c_, b_);
  ASSERT_TRUE(c_->setProposedTreaty(b_, old));
  ASSERT_TRUE(b_->setProposedTreaty(c_, old));
  EXPECT_EQ(run("propose", c_, b_, L"note"), "false holding");
  EXPECT_TRUE(sent_.empty());
  old->release();

  EXPECT_EQ(run("propose", a_, c_, L"strike"), "true empty");
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].bytes[1], 0);
  EXPECT_EQ(sent_[0].jobsQueued, 0u);
  EXPECT_EQ(jobCount(a_), 1u);
  EXPECT_EQ(jobCount(c_), 1u);
}

}  // namespace

}  // namespace treaty_factory_test
