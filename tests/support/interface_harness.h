// The player interface on the null device, driven as a player would drive
// it: for every interface test.
//
// InterfaceHarness opens a test device (support/null_device.h) with its GUI
// environment, makes it the process's engine (the `engine` globals, without
// its logger), fills the event handler's lists as start-up does
// (registerEventHandlers) and makes the handler the device's receiver, so
// that GUI events that real elements raise reach the GUI callback map.
// Mouse and key events are posted through `eventHandler`, as the engine
// would deliver them: a mouse helper first puts the cursor where the event
// happens. The engine's virtual timer stands still at a time the test sets.
//
// It undoes all of that when destroyed: the handler lists are emptied, the
// modifier-key flags cleared, the timer runs again and the engine globals
// are forgotten. What a test binds (GUI callbacks, key bindings) is the
// test's to undo.
//
// InterfaceTest is a fixture holding one harness, `ui`.
#pragma once

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <memory>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "app/engine_start.h"
#include "support/fixed_font.h"
#include "support/null_device.h"

// The Shift and Control states that a posted mouse or key event reports.
struct InputModifiers {
  bool shift = false;
  bool control = false;
};

class InterfaceHarness {
 public:
  enum Button : irr::u32 { kLeft = irr::EMBSM_LEFT, kRight = irr::EMBSM_RIGHT, kMiddle = irr::EMBSM_MIDDLE };
  using Modifiers = InputModifiers;

  InterfaceHarness() {
    device_ = createTestDevice();
    if (device_ == nullptr) {
      ADD_FAILURE() << "no test device";
      return;
    }
    engine = EngineGlobals{};
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.gui = device_->getGUIEnvironment();
    engine.scene = device_->getSceneManager();
    engine.fileSystem = device_->getFileSystem();
    engine.timer = device_->getTimer();
    engine.cursor = device_->getCursorControl();
    if (engine.scene != nullptr)
      engine.collision = engine.scene->getSceneCollisionManager();
    eventHandler.clear();
    registerEventHandlers();
    device_->setEventReceiver(&eventHandler);
    setEngineTime(0);
  }

  ~InterfaceHarness() {
    eventHandler.clear();
    shiftKeyDown = controlKeyDown = altKeyDown = false;
    if (device_ == nullptr)
      return;
    irr::ITimer* timer = device_->getTimer();
    while (timer->isStopped())
      timer->start();
    device_->setEventReceiver(nullptr);
    engine = EngineGlobals{};
    device_->drop();
    if (font_ != nullptr)
      font_->drop();
  }

  InterfaceHarness(const InterfaceHarness&) = delete;
  InterfaceHarness& operator=(const InterfaceHarness&) = delete;

  irr::IrrlichtDevice* device() const { return device_; }
  irr::gui::IGUIEnvironment* gui() const { return engine.gui; }
  irr::gui::IGUIElement* root() const { return engine.gui->getRootGUIElement(); }

  // Stops the engine's virtual timer (once) and sets it to `ms`.
  void setEngineTime(irr::u32 ms) {
    irr::ITimer* timer = device_->getTimer();
    if (!timer->isStopped())
      timer->stop();
    timer->setTime(ms);
  }
  irr::u32 engineTime() const { return device_->getTimer()->getTime(); }

  // Makes a fixed-metrics font the skin's default font (menus, buttons and
  // the rest use it), and returns it. It lives as long as the harness.
  FixedFont& useFixedFont(irr::u32 width = 8, irr::u32 height = 14) {
    if (font_ != nullptr)
      font_->drop();
    font_ = new FixedFont(width, height);
    engine.gui->getSkin()->setFont(font_);
    return *font_;
  }

