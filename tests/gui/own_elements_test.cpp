// The program's own GUI elements on the null device: the element search,
// the draggable frame, the bar's geometry and drawing, and the zoom region.
// Mouse input goes through the GUI environment as the engine delivers it,
// so the hovered and focused elements decide who gets each event.
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "gui/gui_bar.h"
#include "gui/gui_draggable.h"
#include "gui/gui_element_search.h"
#include "gui/gui_zoom_region.h"
#include "support/null_device.h"
#include "support/recording_painter.h"

namespace own_elements_test {

using irr::s32;
using irr::core::position2d;
using irr::core::rect;
using irr::gui::IGUIElement;
using irr::video::SColor;

namespace {

// A plain element that writes down the events that reach it.
class Recorder : public IGUIElement {
 public:
  Recorder(irr::gui::IGUIEnvironment* gui, IGUIElement* parent, const rect<s32>& place)
      : IGUIElement(irr::gui::EGUIET_ELEMENT, gui, parent, -1, place) {}
  bool OnEvent(const irr::SEvent& event) override {
    events.push_back(event);
    return false;
  }
  std::vector<irr::SEvent> events;
};

class OwnElementsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    gui_ = device_->getGUIEnvironment();
  }
  void TearDown() override {
    gui_->clear();
    device_->drop();
  }

  IGUIElement* root() const { return gui_->getRootGUIElement(); }

  // Takes the creator's reference: the parent keeps the element.
  template <class Element>
  Element* keep(Element* element) {
    element->drop();
    return element;
  }

  IGUIElement* box(IGUIElement* parent, const rect<s32>& place) {
    return gui_->addStaticText(L"", place, false, false, parent);
  }

  bool mouse(irr::EMOUSE_INPUT_EVENT kind, s32 x, s32 y, float wheel = 0.0f) {
    irr::SEvent event{};
    event.EventType = irr::EET_MOUSE_INPUT_EVENT;
    event.MouseInput.Event = kind;
    event.MouseInput.X = x;
    event.MouseInput.Y = y;
    event.MouseInput.Wheel = wheel;
    return gui_->postEventFromUser(event);
  }
  bool press(s32 x, s32 y) { return mouse(irr::EMIE_LMOUSE_PRESSED_DOWN, x, y); }
  bool release(s32 x, s32 y) { return mouse(irr::EMIE_LMOUSE_LEFT_UP, x, y); }
  bool moveTo(s32 x, s32 y) { return mouse(irr::EMIE_MOUSE_MOVED, x, y); }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::gui::IGUIEnvironment* gui_ = nullptr;
};

irr::SEvent wheelAt(s32 x, s32 y, float steps) {
  irr::SEvent event{};
  event.EventType = irr::EET_MOUSE_INPUT_EVENT;
  event.MouseInput.Event = irr::EMIE_MOUSE_WHEEL;
  event.MouseInput.X = x;
  event.MouseInput.Y = y;
  event.MouseInput.Wheel = steps;
  return event;
}

irr::SEvent key(irr::u32 code, bool down) {
  irr::SEvent event{};
  event.EventType = irr::EET_KEY_INPUT_EVENT;
  event.KeyInput.Key = static_cast<irr::EKEY_CODE>(code);
  event.KeyInput.PressedDown = down;
  return event;
}

}  // namespace

// --- Element search ------------------------------------------------------------

TEST_F(OwnElementsTest, SearchFindsTheDeepestFrontMostVisibleElement) {
  IGUIElement* panel = box(root(), rect<s32>(0, 0, 200, 200));
  IGUIElement* back = box(panel, rect<s32>(10, 10, 100, 100));
  IGUIElement* front = box(panel, rect<s32>(50, 50, 150, 150));  // added later: in front
  IGUIElement* hidden = box(root(), rect<s32>(300, 0, 400, 100));
  IGUIElement* underHidden = box(hidden, rect<s32>(10, 10, 90, 90));
  hidden->setVisible(false);
  struct {
    const char* what;
    IGUIElement* from;
    position2d<s32> at;
    IGUIElement* expected;
  } cases[] = {
      {"both children hold it: the later one", root(), {60, 60}, front},
      {"only the earlier child holds it", root(), {20, 20}, back},
      {"no child holds it: the parent", panel == nullptr ? nullptr : root(), {190, 20}, panel},
      {"a hidden parent hides its visible child", root(), {320, 20}, root()},
      {"searched from the hidden parent itself", hidden, {320, 20}, nullptr},
      {"outside everything, from the panel", panel, {500, 400}, nullptr},
      {"a null element", nullptr, {60, 60}, nullptr},
  };
  ASSERT_TRUE(underHidden->isVisible());
  for (const auto& row : cases)
    EXPECT_EQ(irr::gui::findGuiElementRecursive(row.from, row.at), row.expected) << row.what;
}

