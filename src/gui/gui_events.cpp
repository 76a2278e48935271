#include "gui/gui_events.h"

#include <cstddef>
#include <cstring>

#include <EGUIAlignment.h>

#include "app/base/event_handler.h"
#include "script/script_registration.h"

using namespace AngelScript;
using irr::gui::EGUI_EVENT_TYPE;

const char* const kScriptedHandlerDeclarations[kScriptedHandlerMethods] = {
    "void draw(GuiElement@)",
    "EventReturn onKeyEvent(GuiElement@,const KeyEvent&)",
    "EventReturn onMouseEvent(GuiElement@,const MouseEvent&)",
    "EventReturn onGUIEvent(GuiElement@,const GUIEvent&)",
    "EventReturn hoverCheck(const GuiElement@,const pos2di&)",
};

static_assert(sizeof(EGUI_EVENT_TYPE) == sizeof(int32_t), "engine GUI event codes are 32-bit");

int32_t engineGuiEventCode(const irr::SEvent::SGUIEvent& event) {
  int32_t code = 0;
  std::memcpy(&code, &event.EventType, sizeof code);
  return code;
}

void setEngineGuiEventCode(irr::SEvent::SGUIEvent& event, int32_t code) {
  std::memcpy(&event.EventType, &code, sizeof code);
}

bool guiScriptEventCode(int32_t engineCode, int32_t& code) {
  // The engine's codes from the scroll bar on are ours less two: right
  // click and list-box hover sit between.
  constexpr int32_t kShiftedFrom = irr::gui::EGET_SCROLL_BAR_CHANGED;
  constexpr int32_t kHoverSlot = irr::gui::EGET_LISTBOX_SELECTED_AGAIN;
  if (engineCode == kEngineGuiRightClicked) {
    code = kGevtRightClicked;
    return true;
  }
  if (engineCode == kEngineGuiListboxHovered) {
    code = kGevtListboxHovered;
    return true;
  }
  const int32_t value = engineCode;
  if (value < 0 || value > irr::gui::EGET_TABLE_SELECTED_AGAIN)
    return false;
  if (value < kShiftedFrom)
    code = value;
  else if (value <= kHoverSlot)
    code = value + 1;
  else
    code = value + 2;
  return true;
}

bool translateGuiEvent(const irr::SEvent::SGUIEvent& event, GuiEventRecord& record) {
  int32_t code = 0;
  if (!guiScriptEventCode(engineGuiEventCode(event), code))
    return false;
  record.Caller = event.Caller;
  record.Element = event.Element;
  record.EventType = code;
  return true;
}

bool translateMouseEvent(const irr::SEvent::SMouseInput& event, MouseEventRecord& record) {
  if (event.Event <= irr::EMIE_LMOUSE_DOUBLE_CLICK)
    record.Event = static_cast<int32_t>(event.Event);
  else if (event.Event == irr::EMIE_LMOUSE_TRIPLE_CLICK)
    record.Event = kMetTripleClick;
  else
    return false;
  record.X = event.X;
  record.Y = event.Y;
  record.Wheel = event.Wheel;
  record.Modifiers = static_cast<uint8_t>((event.Shift ? kMouseShift : 0) | (event.Control ? kMouseControl : 0));
  record.ButtonStates = event.ButtonStates;
  return true;
}

KeyEventRecord translateKeyEvent(const irr::SEvent::SKeyInput& event) {
  KeyEventRecord record;
  record.Char = static_cast<uint16_t>(event.Char);
  record.Key = static_cast<uint32_t>(event.Key);
  record.Flags = static_cast<uint8_t>((event.PressedDown ? kKeyPressedDown : 0) | (event.Shift ? kKeyShift : 0) |
                                      (event.Control ? kKeyControl : 0));
  record.Alt = altKeyDown ? 1 : 0;
  return record;
}

