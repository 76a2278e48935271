// GUI script modules in a prepared session (the saved-game harness's mod and
// map): init failures remove their modules, tick hooks get profiler labels,
// save hooks write their blocks just before the server modules' records and
// the saved game hands them back, an oversized block is left out with one
// error line; and the link hooks that scripts name with "hookLink".
#include <angelscript.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/saved_game.h"
#include "core/timer.h"
#include "gui/extended_text.h"
#include "gui/richtext/gui_link.h"
#include "gui/script/gui_modules.h"
#include "saved_game_harness.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "session_fixture.h"
#include "support/log_capture.h"

namespace gui_modules_test {

namespace {

using namespace AngelScript;
using saved_game_harness::Harness;

std::vector<std::string> marks;

void mark(const ScriptString& text) { marks.push_back(irr::core::stringc(text.toStringw()).c_str()); }

size_t count(const std::string& text, const std::string& part) {
  size_t found = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++found;
  return found;
}

class GuiModulesTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    saved_game_harness::installMod();
    harness_.beginSession();
    ASSERT_NE(clientScriptEngine, nullptr);
    ASSERT_GE(clientScriptEngine->RegisterGlobalFunction("void mark(const string &in)", asFUNCTION(mark),
                                                         asCALL_CDECL),
              0);
    marks.clear();
  }
  void TearDown() override {
    clearGuiModules();
    clearLinkHooks();
    harness_.endSession();
    SessionTest::TearDown();
  }

  // Builds `code` as client module `name` and loads it as a GUI module, as
  // the script set-up does with a GUI script.
  static void addGuiModule(const char* name, const std::string& code) {
    LogCapture log;
    asIScriptModule* module = clientScriptEngine->GetModule(name, asGM_ALWAYS_CREATE);
    ASSERT_GE(module->AddScriptSection(name, code.c_str(), code.size()), 0);
    ASSERT_GE(module->Build(), 0) << log.take();
    loadGuiModules(name);
  }

  static std::vector<std::string> moduleNames() {
    std::vector<std::string> names;
    for (const auto& module : guiModules)
      names.push_back(module.name.c_str());
    return names;
  }

  static void runClient(const char* module, const char* declaration) {
    asIScriptFunction* function = clientScriptEngine->GetModule(module)->GetFunctionByDecl(declaration);
    ASSERT_NE(function, nullptr);
    asIScriptContext* context = threadClientContext();
    ASSERT_EQ(context->Prepare(function), asSUCCESS);
    EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
    endScriptCall(context);
  }

  bool loadBytes(const std::vector<uint8_t>& bytes) {
    harness_.endGame();
    const std::filesystem::path path = std::filesystem::path(userFolders.saves.c_str()) / "gui.qvs";
    saved_game_harness::writeFileBytes(path, bytes);
    return loadSavedGame(path.c_str());
  }

  Harness harness_;
};

const char kTinyMap[] = CORVANE_SOURCE_DIR "/tests/app/maps/tiny.as";

TEST_F(GuiModulesTest, FailingInitsAreRemovedAndOnlyTickHooksGetLabels) {
  const unsigned labelsBefore = guiModuleProfiler().sectionCount();
  addGuiModule("first", "void init() { mark(\"first\"); }\nvoid tick(float) {}");
  addGuiModule("thrower", "void init() { mark(\"thrower\"); int z = 0; z = 1 / z; }\nvoid tick(float) {}");
  addGuiModule("stale", "void init() {}");
  guiModules.back().initFunc = 99999;  // an id that names no function: cannot be prepared
  addGuiModule("third", "void init() { mark(\"third\"); }");
  addGuiModule("noinit", "void tick(float) {}\nvoid onSaveFileWrite(XMLWriter@) {}");
  loadGuiModules("absent");

  ASSERT_EQ(guiModules.size(), 6u);
  EXPECT_GE(guiModules[0].tickProfileId, 0);
  EXPECT_EQ(guiModules[3].tickProfileId, -1);  // no tick hook, no label
  EXPECT_EQ(guiModules[5].initFunc, asNO_MODULE);
  EXPECT_EQ(guiModules[5].tickFunc, asNO_MODULE);
  EXPECT_EQ(guiModules[5].saveFunc, asNO_MODULE);
  EXPECT_EQ(guiModules[5].tickProfileId, -1);
  EXPECT_EQ(guiModuleProfiler().sectionCount(), labelsBefore + 3);

  LogCapture log;
  initGuiModules();
  const std::string logged = log.take();
  EXPECT_EQ(moduleNames(), (std::vector<std::string>{"first", "third", "noinit", "absent"}));
  EXPECT_EQ(marks, (std::vector<std::string>{"first", "thrower", "third"}));
  EXPECT_EQ(count(logged, "GUI Module 'thrower' had a problem running void init()\n"), 1u);
  EXPECT_EQ(count(logged, "GUI Module 'stale' failed to prepare for the void init() call\n"), 1u);
  EXPECT_GE(guiModules[2].saveFunc, 0);  // kept with its other hooks
}

