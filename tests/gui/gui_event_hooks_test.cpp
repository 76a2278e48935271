// GUI event hooks with real client scripts: what dispatch returns for each
// kind of handler, script functions that throw, the bind failure's log line
// and what it takes away, the declaration's length limit, and script
// handlers run while the thread's own context is busy.
#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <vector>

#include "app/base/engine.h"
#include "core/threads.h"
#include "gfx/gfx_resources.h"
#include "gui/base/gui_callbacks.h"
#include "gui/gui_bindings.h"
#include "gui/gui_events.h"
#include "gui/gui_script_hooks.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "support/log_capture.h"
#include "support/null_device.h"

namespace gui_event_hooks_test {

using namespace AngelScript;
using irr::SEvent;
using irr::core::recti;
using irr::gui::IGUIElement;

namespace {

const char kHud[] = R"(
int clicks = 0;
bool yes(const GUIEvent@ ev) { ++clicks; return true; }
bool no(const GUIEvent@ ev) { ++clicks; return false; }
bool throws(const GUIEvent@ ev) { ++clicks; int zero = 0; return 1 / zero == 0; }
bool noArgument() { return true; }
void clickFromScript(GuiElement@+ button, int id) {
  // The dispatch runs while this script holds the thread's own context.
  nested = dispatchFromScript(id);
}
bool nested = false;
)";

IGUIElement* button = nullptr;

// For the nested case: the script asks the host to deliver a click.
bool dispatchFromScript(int id) {
  SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = button;
  event.GUIEvent.Element = nullptr;
  event.GUIEvent.EventType = irr::gui::EGET_BUTTON_CLICKED;
  button->setID(id);
  return dispatchGuiCallback(event);
}

bool nativeYes(const SEvent&) { return true; }
bool nativeNo(const SEvent&) { return false; }

class Answer : public GuiCallback {
 public:
  explicit Answer(bool answer) : answer_(answer) {}
  bool OnEvent(const SEvent&) override { return answer_; }

 private:
  bool answer_;
};

class GuiEventHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.gui = device_->getGUIEnvironment();
    std::vector<irr::core::stringc> none[4];
    GfxDescriptorLists lists{&none[0], &none[1], &none[2], &none[3]};
    initGfxResources(lists, 2, nullptr);
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptString(serverScriptEngine);
    registerScriptString(clientScriptEngine);
    registerGuiBindings();
    ASSERT_GE(clientScriptEngine->RegisterGlobalFunction("bool dispatchFromScript(int)",
                                                         asFUNCTION(dispatchFromScript), asCALL_CDECL),
              0);
    EXPECT_EQ(log.take(), "");
    hud_ = clientScriptEngine->GetModule("hud", asGM_ALWAYS_CREATE);
    hud_->AddScriptSection("hud", kHud, sizeof kHud - 1);
    ASSERT_GE(hud_->Build(), 0) << log.take();
    button = engine.gui->addButton(recti(0, 0, 10, 10), nullptr, 1);
    button->setSubElement(true);
  }
  void TearDown() override {
    clearGuiCallbacks();
    button->remove();
    button = nullptr;
    discardScriptModules();
    freeThreadLocals();
    releaseScriptEngines();
    clearGfxResources(gfxResources);
    engine = EngineGlobals{};
    device_->drop();
  }

  static SEvent click(int32_t id) {
    button->setID(id);
    SEvent event{};
    event.EventType = irr::EET_GUI_EVENT;
    event.GUIEvent.Caller = button;
    event.GUIEvent.Element = nullptr;
    event.GUIEvent.EventType = irr::gui::EGET_BUTTON_CLICKED;
    return event;
  }
  int clicks() { return *static_cast<int*>(hud_->GetAddressOfGlobalVar(hud_->GetGlobalVarIndexByName("clicks"))); }

  irr::IrrlichtDevice* device_ = nullptr;
  asIScriptModule* hud_ = nullptr;
};

TEST_F(GuiEventHooksTest, DispatchReturnsTheBoundHandlersAnswer) {
  Answer accepts(true), declines(false);
  bindGuiCallbackFunction(nativeYes, 1);
  bindGuiCallbackFunction(nativeNo, 2);
  bindGuiCallbackObject(&accepts, 3);
  bindGuiCallbackObject(&declines, 4);
  ASSERT_TRUE(hookGuiCallback("hud", "yes", 5));
  ASSERT_TRUE(hookGuiCallback("hud", "no", 6));
  ASSERT_TRUE(hookGuiCallback("hud", "throws", 7));
  const struct {
    int32_t id;
    bool handled;
    int scriptRuns;
  } rows[] = {
      {1, true, 0}, {2, false, 0}, {3, true, 0}, {4, false, 0},
      {5, true, 1}, {6, false, 1}, {7, false, 1},  // an exception counts as unhandled
      {99, false, 0},                               // unbound
  };
  for (const auto& row : rows) {
    const int before = clicks();
    EXPECT_EQ(dispatchGuiCallback(click(row.id)), row.handled) << row.id;
    EXPECT_EQ(clicks() - before, row.scriptRuns) << row.id;
  }
  // The thread's own context is free again after each call, the throwing
  // one too.
  asIScriptContext* own = threadClientContext();
  ASSERT_NE(own, nullptr);
  EXPECT_NE(own->GetState(), asEXECUTION_ACTIVE);
  EXPECT_NE(own->GetState(), asEXECUTION_EXCEPTION);
}

