// Diplomacy from scripts: the DiploMsg record and enumerations, sendMessage
// on a local game and on a server, and the empire step handing
// received messages to a script AI and letting finished ones go.
#include "scriptapi/diplomacy_script_types.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "empire/diplomacy/diplo_msg.h"
#include "empire/diplomacy/diplomacy_texts.h"
#include "empire/empire.h"
#include "net/diplomacy_messages.h"
#include "net/network_manager.h"
#include "scriptapi/empire_ai.h"
#include "script_session.h"
#include "support/log_capture.h"
#include "support/sent_messages.h"

namespace diplomacy_script_types_test {

using namespace AngelScript;
using scriptapitest::call;

namespace {

const char kScripts[] = R"(
class Listener {
  Listener(Empire@ emp) {}
  void onDiplomaticMessage(Empire@ emp, Empire@ from, DiploMsg@ msg) {
    emp.setSetting("heard", emp.getSetting("heard") + 1);
    if (from is getEmpireByID(int(emp.getSetting("sender"))))
      emp.setSetting("fromRight", emp.getSetting("fromRight") + 1);
    if (emp.getSetting("heard") >= emp.getSetting("finishAt"))
      msg.finish();
  }
}
void answer(DiploMsg@ msg) { msg.setResponse(false); msg.finish(); }
int topicOf(DiploMsg@ msg) { return int(msg.getTopic()); }
bool enumValues() {
  return int(DT_War) == 6 && DM_Demanding == DM_Angry && DM_Begging == DM_Happy && int(DA_Aggressive) == 2
      && int(DT_Count) == 11 && int(DT_Accept) == 9;
}
void declareWar(Empire@ from) { from.sendMessage(getEmpireByID(4), DT_War, DM_Angry, DA_Aggressive, "Bob"); }
void proposeTrade(Empire@ from) { from.sendMessage(getEmpireByID(4), DT_Trade, DM_Neutral, DA_Neutral); }
void sendToNobody(Empire@ from) { from.sendMessage(null, DT_War, DM_Angry, DA_Aggressive); }
)";

const wchar_t kHeader[] = L"#link:e3#The #c:FF8C0000#Vega#c# Empire has sent us a message:#link# ";

// Runs `declaration` (one DiploMsg@ parameter) with `message`; its int
// result, or -1 for a function returning nothing.
int runWithMessage(asIScriptModule* module, const char* declaration, DiploMsg* message) {
  asIScriptFunction* function = module->GetFunctionByDecl(declaration);
  EXPECT_NE(function, nullptr) << declaration;
  if (function == nullptr)
    return -2;
  asIScriptContext* context = createScriptContext(module->GetEngine());
  context->Prepare(function);
  context->SetArgObject(0, message);
  EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
  const int result = function->GetReturnTypeId() == asTYPEID_VOID ? -1 : static_cast<int>(context->GetReturnDWord());
  context->Release();
  return result;
}

void addResponse(uint32_t topic, uint32_t mood, uint32_t attitude, const wchar_t* text) {
  DiplomacyResponse response;
  const uint32_t strings = compileDiplomacyResponse(text, response);
  diplomacyTexts[topic][mood][attitude][strings].push_back(response);
}

class DiplomacyScriptTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({{"empire_ai", kScripts}});
    module_ = serverScriptEngine->GetModule("empire_ai");
    clearDiplomacyTexts();
    addResponse(DT_War, DM_Angry, DA_Aggressive, L"[otherEmpire], your end comes. [s1] agrees.");
    addResponse(DT_Trade, DM_Neutral, DA_Neutral, L"Let us trade.");
    nextEmpireID = 3;
    vega_ = registerEmpire(new empire);
    vega_->name = L"Vega";
    vega_->color = 0xFF8C0000u;
    orin_ = registerEmpire(new empire);
    orin_->name = L"Orin";
  }
  void TearDown() override {
    networkManager->isHosting = false;
    networkManager->isServer = false;
    clearDiplomacyOffers();
    clearDiplomacyTexts();
    ScriptSessionTest::TearDown();
  }

  // Attaches the Listener AI to `emp`: it finishes a message on the
  // `finishAt`th call it hears.
  void attachListener(empire* emp, float finishAt) {
    emp->setSetting(L"finishAt", finishAt);
    LogCapture log;
    registerEmpireAI(L"empire_ai", emp, L"Listener", nullptr);
    EXPECT_NE(emp->aiObject, nullptr);
    // The class has both methods it may have but tick: no warning of a
    // missing message method.
    EXPECT_EQ(log.take(), "Empire AI: No Listener::tick(Empire@,float)\n");
  }

  std::vector<std::wstring> miscTexts(empire* emp) {
    std::vector<std::wstring> texts;
    for (const EmpireMessage& message : emp->messages)
      if (*message.category == L"misc")
        texts.emplace_back(message.text.c_str());
    return texts;
  }

  asIScriptModule* module_ = nullptr;
  empire* vega_ = nullptr;
  empire* orin_ = nullptr;
};