TEST_F(GuiModulesTest, BlocksStandBeforeTheServerRecordsAndLoadBack) {
  addGuiModule("panel",
               "void onSaveFileWrite(XMLWriter@ xml) { xml.addElement(\"a\", true); }\n"
               "void onSaveFileLoad(XMLReader@ xml) { xml.advance(); mark(\"panel \" + xml.getNodeName()); }");
  addGuiModule("quiet", "void onSaveFileWrite(XMLWriter@ xml) {}\nvoid onSaveFileLoad(XMLReader@) { mark(\"q\"); }");
  harness_.startGame(kTinyMap);
  initGuiModules();
  const std::vector<uint8_t> bytes = Harness::writeToMemory();
  const std::string saved(bytes.begin(), bytes.end());

  // Marker 0, the XML's length (12), the name's length and the name, the
  // XML ("<a />" in UTF-16 after its byte-order mark); then the server
  // module's record.
  const std::string xml = std::string("\xFF\xFE", 2) + std::string("<\0a\0 \0/\0>\0", 10);
  const std::string block = std::string("\0\x0C\0\0\0\x05\0", 7) + "panel" + xml;
  const std::string ledger = std::string("\x06\0", 2) + "ledger";
  const size_t at = saved.find(block);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(saved.find(block, at + 1), std::string::npos);
  const size_t after = at + block.size();
  ASSERT_GE(saved.size(), after + 5 + ledger.size());
  EXPECT_EQ(saved[after], '\x01');
  EXPECT_EQ(saved.substr(after + 5, ledger.size()), ledger);
  EXPECT_EQ(saved.find("quiet"), std::string::npos);  // wrote nothing: no block

  LogCapture log;
  EXPECT_TRUE(loadBytes(bytes)) << log.take();
  EXPECT_EQ(marks, (std::vector<std::string>{"panel a"}));
}

TEST_F(GuiModulesTest, AModuleWritingTooMuchGetsNoBlockAndTheSaveLoads) {
  // 600,000 units of text: 1,200,000 bytes of UTF-16.
  addGuiModule("huge",
               "void onSaveFileWrite(XMLWriter@ xml) { string s = \"a\";\n"
               "  while (s.length() < 600000) s += s; s.resize(600000);\n"
               "  xml.addElement(\"t\", false); xml.addText(s); xml.closeTag(\"t\"); }\n"
               "void onSaveFileLoad(XMLReader@) { mark(\"huge\"); }");
  addGuiModule("small",
               "void onSaveFileWrite(XMLWriter@ xml) { xml.addElement(\"s\", true); }\n"
               "void onSaveFileLoad(XMLReader@ xml) { xml.advance(); mark(\"small \" + xml.getNodeName()); }");
  harness_.startGame(kTinyMap);
  std::vector<uint8_t> bytes;
  {
    LogCapture log;
    bytes = Harness::writeToMemory();
    const std::string logged = log.take();
    EXPECT_EQ(count(logged, "\n"), 1u) << logged;
    EXPECT_EQ(count(logged, "GUI Module 'huge' wrote 1,000,000 bytes or more"), 1u) << logged;
  }
  const std::string saved(bytes.begin(), bytes.end());
  EXPECT_EQ(saved.find("huge"), std::string::npos);
  EXPECT_LT(bytes.size(), 1000000u);

  LogCapture log;
  EXPECT_TRUE(loadBytes(bytes)) << log.take();
  EXPECT_EQ(marks, (std::vector<std::string>{"small s"}));
}

TEST_F(GuiModulesTest, LinkHooksNamedByScriptsRunWithTheLinkValue) {
  addGuiModule("links",
               "void onA(string@ v) { mark(\"A \" + (v is null ? \"null\" : v)); }\n"
               "void onB(string@ v) { mark(\"B \" + v); }\n"
               "void wrong(int) {}\n"
               "void setup() {\n"
               "  hookLink(\"\", \"onA\"); hookLink(\"x\", \"wrong\"); hookLink(\"x\", \"missing\");\n"
               "  hookLink(\"go\", \"onA\"); hookLink(\"go\", \"onB\"); hookLink(\"none\", \"onA\");\n"
               "}");
  {
    LogCapture log;
    runClient("links", "void setup()");
    EXPECT_EQ(log.take(), "");  // names that fit nothing are not reported
  }
  EXPECT_FALSE(hasLinkHook(L""));
  EXPECT_FALSE(hasLinkHook(L"x"));
  EXPECT_TRUE(hasLinkHook(L"go"));

  const irr::core::stringw seven(L"7");
  runLinkHook(L"go", &seven);  // the second hook of the name
  runLinkHook(L"none", nullptr);
  runLinkHook(L"unknown", &seven);
  EXPECT_EQ(marks, (std::vector<std::string>{"B 7", "A null"}));

  // Through a clicked link: press and release on it.
  marks.clear();
  irr::gui::CGUIExtendedText* text = addExtendedText(engine.gui, irr::core::recti(0, 0, 400, 100), nullptr, -1);
  text->setText(L"#link:h:go:7#press me#link# #link:h:none#or me#link#");
  ASSERT_EQ(text->links().size(), 2u);
  for (irr::gui::CGUILink* link : text->links()) {
    irr::SEvent event{};
    event.EventType = irr::EET_MOUSE_INPUT_EVENT;
    const irr::core::position2di at = link->getAbsolutePosition().getCenter();
    event.MouseInput.X = at.X;
    event.MouseInput.Y = at.Y;
    event.MouseInput.Event = irr::EMIE_LMOUSE_PRESSED_DOWN;
    EXPECT_TRUE(link->OnEvent(event));
    event.MouseInput.Event = irr::EMIE_LMOUSE_LEFT_UP;
    EXPECT_TRUE(link->OnEvent(event));
  }
  EXPECT_EQ(marks, (std::vector<std::string>{"B 7", "A null"}));
  text->remove();
}

}  // namespace
}  // namespace gui_modules_test
