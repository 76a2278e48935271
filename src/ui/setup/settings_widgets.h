// Settings widgets: the small editors of the new-game setup screen's
// settings panels, one per game setting (settings_dialog.h builds them from
// a map's or a mod's XML description).
//
// A widget is a plain object, not a GUI element: it owns one to three engine
// elements, keeps the current value of one named game setting as a float,
// shows that value (refresh) and reads the player's input back into it
// (storeSetting, which also writes it into a table of named floats). Two
// kinds hold no setting and only shape the panel: TagWidget (a label) and
// TabControlWidget (a tab control whose tabs receive later widgets).
//
// Element ids: the control that raises events (edit box, check box, combo
// box, tab control, scroll bar) takes the next id of `nextSetupElementId`,
// a process-wide counter from -36000 upward that the setup rows share;
// labels and value texts get -1 and a TagWidget takes none.
//
// Every visible text from a description is a localisation key, shown through
// getLocalizedText, in the skin's default font. Main thread only.
#pragma once

#include <irrString.h>
#include <rect.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/names.h"
#include "gui/base/gui_callbacks.h"

namespace irr::gui {
class IGUIElement;
class IGUIStaticText;
class IGUIEditBox;
class IGUICheckBox;
class IGUIComboBox;
class IGUIScrollBar;
class IGUITabControl;
class IGUITab;
}  // namespace irr::gui

// A table of named floats, as the game settings are kept.
using SettingsTable = NamedVar<float>::Registry;

// The first id of the setup screen's counter.
constexpr int32_t kFirstSetupElementId = -36000;
// The id the next setup control or row takes.
extern int32_t nextSetupElementId;
// The counter's current value, which then moves on by one.
int32_t takeSetupElementId();

// Number text of a setting: "%0.6f", then '0' taken from both ends and a
// trailing '.' removed; "0" when nothing is left (2.5 -> "2.5", 10 -> "10",
// 0.25 -> ".25").
irr::core::stringw formatSettingNumber(float value);
// `value` truncated toward zero and held inside the 32-bit range (NaN gives
// 0): what integer-mode widgets show and scroll bars take.
int32_t truncateSettingValue(double value);

class ISettingsWidget {
 public:
  ISettingsWidget() = default;
  ISettingsWidget(const irr::core::stringw& settingName, float initialValue) : name(settingName), value(initialValue) {}
  ISettingsWidget(const ISettingsWidget&) = delete;
  ISettingsWidget& operator=(const ISettingsWidget&) = delete;
  virtual ~ISettingsWidget() = default;

  // Shows `value` in the controls.
  virtual void refresh() {}
  virtual void setVisible(bool) {}
  // Enables or disables input.
  virtual void setEnabled(bool) {}
  // Brings `value` up to date from the controls, then writes it under
  // `name` in `table` (nothing for an empty name). Returns the entry written,
  // or null.
  virtual NamedVar<float>* storeSetting(SettingsTable& table);

  // The game setting edited; empty for a widget that edits none.
  irr::core::stringw name;
  float value = 0.0f;

 protected:
  // The base operation: writes `value` only.
  NamedVar<float>* writeSetting(SettingsTable& table);
};

// Free text entry of a number, with a label on its left.
class InputWidget : public ISettingsWidget {
 public:
  InputWidget(const irr::core::stringw& settingName, float initialValue, const irr::core::stringw& labelKey,
              irr::gui::IGUIElement* parent, bool integer, float minimum, float maximum,
              const irr::core::recti& rectangle);
  ~InputWidget() override;

  void refresh() override;
  void setVisible(bool visible) override;
  void setEnabled(bool enabled) override;
  // Text that is empty or holds a character outside "0123456789-+eE" (and
  // '.' in float mode) goes back to the stored value and nothing is written;
  // a number outside [minimum, maximum] goes back too and the kept value is
  // written.
  NamedVar<float>* storeSetting(SettingsTable& table) override;

  irr::gui::IGUIStaticText* label() const { return label_; }
  irr::gui::IGUIEditBox* editBox() const { return editBox_; }

  bool integer;
  float minimum;
  float maximum;

 private:
  irr::gui::IGUIStaticText* label_ = nullptr;
  irr::gui::IGUIEditBox* editBox_ = nullptr;
};

// A label over its whole cell; edits no setting.
class TagWidget : public ISettingsWidget {
 public:
  TagWidget(const irr::core::stringw& textKey, const irr::core::recti& rectangle, irr::gui::IGUIElement* parent);
  ~TagWidget() override;

  void setVisible(bool visible) override;

