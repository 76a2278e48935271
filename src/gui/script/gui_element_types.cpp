#include "gui/script/gui_element_types.h"

#include <IGUIButton.h>
#include <IGUICheckBox.h>
#include <IGUIEnvironment.h>
#include <IGUIScrollBar.h>
#include <IGUISpinBox.h>
#include <IGUISpriteBank.h>
#include <IGUIStaticText.h>
#include <ITexture.h>
#include <SMaterial.h>

#include <algorithm>

#include "app/base/engine.h"
#include "core/log.h"
#include "gfx/gfx_resources.h"
#include "gui/elements/extended_elements.h"
#include "gui/extended_text.h"
#include "gui/gui_bar.h"
#include "gui/gui_draggable.h"
#include "gui/gui_ids.h"
#include "gui/gui_panel.h"
#include "gui/gui_zoom_region.h"
#include "gui/richtext/text_tags.h"
#include "gui/script/gui_type_support.h"
#include "platform/engine/engine_textures.h"
#include "script/script_registration.h"

using namespace AngelScript;
using namespace guitypes;
using irr::core::dimension2di;
using irr::core::position2di;
using irr::core::recti;
using irr::gui::IGUIElement;
using irr::video::ITexture;
using irr::video::SColor;

IGUIElement* guiParentOrRoot(IGUIElement* parent) {
  if (parent == nullptr && engine.gui != nullptr)
    return engine.gui->getRootGUIElement();
  return parent;
}

