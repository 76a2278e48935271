// Empire AI from scripts: "registerEmpireData" of module "empire_ai" as
// empires are registered, regScriptData and registerEmpireAI with each of
// their outcomes and log lines, the AI's tick in the frame loop's empire
// ticks, and sessions one after another in one process.
#include "scriptapi/empire_ai.h"

#include <string>

#include "app/base/session_state.h"
#include "app/frame_loop.h"
#include "app/session_workers.h"
#include "core/log.h"
#include "core/timer.h"
#include "script/script_xml_io.h"
#include "script_session.h"
#include "support/fake_engine_logger.h"

namespace empire_ai_test {

using namespace AngelScript;
using scriptapitest::call;

namespace {

const char kEmpireAI[] = R"(
class Brain {
  Brain(Empire@ emp) { emp.setSetting("made", emp.getSetting("made") + 1); }
  void tick(Empire@ emp, float seconds) {
    emp.setSetting("ticks", emp.getSetting("ticks") + 1);
    emp.setSetting("seconds", emp.getSetting("seconds") + seconds);
    emp.setSetting("activeInTick", getActiveEmpire() is emp ? 1 : 0);
  }
}
class Mute {
  Mute(Empire@ emp) {}
}
class Greedy {
  Greedy(Empire@ emp) { emp.regScriptData("empire_ai", "Brain"); }
  void tick(Empire@ emp, float seconds) {}
}
class Unmakeable {
  Unmakeable() {}
}
class Failing {
  Failing(Empire@ emp) { int zero = 0; zero = 1 / zero; }
}
class Saved {
  Saved(Empire@ emp) { emp.setSetting("level", -1); }
  Saved(Empire@ emp, XMLReader@ xml) {
    while (xml.advance())
      if (xml.getNodeType() == XN_Element)
        emp.setSetting("level", s_to_f(xml.getAttributeValue("level")));
  }
  void tick(Empire@ emp, float seconds) {}
}

void registerEmpireData(Empire@ emp) {
  emp.setSetting("registeredAsActive", getActiveEmpire() is emp ? 1 : 0);
  emp.regScriptData("empire_ai", "Brain");
}
)";

const char* typeName(const empire* emp) {
  return emp->aiObject != nullptr ? emp->aiObject->GetObjectType()->GetName() : "none";
}

std::string noDiplomacy(const char* className) {
  return std::string("Empire AI: No ") + className + "::onDiplomaticMessage(Empire@,Empire@,DiploMsg@)\n";
}

class EmpireAITest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({{"empire_ai", kEmpireAI}});
  }
};

TEST_F(EmpireAITest, RegisteringAnEmpireRunsRegisterEmpireDataAsThatEmpire) {
  empire* special = registerEmpire(new empire, true);  // special: not run
  EXPECT_EQ(special->aiObject, nullptr);
  EXPECT_EQ(special->getSetting(L"made"), 0.0f);

  activeEmpire = special;
  LogCapture log;
  empire* emp = registerEmpire(new empire);
  EXPECT_EQ(activeEmpire, special);  // restored
  EXPECT_EQ(emp->getSetting(L"registeredAsActive"), 1.0f);
  EXPECT_STREQ(typeName(emp), "Brain");
  EXPECT_EQ(emp->getSetting(L"made"), 1.0f);
  EXPECT_GE(emp->aiTickFunction, 0);
  EXPECT_EQ(emp->aiMessageFunction, -1);  // there is no diplomacy type yet
  EXPECT_EQ(log.take(), noDiplomacy("Brain"));
}

void noWork() {}
void noModuleTick(float) {}

