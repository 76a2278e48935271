// The GUI core on the null device, driven by client scripts and by calling
// the elements' event, hit-test and draw entry points directly: event
// translation, the handle registry and the shared methods, scripted
// elements, animations, GUI callbacks, escape handlers and the session's
// clean-up.
#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "app/base/startup.h"
#include "core/log.h"
#include "core/threads.h"
#include "gfx/gfx_resources.h"
#include "gui/base/gui_callbacks.h"
#include "gui/gui_animations.h"
#include "gui/gui_bindings.h"
#include "gui/gui_events.h"
#include "gui/gui_handles.h"
#include "gui/gui_ids.h"
#include "gui/gui_script_hooks.h"
#include "gui/scripted_gui_element.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_string.h"
#include "support/fake_engine_logger.h"
#include "support/log_capture.h"
#include "support/null_device.h"

namespace gui_core_test {

using namespace AngelScript;
using irr::SEvent;
using irr::core::position2di;
using irr::core::recti;
using irr::gui::IGUIElement;
using irr::gui::ScriptedGuiElement;

// What the engine keeps to itself about an element's layout.
struct LayoutAccess : IGUIElement {
  static irr::core::dimension2du minSize(const IGUIElement* e) { return e->*(&LayoutAccess::MinSize); }
  static std::vector<int> alignment(const IGUIElement* e) {
    return {e->*(&LayoutAccess::AlignLeft), e->*(&LayoutAccess::AlignTop), e->*(&LayoutAccess::AlignRight),
            e->*(&LayoutAccess::AlignBottom)};
  }
};

// A parent that counts the events handed to it and consumes them.
class CountingParent : public IGUIElement {
 public:
  CountingParent(irr::gui::IGUIEnvironment* gui, const recti& area)
      : IGUIElement(irr::gui::EGUIET_ELEMENT, gui, gui->getRootGUIElement(), -1, area) {}
  bool OnEvent(const SEvent&) override {
    ++events;
    return true;
  }
  int events = 0;
};

// The handler classes and the globals the tests read.
const char kHandlers[] = R"(
int drawn = 0;
int lastButtons = -1;
bool leftHeld = false, middleHeld = false, rightHeld = false;
int lastGui = -1;
bool sawAlt = false;
int lastChar = 0;
EventReturn mouseAnswer = ER_Pass;
EventReturn hoverAnswer = ER_Pass;
GuiScripted@ kept;
GuiScripted@ second;

class Plain : ScriptedGuiHandler {
  void draw(GuiElement@ e) { ++drawn; }
  EventReturn onKeyEvent(GuiElement@ e, const KeyEvent& k) { sawAlt = k.alt; lastChar = k.char; return ER_Absorb; }
  EventReturn onMouseEvent(GuiElement@ e, const MouseEvent& m) {
    lastButtons = m.buttons;
    leftHeld = m.isLeftPressed();
    middleHeld = m.isMiddlePressed();
    rightHeld = m.isRightPressed();
    return mouseAnswer;
  }
  EventReturn onGUIEvent(GuiElement@ e, const GUIEvent& g) { lastGui = g.EventType; return ER_Pass; }
}
class Hovering : Plain {
  EventReturn hoverCheck(const GuiElement@ e, const pos2di& p) { return hoverAnswer; }
}
// Holds a handle to its own element: only the flush breaks the cycle.
class Clinging : Plain {
  GuiElement@ self;
}

void makeKept(GuiElement@+ parent, bool hovering) {
  if (hovering)
    @kept = GuiScripted(recti(10, 10, 50, 30), Hovering(), parent);
  else
    @kept = GuiScripted(recti(10, 10, 50, 30), Plain(), parent);
}
void makeSecond(GuiElement@+ parent) { @second = GuiScripted(recti(0, 0, 5, 5), Plain(), parent); }
void makeClinging(GuiElement@+ parent) {
  Clinging c;
  GuiScripted@ made = GuiScripted(recti(0, 0, 5, 5), c, parent);
  @c.self = made;
  animate(made, pos2di(40, 40), dim2di(5, 5), 10);
}
void dropKept() { @kept = null; }
void dropSecond() { @second = null; }
)";

// Stops the calling script with the text.
void fail(const ScriptString& text) {
  raiseScriptException(irr::core::stringc(text.toStringw()).c_str());
}

