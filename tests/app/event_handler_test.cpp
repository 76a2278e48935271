#include "app/base/event_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/engine_start.h"
#include "audio/sound.h"
#include "audio/sound_device.h"
#include "gfx/gfx_resources.h"
#include "core/log.h"
#include "support/log_capture.h"
#include "support/fake_engine_logger.h"

namespace event_handler_test {

namespace {

std::vector<int> calls;
bool declineOne(const irr::SEvent&) { return calls.push_back(1), false; }
bool consumeTwo(const irr::SEvent&) { return calls.push_back(2), true; }
bool consumeThree(const irr::SEvent&) { return calls.push_back(3), true; }

irr::SEvent eventOf(irr::EEVENT_TYPE type) {
  irr::SEvent event{};
  event.EventType = type;
  return event;
}

TEST(EventHandler, HandlersRunInOrderUntilOneConsumes) {
  EventHandler handler;
  EXPECT_FALSE(handler.OnEvent(eventOf(irr::EET_KEY_INPUT_EVENT)));  // no handlers

  handler.addEventHandler(irr::EET_KEY_INPUT_EVENT, declineOne);
  handler.addEventHandler(irr::EET_KEY_INPUT_EVENT, nullptr);
  handler.addEventHandler(irr::EET_KEY_INPUT_EVENT, consumeTwo);
  handler.addEventHandler(irr::EET_KEY_INPUT_EVENT, consumeThree);
  handler.addEventHandler(irr::EET_MOUSE_INPUT_EVENT, declineOne);

  calls.clear();
  EXPECT_TRUE(handler.OnEvent(eventOf(irr::EET_KEY_INPUT_EVENT)));
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));
  calls.clear();
  EXPECT_FALSE(handler.OnEvent(eventOf(irr::EET_MOUSE_INPUT_EVENT)));
  EXPECT_EQ(calls, (std::vector<int>{1}));
  calls.clear();
  EXPECT_FALSE(handler.OnEvent(eventOf(irr::EET_GUI_EVENT)));
  EXPECT_TRUE(calls.empty());
}

TEST(EventHandler, LogTextIsConsumedAndLoggedFromTheLogLevelUp) {
  FakeEngineLogger logger(irr::ELL_WARNING);
  setEngineLogger(&logger);
  LogCapture log;
  struct Case {
    irr::ELOG_LEVEL level;
    const char* text;
    bool logged;
  };
  const Case cases[] = {
      {irr::ELL_INFORMATION, "Irrlicht Engine version 1.8.5", false},  // below warnings
      {irr::ELL_WARNING, "a warning", true},
      {irr::ELL_ERROR, "an error", true},
      {irr::ELL_ERROR, "", false},
  };
  for (const Case& c : cases) {
    irr::SEvent event = eventOf(irr::EET_LOG_TEXT_EVENT);
    event.LogEvent.Text = c.text;
    event.LogEvent.Level = c.level;
    EXPECT_TRUE(logTextEventHandler(event)) << c.text;
    EXPECT_EQ(log.take(), c.logged ? std::string(c.text) + "\n" : "") << c.text;
  }
  setEngineLogger(nullptr);
}

}  // namespace

namespace {

TEST(EventHandler, ServerTableConsumesEveryKeyAndLogLine) {
  registerEventHandlers();
  irr::SEvent key = eventOf(irr::EET_KEY_INPUT_EVENT);
  key.KeyInput.Key = irr::KEY_KEY_A;
  key.KeyInput.PressedDown = true;
  EXPECT_TRUE(eventHandler.OnEvent(key));  // no GUI, no binding: the last handler takes it

  irr::SEvent log = eventOf(irr::EET_LOG_TEXT_EVENT);
  log.LogEvent.Text = "";
  log.LogEvent.Level = irr::ELL_ERROR;
  EXPECT_TRUE(eventHandler.OnEvent(log));

  EXPECT_FALSE(eventHandler.OnEvent(eventOf(irr::EET_MOUSE_INPUT_EVENT)));
  irr::SEvent gui = eventOf(irr::EET_GUI_EVENT);
  gui.GUIEvent.Caller = nullptr;
  EXPECT_FALSE(eventHandler.OnEvent(gui));
  eventHandler.clear();
}

}  // namespace

}  // namespace event_handler_test

// GUI click sound.
namespace event_handler_test {

namespace {

// A silent device that counts the sounds asked of it.
class CountingSoundDevice : public audio::CDummySoundDevice {
 public:
  audio::ISound* createSound(audio::ISoundSource* source, bool loop, bool paused) override {
    created.push_back(source);
    EXPECT_FALSE(loop);
    EXPECT_FALSE(paused);
    return nullptr;
  }
  std::vector<audio::ISoundSource*> created;
};

class FakeSource : public audio::ISoundSource {
 public:
  explicit FakeSource(audio::ISoundDevice* device) : ISoundSource(device) {}
  void setVolume(float) override {}
  float getVolume() override { return 1.0f; }
};

std::vector<int> guiCodes;
bool recordGuiEvent(const irr::SEvent& event) {
  guiCodes.push_back(static_cast<int>(event.GUIEvent.EventType));
  return true;
}

TEST(GuiClickSound, ClicksPlayButtonClkOnceAndPassTheEventOn) {
  auto* device = new CountingSoundDevice;
  audio::ISoundDevice* kept = soundDevice;
  soundDevice = device;
  auto* click = new FakeSource(device);

  EventHandler handler;
  handler.addEventHandler(irr::EET_GUI_EVENT, playGuiClickSound);
  handler.addEventHandler(irr::EET_GUI_EVENT, recordGuiEvent);
  irr::SEvent gui = eventOf(irr::EET_GUI_EVENT);
  gui.GUIEvent.Caller = nullptr;

  struct Case {
    int code;
    bool registered;
    size_t plays;
  };
  const Case cases[] = {{5, true, 1},  {6, true, 1},  {10, true, 1}, {19, true, 1}, {28, true, 1},
                        {0, true, 0},  {2, true, 0},  {7, true, 0},  {27, true, 0}, {5, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    gfxResources.sounds.clear();
    if (c.registered)
      NamedVar<audio::ISoundSource*>::getOrAdd(gfxResources.sounds, L"button_clk").value = click;
    device->created.clear();
    guiCodes.clear();
    gui.GUIEvent.EventType = static_cast<irr::gui::EGUI_EVENT_TYPE>(c.code);
    EXPECT_TRUE(handler.OnEvent(gui));  // the next handler took it
    EXPECT_EQ(guiCodes, std::vector<int>{c.code});
    EXPECT_EQ(device->created.size(), c.plays);
    if (c.plays == 1) {
      EXPECT_EQ(device->created[0], click);
    }
  }

  // The server's table plays it too, ahead of the GUI callbacks.
  NamedVar<audio::ISoundSource*>::getOrAdd(gfxResources.sounds, L"button_clk").value = click;
  registerEventHandlers();
  device->created.clear();
  gui.GUIEvent.EventType = irr::gui::EGET_BUTTON_CLICKED;
  EXPECT_FALSE(eventHandler.OnEvent(gui));
  EXPECT_EQ(device->created.size(), 1u);
  eventHandler.clear();

  gfxResources.sounds.clear();
  click->drop();
  soundDevice = kept;
  device->drop();
}

}  // namespace

}  // namespace event_handler_test