namespace {

struct EnumValue {
  const char* name;
  int value;
};

template <std::size_t N>
void registerEnum(asIScriptEngine* engine, const char* type, const EnumValue (&values)[N]) {
  checked(engine).RegisterEnum(type);
  for (const EnumValue& value : values)
    checked(engine).RegisterEnumValue(type, value.name, value.value);
}

// Scripts hold event records only while a handler runs: handles to them
// count nothing.
void noEventReference(void*) {}

irr::gui::IGUIElement* otherElement(const GuiEventRecord* event) { return event->Element; }
bool mouseShift(const MouseEventRecord* event) { return (event->Modifiers & kMouseShift) != 0; }
bool mouseControl(const MouseEventRecord* event) { return (event->Modifiers & kMouseControl) != 0; }
bool keyPressed(const KeyEventRecord* event) { return (event->Flags & kKeyPressedDown) != 0; }
bool keyShift(const KeyEventRecord* event) { return (event->Flags & kKeyShift) != 0; }
bool keyControl(const KeyEventRecord* event) { return (event->Flags & kKeyControl) != 0; }

void registerEventRecordType(asIScriptEngine* engine, const char* type) {
  checked(engine).RegisterObjectType(type, 0, asOBJ_REF);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_ADDREF, "void f()", asFUNCTION(noEventReference),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()", asFUNCTION(noEventReference),
                                          asCALL_CDECL_OBJLAST);
}

}  // namespace

void registerElementAlignment(asIScriptEngine* engine) {
  registerEnum(engine, "ElementAlignment",
               {{"EA_Left", irr::gui::EGUIA_UPPERLEFT},
                {"EA_Top", irr::gui::EGUIA_UPPERLEFT},
                {"EA_Center", irr::gui::EGUIA_CENTER},
                {"EA_Right", irr::gui::EGUIA_LOWERRIGHT},
                {"EA_Bottom", irr::gui::EGUIA_LOWERRIGHT},
                {"EA_Scale", irr::gui::EGUIA_SCALE}});
}

void registerButtonAppearance(asIScriptEngine* engine) {
  registerEnum(engine, "ButtonAppearance", {{"BA_Background", 1}, {"BA_ScaleImage", 2}, {"BA_UseAlpha", 4}});
}

void registerScrollBarMode(asIScriptEngine* engine) {
  registerEnum(engine, "ScrollBarMode", {{"SBM_Invisible", 1}, {"SBM_Visible", 2}, {"SBM_Auto", 0}});
}

void registerMiniViewMode(asIScriptEngine* engine) {
  registerEnum(engine, "MiniViewMode", {{"MVM_Top", 0}, {"MVM_Side", 1}});
}

void registerWindowMode(asIScriptEngine* engine) {
  registerEnum(engine, "WindowMode", {{"WM_Close", 1}, {"WM_Minimize", 2}, {"WM_Resize", 4}, {"WM_Modal", 8}});
}