class GuiCoreTest : public ::testing::Test {
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
    startEngines();
    root_ = engine.gui->getRootGUIElement();
  }
  void TearDown() override {
    endEngines();
    setEngineLogger(nullptr);
    debugInfo = false;
    altKeyDown = false;
    clearGfxResources(gfxResources);
    engine = EngineGlobals{};
    device_->drop();
  }

  // Both engines with the GUI bindings and the handler module.
  void startEngines() {
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptString(serverScriptEngine);
    registerScriptString(clientScriptEngine);
    registerGuiBindings();
    ASSERT_GE(clientScriptEngine->RegisterGlobalFunction("void fail(const string &in)", asFUNCTION(fail),
                                                         asCALL_CDECL),
              0);
    EXPECT_EQ(log.take(), "");  // every registration accepted
    handlers_ = build("handlers", kHandlers);
    ASSERT_NE(handlers_, nullptr);
  }
  // As a session ends.
  void endEngines() {
    clearEscapeEvents();
    clearGuiAnimations();
    flushScriptedGuiRemovals();
    discardScriptModules();
    freeThreadLocals();
    releaseScriptEngines();
  }

  static asIScriptModule* build(const char* name, const std::string& code) {
    LogCapture log;
    asIScriptModule* module = clientScriptEngine->GetModule(name, asGM_ALWAYS_CREATE);
    module->AddScriptSection(name, code.c_str(), code.size());
    if (module->Build() < 0) {
      ADD_FAILURE() << log.take();
      module->Discard();
      return nullptr;
    }
    return module;
  }

  // Runs `declaration` of `module` with an optional element and flag:
  // "" when it finished, else the exception text.
  static std::string run(asIScriptModule* module, const char* declaration, IGUIElement* element = nullptr,
                         bool flag = false) {
    asIScriptFunction* function = module->GetFunctionByDecl(declaration);
    if (function == nullptr)
      return std::string("no function ") + declaration;
    asIScriptContext* context = createScriptContext(clientScriptEngine);
    context->Prepare(function);
    if (function->GetParamCount() > 0)
      context->SetArgObject(0, element);
    if (function->GetParamCount() > 1)
      context->SetArgByte(1, flag);
    const int result = context->Execute();
    std::string outcome = result == asEXECUTION_FINISHED ? ""
                          : result == asEXECUTION_EXCEPTION ? context->GetExceptionString()
                                                            : "not finished";
    context->Release();
    return outcome;
  }
  // Builds "void test() { <body> }" as its own module and runs it.
  static std::string runBody(const std::string& body) {
    asIScriptModule* module = build("body", "void test() {\n" + body + "\n}\n");
    if (module == nullptr)
      return "does not build";
    const std::string outcome = run(module, "void test()");
    module->Discard();
    return outcome;
  }

  template <typename T>
  T& global(const char* name) {
    return *static_cast<T*>(handlers_->GetAddressOfGlobalVar(handlers_->GetGlobalVarIndexByName(name)));
  }
  // A GuiScripted handle holds the element's IGUIElement address.
  ScriptedGuiElement* scripted(const char* name) {
    return static_cast<ScriptedGuiElement*>(global<IGUIElement*>(name));
  }
  ScriptedGuiElement* kept() { return scripted("kept"); }

  static bool hasChild(IGUIElement* parent, IGUIElement* child) {
    for (IGUIElement* c : parent->getChildren())
      if (c == child)
        return true;
    return false;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  IGUIElement* root_ = nullptr;
  asIScriptModule* handlers_ = nullptr;
};

SEvent guiEvent(IGUIElement* caller, int32_t code) {
  SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = caller;
  event.GUIEvent.Element = nullptr;
  setEngineGuiEventCode(event.GUIEvent, code);
  return event;
}

SEvent mouseEvent(irr::EMOUSE_INPUT_EVENT type, irr::u32 buttons, int x = 0, int y = 0) {
  SEvent event{};
  event.EventType = irr::EET_MOUSE_INPUT_EVENT;
  event.MouseInput.X = x;
  event.MouseInput.Y = y;
  event.MouseInput.Event = type;
  event.MouseInput.ButtonStates = buttons;
  return event;
}

// --- event translation ---

