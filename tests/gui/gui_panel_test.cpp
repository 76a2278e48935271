// The scrollable panel on the null driver: when its bars show, how it
// scrolls by moving itself, fitting children to its client area; and the
// rich-text element and id counter the chat window builds with.
#include "gui/gui_panel.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include "gui/extended_text.h"
#include "gui/gui_ids.h"
#include "support/null_device.h"

namespace gui_panel_test {

using irr::core::position2d;
using irr::core::rect;
using irr::gui::CGUIPanel;
using irr::gui::IGUIElement;
using irr::gui::ScrollBarMode;
using irr::s32;

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    gui_ = device_->getGUIEnvironment();
  }
  void TearDown() override {
    for (CGUIPanel* panel : panels_) {
      panel->remove();
      panel->drop();
    }
    device_->drop();
  }

  // A 200 x 100 panel at (10, 20) holding one child of `content`.
  CGUIPanel* panelWith(const rect<s32>& content, ScrollBarMode vertical, ScrollBarMode horizontal,
                       bool border = false) {
    auto* panel = new CGUIPanel(gui_, gui_->getRootGUIElement(), -1, rect<s32>(10, 20, 210, 120), border, vertical, horizontal);
    panels_.push_back(panel);
    gui_->addStaticText(L"child", content, false, false, panel);
    panel->updateScrollBars();
    return panel;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::gui::IGUIEnvironment* gui_ = nullptr;
  std::vector<CGUIPanel*> panels_;
};

IGUIElement* onlyChild(CGUIPanel* panel) {
  for (IGUIElement* child : panel->getChildren())
    if (child != panel->verticalScrollBar() && child != panel->horizontalScrollBar())
      return child;
  return nullptr;
}

TEST_F(PanelTest, BarsShowByContentAndMode) {
  using irr::gui::SBM_Auto;
  using irr::gui::SBM_Invisible;
  using irr::gui::SBM_Visible;
  const rect<s32> fits(0, 0, 50, 50);
  const rect<s32> large(0, 0, 900, 900);
  const struct {
    rect<s32> content;
    ScrollBarMode vertical, horizontal;
    bool verticalShown, horizontalShown;
    s32 verticalMax;
  } cases[] = {
      {fits, SBM_Auto, SBM_Auto, false, false, 0},
      {fits, SBM_Visible, SBM_Auto, true, false, 0},
      // Both bars: each leaves the client 16 pixels smaller.
      {large, SBM_Auto, SBM_Auto, true, true, 900 - (100 - 16)},
      {large, SBM_Invisible, SBM_Invisible, false, false, 0},
      // A visible vertical bar leaves the client 16 pixels narrower: content
      // that fits beside it needs no horizontal bar, wider content does.
      {rect<s32>(0, 0, 180, 300), SBM_Auto, SBM_Auto, true, false, 300 - 100},
      {rect<s32>(0, 0, 190, 300), SBM_Auto, SBM_Auto, true, true, 300 - (100 - 16)},
  };
  for (const auto& row : cases) {
    CGUIPanel* panel = panelWith(row.content, row.vertical, row.horizontal);
    EXPECT_EQ(panel->verticalScrollBar()->isVisible(), row.verticalShown);
    EXPECT_EQ(panel->horizontalScrollBar()->isVisible(), row.horizontalShown);
    EXPECT_EQ(panel->verticalScrollBar()->getMax(), row.verticalMax);
    EXPECT_EQ(panel->clientArea().getWidth(), row.verticalShown ? 200 - 16 : 200);
  }
}

