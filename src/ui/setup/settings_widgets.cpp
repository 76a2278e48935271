#include "ui/setup/settings_widgets.h"

#include <irrlicht.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "app/base/engine.h"
#include "core/locale.h"
#include "core/text_conversions.h"

using irr::core::recti;
using irr::core::stringw;
using irr::gui::IGUIElement;

int32_t nextSetupElementId = kFirstSetupElementId;

int32_t takeSetupElementId() { return nextSetupElementId++; }

stringw formatSettingNumber(float value) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%0.6f", static_cast<double>(value));
  std::string text = buffer;
  const std::string::size_type first = text.find_first_not_of('0');
  if (first == std::string::npos)
    return L"0";
  text = text.substr(first, text.find_last_not_of('0') - first + 1);
  if (!text.empty() && text.back() == '.')
    text.pop_back();
  if (text.empty())
    return L"0";
  return stringw(text.c_str());
}

int32_t truncateSettingValue(double value) {
  if (std::isnan(value))
    return 0;
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

namespace {

int32_t clampToInt32(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min())
    return std::numeric_limits<int32_t>::min();
  if (value > std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// The engine's scroll bar computes with differences of its bounds and its
// position in 32 bits: bounds within +-2^30 keep every difference in range.
constexpr int32_t kScrollBarLimit = 1 << 30;

int32_t scrollBarBound(float value) {
  return std::clamp(truncateSettingValue(value), -kScrollBarLimit, kScrollBarLimit - 1);
}

// The skin's default font's size of `text` (0 x 0 without a font).
irr::core::dimension2di textSize(const stringw& text) {
  if (engine.gui == nullptr || engine.gui->getSkin() == nullptr)
    return {0, 0};
  irr::gui::IGUIFont* font = engine.gui->getSkin()->getFont();
  if (font == nullptr)
    return {0, 0};
  const irr::core::dimension2du size = font->getDimension(text.c_str());
  return {clampToInt32(size.Width), clampToInt32(size.Height)};
}

// A rectangle whose edges were computed in 64 bits.
recti makeRect(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  return recti(clampToInt32(x1), clampToInt32(y1), clampToInt32(x2), clampToInt32(y2));
}

// Takes a counted reference on an element just made.
template <class Element>
Element* hold(Element* element) {
  if (element != nullptr)
    element->grab();
  return element;
}

// Takes the element out of the GUI and drops the widget's reference.
template <class Element>
void release(Element*& element) {
  if (element == nullptr)
    return;
  element->remove();
  element->drop();
  element = nullptr;
}

void showElement(IGUIElement* element, bool visible) {
  if (element != nullptr)
    element->setVisible(visible);
}

void enableElement(IGUIElement* element, bool enabled) {
  if (element != nullptr)
    element->setEnabled(enabled);
}

// The label left of a control: static text at the cell's top-left corner,
// sized to its text. Returns its width through `width`.
irr::gui::IGUIStaticText* addLabel(const stringw& labelKey, IGUIElement* parent, const recti& cell, int32_t& width) {
  const stringw text = getLocalizedText(labelKey);
  const irr::core::dimension2di size = textSize(text);
  width = size.Width;
  if (engine.gui == nullptr)
    return nullptr;
  const int64_t x1 = cell.UpperLeftCorner.X;
  const int64_t y1 = cell.UpperLeftCorner.Y;
  return hold(engine.gui->addStaticText(text.c_str(), makeRect(x1, y1, x1 + size.Width, y1 + size.Height), false, false,
                                        parent, -1, false));
}

// The value's text as an integer-mode or float-mode widget shows it.
stringw settingText(float value, bool integer) {
  if (integer)
    return stringw(std::to_string(truncateSettingValue(value)).c_str());
  return formatSettingNumber(value);
}

}  // namespace

// -- ISettingsWidget ---------------------------------------------------------

NamedVar<float>* ISettingsWidget::storeSetting(SettingsTable& table) { return writeSetting(table); }

NamedVar<float>* ISettingsWidget::writeSetting(SettingsTable& table) {
  if (name.empty())
    return nullptr;
  NamedVar<float>& entry = NamedVar<float>::getOrAdd(table, name);
  entry.value = value;
  return &entry;
}

// -- InputWidget -------------------------------------------------------------

InputWidget::InputWidget(const stringw& settingName, float initialValue, const stringw& labelKey, IGUIElement* parent,
                         bool integerMode, float minimumValue, float maximumValue, const recti& rectangle)
    : ISettingsWidget(settingName, initialValue), integer(integerMode), minimum(minimumValue), maximum(maximumValue) {
  int32_t labelWidth = 0;
  label_ = addLabel(labelKey, parent, rectangle, labelWidth);
  const int32_t id = takeSetupElementId();
  if (engine.gui != nullptr) {
    const recti boxRect = makeRect(int64_t{rectangle.UpperLeftCorner.X} + labelWidth, rectangle.UpperLeftCorner.Y,
                                   rectangle.LowerRightCorner.X, rectangle.LowerRightCorner.Y);
    editBox_ = hold(engine.gui->addEditBox(L"", boxRect, true, parent, id));
  }
  refresh();
}

InputWidget::~InputWidget() {
  release(label_);
  release(editBox_);
}

void InputWidget::refresh() {
  if (editBox_ != nullptr)
    editBox_->setText(settingText(value, integer).c_str());
}

void InputWidget::setVisible(bool visible) {
  showElement(label_, visible);
  showElement(editBox_, visible);
}

void InputWidget::setEnabled(bool enabled) { enableElement(editBox_, enabled); }

NamedVar<float>* InputWidget::storeSetting(SettingsTable& table) {
  if (editBox_ == nullptr)
    return writeSetting(table);
  const stringw text = editBox_->getText();
  const wchar_t* accepted = integer ? L"0123456789-+eE" : L"0123456789-+eE.";
  bool readable = !text.empty();
  for (irr::u32 i = 0; readable && i < text.size(); ++i)
    readable = std::wcschr(accepted, text[i]) != nullptr;
  if (!readable) {
    refresh();
    return nullptr;
  }
  const float parsed = integer ? static_cast<float>(wideStringToInt(text)) : stringToFloat(text);
  if (parsed < minimum || parsed > maximum)
    refresh();
  else
    value = parsed;
  return writeSetting(table);
}

// -- TagWidget ---------------------------------------------------------------

TagWidget::TagWidget(const stringw& textKey, const recti& rectangle, IGUIElement* parent) {
  if (engine.gui != nullptr)
    label_ = hold(engine.gui->addStaticText(getLocalizedText(textKey), rectangle, false, false, parent, -1, false));
}

TagWidget::~TagWidget() { release(label_); }

void TagWidget::setVisible(bool visible) { showElement(label_, visible); }

// -- TabControlWidget --------------------------------------------------------

TabControlWidget::TabControlWidget(const recti& rectangle, IGUIElement* parent) {
  const int32_t id = takeSetupElementId();
  if (engine.gui != nullptr)
    tabs_ = hold(engine.gui->addTabControl(rectangle, parent, false, false, id));
}

TabControlWidget::~TabControlWidget() { release(tabs_); }

void TabControlWidget::setVisible(bool visible) { showElement(tabs_, visible); }

irr::gui::IGUITab* TabControlWidget::addTab(const stringw& captionKey) {
  if (tabs_ == nullptr)
    return nullptr;
  return tabs_->addTab(getLocalizedText(captionKey), -1);
}

// -- CheckboxWidget ----------------------------------------------------------

CheckboxWidget::CheckboxWidget(const stringw& settingName, const stringw& labelKey, IGUIElement* parent,
                               const recti& rectangle, float on, float off, bool checked)
    : ISettingsWidget(settingName, checked ? on : off), onValue(on), offValue(off) {
  const int32_t id = takeSetupElementId();
  if (engine.gui != nullptr)
    checkBox_ = hold(engine.gui->addCheckBox(checked, rectangle, parent, id, getLocalizedText(labelKey)));
}

CheckboxWidget::~CheckboxWidget() { release(checkBox_); }

void CheckboxWidget::refresh() {
  if (checkBox_ != nullptr)
    checkBox_->setChecked(std::fabs(value - onValue) <= 0.00001f);
}

void CheckboxWidget::setVisible(bool visible) { showElement(checkBox_, visible); }

void CheckboxWidget::setEnabled(bool enabled) { enableElement(checkBox_, enabled); }

NamedVar<float>* CheckboxWidget::storeSetting(SettingsTable& table) {
  if (checkBox_ != nullptr)
    value = checkBox_->isChecked() ? onValue : offValue;
  return writeSetting(table);
}

// -- SelectWidget ------------------------------------------------------------

SelectWidget::SelectWidget(const stringw& settingName, const stringw& labelKey, IGUIElement* parent,
                           const recti& rectangle)
    : ISettingsWidget(settingName, 0.0f) {
  int32_t labelWidth = 0;
  label_ = addLabel(labelKey, parent, rectangle, labelWidth);
  const int32_t id = takeSetupElementId();
  if (engine.gui != nullptr) {
    const recti comboRect = makeRect(int64_t{rectangle.UpperLeftCorner.X} + labelWidth, rectangle.UpperLeftCorner.Y,
                                     rectangle.LowerRightCorner.X, rectangle.LowerRightCorner.Y);
    combo_ = hold(engine.gui->addComboBox(comboRect, parent, id));
  }
  refresh();
}

SelectWidget::~SelectWidget() {
  release(combo_);
  release(label_);
}

void SelectWidget::addOption(const stringw& textKey, float optionValue) {
  if (combo_ != nullptr)
    combo_->addItem(getLocalizedText(textKey));
  optionValues.push_back(optionValue);
}

void SelectWidget::refresh() {
  if (combo_ == nullptr)
    return;
  combo_->setSelected(0);
  for (size_t i = 0; i < optionValues.size(); ++i)
    if (std::fabs(optionValues[i] - value) < 0.0001f) {
      combo_->setSelected(static_cast<irr::s32>(i));
      break;
    }
}

void SelectWidget::setVisible(bool visible) {
  showElement(label_, visible);
  showElement(combo_, visible);
}

void SelectWidget::setEnabled(bool enabled) {
  enableElement(label_, enabled);
  enableElement(combo_, enabled);
}

NamedVar<float>* SelectWidget::storeSetting(SettingsTable& table) {
  if (combo_ != nullptr) {
    const irr::s32 selected = combo_->getSelected();
    if (selected >= 0 && static_cast<size_t>(selected) < optionValues.size())
      value = optionValues[static_cast<size_t>(selected)];
  }
  return writeSetting(table);
}

// -- RangeWidget -------------------------------------------------------------

RangeWidget::RangeWidget(const stringw& settingName, float initialValue, const stringw& labelKey, IGUIElement* parent,
                         bool integerMode, float minimumValue, float maximumValue, int32_t smallStep, int32_t largeStep,
                         const recti& rectangle)
    : ISettingsWidget(settingName, initialValue), integer(integerMode), minimum(minimumValue), maximum(maximumValue) {
  int32_t labelWidth = 0;
  label_ = addLabel(labelKey, parent, rectangle, labelWidth);

  // The value text is as wide as the largest text it should need. The
  // bounds are held inside the bar's range first, and the sample is
  // computed in 64 bits.
  const int32_t barMinimum = integer ? scrollBarBound(minimum) : 0;
  const int32_t barMaximum = integer ? scrollBarBound(maximum) : 100;
  const stringw sample = integer ? stringw(std::to_string(int64_t{barMaximum} * 10).c_str()) : stringw(L"9999.99");
  const irr::core::dimension2di sampleSize = textSize(sample);

  const int64_t x1 = rectangle.UpperLeftCorner.X;
  const int64_t y1 = rectangle.UpperLeftCorner.Y;
  if (engine.gui != nullptr)
    valueText_ = hold(engine.gui->addStaticText(
        L"", makeRect(x1 + labelWidth + 5, y1, x1 + labelWidth + 5 + sampleSize.Width, y1 + sampleSize.Height), false,
        false, parent, -1, false));

  scrollBarId_ = takeSetupElementId();
  if (engine.gui != nullptr) {
    const recti barRect = makeRect(x1 + labelWidth + sampleSize.Width + 6, y1 + 2, rectangle.LowerRightCorner.X,
                                   int64_t{rectangle.LowerRightCorner.Y} - 6);
    scrollBar_ = hold(engine.gui->addScrollBar(true, barRect, parent, scrollBarId_));
  }
  if (scrollBar_ != nullptr) {
    scrollBar_->setSmallStep(smallStep);
    scrollBar_->setLargeStep(largeStep);
    scrollBar_->setMin(barMinimum);
    scrollBar_->setMax(barMaximum);
  }
  bindGuiCallbackObject(this, scrollBarId_);
  refresh();
}

RangeWidget::~RangeWidget() {
  // The bar's id is never used again: its entry goes with the widget, so
  // that nothing can reach the deleted object through the map.
  removeGuiCallback(scrollBarId_);
  release(label_);
  release(valueText_);
  release(scrollBar_);
}

void RangeWidget::refresh() {
  if (scrollBar_ != nullptr) {
    int32_t position = 0;
    if (integer) {
      position = truncateSettingValue(value);
    } else {
      // A range without width has only its minimum: the bar stays at 0.
      const double width = static_cast<double>(maximum) - minimum;
      if (width != 0.0)
        position = truncateSettingValue((static_cast<double>(value) - minimum) * 100.0 / width);
    }
    // A value outside the bounds puts the bar at its nearer end.
    scrollBar_->setPos(
        std::clamp(position, scrollBar_->getMin(), std::max(scrollBar_->getMin(), scrollBar_->getMax())));
  }
  if (valueText_ != nullptr)
    valueText_->setText(settingText(value, integer).c_str());
}

void RangeWidget::setVisible(bool visible) {
  showElement(label_, visible);
  showElement(valueText_, visible);
  showElement(scrollBar_, visible);
}

void RangeWidget::setEnabled(bool enabled) { enableElement(scrollBar_, enabled); }

bool RangeWidget::OnEvent(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || event.GUIEvent.EventType != irr::gui::EGET_SCROLL_BAR_CHANGED ||
      scrollBar_ == nullptr)
    return false;
  const irr::s32 position = scrollBar_->getPos();
  if (integer) {
    value = static_cast<float>(position);
  } else {
    const irr::s32 barMaximum = scrollBar_->getMax();
    if (barMaximum == 0 || maximum == minimum)
      value = minimum;
    else
      value = static_cast<float>(static_cast<double>(position) * (static_cast<double>(maximum) - minimum) / barMaximum +
                                 minimum);
  }
  refresh();
  return false;
}