TEST_F(GuiCoreTest, EngineGuiEventsReachScriptsWithOurCodes) {
  using namespace irr::gui;
  struct Row {
    int32_t engineCode;
    int scriptCode;  // -1: reaches no script
  };
  const Row rows[] = {
      {EGET_ELEMENT_FOCUS_LOST, 0},   {EGET_ELEMENT_FOCUSED, 1},          {EGET_ELEMENT_HOVERED, 2},
      {EGET_ELEMENT_LEFT, 3},         {EGET_ELEMENT_CLOSED, 4},           {EGET_BUTTON_CLICKED, 5},
      {kEngineGuiRightClicked, 6},    {EGET_SCROLL_BAR_CHANGED, 7},       {EGET_CHECKBOX_CHANGED, 8},
      {EGET_LISTBOX_CHANGED, 9},      {EGET_LISTBOX_SELECTED_AGAIN, 10},  {kEngineGuiListboxHovered, 11},
      {EGET_FILE_SELECTED, 12},       {EGET_DIRECTORY_SELECTED, 13},      {EGET_FILE_CHOOSE_DIALOG_CANCELLED, 14},
      {EGET_MESSAGEBOX_YES, 15},      {EGET_MESSAGEBOX_NO, 16},           {EGET_MESSAGEBOX_OK, 17},
      {EGET_MESSAGEBOX_CANCEL, 18},   {EGET_EDITBOX_ENTER, 19},           {EGET_EDITBOX_CHANGED, 20},
      {EGET_EDITBOX_MARKING_CHANGED, 21}, {EGET_TAB_CHANGED, 22},         {EGET_MENU_ITEM_SELECTED, 23},
      {EGET_COMBO_BOX_CHANGED, 24},   {EGET_SPINBOX_CHANGED, 25},         {EGET_TABLE_CHANGED, 26},
      {EGET_TABLE_HEADER_CHANGED, 27}, {EGET_TABLE_SELECTED_AGAIN, 28},   {EGET_TREEVIEW_NODE_SELECT, -1},
      {EGET_COUNT, -1},
  };
  asIScriptModule* module = build("callbacks", R"(
int seen = -1;
bool onAny(const GUIEvent@ ev) { seen = ev.EventType; return ev.Caller !is null && ev.Element is null; }
bool named() { return GEVT_File_Select_Canceled == 14 && GEVT_Right_Clicked == 6 && GEVT_Listbox_Hovered == 11 &&
                      GEVT_Table_Selected_Again == 28; }
)");
  ASSERT_NE(module, nullptr);
  IGUIElement* button = engine.gui->addButton(recti(0, 0, 10, 10), nullptr, 4321);
  button->setSubElement(true);  // the script's handles to it do not detach it
  ASSERT_TRUE(hookGuiCallback("callbacks", "onAny", 4321));
  int& seen = *static_cast<int*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("seen")));
  for (const Row& row : rows) {
    seen = -1;
    const bool handled = dispatchGuiCallback(guiEvent(button, row.engineCode));
    EXPECT_EQ(seen, row.scriptCode) << "engine code " << row.engineCode;
    EXPECT_EQ(handled, row.scriptCode >= 0) << "engine code " << row.engineCode;
  }
  asIScriptContext* context = createScriptContext(clientScriptEngine);
  context->Prepare(module->GetFunctionByDecl("bool named()"));
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_TRUE(context->GetReturnByte());
  context->Release();
  removeGuiCallback(4321);
}

TEST_F(GuiCoreTest, MouseAndKeyRecordsAsScriptsReadThem) {
  ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)"), "");
  ScriptedGuiElement* element = kept();
  element->OnEvent(mouseEvent(irr::EMIE_MOUSE_MOVED, irr::EMBSM_LEFT | irr::EMBSM_MIDDLE));
  EXPECT_EQ(global<int>("lastButtons"), 5);
  EXPECT_TRUE(global<bool>("leftHeld"));
  EXPECT_TRUE(global<bool>("middleHeld"));
  EXPECT_FALSE(global<bool>("rightHeld"));

  SEvent key{};
  key.EventType = irr::EET_KEY_INPUT_EVENT;
  key.KeyInput.Char = 0x1F600;  // beyond 16 bits: the low 16 are kept
  key.KeyInput.Key = irr::KEY_KEY_A;
  key.KeyInput.PressedDown = true;
  for (bool alt : {false, true}) {
    altKeyDown = alt;
    EXPECT_TRUE(element->OnEvent(key));  // ER_Absorb
    EXPECT_EQ(global<bool>("sawAlt"), alt);
    EXPECT_EQ(global<int>("lastChar"), 0xF600);
  }
  // Mouse codes: the engine's left triple click is our 9; its right and
  // middle double and triple clicks reach no script.
  struct MouseRow {
    irr::EMOUSE_INPUT_EVENT engineCode;
    int scriptCode;  // -1: none
  };
  const MouseRow mouseRows[] = {
      {irr::EMIE_LMOUSE_PRESSED_DOWN, 0}, {irr::EMIE_MMOUSE_LEFT_UP, 5},      {irr::EMIE_MOUSE_WHEEL, 7},
      {irr::EMIE_LMOUSE_DOUBLE_CLICK, 8}, {irr::EMIE_LMOUSE_TRIPLE_CLICK, 9}, {irr::EMIE_RMOUSE_DOUBLE_CLICK, -1},
      {irr::EMIE_MMOUSE_TRIPLE_CLICK, -1},
  };
  for (const MouseRow& row : mouseRows) {
    MouseEventRecord mouse;
    const bool reaches = translateMouseEvent(mouseEvent(row.engineCode, 0).MouseInput, mouse);
    EXPECT_EQ(reaches ? mouse.Event : -1, row.scriptCode) << row.engineCode;
  }
  const KeyEventRecord record = translateKeyEvent(key.KeyInput);
  EXPECT_EQ(record.Flags, kKeyPressedDown);
  EXPECT_EQ(record.Key, static_cast<uint32_t>(irr::KEY_KEY_A));
}

