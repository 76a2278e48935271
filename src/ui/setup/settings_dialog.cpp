#include "ui/setup/settings_dialog.h"

#include <irrlicht.h>

#include <algorithm>
#include <limits>
#include <string>

#include "app/base/engine.h"
#include "app/base/startup.h"
#include "core/names.h"
#include "core/random.h"
#include "core/text_conversions.h"
#include "script/script_xml_io.h"

using irr::core::recti;
using irr::core::stringw;
using irr::gui::IGUIElement;

namespace {

int32_t clampToInt32(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min())
    return std::numeric_limits<int32_t>::min();
  if (value > std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// Offsets are kept inside the 32-bit range however deep the groups nest.
int64_t addOffset(int64_t offset, int64_t added) { return clampToInt32(offset + added); }

// The items of a comma-separated list as integers.
std::vector<int32_t> readIntegerList(const stringw& text) {
  irr::core::array<stringw> items;
  splitString(text, L',', items);
  std::vector<int32_t> numbers;
  for (irr::u32 i = 0; i < items.size(); ++i)
    numbers.push_back(wideStringToInt(items[i]));
  return numbers;
}

// "column,row" as two integers; false unless the text is exactly two items.
bool readPosition(const stringw& text, int32_t& column, int32_t& row) {
  irr::core::array<stringw> items;
  if (splitString(text, L',', items) != 2)
    return false;
  column = wideStringToInt(items[0]);
  row = wideStringToInt(items[1]);
  return true;
}

// `column` limited to the last of `count` columns; a negative column counts
// as too large. With no columns it stays as it is.
int64_t limitColumn(int64_t column, size_t count) {
  if (count == 0)
    return column;
  const int64_t last = static_cast<int64_t>(count) - 1;
  return column < 0 || column > last ? last : column;
}

class DialogBuilder {
 public:
  DialogBuilder(irr::io::IXMLReader& reader, IGUIElement* mainParent, IGUIElement* advancedWindow,
                SettingsWidgetList& widgets, bool* hasAdvanced)
      : reader_(reader),
        mainParent_(mainParent),
        advancedWindow_(advancedWindow),
        widgets_(widgets),
        hasAdvanced_(hasAdvanced),
        parent_(mainParent) {}

  void run() {
    while (reader_.read()) {
      const irr::io::EXML_NODE type = reader_.getNodeType();
      if (type == irr::io::EXN_ELEMENT) {
        const stringw name = reader_.getNodeName();
        startTag(name);
        // <name .../> has no end tag of its own.
        if (reader_.isEmptyElement())
          endTag(name);
      } else if (type == irr::io::EXN_ELEMENT_END) {
        endTag(reader_.getNodeName());
      }
    }
  }

 private:
  // The attribute's text; `fallback` when it is missing.
  stringw text(const wchar_t* attribute, const wchar_t* fallback = L"") const {
    const wchar_t* value = reader_.getAttributeValue(attribute);
    return value != nullptr ? stringw(value) : stringw(fallback);
  }
  bool has(const wchar_t* attribute) const { return reader_.getAttributeValue(attribute) != nullptr; }
  float number(const wchar_t* attribute, float fallback) const {
    return has(attribute) ? stringToFloat(text(attribute)) : fallback;
  }
  int32_t integer(const wchar_t* attribute) const { return wideStringToInt(text(attribute)); }
  bool floatMode() const { return text(L"type").equals_ignore_case(L"float"); }
  recti cell() const { return layoutSettingCell(text(L"pos"), grid_); }

  template <class Widget>
  Widget* keep(Widget* widget) {
    widgets_.emplace_back(widget);
    return widget;
  }

  void startTag(const stringw& name) {
    if (name == L"columns")
      columns();
    else if (name == L"group")
      group();
    else if (name == L"input")
      input();
    else if (name == L"select")
      currentSelect_ = keep(new SelectWidget(text(L"setting"), text(L"tag"), parent_, cell()));
    else if (name == L"option")
      option();
    else if (name == L"range")
      range();
    else if (name == L"tag")
      keep(new TagWidget(text(L"text"), cell(), parent_));
    else if (name == L"checkbox")
      keep(new CheckboxWidget(text(L"setting"), text(L"tag"), parent_, cell(), number(L"on", 0.0f),
                              number(L"off", 0.0f), text(L"default").equals_ignore_case(L"on")));
    else if (name == L"default")
      mapName = irr::core::stringc(text(L"map").c_str());
    else if (name == L"advanced")
      advanced();
    else if (name == L"tabs")
      tabs();
    else if (name == L"tab")
      tab();
  }

  void endTag(const stringw& name) {
    if (name == L"advanced") {
      parent_ = mainParent_;
    } else if (name == L"tab") {
      if (savedParent_ != nullptr) {
        parent_ = savedParent_;
        savedParent_ = nullptr;
      }
    } else if (name == L"tabs") {
      currentTabs_ = nullptr;
    } else if (name == L"group") {
      // The base offsets stay: an unmatched end tag has nothing to close.
      if (grid_.columnOffsets.size() > 1) {
        grid_.columnOffsets.pop_back();
        grid_.rowOffsets.pop_back();
      }
    }
  }

  void columns() {
    std::vector<int32_t> positions = readIntegerList(text(L"positions"));
    std::vector<int32_t> widths = readIntegerList(text(L"widths"));
    if (positions.empty() || positions.size() != widths.size())
      return;
    grid_.positions = std::move(positions);
    grid_.widths = std::move(widths);
  }

  void group() {
    int32_t column = 0, row = 0;
    if (readPosition(text(L"pos"), column, row)) {
      grid_.columnOffsets.push_back(addOffset(limitColumn(column, grid_.positions.size()), grid_.columnOffsets.back()));
      grid_.rowOffsets.push_back(addOffset(row, grid_.rowOffsets.back()));
    } else {
      grid_.columnOffsets.push_back(grid_.columnOffsets.back());
      grid_.rowOffsets.push_back(grid_.rowOffsets.back());
    }
  }

  void input() {
    const float minimum = number(L"min", kSettingMinimum);
    const float maximum = number(L"max", kSettingMaximum);
    float initial = 0.0f;
    const stringw start = text(L"default");
    if (start == L"rand")
      initial = static_cast<float>(static_cast<double>(processRandom()) / kProcessRandomMax *
                                       (static_cast<double>(maximum) - minimum) +
                                   minimum);
    else
      initial = stringToFloat(start);
    keep(new InputWidget(text(L"setting"), initial, text(L"tag"), parent_, !floatMode(), minimum, maximum, cell()));
  }

  void option() {
    if (currentSelect_ == nullptr)
      return;
    const float optionValue = number(L"value", 0.0f);
    currentSelect_->addOption(text(L"tag"), optionValue);
    if (text(L"selected").equals_ignore_case(L"true"))
      currentSelect_->value = optionValue;
    // The combo box shows the option that matches the select's value.
    currentSelect_->refresh();
  }

  void range() {
    keep(new RangeWidget(text(L"setting"), number(L"default", 0.0f), text(L"tag"), parent_, !floatMode(),
                         number(L"min", kSettingMinimum), number(L"max", kSettingMaximum), integer(L"smallstep"),
                         integer(L"largestep"), cell()));
  }

  void advanced() {
    const recti area = centredScreenRect(integer(L"width"), integer(L"height"));
    if (advancedWindow_ != nullptr) {
      grid_.positions.clear();
      grid_.widths.clear();
      advancedWindow_->setRelativePosition(area);
      parent_ = advancedWindow_;
    }
    if (hasAdvanced_ != nullptr)
      *hasAdvanced_ = true;
  }

  void tabs() {
    recti area = cell();
    const int32_t height = integer(L"height");
    if (height != 0)
      area.LowerRightCorner.Y = clampToInt32(int64_t{area.UpperLeftCorner.Y} + int64_t{24} * height + 35);
    currentTabs_ = keep(new TabControlWidget(area, parent_));
  }

  void tab() {
    if (currentTabs_ == nullptr)
      return;
    IGUIElement* page = currentTabs_->addTab(text(L"tag"));
    if (page == nullptr)
      return;
    savedParent_ = parent_;
    parent_ = page;
  }

  irr::io::IXMLReader& reader_;
  IGUIElement* mainParent_;
  IGUIElement* advancedWindow_;
  SettingsWidgetList& widgets_;
  bool* hasAdvanced_;

  IGUIElement* parent_;
  SettingsGrid grid_;
  TabControlWidget* currentTabs_ = nullptr;
  IGUIElement* savedParent_ = nullptr;
  SelectWidget* currentSelect_ = nullptr;
};

}  // namespace

recti layoutSettingCell(const stringw& pos, const SettingsGrid& grid) {
  const size_t count = grid.positions.size();
  if (count == 0 || count != grid.widths.size())
    return recti(0, 0, 100, 15);
  int32_t column = 0, row = 0;
  if (!readPosition(pos, column, row))
    return recti(grid.positions[0], 6, clampToInt32(int64_t{grid.positions[0]} + grid.widths[0]), 26);
  const size_t index = static_cast<size_t>(limitColumn(column + grid.columnOffsets.back(), count));
  const int64_t y = 24 * (row + grid.rowOffsets.back()) + 6;
  const int64_t x = grid.positions[index];
  return recti(clampToInt32(x), clampToInt32(y), clampToInt32(x + grid.widths[index]), clampToInt32(y + 20));
}

recti centredScreenRect(int32_t width, int32_t height) {
  irr::core::dimension2du screen(0, 0);
  if (engine.driver != nullptr)
    screen = engine.driver->getScreenSize();
  const int64_t left = static_cast<int64_t>(screen.Width / 2) - width / 2;
  const int64_t top = static_cast<int64_t>(screen.Height / 2) - height / 2;
  return recti(clampToInt32(left), clampToInt32(top), clampToInt32(left + width), clampToInt32(top + height));
}

irr::io::IXMLReader* openSettingsDocument(const irr::core::stringc& path) {
  if (engine.fileSystem == nullptr)
    return nullptr;
  irr::io::IReadFile* file = engine.fileSystem->createAndOpenFile(path);
  if (file == nullptr)
    return nullptr;
  std::string bytes(static_cast<size_t>(std::max<long>(file->getSize(), 0)), '\0');
  const irr::s32 read = bytes.empty() ? 0 : file->read(&bytes[0], static_cast<irr::u32>(bytes.size()));
  file->drop();
  bytes.resize(static_cast<size_t>(std::max<irr::s32>(read, 0)));
  return new ScriptXmlReader(bytes);
}

void buildSettingsDialog(irr::io::IXMLReader* reader, IGUIElement* mainParent, IGUIElement* advancedWindow,
                         SettingsWidgetList& widgets, bool* hasAdvanced) {
  if (reader == nullptr)
    return;
  DialogBuilder(*reader, mainParent, advancedWindow, widgets, hasAdvanced).run();
}