TEST_F(PanelTest, ScrollingMovesThePanelButNotItsClipOrBars) {
  CGUIPanel* panel = panelWith(rect<s32>(0, 0, 100, 500), irr::gui::SBM_Auto, irr::gui::SBM_Auto);
  const rect<s32> clip = panel->getAbsoluteClippingRect();
  const rect<s32> bar = panel->verticalScrollBar()->getAbsolutePosition();

  irr::SEvent wheel{};
  wheel.EventType = irr::EET_MOUSE_INPUT_EVENT;
  wheel.MouseInput.Event = irr::EMIE_MOUSE_WHEEL;
  wheel.MouseInput.Wheel = -1.0f;
  EXPECT_TRUE(panel->OnEvent(wheel));
  EXPECT_EQ(panel->verticalScrollBar()->getPos(), CGUIPanel::kSmallStep);
  EXPECT_EQ(onlyChild(panel)->getAbsolutePosition().UpperLeftCorner, position2d<s32>(10, 20 - 32));

  panel->verticalScrollBar()->setPos(50);
  panel->updateAbsolutePosition();
  EXPECT_EQ(panel->getRelativePosition(), rect<s32>(10, 20 - 50, 210, 120 - 50));
  EXPECT_EQ(panel->getAbsoluteClippingRect(), clip);
  EXPECT_EQ(panel->verticalScrollBar()->getAbsolutePosition(), bar);
}

TEST_F(PanelTest, FitChildrenCutsOnlyWhatLiesBeyondTheClient) {
  CGUIPanel* panel = panelWith(rect<s32>(4, 4, 904, 904), irr::gui::SBM_Auto, irr::gui::SBM_Invisible);
  IGUIElement* narrow = gui_->addStaticText(L"narrow", rect<s32>(0, 0, 40, 20), false, false, panel);
  panel->fitChildren(true, false);
  const s32 clientWidth = panel->clientArea().getWidth();
  EXPECT_EQ(clientWidth, 200 - 16);
  EXPECT_EQ(onlyChild(panel)->getRelativePosition(), rect<s32>(4, 4, clientWidth, 904));
  EXPECT_EQ(narrow->getRelativePosition(), rect<s32>(0, 0, 40, 20));
  EXPECT_FALSE(panel->horizontalScrollBar()->isVisible());
}

TEST_F(PanelTest, SetScrollPosMovesTheContentWhileTheBarsStay) {
  // Client 184 x 84 beside both bars: bounds are what lies beyond it.
  CGUIPanel* panel = panelWith(rect<s32>(0, 0, 500, 500), irr::gui::SBM_Auto, irr::gui::SBM_Auto);
  EXPECT_EQ(panel->getScrollBounds(), irr::core::dimension2d<s32>(500 - 184, 500 - 84));
  const rect<s32> clip = panel->getAbsoluteClippingRect();
  const rect<s32> vertical = panel->verticalScrollBar()->getAbsolutePosition();
  const rect<s32> horizontal = panel->horizontalScrollBar()->getAbsolutePosition();

  const struct {
    position2d<s32> asked, expected;
  } cases[] = {
      {{0, 50}, {0, 50}},
      {{30, 70}, {30, 70}},
      {{9999, -5}, {500 - 184, 0}},  // each bar clamps its own position
  };
  for (const auto& row : cases) {
    panel->setScrollPos(row.asked);
    EXPECT_EQ(panel->getScrollPos(), row.expected);
    EXPECT_EQ(panel->getRelativePosition(),
              rect<s32>(10 - row.expected.X, 20 - row.expected.Y, 210 - row.expected.X, 120 - row.expected.Y));
    EXPECT_EQ(onlyChild(panel)->getAbsolutePosition().UpperLeftCorner,
              position2d<s32>(10 - row.expected.X, 20 - row.expected.Y));
    EXPECT_EQ(panel->getAbsoluteClippingRect(), clip);
    EXPECT_EQ(panel->verticalScrollBar()->getAbsolutePosition(), vertical);
    EXPECT_EQ(panel->horizontalScrollBar()->getAbsolutePosition(), horizontal);
  }
  panel->resetScrollPosition();
  EXPECT_EQ(panel->getScrollPos(), position2d<s32>(0, 0));
  EXPECT_EQ(panel->getRelativePosition(), rect<s32>(10, 20, 210, 120));
}