// --- handles ---

TEST_F(GuiCoreTest, AnElementLeavesItsParentWithItsLastHandleUnlessOrphaned) {
  struct Case {
    const char* name;
    bool orphaned;
  };
  for (const Case& c : {Case{"plain", false}, Case{"orphaned", true}}) {
    ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)"), "") << c.name;
    ScriptedGuiElement* element = kept();
    EXPECT_EQ(guiHandleCount(element), 1) << c.name;
    EXPECT_TRUE(hasChild(root_, element)) << c.name;
    element->grab();  // to look at it after the handle goes
    if (c.orphaned)
      element->setSubElement(true);  // as "orphan(true)"
    ASSERT_EQ(run(handlers_, "void dropKept()"), "") << c.name;
    EXPECT_EQ(guiHandleCount(element), 0) << c.name;
    EXPECT_EQ(hasChild(root_, element), c.orphaned) << c.name;
    if (c.orphaned)
      element->remove();
    element->drop();
  }
  // orphan() from a script.
  asIScriptModule* module = build("orphan", R"(
class H : ScriptedGuiHandler {
  void draw(GuiElement@ e) {}
  EventReturn onKeyEvent(GuiElement@ e, const KeyEvent& k) { return ER_Pass; }
  EventReturn onMouseEvent(GuiElement@ e, const MouseEvent& m) { return ER_Pass; }
  EventReturn onGUIEvent(GuiElement@ e, const GUIEvent& g) { return ER_Pass; }
}
void test() { GuiScripted@ s = GuiScripted(recti(0, 0, 1, 1), H(), null); s.setID(77); s.orphan(true); }
)");
  ASSERT_NE(module, nullptr);
  ASSERT_EQ(run(module, "void test()"), "");
  IGUIElement* stayed = root_->getElementFromId(77);
  ASSERT_NE(stayed, nullptr);
  stayed->remove();
}

TEST_F(GuiCoreTest, TwoHandlesNeedTwoReleasesAndHandlerCallsLeaveTheCount) {
  ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)"), "");
  ScriptedGuiElement* element = kept();
  guiHandleAddRef(element);  // a second handle
  const int engineCount = element->getReferenceCount();
  const SEvent move = mouseEvent(irr::EMIE_MOUSE_MOVED, 0, 20, 20);
  for (int i = 0; i < 100; ++i) {
    element->OnEvent(move);
    element->isPointInside(position2di(20, 20));
    element->draw();
  }
  EXPECT_EQ(global<int>("drawn"), 100);
  EXPECT_EQ(guiHandleCount(element), 2);
  EXPECT_EQ(element->getReferenceCount(), engineCount);

  ASSERT_EQ(run(handlers_, "void dropKept()"), "");
  EXPECT_TRUE(hasChild(root_, element));
  element->grab();
  guiHandleRelease(element);
  EXPECT_FALSE(hasChild(root_, element));
  EXPECT_EQ(element->getReferenceCount(), 1);
  // A release the registry never counted takes no engine reference.
  LogCapture log;
  guiHandleRelease(element);
  EXPECT_EQ(element->getReferenceCount(), 1);
  EXPECT_NE(log.take().find("Uncounted GUIElement@"), std::string::npos);
  element->drop();
}