// --- Draggable -----------------------------------------------------------------

TEST_F(OwnElementsTest, DragBringsToFrontAndReleaseOffTheElementEndsIt) {
  auto* frame = keep(new irr::gui::GUIDraggable(gui_, rect<s32>(10, 10, 110, 110), nullptr, -1, false, false));
  IGUIElement* sibling = box(root(), rect<s32>(300, 300, 350, 350));  // in front of the frame
  ASSERT_EQ(root()->getChildren().getLast().operator*(), sibling);

  EXPECT_TRUE(press(20, 20));
  EXPECT_TRUE(frame->isDragging());
  EXPECT_EQ(*root()->getChildren().getLast(), frame) << "a drag brings the frame to the front";
  EXPECT_EQ(gui_->getFocus(), frame);

  moveTo(50, 60);
  EXPECT_EQ(frame->getAbsolutePosition(), rect<s32>(40, 50, 140, 150));
  moveTo(600, 400);  // the cursor leaves, the frame follows
  EXPECT_EQ(frame->getAbsolutePosition().UpperLeftCorner, position2d<s32>(590, 390));
  // Released off the frame (it jumped ahead of the cursor): the drag ends.
  frame->move(position2d<s32>(-500, -300));
  EXPECT_TRUE(release(600, 400));
  EXPECT_FALSE(frame->isDragging());
  EXPECT_EQ(gui_->getFocus(), nullptr);
  moveTo(620, 420);
  EXPECT_EQ(frame->getAbsolutePosition().UpperLeftCorner, position2d<s32>(90, 90));
}

TEST_F(OwnElementsTest, OwnSurfaceOnlyStartsOnItselfOrADirectChild) {
  struct {
    const char* what;
    bool ownSurfaceOnly;
    position2d<s32> at;
    bool drags;
  } cases[] = {
      {"own surface", true, {15, 15}, true},
      {"a direct child", true, {35, 35}, true},
      {"a grandchild", true, {65, 65}, false},
      {"a grandchild without own-surface-only", false, {65, 65}, true},
  };
  for (const auto& row : cases) {
    auto* frame =
        keep(new irr::gui::GUIDraggable(gui_, rect<s32>(0, 0, 200, 200), nullptr, -1, false, row.ownSurfaceOnly));
    IGUIElement* child = box(frame, rect<s32>(30, 30, 150, 150));
    box(child, rect<s32>(30, 30, 60, 60));  // the grandchild at (60, 60)-(90, 90)
    press(row.at.X, row.at.Y);
    EXPECT_EQ(frame->isDragging(), row.drags) << row.what;
    release(row.at.X, row.at.Y);
    EXPECT_FALSE(frame->isDragging()) << row.what;
    moveTo(row.at.X + 30, row.at.Y + 30);
    EXPECT_EQ(frame->getAbsolutePosition().UpperLeftCorner, position2d<s32>(0, 0)) << row.what;
    frame->remove();
  }
}

TEST_F(OwnElementsTest, PassThroughNeverReceivesAClick) {
  auto* behind = new Recorder(gui_, root(), rect<s32>(0, 0, 300, 300));
  behind->drop();
  auto* frame = keep(new irr::gui::GUIDraggable(gui_, rect<s32>(10, 10, 110, 110), nullptr, -1, true, false));
  IGUIElement* handle = box(frame, rect<s32>(0, 0, 100, 20));

  EXPECT_FALSE(frame->isPointInside(position2d<s32>(50, 50)));
  press(50, 50);
  moveTo(80, 80);
  release(80, 80);
  EXPECT_FALSE(frame->isDragging());
  EXPECT_EQ(frame->getAbsolutePosition().UpperLeftCorner, position2d<s32>(10, 10));
  ASSERT_FALSE(behind->events.empty()) << "the press went to what lies behind";
  EXPECT_NE(gui_->getFocus(), frame);
  // Its children are still hit as any element.
  EXPECT_EQ(root()->getElementFromPoint(position2d<s32>(20, 15)), handle);
}

// --- Bar -----------------------------------------------------------------------

