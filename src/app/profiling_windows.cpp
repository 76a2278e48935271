#include "app/profiling_windows.h"

#include <irrlicht.h>

#include <cstdio>

#include "app/base/engine.h"
#include "core/locks.h"
#include "core/timer.h"
#include "gui/base/gui_callbacks.h"
#include "net/network_manager.h"
#include "universe/objects/system_threads.h"

namespace {

using irr::core::rect;
using irr::s32;

struct ProfilingWindow {
  int id;
  const wchar_t* title;
};
const ProfilingWindow kWindows[] = {
    {kProfilingWindowId, L"Profiling"},
    {kScriptProfilingWindowId, L"Script Profiling"},
    {kServerProfilingWindowId, L"Server Profiling"},
    {kNetworkProfilingWindowId, L"Network Profiling"},
};
const wchar_t* const kColumns[] = {L"Category", L"Avg(ms)", L"Min(ms)", L"Max(ms)"};
constexpr s32 kCategoryColumnWidth = 150;
constexpr double kMsPerSecond = 1000.0;

irr::gui::IGUIElement* findWindow(int id) {
  if (engine.gui == nullptr)
    return nullptr;
  return engine.gui->getRootGUIElement()->getElementFromId(id, true);
}

irr::gui::IGUITable* tableOf(irr::gui::IGUIElement* window) {
  for (irr::gui::IGUIElement* child : window->getChildren())
    if (child->getType() == irr::gui::EGUIET_TABLE)
      return static_cast<irr::gui::IGUITable*>(child);
  return nullptr;
}

// Closing a readout only hides it.
bool onProfilingWindowEvent(const irr::SEvent& event) {
  if (event.GUIEvent.EventType != irr::gui::EGET_ELEMENT_CLOSED)
    return false;
  event.GUIEvent.Caller->setVisible(false);
  return true;
}

void setCell(irr::gui::IGUITable* table, int row, int column, double seconds) {
  wchar_t text[32];
  std::swprintf(text, sizeof text / sizeof text[0], L"%0.2f", seconds * kMsPerSecond);
  table->setCellText(row, column, text);
}

}  // namespace

void createProfilingWindows() {
  if (engine.gui == nullptr)
    return;
  for (const ProfilingWindow& readout : kWindows) {
    irr::gui::IGUIWindow* window =
        engine.gui->addWindow(rect<s32>(100, 360, 500, 610), false, readout.title, nullptr, readout.id);
    window->setVisible(false);
    irr::gui::IGUITable* table = engine.gui->addTable(rect<s32>(4, 22, 396, 242), window);
    for (const wchar_t* column : kColumns)
      table->addColumn(column);
    table->setColumnWidth(0, kCategoryColumnWidth);
    bindGuiCallbackFunction(onProfilingWindowEvent, readout.id);
  }
}

namespace {

// Reports `source` into the table of the readout `windowId` when that is
// shown; otherwise the report only starts the statistics afresh.
void reportInto(profiler& source, int windowId) {
  irr::gui::IGUIElement* window = findWindow(windowId);
  irr::gui::IGUITable* table = window != nullptr && window->isVisible() ? tableOf(window) : nullptr;
  if (table == nullptr) {
    source.report(nullptr);
    return;
  }
  source.report([table](const std::string& name, int id, double average, double minimum, double maximum) {
    while (static_cast<int>(table->getRowCount()) <= id)
      table->addRow(table->getRowCount());
    table->setCellText(id, 0, irr::core::stringw(name.c_str()));
    setCell(table, id, 1, average);
    setCell(table, id, 2, minimum);
    setCell(table, id, 3, maximum);
  });
}

}  // namespace

void updateProfilingWindows() {
  if (mainProfiler != nullptr)
    reportInto(*mainProfiler, kProfilingWindowId);
  // The galaxy workers' shared profiler, once a worker has made it.
  {
    MutexGuard guard(globalProfilerLock());
    if (hires_profiler* workers = serverProfiler.load())
      reportInto(*workers, kServerProfilingWindowId);
  }
  // The connection's statistics, while their window is shown.
  irr::gui::IGUIElement* network = findWindow(kNetworkProfilingWindowId);
  if (network != nullptr && network->isVisible() && networkManager != nullptr)
    if (irr::gui::IGUITable* table = tableOf(network))
      networkManager->updateStatsText(*table);
}

void removeProfilingWindows() {
  for (const ProfilingWindow& readout : kWindows) {
    removeGuiCallback(readout.id);
    if (irr::gui::IGUIElement* window = findWindow(readout.id))
      window->remove();
  }
}