TEST_F(GuiCoreTest, RemovalIsLoggedWithDebugInfoAtInformationLevelAndNeverForSubElements) {
  struct Case {
    bool debug;
    irr::ELOG_LEVEL level;
    bool subElement;
    bool logged;
  };
  const Case cases[] = {
      {true, irr::ELL_INFORMATION, false, true}, {false, irr::ELL_INFORMATION, false, false},
      {true, irr::ELL_WARNING, false, false},    {true, irr::ELL_INFORMATION, true, false},
  };
  FakeEngineLogger logger;
  setEngineLogger(&logger);
  for (const Case& c : cases) {
    debugInfo = c.debug;
    logger.level = c.level;
    IGUIElement* element = engine.gui->addStaticText(L"x", recti(0, 0, 1, 1));
    element->setSubElement(c.subElement);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Removing GUIElement@ %p\n", static_cast<void*>(element));
    element->grab();
    guiHandleAddRef(element);
    LogCapture log;
    guiHandleRelease(element);
    EXPECT_EQ(log.take(), c.logged ? expected : "") << c.debug << " " << c.level << " " << c.subElement;
    element->remove();
    element->drop();
  }
}

// --- shared methods ---

TEST_F(GuiCoreTest, SharedMethodsOnEngineElements) {
  IGUIElement* box = engine.gui->addCheckBox(false, recti(0, 0, 20, 20), nullptr, 501);
  IGUIElement* child = engine.gui->addStaticText(L"c", recti(1, 1, 5, 5), false, false, box, 502);
  box->setSubElement(true);  // outlives the scripts' handles
  child->setSubElement(true);
  asIScriptModule* module = build("shared", R"(
GuiElement@ box;
GuiElement@ child;
void bounds() { box.setSizeBounds(recti(0, -5, 300, 300)); }
void align() { box.setAlignment(EA_Right, EA_Center, EA_Scale, EA_Bottom); }
void ancestry() {
  if (!child.isAncestor(child) || child.isAncestor(box) == false || box.isAncestor(child))
    fail("isAncestor");
  if (child.getParent() !is box) fail("getParent");
}
void casts() {
  if (box.toGuiButton() !is null) fail("a check box is no button");
  if (box.toGuiCheckBox() is null) fail("a check box");
  GuiButton@ b = cast<GuiButton>(box);
  if (b !is null) fail("implicit cast");
  GuiElement@ none;
  if (cast<GuiButton>(none) !is null) fail("null");
  GuiCheckBox@ c = cast<GuiCheckBox>(box);
  GuiElement@ back = c;
  if (back !is box) fail("upcast");
}
void places() {
  box.setPosition(pos2di(7, 8));
  box.setSize(dim2di(30, 40));
  if (box.getPosition().x != 7 || box.getSize().height != 40) fail("place");
  box.setVisible(false);
  if (child.isTrulyVisible() || !child.isVisible()) fail("visibility");
  box.setVisible(true);
  box.setToolTip("tip");
  box.setToolTip(null);
  child.setNoclipped(true);
  if (!child.isNoclipped()) fail("noclip");
}
)");
  ASSERT_NE(module, nullptr);
  guiHandleAddRef(box);
  guiHandleAddRef(child);
  *static_cast<IGUIElement**>(module->GetAddressOfGlobalVar(0)) = box;
  *static_cast<IGUIElement**>(module->GetAddressOfGlobalVar(1)) = child;

  EXPECT_EQ(run(module, "void bounds()"), "");
  EXPECT_EQ(LayoutAccess::minSize(box), irr::core::dimension2du(1, 1));
  EXPECT_EQ(run(module, "void align()"), "");
  EXPECT_EQ(LayoutAccess::alignment(box),
            (std::vector<int>{irr::gui::EGUIA_LOWERRIGHT, irr::gui::EGUIA_CENTER, irr::gui::EGUIA_SCALE,
                              irr::gui::EGUIA_LOWERRIGHT}));
  box->setAlignment(irr::gui::EGUIA_UPPERLEFT, irr::gui::EGUIA_UPPERLEFT, irr::gui::EGUIA_UPPERLEFT,
                    irr::gui::EGUIA_UPPERLEFT);
  for (const char* function : {"void ancestry()", "void casts()", "void places()"})
    EXPECT_EQ(run(module, function), "") << function;
  EXPECT_TRUE(std::wstring(box->getToolTipText().c_str()).empty());
  module->Discard();
  EXPECT_EQ(guiHandleCount(box), 0);
  box->remove();
}

