// The session's profiling readouts on the engine's GUI: four hidden windows
// with their tables, closed only by hiding, filled from the frame profiler.
#include "app/profiling_windows.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>

#include "app/base/engine.h"
#include "core/timer.h"
#include "gui/base/gui_callbacks.h"
#include "support/null_device.h"

namespace profiling_windows_test {

namespace {

using irr::core::stringw;

class ProfilingWindowsTest : public testing::Test {
 protected:
  void SetUp() override {
    device = createTestDevice();
    ASSERT_NE(device, nullptr);
    setEngineDevice(device);
    registerFrameProfileSections();
  }
  void TearDown() override {
    removeProfilingWindows();
    setEngineDevice(nullptr);
    device->drop();
  }

  irr::gui::IGUIElement* window(int id) const {
    return device->getGUIEnvironment()->getRootGUIElement()->getElementFromId(id, true);
  }
  static irr::gui::IGUITable* table(irr::gui::IGUIElement* window) {
    for (irr::gui::IGUIElement* child : window->getChildren())
      if (child->getType() == irr::gui::EGUIET_TABLE)
        return static_cast<irr::gui::IGUITable*>(child);
    return nullptr;
  }

  irr::IrrlichtDevice* device = nullptr;
};

TEST_F(ProfilingWindowsTest, FourHiddenTablesThatCloseByHiding) {
  createProfilingWindows();
  const struct {
    int id;
    const wchar_t* title;
  } windows[] = {{kProfilingWindowId, L"Profiling"},
                 {kScriptProfilingWindowId, L"Script Profiling"},
                 {kServerProfilingWindowId, L"Server Profiling"},
                 {kNetworkProfilingWindowId, L"Network Profiling"}};
  for (const auto& expected : windows) {
    SCOPED_TRACE(expected.id);
    irr::gui::IGUIElement* shown = window(expected.id);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->getType(), irr::gui::EGUIET_WINDOW);
    EXPECT_EQ(stringw(shown->getText()), stringw(expected.title));
    EXPECT_FALSE(shown->isVisible());
    irr::gui::IGUITable* columns = table(shown);
    ASSERT_NE(columns, nullptr);
    ASSERT_EQ(columns->getColumnCount(), 4);
    EXPECT_EQ(columns->getColumnWidth(0), 150u);

    shown->setVisible(true);
    irr::SEvent closed{};
    closed.EventType = irr::EET_GUI_EVENT;
    closed.GUIEvent.Caller = shown;
    closed.GUIEvent.EventType = irr::gui::EGET_ELEMENT_CLOSED;
    EXPECT_TRUE(dispatchGuiCallback(closed));  // absorbed: the engine keeps the window
    EXPECT_FALSE(shown->isVisible());
  }
  removeProfilingWindows();
  EXPECT_EQ(window(kProfilingWindowId), nullptr);
  EXPECT_EQ(window(kNetworkProfilingWindowId), nullptr);
}

TEST_F(ProfilingWindowsTest, ShownReadoutGetsOneRowPerSectionInMilliseconds) {
  createProfilingWindows();
  irr::gui::IGUIElement* shown = window(kProfilingWindowId);
  irr::gui::IGUITable* rows = table(shown);
  updateProfilingWindows();  // hidden: nothing written
  EXPECT_EQ(rows->getRowCount(), 0);

  shown->setVisible(true);
  mainProfiler->beginSection(frameProfileSections.galaxyUpdate);
  mainProfiler->endSection(frameProfileSections.galaxyUpdate);
  mainProfiler->endFrame();
  for (int report = 0; report < 2; ++report) {
    updateProfilingWindows();
    ASSERT_EQ(rows->getRowCount(), mainProfiler->sectionCount());
  }
  EXPECT_EQ(stringw(rows->getCellText(frameProfileSections.galaxyUpdate, 0)), stringw(L"Galaxy Update"));
  EXPECT_EQ(stringw(rows->getCellText(frameProfileSections.empireTicks, 0)), stringw(L"Empire Ticks"));
  // Milliseconds with two decimals.
  for (int column = 1; column < 4; ++column) {
    const std::wstring cell = rows->getCellText(frameProfileSections.galaxyUpdate, column);
    EXPECT_EQ(cell.find(L'.'), cell.size() - 3) << column;
    EXPECT_EQ(cell.find_first_not_of(L"0123456789."), std::wstring::npos) << column;
  }
}

}  // namespace

}  // namespace profiling_windows_test