namespace {

// ButtonAppearance bits.
constexpr irr::u32 kAppearanceBackground = 1;
constexpr irr::u32 kAppearanceScaleImage = 2;
constexpr irr::u32 kAppearanceUseAlpha = 4;

ITexture* namedTexture(const irr::core::stringw& name) { return getMaterial(name)->getTexture(0); }

// --- focus globals ---

int reserveGuiID() { return reserveGuiId(); }

bool setGuiFocus(IGUIElement* element) { return engine.gui != nullptr && engine.gui->setFocus(element); }

IGUIElement* getGuiFocus() { return engine.gui != nullptr ? engine.gui->getFocus() : nullptr; }

bool isFocused(IGUIElement* element) { return engine.gui != nullptr && engine.gui->hasFocus(element); }

// --- GuiButton ---

using irr::gui::IGUIButton;
IGUIButton* button(IGUIElement* element) { return static_cast<IGUIButton*>(element); }

IGUIElement* makeButton(const recti& area, const ScriptString* text, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  const irr::core::stringw caption = textOf(text);
  return enterMade(engine.gui->addButton(area, parent, reserveGuiId(), text != nullptr ? caption.c_str() : nullptr));
}

bool isPressed(const IGUIElement* element) { return static_cast<const IGUIButton*>(element)->isPressed(); }
void setPressed(IGUIElement* element, bool pressed) { button(element)->setPressed(pressed); }
void setText(IGUIElement* element, ScriptString* text) { setElementText(element, text); }
ScriptString* getText(const IGUIElement* element) { return elementText(element); }

void setButtonImageNamed(IGUIElement* element, const ScriptString& name) {
  button(element)->setImage(namedTexture(name.toStringw()));
  button(element)->setUseAlphaChannel(true);
  button(element)->setDrawBorder(false);
}

void setButtonImage(IGUIElement* element, ITexture* texture) {
  button(element)->setImage(texture);
  button(element)->setUseAlphaChannel(true);
  button(element)->setDrawBorder(texture == nullptr);
}

void setPressedImageNamed(IGUIElement* element, const ScriptString& name) {
  button(element)->setPressedImage(namedTexture(name.toStringw()));
  button(element)->setUseAlphaChannel(true);
  button(element)->setDrawBorder(false);
}

void setPressedImage(IGUIElement* element, ITexture* texture) { button(element)->setPressedImage(texture); }

void setImages(IGUIElement* element, const ScriptString& image, const ScriptString& pressed) {
  button(element)->setImage(namedTexture(image.toStringw()));
  button(element)->setPressedImage(namedTexture(pressed.toStringw()));
  button(element)->setUseAlphaChannel(true);
  button(element)->setDrawBorder(false);
}

void setToggleButton(IGUIElement* element, bool toggle) { button(element)->setIsPushButton(toggle); }

void setSprites(IGUIElement* element, const ScriptString& bankName, irr::u32 up, irr::u32 down, irr::u32 over) {
  const irr::core::stringw name = bankName.toStringw();
  irr::gui::IGUISpriteBank* bank =
      engine.gui != nullptr ? engine.gui->getSpriteBank(irr::io::path(name.c_str())) : nullptr;
  if (bank == nullptr) {
    logWarning("Bad sprite bank name '%.100ls'\n", name.c_str());
    return;
  }
  IGUIButton* target = button(element);
  target->setSpriteBank(bank);
  const SColor white(255, 255, 255, 255);
  target->setSprite(irr::gui::EGBS_BUTTON_UP, static_cast<irr::s32>(up), white, false);
  target->setSprite(irr::gui::EGBS_BUTTON_DOWN, static_cast<irr::s32>(down), white, false);
  target->setSprite(irr::gui::EGBS_BUTTON_MOUSE_OVER, static_cast<irr::s32>(over), white, false);
}

void setAppearanceBits(IGUIButton* target, irr::u32 bits, bool on) {
  if ((bits & kAppearanceBackground) != 0)
    target->setDrawBorder(on);
  if ((bits & kAppearanceScaleImage) != 0)
    target->setScaleImage(on);
  if ((bits & kAppearanceUseAlpha) != 0)
    target->setUseAlphaChannel(on);
}

void setAppearance(IGUIElement* element, bool on, irr::u32 bits) { setAppearanceBits(button(element), bits, on); }

void setAppearanceOnOff(IGUIElement* element, irr::u32 on, irr::u32 off) {
  setAppearanceBits(button(element), on, true);
  setAppearanceBits(button(element), off, false);
}

// --- GuiCheckBox ---

using irr::gui::IGUICheckBox;

IGUIElement* makeCheckBox(bool checked, const recti& area, const ScriptString* text, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  const irr::core::stringw caption = textOf(text);
  return enterMade(
      engine.gui->addCheckBox(checked, area, parent, reserveGuiId(), text != nullptr ? caption.c_str() : nullptr));
}

bool isChecked(const IGUIElement* element) {
  return const_cast<IGUICheckBox*>(static_cast<const IGUICheckBox*>(element))->isChecked();
}
void setChecked(IGUIElement* element, bool checked) { static_cast<IGUICheckBox*>(element)->setChecked(checked); }

// --- GuiEditBox ---

using irr::gui::CGUIEditBoxEx;
CGUIEditBoxEx* editBox(IGUIElement* element) { return static_cast<CGUIEditBoxEx*>(element); }

IGUIElement* makeEditBox(const recti& area, const ScriptString* text, bool border, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  const irr::core::stringw initial = textOf(text);
  return enterAllocated(
      new CGUIEditBoxEx(engine.gui, guiParentOrRoot(parent), reserveGuiId(), area, initial.c_str(), border));
}

void setEditColor(IGUIElement* element, SColor color) {
  editBox(element)->setOverrideColor(color);
  editBox(element)->enableOverrideColor(true);
}
void clearEditColor(IGUIElement* element) { editBox(element)->enableOverrideColor(false); }

void setMultiLine(IGUIElement* element, bool top) {
  editBox(element)->setMultiLine(true);
  editBox(element)->setTextAlignment(irr::gui::EGUIA_UPPERLEFT, top ? irr::gui::EGUIA_UPPERLEFT : irr::gui::EGUIA_CENTER);
}

void setMarkPos(IGUIElement* element, irr::u32 begin, irr::u32 end) { editBox(element)->setTextMark(begin, end); }

// --- GuiSpinBox ---

IGUIElement* makeSpinBox(const recti& area, const ScriptString* text, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  const irr::core::stringw initial = textOf(text);
  return enterMade(engine.gui->addSpinBox(initial.c_str(), area, true, parent, reserveGuiId()));
}

void setConstText(const IGUIElement* element, ScriptString* text) {
  setElementText(const_cast<IGUIElement*>(element), text);
}

// --- GuiStaticText ---

using irr::gui::IGUIStaticText;
IGUIStaticText* staticText(IGUIElement* element) { return static_cast<IGUIStaticText*>(element); }

IGUIElement* makeStaticText(const recti& area, const ScriptString* text, bool wordWrap, bool border,
                            bool fillBackground, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  const irr::core::stringw initial = textOf(text);
  return enterMade(
      engine.gui->addStaticText(initial.c_str(), area, border, wordWrap, parent, reserveGuiId(), fillBackground));
}

void setStaticColor(IGUIElement* element, SColor color) { staticText(element)->setOverrideColor(color); }
void clearStaticColor(IGUIElement* element) { staticText(element)->enableOverrideColor(false); }

void setStaticFont(IGUIElement* element, ScriptString* name) {
  if (name == nullptr)
    return;  // no name, no font: nothing changes
  const auto found = findFont(takeText(name));
  if (found != guiFontMap.end())
    staticText(element)->setOverrideFont(found->second);
}

void setStaticAlignment(IGUIElement* element, int horizontal, int vertical) {
  staticText(element)->setTextAlignment(static_cast<irr::gui::EGUI_ALIGNMENT>(horizontal),
                                        static_cast<irr::gui::EGUI_ALIGNMENT>(vertical));
}

// --- GuiImage ---

using irr::gui::CGUIImageEx;
CGUIImageEx* image(IGUIElement* element) { return static_cast<CGUIImageEx*>(element); }

IGUIElement* makeImageOf(const position2di& at, ITexture* texture, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  dimension2di size(0, 0);
  if (texture != nullptr) {
    const irr::core::dimension2du loaded = plat::textureSize(texture);
    size = dimension2di(static_cast<irr::s32>(loaded.Width), static_cast<irr::s32>(loaded.Height));
  }
  auto* made = new CGUIImageEx(engine.gui, guiParentOrRoot(parent), reserveGuiId(), recti(at, size));
  made->setUseAlphaChannel(true);
  made->setImage(texture);
  return enterAllocated(made);
}

IGUIElement* makeImageNamed(const position2di& at, const ScriptString* name, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return makeImageOf(at, name != nullptr ? namedTexture(name->toStringw()) : gfxResources.errorTexture, parent);
}

void setImageNamed(IGUIElement* element, const ScriptString* name) {
  image(element)->setImage(name != nullptr ? namedTexture(name->toStringw()) : nullptr);
}
void setImage(IGUIElement* element, ITexture* texture) { image(element)->setImage(texture); }
void setScaleImage(IGUIElement* element, bool scale) { image(element)->setScaleImage(scale); }
void setClickThrough(IGUIElement* element, bool through) { image(element)->setInputEnabled(!through); }
void setImageColor(IGUIElement* element, SColor color) { image(element)->setColor(color); }

// --- GuiScrollBar ---

using irr::gui::IGUIScrollBar;
IGUIScrollBar* bar(IGUIElement* element) { return static_cast<IGUIScrollBar*>(element); }
const IGUIScrollBar* bar(const IGUIElement* element) { return static_cast<const IGUIScrollBar*>(element); }

IGUIElement* makeScrollBar(const recti& area, bool horizontal, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterMade(engine.gui->addScrollBar(horizontal, area, parent, reserveGuiId()));
}

void setPos(IGUIElement* element, int value) { bar(element)->setPos(value); }
int getPos(const IGUIElement* element) { return bar(element)->getPos(); }
void setMax(IGUIElement* element, int value) { bar(element)->setMax(value); }
int getMax(const IGUIElement* element) { return bar(element)->getMax(); }
void setMin(IGUIElement* element, int value) { bar(element)->setMin(value); }
int getMin(const IGUIElement* element) { return bar(element)->getMin(); }
void setSmallStep(IGUIElement* element, int value) { bar(element)->setSmallStep(value); }
int getSmallStep(const IGUIElement* element) { return bar(element)->getSmallStep(); }
void setLargeStep(IGUIElement* element, int value) { bar(element)->setLargeStep(value); }
int getLargeStep(const IGUIElement* element) { return bar(element)->getLargeStep(); }
// The engine's scroll bars have no page size: kept for scripts, does nothing.
void setPageSize(IGUIElement*, int) {}

// --- GuiExtText ---

using irr::gui::CGUIExtendedText;
CGUIExtendedText* richText(IGUIElement* element) { return static_cast<CGUIExtendedText*>(element); }

IGUIElement* makeExtText(const recti& area, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  registerTextTags(true);
  auto* made = new CGUIExtendedText(engine.gui, guiParentOrRoot(parent), reserveGuiId(), area);
  addSharedTextTags(*made);
  return enterAllocated(made);
}

void setTextAlpha(IGUIElement* element, float alpha) {
  // Also NaN ends at 0.
  richText(element)->setAlpha(alpha >= 1.0f ? 1.0f : (alpha > 0.0f ? alpha : 0.0f));
}
void setShadow(IGUIElement* element, SColor color) { richText(element)->setShadowColor(color); }
void setTextColor(IGUIElement* element, SColor color) { richText(element)->setDefaultColor(color); }
void getTextColor(IGUIElement* element, SColor& color) { richText(element)->getColor(color); }

// --- GuiPanel ---

using irr::gui::CGUIPanel;
CGUIPanel* panel(IGUIElement* element) { return static_cast<CGUIPanel*>(element); }
const CGUIPanel* panel(const IGUIElement* element) { return static_cast<const CGUIPanel*>(element); }

irr::gui::ScrollBarMode barMode(int mode) {
  return mode == irr::gui::SBM_Invisible || mode == irr::gui::SBM_Visible ? static_cast<irr::gui::ScrollBarMode>(mode)
                                                                           : irr::gui::SBM_Auto;
}

IGUIElement* makePanel(const recti& area, bool border, int first, int second, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterAllocated(new CGUIPanel(engine.gui, guiParentOrRoot(parent), reserveGuiId(), area, border,
                                      barMode(first), barMode(second)));
}

void fitChildren(IGUIElement* element) { panel(element)->fitChildren(); }
void resetScrollPosition(IGUIElement* element) { panel(element)->resetScrollPosition(); }
position2di getScrollPos(const IGUIElement* element) { return panel(element)->getScrollPos(); }
dimension2di getScrollBounds(const IGUIElement* element) { return panel(element)->getScrollBounds(); }
void setScrollPos(IGUIElement* element, const position2di& at) { panel(element)->setScrollPos(at); }

// --- GuiDraggable ---

// The script's flag says whether the frame takes the mouse itself.
IGUIElement* makeDraggable(const recti& area, bool solid, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterAllocated(new irr::gui::GUIDraggable(engine.gui, area, parent, reserveGuiId(), !solid, false));
}

IGUIElement* makeDraggableOwnSurface(const recti& area, bool solid, bool ownSurfaceOnly, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterAllocated(new irr::gui::GUIDraggable(engine.gui, area, parent, reserveGuiId(), !solid, ownSurfaceOnly));
}

// --- GuiBar ---

using irr::gui::CGUIBar;
CGUIBar* barElement(IGUIElement* element) { return static_cast<CGUIBar*>(element); }

IGUIElement* makeBar(const recti& area, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterAllocated(new CGUIBar(engine.gui, area, parent, reserveGuiId()));
}

void setBar(IGUIElement* element, SColor first, SColor second, bool horizontal, float fraction) {
  barElement(element)->set(first, second, horizontal, fraction);
}
void setBarColor(IGUIElement* element, SColor color) { barElement(element)->setColor(color); }
void setBarColors(IGUIElement* element, SColor first, SColor second) { barElement(element)->setColors(first, second); }
void setBarPct(IGUIElement* element, float fraction) { barElement(element)->setPct(fraction); }
void setBarHoriz(IGUIElement* element, bool horizontal) { barElement(element)->setHoriz(horizontal); }

// --- GuiZoomRegion ---

using irr::gui::CGUIZoomRegion;

IGUIElement* makeZoomRegion(const recti& area, float minimum, float maximum, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  return enterAllocated(new CGUIZoomRegion(engine.gui, area, minimum, maximum, parent, reserveGuiId()));
}

float getZoom(const IGUIElement* element) { return static_cast<const CGUIZoomRegion*>(element)->getZoom(); }
void setZoom(IGUIElement* element, float zoom, const position2di& anchor) {
  static_cast<CGUIZoomRegion*>(element)->setZoom(zoom, anchor);
}

}  // namespace