// --- scripted elements ---

TEST_F(GuiCoreTest, ScriptedElementsTakeTheNextIdsOfTheSharedCounter) {
  // The counter starts at 1000 in a fresh process; other tests of this
  // process may have taken ids already, so the ids are read against it.
  static_assert(kFirstGuiId == 1000, "the first GUI id");
  const int32_t next = reserveGuiId() + 1;
  ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)"), "");
  ASSERT_EQ(run(handlers_, "void makeSecond(GuiElement@+)"), "");
  EXPECT_EQ(kept()->getID(), next);
  EXPECT_EQ(scripted("second")->getID(), next + 1);
  EXPECT_EQ(runBody("GuiScripted@ none = GuiScripted(recti(0, 0, 1, 1), null, null);"
                    "if (none !is null) fail(\"made\");"),
            "");
  ASSERT_EQ(run(handlers_, "void dropKept()"), "");
  ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)"), "");
  EXPECT_EQ(kept()->getID(), next + 2);  // the null handler took no id
}

TEST_F(GuiCoreTest, HitTestFollowsHoverCheckOrTheClipRectangleWithItsEdges) {
  struct Case {
    bool hovering;
    EventReturn answer;
    position2di point;
    bool inside;
  };
  const Case cases[] = {
      {false, ER_Pass, {10, 10}, true},  {false, ER_Pass, {50, 30}, true},  {false, ER_Pass, {51, 30}, false},
      {false, ER_Pass, {50, 31}, false}, {true, ER_Pass, {50, 30}, true},   {true, ER_Ignore, {20, 20}, false},
      {true, ER_Absorb, {200, 200}, true},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)", nullptr, c.hovering), "");
    global<EventReturn>("hoverAnswer") = c.answer;
    EXPECT_EQ(kept()->isPointInside(c.point), c.inside)
        << c.hovering << " " << c.answer << " " << c.point.X << "," << c.point.Y;
  }
}

TEST_F(GuiCoreTest, MouseAnswersDecideWhetherTheParentSeesTheEvent) {
  auto* parent = new CountingParent(engine.gui, recti(0, 0, 100, 100));
  struct Case {
    EventReturn answer;
    bool handled;
    int parentEvents;
  };
  for (const Case& c : {Case{ER_Pass, true, 1}, Case{ER_Ignore, false, 0}, Case{ER_Absorb, true, 0}}) {
    parent->events = 0;
    ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)", parent), "");
    global<EventReturn>("mouseAnswer") = c.answer;
    EXPECT_EQ(kept()->OnEvent(mouseEvent(irr::EMIE_LMOUSE_PRESSED_DOWN, 1)), c.handled) << c.answer;
    EXPECT_EQ(parent->events, c.parentEvents) << c.answer;
  }
  // A GUI event the handler passes goes up as well, with our code seen.
  EXPECT_TRUE(kept()->OnEvent(guiEvent(kept(), kEngineGuiRightClicked)));
  EXPECT_EQ(global<int>("lastGui"), kGevtRightClicked);
  EXPECT_EQ(parent->events, 1);
  ASSERT_EQ(run(handlers_, "void dropKept()"), "");
  parent->remove();
  parent->drop();
}

TEST_F(GuiCoreTest, DrawingSkipsInvisibleAndClippedOutElementsWithTheirChildren) {
  ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)"), "");
  ASSERT_EQ(run(handlers_, "void makeSecond(GuiElement@+)", kept()), "");
  ScriptedGuiElement* element = kept();
  int& drawn = global<int>("drawn");
  element->draw();
  EXPECT_EQ(drawn, 2);  // itself and its child
  element->setVisible(false);
  drawn = 0;
  element->draw();
  EXPECT_EQ(drawn, 0);
  element->setVisible(true);
  element->setRelativePosition(recti(700, 700, 720, 720));  // off the screen: clipped out
  drawn = 0;
  element->draw();
  EXPECT_EQ(drawn, 0);
  element->setNotClipped(true);  // drawn, but its child stays clipped out
  element->draw();
  EXPECT_EQ(drawn, 1);
}

// --- animations ---