  // Mouse events at (x, y), with the button states the engine would report
  // after each. All return whether some handler consumed the event.
  bool moveMouse(irr::s32 x, irr::s32 y, Modifiers modifiers = {}) {
    return postMouse(irr::EMIE_MOUSE_MOVED, x, y, 0.0f, modifiers);
  }
  bool pressMouse(irr::s32 x, irr::s32 y, Button button = kLeft, Modifiers modifiers = {}) {
    buttons_ |= button;
    const irr::EMOUSE_INPUT_EVENT kind = button == kLeft    ? irr::EMIE_LMOUSE_PRESSED_DOWN
                                         : button == kRight ? irr::EMIE_RMOUSE_PRESSED_DOWN
                                                            : irr::EMIE_MMOUSE_PRESSED_DOWN;
    return postMouse(kind, x, y, 0.0f, modifiers);
  }
  bool releaseMouse(irr::s32 x, irr::s32 y, Button button = kLeft, Modifiers modifiers = {}) {
    buttons_ &= ~static_cast<irr::u32>(button);
    const irr::EMOUSE_INPUT_EVENT kind = button == kLeft    ? irr::EMIE_LMOUSE_LEFT_UP
                                         : button == kRight ? irr::EMIE_RMOUSE_LEFT_UP
                                                            : irr::EMIE_MMOUSE_LEFT_UP;
    return postMouse(kind, x, y, 0.0f, modifiers);
  }
  bool wheel(irr::s32 x, irr::s32 y, float delta, Modifiers modifiers = {}) {
    return postMouse(irr::EMIE_MOUSE_WHEEL, x, y, delta, modifiers);
  }
  // Move, press and release at one point; true when the release was
  // consumed.
  bool click(irr::s32 x, irr::s32 y, Button button = kLeft, Modifiers modifiers = {}) {
    moveMouse(x, y, modifiers);
    pressMouse(x, y, button, modifiers);
    return releaseMouse(x, y, button, modifiers);
  }
  bool clickElement(const irr::gui::IGUIElement* element, Button button = kLeft, Modifiers modifiers = {}) {
    const irr::core::position2di at = element->getAbsolutePosition().getCenter();
    return click(at.X, at.Y, button, modifiers);
  }

  // Key events, with the character the key types (0 for none).
  bool pressKey(irr::EKEY_CODE key, wchar_t character = 0, Modifiers modifiers = {}) {
    return postKey(key, character, true, modifiers);
  }
  bool releaseKey(irr::EKEY_CODE key, wchar_t character = 0, Modifiers modifiers = {}) {
    return postKey(key, character, false, modifiers);
  }
  // Press and release; true when the press was consumed.
  bool tapKey(irr::EKEY_CODE key, wchar_t character = 0, Modifiers modifiers = {}) {
    const bool used = pressKey(key, character, modifiers);
    releaseKey(key, character, modifiers);
    return used;
  }

  irr::u32 buttonStates() const { return buttons_; }

 private:
  bool postMouse(irr::EMOUSE_INPUT_EVENT kind, irr::s32 x, irr::s32 y, float wheelDelta, Modifiers modifiers) {
    if (engine.cursor != nullptr)
      engine.cursor->setPosition(x, y);
    irr::SEvent event{};
    event.EventType = irr::EET_MOUSE_INPUT_EVENT;
    event.MouseInput.Event = kind;
    event.MouseInput.X = x;
    event.MouseInput.Y = y;
    event.MouseInput.Wheel = wheelDelta;
    event.MouseInput.Shift = modifiers.shift;
    event.MouseInput.Control = modifiers.control;
    event.MouseInput.ButtonStates = buttons_;
    return eventHandler.OnEvent(event);
  }
  bool postKey(irr::EKEY_CODE key, wchar_t character, bool pressed, Modifiers modifiers) {
    irr::SEvent event{};
    event.EventType = irr::EET_KEY_INPUT_EVENT;
    event.KeyInput.Key = key;
    event.KeyInput.Char = character;
    event.KeyInput.PressedDown = pressed;
    event.KeyInput.Shift = modifiers.shift;
    event.KeyInput.Control = modifiers.control;
    return eventHandler.OnEvent(event);
  }

  irr::IrrlichtDevice* device_ = nullptr;
  FixedFont* font_ = nullptr;
  irr::u32 buttons_ = 0;
};

class InterfaceTest : public testing::Test {
 protected:
  void SetUp() override {
    ui = std::make_unique<InterfaceHarness>();
    ASSERT_NE(ui->device(), nullptr);
  }
  void TearDown() override { ui.reset(); }

  std::unique_ptr<InterfaceHarness> ui;
};