void registerGuiFocusGlobals(asIScriptEngine* engine) {
  checked(engine).RegisterGlobalFunction("int reserveGuiID()", asFUNCTION(reserveGuiID), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("bool setGuiFocus(GuiElement@+)", asFUNCTION(setGuiFocus), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("GuiElement@+ getGuiFocus()", asFUNCTION(getGuiFocus), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("bool isFocused(GuiElement@+)", asFUNCTION(isFocused), asCALL_CDECL);
}

void registerGuiButton(asIScriptEngine* engine) {
  registerKind(engine, "GuiButton", guiCastTo<IGUIButton>);
  factory(engine, "GuiButton", "@ f(const recti &in, const string@+, GuiElement@+)", asFUNCTION(makeButton));
  methods(engine, "GuiButton",
          {
              {"bool isPressed() const", asFUNCTION(isPressed)},
              {"void setPressed(bool)", asFUNCTION(setPressed)},
              {"void setText(const string@)", asFUNCTION(setText)},
              {"void setImage(const string &)", asFUNCTION(setButtonImageNamed)},
              {"void setImage(const Texture@+)", asFUNCTION(setButtonImage)},
              {"void setPressedImage(const string &)", asFUNCTION(setPressedImageNamed)},
              {"void setPressedImage(const Texture@+)", asFUNCTION(setPressedImage)},
              {"void setImages(const string &, const string &)", asFUNCTION(setImages)},
              {"void setToggleButton(bool)", asFUNCTION(setToggleButton)},
              {"void setSprites(const string &, uint, uint, uint)", asFUNCTION(setSprites)},
          });
}

void registerGuiButtonAppearance(asIScriptEngine* engine) {
  methods(engine, "GuiButton",
          {
              {"void setAppearance(bool, uint)", asFUNCTION(setAppearance)},
              {"void setAppearance(uint, uint)", asFUNCTION(setAppearanceOnOff)},
          });
}

void registerGuiCheckBox(asIScriptEngine* engine) {
  registerKind(engine, "GuiCheckBox", guiCastTo<IGUICheckBox>);
  factory(engine, "GuiCheckBox", "@ f(bool, const recti &in, const string@+, GuiElement@+)",
          asFUNCTION(makeCheckBox));
  methods(engine, "GuiCheckBox",
          {
              {"bool isChecked() const", asFUNCTION(isChecked)},
              {"void setChecked(bool)", asFUNCTION(setChecked)},
          });
}

void registerGuiEditBox(asIScriptEngine* engine) {
  registerKind(engine, "GuiEditBox", guiCastTo<CGUIEditBoxEx>);
  factory(engine, "GuiEditBox", "@ f(const recti &in, const string@+, bool, GuiElement@+)", asFUNCTION(makeEditBox));
  methods(engine, "GuiEditBox",
          {
              {"void setText(const string@)", asFUNCTION(setText)},
              {"string@ getText() const", asFUNCTION(getText)},
              {"void setColor(Color)", asFUNCTION(setEditColor)},
              {"void clearColor()", asFUNCTION(clearEditColor)},
              {"void setMultiLine(bool)", asFUNCTION(setMultiLine)},
              {"void setMarkPos(uint, uint)", asFUNCTION(setMarkPos)},
          });
}

void registerGuiSpinBox(asIScriptEngine* engine) {
  registerKind(engine, "GuiSpinBox", guiCastTo<irr::gui::IGUISpinBox>);
  factory(engine, "GuiSpinBox", "@ f(const recti &in, const string@+, GuiElement@+)", asFUNCTION(makeSpinBox));
  methods(engine, "GuiSpinBox",
          {
              {"void setText(const string@) const", asFUNCTION(setConstText)},
              {"string@ getText() const", asFUNCTION(getText)},
          });
}

void registerGuiStaticText(asIScriptEngine* engine) {
  registerKind(engine, "GuiStaticText", guiCastTo<IGUIStaticText>);
  factory(engine, "GuiStaticText", "@ f(const recti &in, const string@+, bool, bool, bool, GuiElement@+)",
          asFUNCTION(makeStaticText));
  methods(engine, "GuiStaticText",
          {
              {"void setText(const string@)", asFUNCTION(setText)},
              {"string@ getText() const", asFUNCTION(getText)},
              {"void setColor(Color)", asFUNCTION(setStaticColor)},
              {"void clearColor()", asFUNCTION(clearStaticColor)},
              {"void setFont(const string@)", asFUNCTION(setStaticFont)},
              {"void setTextAlignment(ElementAlignment,ElementAlignment)", asFUNCTION(setStaticAlignment)},
          });
}

void registerGuiImage(asIScriptEngine* engine) {
  registerKind(engine, "GuiImage", guiCastTo<CGUIImageEx>);
  factory(engine, "GuiImage", "@ f(const pos2di &in, const string@+, GuiElement@+)", asFUNCTION(makeImageNamed));
  factory(engine, "GuiImage", "@ f(const pos2di &in, const Texture@+, GuiElement@+)", asFUNCTION(makeImageOf));
  methods(engine, "GuiImage",
          {
              {"void setImage(string@+)", asFUNCTION(setImageNamed)},
              {"void setImage(const Texture@+)", asFUNCTION(setImage)},
              {"void setScaleImage(bool)", asFUNCTION(setScaleImage)},
              {"void setClickThrough(bool)", asFUNCTION(setClickThrough)},
              {"void setColor(Color)", asFUNCTION(setImageColor)},
          });
}

void registerGuiScrollBar(asIScriptEngine* engine) {
  registerKind(engine, "GuiScrollBar", guiCastTo<IGUIScrollBar>);
  factory(engine, "GuiScrollBar", "@ f(const recti &in, bool, GuiElement@+)", asFUNCTION(makeScrollBar));
  methods(engine, "GuiScrollBar",
          {
              {"void setPos(int)", asFUNCTION(setPos)},
              {"int getPos() const", asFUNCTION(getPos)},
              {"void setMax(int)", asFUNCTION(setMax)},
              {"int getMax() const", asFUNCTION(getMax)},
              {"void setMin(int)", asFUNCTION(setMin)},
              {"int getMin() const", asFUNCTION(getMin)},
              {"void setSmallStep(int)", asFUNCTION(setSmallStep)},
              {"int getSmallStep() const", asFUNCTION(getSmallStep)},
              {"void setLargeStep(int)", asFUNCTION(setLargeStep)},
              {"int getLargeStep() const", asFUNCTION(getLargeStep)},
              {"void setPageSize(int)", asFUNCTION(setPageSize)},
          });
}

void registerGuiExtText(asIScriptEngine* engine) {
  registerKind(engine, "GuiExtText", guiCastTo<CGUIExtendedText>);
  factory(engine, "GuiExtText", "@ f(const recti &in, GuiElement@+)", asFUNCTION(makeExtText));
  methods(engine, "GuiExtText",
          {
              {"void setText(const string@)", asFUNCTION(setText)},
              {"void setAlpha(float)", asFUNCTION(setTextAlpha)},
              {"void setShadow(Color)", asFUNCTION(setShadow)},
              {"void setTextColor(Color)", asFUNCTION(setTextColor)},
              {"void getTextColor(Color &out)", asFUNCTION(getTextColor)},
          });
}

void registerGuiPanel(asIScriptEngine* engine) {
  registerKind(engine, "GuiPanel", guiCastTo<CGUIPanel>);
  factory(engine, "GuiPanel", "@ f(const recti &in, bool, ScrollBarMode, ScrollBarMode, GuiElement@+)",
          asFUNCTION(makePanel));
  methods(engine, "GuiPanel",
          {
              {"void fitChildren()", asFUNCTION(fitChildren)},
              {"void resetScrollPosition()", asFUNCTION(resetScrollPosition)},
              {"pos2di getScrollPos() const", asFUNCTION(getScrollPos)},
              {"dim2di getScrollBounds() const", asFUNCTION(getScrollBounds)},
              {"void setScrollPos(const pos2di &in)", asFUNCTION(setScrollPos)},
          });
}

void registerGuiDraggable(asIScriptEngine* engine) {
  registerKind(engine, "GuiDraggable", guiCastTo<irr::gui::GUIDraggable>);
  factory(engine, "GuiDraggable", "@ f(const recti &in, bool, GuiElement@+)", asFUNCTION(makeDraggable));
  factory(engine, "GuiDraggable", "@ f(const recti &in, bool, bool, GuiElement@+)",
          asFUNCTION(makeDraggableOwnSurface));
}

void registerGuiBar(asIScriptEngine* engine) {
  registerKind(engine, "GuiBar", guiCastTo<CGUIBar>);
  factory(engine, "GuiBar", "@ f(const recti &in, GuiElement@+)", asFUNCTION(makeBar));
  methods(engine, "GuiBar",
          {
              {"void set(Color, Color, bool, float)", asFUNCTION(setBar)},
              {"void setColor(Color)", asFUNCTION(setBarColor)},
              {"void setColors(Color, Color)", asFUNCTION(setBarColors)},
              {"void setPct(float)", asFUNCTION(setBarPct)},
              {"void setHoriz(bool)", asFUNCTION(setBarHoriz)},
          });
}

void registerGuiZoomRegion(asIScriptEngine* engine) {
  registerKind(engine, "GuiZoomRegion", guiCastTo<CGUIZoomRegion>);
  factory(engine, "GuiZoomRegion", "@ f(const recti &in, float, float, GuiElement@+)", asFUNCTION(makeZoomRegion));
  methods(engine, "GuiZoomRegion",
          {
              {"float getZoom() const", asFUNCTION(getZoom)},
              {"void setZoom(float, const pos2di &in)", asFUNCTION(setZoom)},
          });
}