TEST_F(PanelTest, HiddenBarsReportNoScrollAndCannotMove) {
  CGUIPanel* panel = panelWith(rect<s32>(0, 0, 900, 900), irr::gui::SBM_Auto, irr::gui::SBM_Invisible);
  panel->setScrollPos(position2d<s32>(40, 40));
  EXPECT_EQ(panel->getScrollPos(), position2d<s32>(0, 40));
  EXPECT_EQ(panel->getScrollBounds(), irr::core::dimension2d<s32>(0, 900 - 100));
  EXPECT_EQ(panel->getRelativePosition().UpperLeftCorner.X, 10);

  // Nothing to scroll: a wheel step is taken and moves nothing.
  CGUIPanel* fitting = panelWith(rect<s32>(0, 0, 50, 50), irr::gui::SBM_Invisible, irr::gui::SBM_Auto);
  irr::SEvent wheel{};
  wheel.EventType = irr::EET_MOUSE_INPUT_EVENT;
  wheel.MouseInput.Event = irr::EMIE_MOUSE_WHEEL;
  wheel.MouseInput.Wheel = -3.0f;
  EXPECT_TRUE(fitting->OnEvent(wheel));
  EXPECT_EQ(fitting->getRelativePosition(), rect<s32>(10, 20, 210, 120));
  EXPECT_EQ(fitting->getScrollBounds(), irr::core::dimension2d<s32>(0, 0));
}

TEST_F(PanelTest, FitChildrenByModeClipsOnlyTheAxesThatCannotScroll) {
  const rect<s32> big(0, 0, 900, 900);
  const struct {
    ScrollBarMode vertical, horizontal;
    s32 right, bottom;  // -1: the client's width / height
  } cases[] = {
      {irr::gui::SBM_Auto, irr::gui::SBM_Auto, 900, 900},
      {irr::gui::SBM_Auto, irr::gui::SBM_Invisible, -1, 900},
      {irr::gui::SBM_Invisible, irr::gui::SBM_Auto, 900, -1},
      {irr::gui::SBM_Invisible, irr::gui::SBM_Invisible, -1, -1},
  };
  for (const auto& row : cases) {
    CGUIPanel* panel = panelWith(big, row.vertical, row.horizontal);
    panel->fitChildren();
    const rect<s32> place = onlyChild(panel)->getRelativePosition();
    EXPECT_EQ(place.LowerRightCorner.X, row.right < 0 ? panel->clientArea().getWidth() : row.right);
    EXPECT_EQ(place.LowerRightCorner.Y, row.bottom < 0 ? panel->clientArea().getHeight() : row.bottom);
  }
}

TEST_F(PanelTest, BorderTakesTwoPixelsEachSide) {
  CGUIPanel* plain = panelWith(rect<s32>(0, 0, 50, 50), irr::gui::SBM_Auto, irr::gui::SBM_Auto);
  CGUIPanel* framed = panelWith(rect<s32>(0, 0, 50, 50), irr::gui::SBM_Auto, irr::gui::SBM_Auto, true);
  EXPECT_EQ(framed->clientArea().getWidth(), plain->clientArea().getWidth() - 4);
  EXPECT_EQ(framed->clientArea().getHeight(), plain->clientArea().getHeight() - 4);
}

TEST_F(PanelTest, ExtendedTextKeepsItsTextAndIdsCountUp) {
  auto* text = addExtendedText(gui_, rect<s32>(4, 4, 904, 904), nullptr, 7);
  ASSERT_NE(text, nullptr);
  text->setText(L"#c:f00#red###c#");
  EXPECT_STREQ(text->getText(), L"#c:f00#red###c#");
  EXPECT_EQ(text->getID(), 7);
  EXPECT_EQ(text->getParent(), gui_->getRootGUIElement());

  const int32_t first = reserveGuiId();
  EXPECT_GE(first, kFirstGuiId);
  EXPECT_EQ(reserveGuiId(), first + 1);
}

}  // namespace gui_panel_test