TEST_F(OwnElementsTest, BarGeometryByFractionAndOrientation) {
  const rect<s32> area(10, 20, 110, 40);  // 100 x 20
  const SColor first(0xFF00FF00), second(0xFFFF0000);
  struct {
    float fraction;
    bool horizontal;
    std::vector<rect<s32>> firstThenSecond;  // one area: a solid bar in the colour named next
    bool solidFirst;
  } cases[] = {
      {0.0f, true, {area}, false},
      {0.25f, true, {rect<s32>(10, 20, 35, 40), rect<s32>(35, 20, 110, 40)}, false},
      {1.0f, true, {area}, true},
      {1.5f, true, {area}, true},
      {-0.2f, true, {area}, false},
      {0.0f, false, {area}, false},
      {0.25f, false, {rect<s32>(10, 20, 110, 25), rect<s32>(10, 25, 110, 40)}, false},
      {1.0f, false, {area}, true},
      {1.5f, false, {area}, true},
      {-0.2f, false, {area}, false},
      {std::nanf(""), true, {area}, false},
      {0.999f, true, {rect<s32>(10, 20, 109, 40), rect<s32>(109, 20, 110, 40)}, false},  // cut toward zero
  };
  for (const auto& row : cases) {
    const std::string what = std::to_string(row.fraction) + (row.horizontal ? " horizontal" : " vertical");
    irr::gui::BarPiece pieces[2];
    const int count = irr::gui::barGeometry(area, true, row.horizontal, row.fraction, first, second, pieces);
    ASSERT_EQ(static_cast<size_t>(count), row.firstThenSecond.size()) << what;
    for (int i = 0; i < count; ++i) {
      const SColor expected = count == 2 ? (i == 0 ? first : second) : (row.solidFirst ? first : second);
      EXPECT_EQ(pieces[i].area, row.firstThenSecond[i]) << what;
      for (SColor corner : {pieces[i].upperLeft, pieces[i].upperRight, pieces[i].lowerLeft, pieces[i].lowerRight})
        EXPECT_EQ(corner, expected) << what;
    }
  }

  // Gradients: first on the left (top), second on the right (bottom).
  irr::gui::BarPiece piece[2];
  ASSERT_EQ(irr::gui::barGeometry(area, false, true, 0.25f, first, second, piece), 1);
  EXPECT_EQ(piece[0].area, area);
  EXPECT_EQ(piece[0].upperLeft, first);
  EXPECT_EQ(piece[0].lowerLeft, first);
  EXPECT_EQ(piece[0].upperRight, second);
  EXPECT_EQ(piece[0].lowerRight, second);
  ASSERT_EQ(irr::gui::barGeometry(area, false, false, 0.25f, first, second, piece), 1);
  EXPECT_EQ(piece[0].upperRight, first);
  EXPECT_EQ(piece[0].lowerLeft, second);

  // The widest rectangle there is: the split stays between its edges.
  const rect<s32> widest(std::numeric_limits<s32>::min(), 0, std::numeric_limits<s32>::max(), 10);
  ASSERT_EQ(irr::gui::barGeometry(widest, true, true, 0.5f, first, second, piece), 2);
  EXPECT_GT(piece[0].area.LowerRightCorner.X, widest.UpperLeftCorner.X);
  EXPECT_LT(piece[0].area.LowerRightCorner.X, widest.LowerRightCorner.X);
}

TEST_F(OwnElementsTest, BarDrawsHalfGreenHalfRedUntilMadeSolid) {
  RecordingPainter painter;
  painter.install();
  auto* bar = keep(new irr::gui::CGUIBar(gui_, rect<s32>(0, 0, 100, 10), nullptr, -1));
  bar->draw();
  EXPECT_EQ(painter.calls, (std::vector<std::string>{
                               "corners 0,0,50,10 FF00FF00 FF00FF00 FF00FF00 FF00FF00 clip 0,0,100,10",
                               "corners 50,0,100,10 FFFF0000 FFFF0000 FFFF0000 FFFF0000 clip 0,0,100,10",
                           }));

  painter.calls.clear();
  bar->setColor(SColor(0xFF123456));
  bar->draw();
  EXPECT_EQ(painter.calls, (std::vector<std::string>{
                               "corners 0,0,100,10 FF123456 FF123456 FF123456 FF123456 clip 0,0,100,10"}));

  painter.calls.clear();
  bar->setColors(SColor(0xFF0000FF), SColor(0xFFFFFFFF));
  bar->setPct(0.1f);
  bar->setNotClipped(true);
  bar->draw();
  EXPECT_EQ(painter.calls, (std::vector<std::string>{
                               "corners 0,0,10,10 FF0000FF FF0000FF FF0000FF FF0000FF clip none",
                               "corners 10,0,100,10 FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF clip none",
                           }));

  painter.calls.clear();
  bar->setVisible(false);
  bar->draw();
  EXPECT_TRUE(painter.calls.empty());
}

// --- Zoom region ---------------------------------------------------------------