TEST_F(DiplomacyScriptTest, TheRecordAndEnumerationsAsScriptsSeeThem) {
  asIScriptFunction* enums = module_->GetFunctionByDecl("bool enumValues()");
  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(enums);
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_TRUE(context->GetReturnByte());
  context->Release();

  DiploMsg message(DT_Peace, vega_);
  EXPECT_EQ(runWithMessage(module_, "int topicOf(DiploMsg@)", &message), DT_Peace);
  runWithMessage(module_, "void answer(DiploMsg@)", &message);
  EXPECT_EQ(message.response, static_cast<uint32_t>(DR_Rejected));
  EXPECT_TRUE(message.finished);
}

TEST_F(DiplomacyScriptTest, ALocalDeclarationOfWarTellsAndQueues) {
  EXPECT_EQ(call(module_, "void declareWar(Empire@)", vega_), "finished");
  const std::wstring expected = std::wstring(kHeader) + L"Orin, your end comes. Bob agrees.";
  EXPECT_EQ(miscTexts(orin_), std::vector<std::wstring>{expected});
  EXPECT_TRUE(vega_->messages.empty());

  runEmpireJobs(orin_);
  ASSERT_EQ(orin_->diplomacyMessages.size(), 1u);
  const DiploMsg* queued = orin_->diplomacyMessages.front();
  EXPECT_EQ(queued->topic, static_cast<uint32_t>(DT_War));
  EXPECT_EQ(queued->sender, vega_);
  EXPECT_FALSE(queued->finished);
  EXPECT_TRUE(orin_->isEnemy(vega_));
  EXPECT_TRUE(vega_->isEnemy(orin_));
  EXPECT_FALSE(orin_->getRelation(vega_)->allied);

  // Other topics are told but not queued.
  EXPECT_EQ(call(module_, "void proposeTrade(Empire@)", vega_), "finished");
  runEmpireJobs(orin_);
  EXPECT_EQ(orin_->diplomacyMessages.size(), 1u);
  EXPECT_EQ(miscTexts(orin_).back(), std::wstring(kHeader) + L"Let us trade.");

  // Nobody to send to changes nothing.
  EXPECT_EQ(call(module_, "void sendToNobody(Empire@)", vega_), "finished");
  EXPECT_EQ(miscTexts(orin_).size(), 2u);
  EXPECT_TRUE(orin_->jobs.empty());
}

TEST_F(DiplomacyScriptTest, AServerKeepsMessagesToEmpiresNoPlayerInTheGameControls) {
  networkManager->isServer = true;
  std::vector<SentMessage> sent;
  captureSends(sent);
  RakNet::SystemAddress address;
  address.binaryAddress = 0x0100007F;
  address.port = 4000;
  const auto setPlayer = [&](empire* emp, uint8_t hasGalaxy) {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    networkManager->players.clear();
    if (emp == nullptr)
      return;
    NetPlayer& player = networkManager->players[77];
    player.address = address;
    player.emp = emp;
    player.hasGalaxy = hasGalaxy;
  };
  // Who is listed decides, not the controlled flag: an empire whose player
  // left (or has not the galaxy yet) keeps its messages as an AI's does.
  struct Case {
    bool controlled;
    empire* playerEmpire;
    uint8_t hasGalaxy;
    bool overNetwork;
  } const cases[] = {
      {false, nullptr, 0, false},
      {true, nullptr, 0, false},  // the player has left
      {true, orin_, 0, false},    // still joining
      {true, vega_, 1, false},    // a player of another empire
      {true, orin_, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.controlled << " " << (c.playerEmpire != nullptr) << " " << int(c.hasGalaxy));
    orin_->playerControlled = c.controlled;
    setPlayer(c.playerEmpire, c.hasGalaxy);
    const size_t textsBefore = miscTexts(orin_).size();
    const size_t jobsBefore = orin_->jobs.size();
    sent.clear();
    sendDiplomaticMessage(vega_, orin_, DT_War, DM_Angry, DA_Aggressive, nullptr);
    if (c.overNetwork) {
      // {132, Vega's ID, topic}: in the name of the script's empire.
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{132, 3, 0, 0, 0, 6}));
      EXPECT_EQ(sent[0].target, address);
      EXPECT_EQ(miscTexts(orin_).size(), textsBefore);
      EXPECT_EQ(orin_->jobs.size(), jobsBefore);
    } else {
      // No 132 goes out (the "misc" post may tell the empire's player, 131).
      for (const SentMessage& message : sent)
        EXPECT_NE(message.bytes.at(0), 132);
      EXPECT_EQ(miscTexts(orin_).size(), textsBefore + 1);
      EXPECT_EQ(orin_->jobs.size(), jobsBefore + 1);
    }
  }
  setPlayer(nullptr, 0);
  stopCapturingSends();
}