// Each simulation frame ticks every empire's AI with the frame's game
// seconds, as the active empire; after the ticks the local player's empire
// is active again (none on a dedicated server).
TEST_F(EmpireAITest, TheAIsTickRunsInEachSimulationFramesEmpireTicks) {
  LogCapture log;
  empire* player = registerEmpire(new empire);
  empire* rival = registerEmpire(new empire);
  pendingPlayerEmpire = player;
  activeEmpire = player;
  resetSessionFlags(false);
  HiresTimer timer;
  SessionWorkers workers(WorkerTasks{noWork, noWork, noModuleTick}, true);
  FrameLoop loop(timer, workers, nullptr);
  for (const float step : {0.25f, 0.0f, 0.5f}) {
    gameFrameTime = step;
    realFrameTime = static_cast<float>(framePeriod());
    loop.runSimulationFrame();
    EXPECT_EQ(activeEmpire, player) << step;
  }
  for (empire* emp : {player, rival}) {
    EXPECT_EQ(emp->getSetting(L"ticks"), 2.0f);  // a frame without game time ticks nothing
    EXPECT_EQ(emp->getSetting(L"seconds"), 0.75f);
    EXPECT_EQ(emp->getSetting(L"activeInTick"), 1.0f);
  }

  pendingPlayerEmpire = nullptr;
  gameFrameTime = 0.1f;
  realFrameTime = static_cast<float>(framePeriod());
  loop.runSimulationFrame();
  EXPECT_EQ(activeEmpire, nullptr);
  EXPECT_EQ(rival->getSetting(L"ticks"), 3.0f);
  gameSpeed = 1.0;
}

// regScriptData from a script of either engine (the class is always the
// server engine's), with each outcome logged at its level: errors stay when
// the log shows errors only, warnings do not.
TEST_F(EmpireAITest, RegScriptDataOutcomesAndTheirLogLines) {
  const struct {
    const char* module;
    const char* className;
    bool keepFirstAI;  // the empire keeps the AI registerEmpireData gave it
    bool client;       // called from a client script
    std::string errors;
    std::string warnings;
    const char* attached;  // the AI's class afterwards
  } cases[] = {
      {"empire_ai", "Mute", true, false, "Empire already has an AI\n", "", "Brain"},
      {"x", "Brain", false, false, "Module 'x' doesn't exist when registering empire AI\n", "", "none"},
      {"empire_ai", "Nobody", false, false, "Empire AI: Invalid object type 'Nobody'\n", "", "none"},
      {"empire_ai", "string", false, false, "Empire AI: Invalid object type 'string'\n", "", "none"},
      {"empire_ai", "Unmakeable", false, false, "No matching factory function Unmakeable(Empire@)\n", "", "none"},
      {"empire_ai", "Mute", false, false, "", "Empire AI: No Mute::tick(Empire@,float)\n" + noDiplomacy("Mute"),
       "Mute"},
      {"empire_ai", "Mute", false, true, "", "Empire AI: No Mute::tick(Empire@,float)\n" + noDiplomacy("Mute"),
       "Mute"},
      // The factory asking for the same empire's AI is refused.
      {"empire_ai", "Greedy", false, false, "Empire already has an AI\n", noDiplomacy("Greedy"), "Greedy"},
  };
  irr::ILogger* const previousLogger = engineLogger();
  FakeEngineLogger logger;
  setEngineLogger(&logger);
  empire* emp = registerEmpire(new empire);
  for (const irr::ELOG_LEVEL level : {irr::ELL_INFORMATION, irr::ELL_ERROR}) {
    logger.level = level;
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.module << " " << c.className << (c.client ? " client" : "") << " level "
                                      << level);
      emp->releaseAI();
      if (c.keepFirstAI)
        registerEmpireAI(L"empire_ai", emp, L"Brain", nullptr);
      asIScriptEngine* engine = c.client ? clientScriptEngine : serverScriptEngine;
      asIScriptModule* module = build(engine, "attach",
                                      std::string("void attach(Empire@ emp) { emp.regScriptData(\"") + c.module +
                                          "\", \"" + c.className + "\"); }\n");
      LogCapture log;
      EXPECT_EQ(call(module, "void attach(Empire@)", emp), "finished");
      EXPECT_EQ(log.take(), level == irr::ELL_ERROR ? c.errors : c.errors + c.warnings);
      EXPECT_STREQ(typeName(emp), c.attached);
      if (emp->aiObject != nullptr) {
        EXPECT_EQ(emp->aiObject->GetEngine(), serverScriptEngine);
      }
      const std::string attached = c.attached;
      EXPECT_EQ(emp->aiTickFunction >= 0, attached == "Brain" || attached == "Greedy");
    }
  }
  setEngineLogger(previousLogger);
}