TEST_F(GuiEventHooksTest, AFailedBindLogsAndTakesTheEarlierBindingAway) {
  const struct {
    const char* module;
    const char* function;
    const char* line;
  } rows[] = {
      {"hud", "nope", "GUI Hook Error: Invalid function specified 'hud::nope'\n"},
      {"hud", "noArgument", "GUI Hook Error: Invalid function specified 'hud::noArgument'\n"},
      {"menu", "yes", "GUI Hook Error: Invalid function specified 'menu::yes'\n"},
      {"hud", "", "GUI Hook Error: Invalid function specified 'hud::'\n"},
      {"", "yes", "GUI Hook Error: Invalid function specified '::yes'\n"},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(hookGuiCallback("hud", "yes", 40));
    ASSERT_TRUE(dispatchGuiCallback(click(40)));
    LogCapture log;
    EXPECT_FALSE(hookGuiCallback(row.module, row.function, 40));
    EXPECT_EQ(log.take(), row.line);
    EXPECT_FALSE(dispatchGuiCallback(click(40))) << row.function;
  }
}

TEST_F(GuiEventHooksTest, ADeclarationBeyondItsBufferIsRejected) {
  // "bool " + name + "(const GUIEvent@)" must fit 127 characters.
  const std::string longest(105, 'f');
  const std::string tooLong(106, 'g');
  const std::string code = "bool " + longest + "(const GUIEvent@ e) { return true; }\nbool " + tooLong +
                           "(const GUIEvent@ e) { return true; }\n";
  asIScriptModule* names = clientScriptEngine->GetModule("names", asGM_ALWAYS_CREATE);
  names->AddScriptSection("names", code.c_str(), code.size());
  ASSERT_GE(names->Build(), 0);
  GuiCallbackEntry entry;
  EXPECT_TRUE(resolveGuiHook(entry, "names", longest.c_str()));
  EXPECT_EQ(entry.kind, static_cast<uint32_t>(kGuiCallbackScript));
  GuiCallbackEntry untouched;
  untouched.function = nativeYes;
  EXPECT_FALSE(resolveGuiHook(untouched, "names", tooLong.c_str()));
  EXPECT_FALSE(resolveGuiHook(untouched, nullptr, "yes"));
  EXPECT_FALSE(resolveGuiHook(untouched, "hud", nullptr));
  EXPECT_EQ(untouched.function, nativeYes);
  EXPECT_EQ(untouched.kind, static_cast<uint32_t>(kGuiCallbackFunction));
}

TEST_F(GuiEventHooksTest, AHandlerRunsWhileTheThreadsOwnContextIsBusy) {
  ASSERT_TRUE(hookGuiCallback("hud", "yes", 50));
  asIScriptContext* own = threadClientContext();
  ASSERT_NE(own, nullptr);
  ASSERT_GE(own->Prepare(hud_->GetFunctionByDecl("void clickFromScript(GuiElement@+, int)")), 0);
  own->SetArgObject(0, button);
  own->SetArgDWord(1, 50);
  ASSERT_EQ(own->Execute(), asEXECUTION_FINISHED);
  endScriptCall(own);
  EXPECT_TRUE(*static_cast<bool*>(hud_->GetAddressOfGlobalVar(hud_->GetGlobalVarIndexByName("nested"))));
  EXPECT_EQ(clicks(), 1);
}

TEST_F(GuiEventHooksTest, ClearingTheMapUnbindsEveryId) {
  Answer accepts(true);
  bindGuiCallbackFunction(nativeYes, -25);
  bindGuiCallbackObject(&accepts, -1000);
  ASSERT_TRUE(hookGuiCallback("hud", "yes", 12));
  clearGuiCallbacks();
  for (int32_t id : {-25, -1000, 12})
    EXPECT_FALSE(dispatchGuiCallback(click(id))) << id;
  EXPECT_EQ(clicks(), 0);
}

}  // namespace

}  // namespace gui_event_hooks_test