TEST_F(DiplomacyScriptTest, TheAIHearsAMessageEachStepUntilItFinishesIt) {
  attachListener(orin_, 3);
  orin_->setSetting(L"sender", vega_->ID);
  orin_->queueDiplomacyMessage(new DiploMsg(DT_Greetings, vega_));
  for (int frame = 1; frame <= 3; ++frame) {
    orin_->tick(0.1f);
    EXPECT_EQ(orin_->getSetting(L"heard"), static_cast<float>(frame));
    EXPECT_EQ(orin_->diplomacyMessages.size(), frame < 3 ? 1u : 0u) << frame;
  }
  EXPECT_EQ(orin_->getSetting(L"fromRight"), 3.0f);
  orin_->tick(0.1f);
  EXPECT_EQ(orin_->getSetting(L"heard"), 3.0f);
}

TEST_F(DiplomacyScriptTest, WithoutAnAIAFinishedMessageIsAppliedAtTheNextStep) {
  vega_->getRelation(orin_)->enemy = true;
  orin_->getRelation(vega_)->enemy = true;
  addResponse(DT_Accept, DM_Neutral, DA_Aggressive, L"Agreed.");
  orin_->queueDiplomacyMessage(new DiploMsg(DT_Peace, vega_));
  orin_->tick(0.1f);
  ASSERT_EQ(orin_->diplomacyMessages.size(), 1u);
  orin_->diplomacyMessages.front()->setResponse(true);
  orin_->diplomacyMessages.front()->finish();
  orin_->tick(0.1f);
  EXPECT_TRUE(orin_->diplomacyMessages.empty());
  EXPECT_FALSE(orin_->isEnemy(vega_));
  EXPECT_FALSE(vega_->isEnemy(orin_));
  ASSERT_FALSE(orin_->messages.empty());
  EXPECT_EQ(*orin_->messages.back().category, L"diplomacy");
  EXPECT_EQ(orin_->messages.back().text, L"Agreed.");
}

// The empires own what is queued on them: the session's end frees queued
// messages and unrun delivery jobs (the leak checker of the sanitizer
// build sees the rest).
TEST_F(DiplomacyScriptTest, MessagesStillQueuedAtSessionEndAreFreed) {
  orin_->queueDiplomacyMessage(new DiploMsg(DT_Peace, vega_));
  runEmpireJobs(orin_);
  orin_->queueDiplomacyMessage(new DiploMsg(DT_War, vega_));
  vega_->queueDiplomacyMessage(new DiploMsg(DT_Greetings, orin_));
  EXPECT_EQ(orin_->diplomacyMessages.size(), 1u);
  EXPECT_EQ(orin_->jobs.size(), 1u);
}

// Four threads send to one empire while its step runs: every message
// reaches the AI once.
TEST_F(DiplomacyScriptTest, MessagesQueuedFromManyThreadsEachReachTheAIOnce) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 1000;
  attachListener(orin_, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([this] {
      for (int i = 0; i < kPerThread; ++i)
        orin_->queueDiplomacyMessage(new DiploMsg(DT_Greetings, vega_));
    });
  for (int frame = 0; frame < 200; ++frame)
    orin_->tick(0.01f);
  for (std::thread& thread : threads)
    thread.join();
  orin_->tick(0.01f);
  EXPECT_TRUE(orin_->diplomacyMessages.empty());
  EXPECT_EQ(orin_->getSetting(L"heard"), static_cast<float>(kThreads * kPerThread));
}

}  // namespace

}  // namespace diplomacy_script_types_test