void registerGuiEventTypes(asIScriptEngine* engine) {
  registerEnum(engine, "GUIEventType",
               {{"GEVT_Focus_Lost", kGevtFocusLost},
                {"GEVT_Focus_Gained", kGevtFocusGained},
                {"GEVT_Mouse_Over", kGevtMouseOver},
                {"GEVT_Mouse_Left", kGevtMouseLeft},
                {"GEVT_Closed", kGevtClosed},
                {"GEVT_Clicked", kGevtClicked},
                {"GEVT_Right_Clicked", kGevtRightClicked},
                {"GEVT_Scrolled", kGevtScrolled},
                {"GEVT_Checkbox_Toggled", kGevtCheckboxToggled},
                {"GEVT_Listbox_Changed", kGevtListboxChanged},
                {"GEVT_Listbox_Selected_Again", kGevtListboxSelectedAgain},
                {"GEVT_Listbox_Hovered", kGevtListboxHovered},
                {"GEVT_File_Selected", kGevtFileSelected},
                {"GEVT_File_Select_Canceled", kGevtFileSelectCanceled},
                {"GEVT_MSGBOX_Yes", kGevtMessageBoxYes},
                {"GEVT_MSGBOX_No", kGevtMessageBoxNo},
                {"GEVT_MSGBOX_Ok", kGevtMessageBoxOk},
                {"GEVT_MSGBOX_Cancel", kGevtMessageBoxCancel},
                {"GEVT_EditBox_Enter_Pressed", kGevtEditBoxEnterPressed},
                {"GEVT_EditBox_Changed", kGevtEditBoxChanged},
                {"GEVT_Tab_Changed", kGevtTabChanged},
                {"GEVT_Menu_Item_Selected", kGevtMenuItemSelected},
                {"GEVT_ComboBox_Changed", kGevtComboBoxChanged},
                {"GEVT_Spinbox_Changed", kGevtSpinboxChanged},
                {"GEVT_Table_Changed", kGevtTableChanged},
                {"GEVT_Table_Header_Changed", kGevtTableHeaderChanged},
                {"GEVT_Table_Selected_Again", kGevtTableSelectedAgain}});

  registerEventRecordType(engine, "GUIEvent");
  checked(engine).RegisterObjectMethod("GUIEvent", "GuiElement@+ get_Element() const", asFUNCTION(otherElement),
                                       asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectProperty("GUIEvent", "GuiElement@ Caller", offsetof(GuiEventRecord, Caller));
  checked(engine).RegisterObjectProperty("GUIEvent", "GUIEventType EventType",
                                         offsetof(GuiEventRecord, EventType));

  registerEnum(engine, "MouseEventType",
               {{"MET_LEFT_UP", kMetLeftUp},
                {"MET_LEFT_DOWN", kMetLeftDown},
                {"MET_RIGHT_UP", kMetRightUp},
                {"MET_RIGHT_DOWN", kMetRightDown},
                {"MET_MIDDLE_UP", kMetMiddleUp},
                {"MET_MIDDLE_DOWN", kMetMiddleDown},
                {"MET_DBL_CLICK", kMetDoubleClick},
                {"MET_TRIPLE_CLICK", kMetTripleClick},
                {"MET_MOVED", kMetMoved},
                {"MET_WHEEL", kMetWheel}});

  registerEventRecordType(engine, "MouseEvent");
  checked(engine).RegisterObjectProperty("MouseEvent", "int x", offsetof(MouseEventRecord, X));
  checked(engine).RegisterObjectProperty("MouseEvent", "int y", offsetof(MouseEventRecord, Y));
  checked(engine).RegisterObjectProperty("MouseEvent", "uint buttons", offsetof(MouseEventRecord, ButtonStates));
  checked(engine).RegisterObjectMethod("MouseEvent", "bool get_ctrl() const", asFUNCTION(mouseControl),
                                       asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod("MouseEvent", "bool get_shift() const", asFUNCTION(mouseShift),
                                       asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectProperty("MouseEvent", "float wheel", offsetof(MouseEventRecord, Wheel));
  checked(engine).RegisterObjectProperty("MouseEvent", "MouseEventType EventType",
                                         offsetof(MouseEventRecord, Event));
  checked(engine).RegisterObjectMethod("MouseEvent", "bool isLeftPressed() const",
                                       asMETHOD(MouseEventRecord, isLeftPressed), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("MouseEvent", "bool isMiddlePressed() const",
                                       asMETHOD(MouseEventRecord, isMiddlePressed), asCALL_THISCALL);
  checked(engine).RegisterObjectMethod("MouseEvent", "bool isRightPressed() const",
                                       asMETHOD(MouseEventRecord, isRightPressed), asCALL_THISCALL);

  registerEventRecordType(engine, "KeyEvent");
  checked(engine).RegisterObjectProperty("KeyEvent", "bool alt", offsetof(KeyEventRecord, Alt));
  checked(engine).RegisterObjectMethod("KeyEvent", "bool get_ctrl() const", asFUNCTION(keyControl),
                                       asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod("KeyEvent", "bool get_shift() const", asFUNCTION(keyShift),
                                       asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod("KeyEvent", "bool get_pressed() const", asFUNCTION(keyPressed),
                                       asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectProperty("KeyEvent", "uint16 char", offsetof(KeyEventRecord, Char));
  checked(engine).RegisterObjectProperty("KeyEvent", "uint key", offsetof(KeyEventRecord, Key));

  registerEnum(engine, "EventReturn", {{"ER_Pass", ER_Pass}, {"ER_Absorb", ER_Absorb}, {"ER_Ignore", ER_Ignore}});

  checked(engine).RegisterInterface("ScriptedGuiHandler");
  for (int i = 0; i < 4; ++i)
    checked(engine).RegisterInterfaceMethod("ScriptedGuiHandler", kScriptedHandlerDeclarations[i]);
}