TEST_F(EmpireAITest, AFailingFactoryAttachesNothing) {
  empire* emp = registerEmpire(new empire);
  emp->releaseAI();
  LogCapture log;
  registerEmpireAI(L"empire_ai", emp, L"Failing", nullptr);
  EXPECT_NE(log.take().find("Divide by zero"), std::string::npos);
  EXPECT_STREQ(typeName(emp), "none");
  EXPECT_EQ(emp->aiTickFunction, -1);
}

// Loading gives the saved XML to the class's reader factory; a class
// without one is made by its plain factory, without the XML.
TEST_F(EmpireAITest, AReaderGoesToTheReaderFactory) {
  empire* emp = registerEmpire(new empire);
  auto* reader = new ScriptXmlReader("<ai level=\"3\"/>");
  const struct {
    const wchar_t* className;
    std::string log;
    const char* setting;
    float value;
  } cases[] = {
      {L"Saved", noDiplomacy("Saved"), "level", 3.0f},
      {L"Brain", "No matching factory function Brain(Empire@,XMLReader@)\n" + noDiplomacy("Brain"), "made", 2.0f},
  };
  for (const auto& c : cases) {
    emp->releaseAI();
    LogCapture log;
    registerEmpireAI(L"empire_ai", emp, c.className, reader);
    EXPECT_EQ(log.take(), c.log);
    EXPECT_EQ(emp->getSetting(c.setting), c.value);
    EXPECT_EQ(reader->getReferenceCount(), 1);  // the call kept none
  }
  reader->drop();

  LogCapture log;
  registerEmpireAI(L"empire_ai", nullptr, L"Brain", nullptr);
  EXPECT_NE(log.take(), "");
}

// Each session has engines of its own: "registerEmpireData" and the AI's
// tick are found afresh in each, though their ids differ between them.
TEST_F(EmpireAITest, SessionsOneAfterAnotherRunTheirOwnScripts) {
  endSession();
  for (int session = 1; session <= 3; ++session) {
    SCOPED_TRACE(session);
    std::string code;
    for (int filler = 0; filler < session * 2; ++filler)  // moves the ids of what follows
      code += "void filler" + std::to_string(filler) + "(Empire@ e) { e.setSetting(\"filler\", 1); }\n";
    const std::string number = std::to_string(session);
    code += "class Brain" + number + " {\n  Brain" + number +
            "(Empire@ e) {}\n"
            "  void tick(Empire@ e, float s) { e.setSetting(\"ticked" +
            number +
            "\", s); }\n}\n"
            "void registerEmpireData(Empire@ e) {\n  e.setSetting(\"session\", " +
            number + ");\n  e.regScriptData(\"empire_ai\", \"Brain" + number + "\");\n}\n";
    startSession({{"empire_ai", code}});
    LogCapture log;
    empire* emp = registerEmpire(new empire);
    emp->tick(0.5f);
    EXPECT_EQ(emp->getSetting(L"session"), static_cast<float>(session));
    EXPECT_EQ(emp->getSetting(irr::core::stringw(L"ticked") + number.c_str()), 0.5f);
    EXPECT_EQ(emp->getSetting(L"filler"), 0.0f);
    EXPECT_EQ(log.take(), noDiplomacy(("Brain" + number).c_str()));
    endSession();
  }
}

// The default empire stands for "no empire" for the whole process: it is
// never ticked nor cleared with a session, so an AI object would outlive
// the session's engine.
TEST_F(EmpireAITest, TheDefaultEmpireTakesNoAI) {
  asIScriptModule* module = build(serverScriptEngine, "attach",
                                  "void attach() { getEmpireByID(-1).regScriptData(\"empire_ai\", \"Brain\"); }\n");
  LogCapture log;
  EXPECT_EQ(call(module, "void attach()"), "finished");
  EXPECT_EQ(log.take(), "Empire AI: The default empire cannot have an AI\n");
  EXPECT_EQ(defaultEmpire()->aiObject, nullptr);
}

}  // namespace

}  // namespace empire_ai_test