TEST_F(GuiCoreTest, AnimationMisuseRaisesThePartsTexts) {
  struct Case {
    const char* body;
    const char* exception;
  };
  const Case cases[] = {
      {"animate(null, pos2di(0, 0), dim2di(1, 1), 0);", "Invalid animation speed"},
      {"animate(null, pos2di(0, 0), dim2di(1, 1), -1);", "Invalid animation speed"},
      {"animate(null, pos2di(0, 0), dim2di(1, 1), 1);", "Null GuiElement@"},
      {"animate(null, recti(), recti(), 1);", "Null GuiElement@"},
      {"isAnimating(null);", "Null GuiElement@"},
      {"stopAnimation(null);", "Null GuiElement@"},
      {"bindGuiCallback(5, \"\");", "Empty string when binding gui callback"},
      {"bindGuiCallback(null, \"f\");", "Null GuiElement@ when binding gui callback"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(runBody(c.body), c.exception) << c.body;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  animateTo(nullptr, position2di(0, 0), irr::core::dimension2di(1, 1), nan);  // outside a script: nothing
  EXPECT_TRUE(guiAnimations.empty());
}

TEST_F(GuiCoreTest, AnimationsRunInSecondsAndEndAtTheTarget) {
  IGUIElement* element = engine.gui->addStaticText(L"a", recti(0, 0, 10, 10));
  const int engineCount = element->getReferenceCount();

  animateTo(element, position2di(100, 40), irr::core::dimension2di(10, 10), 50);
  ASSERT_EQ(guiAnimations.count(element), 1u);
  EXPECT_FLOAT_EQ(static_cast<InterpolatedAnimation*>(guiAnimations[element])->duration(), 2.0f);
  EXPECT_EQ(element->getReferenceCount(), engineCount + 1);
  animateTo(element, position2di(100, 40), irr::core::dimension2di(10, 10), 50);  // replaces it
  EXPECT_EQ(element->getReferenceCount(), engineCount + 1);
  EXPECT_FALSE(guiAnimations[element]->update(element, 1.0f));
  EXPECT_EQ(element->getRelativePosition(), recti(50, 20, 60, 30));
  EXPECT_TRUE(guiAnimations[element]->update(element, 1.0f));
  EXPECT_EQ(element->getRelativePosition(), recti(100, 40, 110, 50));

  struct Case {
    float duration;
    bool finished;
    recti after;  // after one update of 0.5 s
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {std::numeric_limits<float>::quiet_NaN(), true, recti(20, 20, 30, 30)},
      {0, true, recti(20, 20, 30, 30)},
      {-1, true, recti(20, 20, 30, 30)},
      {inf, false, recti(0, 0, 10, 10)},
      {1, false, recti(10, 10, 20, 20)},
  };
  for (const Case& c : cases) {
    animateBetween(element, recti(0, 0, 10, 10), recti(20, 20, 30, 30), c.duration);
    EXPECT_EQ(guiAnimations[element]->update(element, 0.5f), c.finished) << c.duration;
    EXPECT_EQ(element->getRelativePosition(), c.after) << c.duration;
  }
  stopAnimation(element);
  EXPECT_TRUE(guiAnimations.empty());
  EXPECT_EQ(element->getReferenceCount(), engineCount);
  EXPECT_EQ(element->getRelativePosition(), recti(10, 10, 20, 20));  // where it stood
  animateTo(element, position2di(0, 0), irr::core::dimension2di(1, 1), 3);
  clearGuiAnimations();
  EXPECT_EQ(element->getReferenceCount(), engineCount);
  element->remove();
}

// --- callbacks and escape handlers ---

TEST_F(GuiCoreTest, BoundCallbacksRunOnAClickThroughTheCallbackMap) {
  asIScriptModule* menu = build("menu", R"(
int clicks = 0;
bool onClick(const GUIEvent@ ev) { if (ev.EventType == GEVT_Clicked) ++clicks; return true; }
void bindAll(GuiElement@+ button) {
  bindGuiCallback(1, "callbacks::onOther");
  bindGuiCallback(2, "::onClick");
  bindGuiCallback(3, "onClick");
  bindGuiCallback(button, "onClick");
  bindGuiCallback(4, "nowhere::onClick");
}
)");
  asIScriptModule* other = build("callbacks", "bool onOther(const GUIEvent@ ev) { return true; }");
  ASSERT_NE(menu, nullptr);
  ASSERT_NE(other, nullptr);
  IGUIElement* button = engine.gui->addButton(recti(10, 10, 60, 40), nullptr, 900);
  button->setSubElement(true);
  LogCapture log;
  ASSERT_EQ(run(menu, "void bindAll(GuiElement@+)", button), "");
  EXPECT_EQ(log.take(), "GUI Hook Error: Invalid function specified 'nowhere::onClick'\n");
  struct Bound {
    int id;
    asIScriptModule* module;
    const char* declaration;
  };
  for (const Bound& b : {Bound{1, other, "bool onOther(const GUIEvent@)"}, Bound{2, menu, "bool onClick(const GUIEvent@)"},
                         Bound{3, menu, "bool onClick(const GUIEvent@)"}, Bound{900, menu, "bool onClick(const GUIEvent@)"}}) {
    const GuiCallbackEntry& entry = guiCallbackEntry(b.id);
    EXPECT_EQ(entry.kind, kGuiCallbackScript) << b.id;
    EXPECT_EQ(entry.scriptFunction, b.module->GetFunctionByDecl(b.declaration)->GetId()) << b.id;
  }
  guiCallbackEntry(4);  // inserted afresh: the failed binding left none
  EXPECT_EQ(guiCallbackEntry(4).kind, kGuiCallbackFunction);

  struct Receiver : irr::IEventReceiver {
    bool OnEvent(const SEvent& event) override { return dispatchGuiCallback(event); }
  } receiver;
  device_->setEventReceiver(&receiver);
  for (irr::EMOUSE_INPUT_EVENT type : {irr::EMIE_MOUSE_MOVED, irr::EMIE_LMOUSE_PRESSED_DOWN, irr::EMIE_LMOUSE_LEFT_UP})
    engine.gui->postEventFromUser(mouseEvent(type, type == irr::EMIE_LMOUSE_PRESSED_DOWN ? 1u : 0u, 20, 20));
  device_->setEventReceiver(nullptr);
  EXPECT_EQ(*static_cast<int*>(menu->GetAddressOfGlobalVar(menu->GetGlobalVarIndexByName("clicks"))), 1);
  for (int id : {1, 2, 3, 4, 900})
    removeGuiCallback(id);
  button->remove();
}

TEST_F(GuiCoreTest, EscapeHandlersRunLastFirstOnceEach) {
  asIScriptModule* module = build("escape", R"(
string order;
void first() { order += "1"; }
void second() { order += "2"; }
void third() { order += "3"; }
void bind() {
  bindEscapeEvent("a", "escape::first");
  bindEscapeEvent("b", "escape::second");
  bindEscapeEvent("gone", "escape::third");
  bindEscapeEvent("missing", "escape::nothing");
  clearEscapeEvent("gone");
  clearEscapeEvent("never bound");
}
void rebind() { bindEscapeEvent("a", "escape::first"); bindEscapeEvent("b", "escape::second");
                bindEscapeEvent("a", "escape::third"); }
)");
  ASSERT_NE(module, nullptr);
  ASSERT_EQ(run(module, "void bind()"), "");
  EXPECT_TRUE(runEscapeEvent());
  EXPECT_TRUE(runEscapeEvent());
  EXPECT_FALSE(runEscapeEvent());
  ASSERT_EQ(run(module, "void rebind()"), "");  // "a" moves last with its new function
  EXPECT_TRUE(runEscapeEvent());
  EXPECT_TRUE(runEscapeEvent());
  EXPECT_FALSE(runEscapeEvent());
  auto* order = static_cast<ScriptString*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("order")));
  EXPECT_EQ(order->toStringw(), irr::core::stringw(L"2132"));
}

// --- session end ---

TEST_F(GuiCoreTest, SessionsWithScriptedElementsEndCleanlyTwice) {
  for (int session = 0; session < 2; ++session) {
    if (session > 0)
      startEngines();
    ASSERT_EQ(run(handlers_, "void makeKept(GuiElement@+, bool)"), "");
    ASSERT_EQ(run(handlers_, "void makeSecond(GuiElement@+)", kept()), "");
    ASSERT_EQ(run(handlers_, "void makeClinging(GuiElement@+)"), "");
    ASSERT_EQ(run(handlers_, "void makeClinging(GuiElement@+)", kept()), "");
    EXPECT_EQ(liveScriptedElements.size(), 4u);
    EXPECT_EQ(guiAnimations.size(), 2u);
    endEngines();
    EXPECT_TRUE(liveScriptedElements.empty());
    EXPECT_TRUE(guiAnimations.empty());
    EXPECT_TRUE(root_->getChildren().empty());
  }
  startEngines();  // for the tear-down
}

}  // namespace gui_core_test