  irr::gui::IGUIStaticText* label() const { return label_; }

 private:
  irr::gui::IGUIStaticText* label_ = nullptr;
};

// A tab control over its whole cell (no background, no border); edits no
// setting.
class TabControlWidget : public ISettingsWidget {
 public:
  TabControlWidget(const irr::core::recti& rectangle, irr::gui::IGUIElement* parent);
  ~TabControlWidget() override;

  void setVisible(bool visible) override;
  // A tab captioned with the key's text (id -1): the parent of the widgets
  // placed in it.
  irr::gui::IGUITab* addTab(const irr::core::stringw& captionKey);

  irr::gui::IGUITabControl* tabControl() const { return tabs_; }

 private:
  irr::gui::IGUITabControl* tabs_ = nullptr;
};

// A check box captioned with the label; checked stores `onValue`, unchecked
// `offValue`.
class CheckboxWidget : public ISettingsWidget {
 public:
  CheckboxWidget(const irr::core::stringw& settingName, const irr::core::stringw& labelKey,
                 irr::gui::IGUIElement* parent, const irr::core::recti& rectangle, float onValue, float offValue,
                 bool checked);
  ~CheckboxWidget() override;

  // Checked when the value is within 0.00001 of the on-value.
  void refresh() override;
  void setVisible(bool visible) override;
  void setEnabled(bool enabled) override;
  NamedVar<float>* storeSetting(SettingsTable& table) override;

  irr::gui::IGUICheckBox* checkBox() const { return checkBox_; }

  float onValue;
  float offValue;

 private:
  irr::gui::IGUICheckBox* checkBox_ = nullptr;
};

// A combo box of options, each with its value, and a label on its left.
class SelectWidget : public ISettingsWidget {
 public:
  SelectWidget(const irr::core::stringw& settingName, const irr::core::stringw& labelKey, irr::gui::IGUIElement* parent,
               const irr::core::recti& rectangle);
  ~SelectWidget() override;

  // Appends the key's text to the combo box and `optionValue` to the values.
  void addOption(const irr::core::stringw& textKey, float optionValue);

  // Selects the first option whose value is within 0.0001 of `value`, else
  // the first option.
  void refresh() override;
  void setVisible(bool visible) override;
  void setEnabled(bool enabled) override;
  // The selected option's value becomes `value` (nothing selected keeps it).
  NamedVar<float>* storeSetting(SettingsTable& table) override;

  irr::gui::IGUIStaticText* label() const { return label_; }
  irr::gui::IGUIComboBox* comboBox() const { return combo_; }

  std::vector<float> optionValues;

 private:
  irr::gui::IGUIComboBox* combo_ = nullptr;
  irr::gui::IGUIStaticText* label_ = nullptr;
};

// A horizontal scroll bar with a label and the value's text. In integer
// mode the bar runs over the bounds themselves, held within +-2^30 (the
// engine's bar takes differences of its bounds in 32 bits); in float mode
// over 0 to 100, a percentage of [minimum, maximum]. A value outside the
// bounds puts the bar at its nearer end.
// Its GuiCallback part is bound to the bar's id in the GUI callback map
// while the widget lives: a GEVT_Scrolled event takes the bar's position
// into `value` and is never consumed.
class RangeWidget : public ISettingsWidget, public GuiCallback {
 public:
  RangeWidget(const irr::core::stringw& settingName, float initialValue, const irr::core::stringw& labelKey,
              irr::gui::IGUIElement* parent, bool integer, float minimum, float maximum, int32_t smallStep,
              int32_t largeStep, const irr::core::recti& rectangle);
  ~RangeWidget() override;

  void refresh() override;
  void setVisible(bool visible) override;
  void setEnabled(bool enabled) override;
  bool OnEvent(const irr::SEvent& event) override;

  irr::gui::IGUIStaticText* label() const { return label_; }
  irr::gui::IGUIStaticText* valueText() const { return valueText_; }
  irr::gui::IGUIScrollBar* scrollBar() const { return scrollBar_; }

  bool integer;
  float minimum;
  float maximum;

 private:
  irr::gui::IGUIStaticText* label_ = nullptr;
  irr::gui::IGUIStaticText* valueText_ = nullptr;
  irr::gui::IGUIScrollBar* scrollBar_ = nullptr;
  int32_t scrollBarId_ = -1;
};

// The widgets of one settings panel, in document order; the panel's owner
// deletes them before it builds the panel again or closes.
using SettingsWidgetList = std::vector<std::unique_ptr<ISettingsWidget>>;