TEST_F(OwnElementsTest, ZoomByWheelKeysAndLimits) {
  // The region stands at (50, 50) on a recording parent; its child at
  // (100, 100)-(120, 120) in the region's coordinates. Range 0.5 to 2.
  enum Action { Wheel, Plus, Minus, PlusUp, MinusUp, Set };
  struct Step {
    Action action;
    float value;  // wheel steps, or the zoom for Set (anchor (100, 100))
  };
  struct {
    const char* what;
    std::vector<Step> steps;
    float zoom;
    rect<s32> child;
    bool lastConsumed;
  } cases[] = {
      {"a notch up at the child's corner", {{Wheel, 1}}, 1.15f, {100, 100, 123, 123}, true},
      {"a notch down", {{Wheel, -1}}, 0.85f, {100, 100, 117, 117}, true},
      {"doubled around the anchor", {{Set, 2}}, 2.0f, {100, 100, 140, 140}, true},
      {"past the maximum stops there", {{Set, 5}}, 2.0f, {100, 100, 140, 140}, true},
      {"a step past the maximum changes nothing", {{Set, 2}, {Wheel, 3}}, 2.0f, {100, 100, 140, 140}, true},
      {"below the minimum stops there", {{Set, 0.1f}}, 0.5f, {100, 100, 110, 110}, true},
      // Keys zoom around the region's centre (200, 200).
      {"plus key", {{Plus, 0}}, 1.15f, {85, 85, 108, 108}, true},
      {"minus key", {{Minus, 0}}, 0.85f, {115, 115, 132, 132}, true},
      {"plus key released: passed on", {{PlusUp, 0}}, 1.0f, {100, 100, 120, 120}, false},
      {"minus key released: passed on", {{MinusUp, 0}}, 1.0f, {100, 100, 120, 120}, false},
  };
  for (const auto& row : cases) {
    auto* parent = new Recorder(gui_, root(), rect<s32>(0, 0, 640, 480));
    parent->drop();
    auto* region = keep(new irr::gui::CGUIZoomRegion(gui_, rect<s32>(50, 50, 450, 450), 0.5f, 2.0f, parent, -1));
    IGUIElement* child = box(region, rect<s32>(100, 100, 120, 120));
    bool consumed = false;
    for (const Step& step : row.steps) {
      switch (step.action) {
        case Wheel:
          consumed = region->OnEvent(wheelAt(150, 150, step.value));  // anchor (100, 100)
          break;
        case Plus:
        case Minus:
        case PlusUp:
        case MinusUp: {
          const irr::u32 code = step.action == Plus || step.action == PlusUp ? 0xBB : 0xBD;
          consumed = region->OnEvent(key(code, step.action == Plus || step.action == Minus));
          break;
        }
        case Set:
          region->setZoom(step.value, position2d<s32>(100, 100));
          consumed = true;
          break;
      }
    }
    EXPECT_FLOAT_EQ(region->getZoom(), row.zoom) << row.what;
    EXPECT_EQ(child->getRelativePosition(), row.child) << row.what;
    EXPECT_EQ(consumed, row.lastConsumed) << row.what;
    EXPECT_EQ(parent->events.size(), row.lastConsumed ? 0u : 1u) << row.what;
    parent->remove();
  }
}

TEST_F(OwnElementsTest, ZoomRangesAtOrBelowZeroNeverMakeEndlessRectangles) {
  struct {
    const char* what;
    float minimum, maximum;
    float start;  // the zoom a new region has
  } cases[] = {
      {"minimum 0", 0.0f, 2.0f, 1.0f},
      {"negative minimum", -1.0f, 2.0f, 1.0f},
      {"range above 1", 2.0f, 5.0f, 2.0f},
      {"range below 1", 0.1f, 0.5f, 0.5f},
      {"no range at all", 0.0f, 0.0f, 0.0f},
  };
  for (const auto& row : cases) {
    auto* region = keep(new irr::gui::CGUIZoomRegion(gui_, rect<s32>(0, 0, 400, 400), row.minimum, row.maximum,
                                                    nullptr, -1));
    EXPECT_FLOAT_EQ(region->getZoom(), row.start) << row.what;
    IGUIElement* child = box(region, rect<s32>(100, 100, 120, 120));
    // Down to the minimum, then back up, then wheel and keys both ways.
    region->setZoom(row.minimum - 1.0f, position2d<s32>(0, 0));
    region->setZoom(row.maximum, position2d<s32>(0, 0));
    region->OnEvent(wheelAt(10, 10, -50.0f));
    region->OnEvent(key(0xBB, true));
    region->OnEvent(wheelAt(10, 10, 1e30f));
    region->OnEvent(wheelAt(10, 10, std::nanf("")));
    const rect<s32> place = child->getRelativePosition();
    for (s32 edge : {place.UpperLeftCorner.X, place.UpperLeftCorner.Y, place.LowerRightCorner.X,
                     place.LowerRightCorner.Y}) {
      EXPECT_GE(edge, -100000) << row.what;
      EXPECT_LE(edge, 100000) << row.what;
    }
    region->remove();
  }
}

}  // namespace own_elements_test
