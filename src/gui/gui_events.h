// The GUI events as client scripts read them, and the enumerations that GUI
// scripts steer elements with.
//
// Scripts never see the engine's own event records: the engine's GUI event
// codes differ from ours after 5, its key record has no Alt byte and holds a
// 32-bit character. Every engine event that reaches a script is translated
// first into one of the records below (translateGuiEvent and its twins),
// whose fields the script types `GUIEvent`, `MouseEvent` and `KeyEvent` read
// in place.
//
// GUI event codes (`GUIEventType`), ours against the engine's:
//   0..5   focus lost, focus gained, mouse over, mouse left, closed, clicked:
//          the same numbers
//   6      right click        (our elements raise kEngineGuiRightClicked)
//   7..10  scrolled, check box toggled, list box changed, list box selected
//          again: the engine's 6..9
//   11     list box hovered   (our elements raise kEngineGuiListboxHovered)
//   12..28 the engine's 10..26 (13 directory selected and 21 edit-box
//          marking changed have no script name)
// The engine's tree-view events have no code of ours and reach no script.
#pragma once

#include <IEventReceiver.h>

#include <angelscript.h>

#include <cstdint>

namespace irr::gui {
class IGUIElement;
}

// The GUI event codes that our own elements raise in engine GUI events, past
// the engine's own codes. They lie outside the range of the engine's event
// enumeration: write and read them with the two functions below only.
constexpr int32_t kEngineGuiRightClicked = 0x100;
constexpr int32_t kEngineGuiListboxHovered = 0x101;

// The event code of an engine GUI event as a plain number, and the setter
// that our elements raise their own codes with.
int32_t engineGuiEventCode(const irr::SEvent::SGUIEvent& event);
void setEngineGuiEventCode(irr::SEvent::SGUIEvent& event, int32_t code);

// Our GUI event codes (script enumeration `GUIEventType`).
enum GuiScriptEventType : int32_t {
  kGevtFocusLost = 0,
  kGevtFocusGained = 1,
  kGevtMouseOver = 2,
  kGevtMouseLeft = 3,
  kGevtClosed = 4,
  kGevtClicked = 5,
  kGevtRightClicked = 6,
  kGevtScrolled = 7,
  kGevtCheckboxToggled = 8,
  kGevtListboxChanged = 9,
  kGevtListboxSelectedAgain = 10,
  kGevtListboxHovered = 11,
  kGevtFileSelected = 12,
  kGevtDirectorySelected = 13,  // no script name
  kGevtFileSelectCanceled = 14,
  kGevtMessageBoxYes = 15,
  kGevtMessageBoxNo = 16,
  kGevtMessageBoxOk = 17,
  kGevtMessageBoxCancel = 18,
  kGevtEditBoxEnterPressed = 19,
  kGevtEditBoxChanged = 20,
  kGevtEditBoxMarkingChanged = 21,  // no script name
  kGevtTabChanged = 22,
  kGevtMenuItemSelected = 23,
  kGevtComboBoxChanged = 24,
  kGevtSpinboxChanged = 25,
  kGevtTableChanged = 26,
  kGevtTableHeaderChanged = 27,
  kGevtTableSelectedAgain = 28,
};

// What a scripted element's handler decides about an event (`EventReturn`).
enum EventReturn : int32_t {
  ER_Pass = 0,    // not decided: the parent gets the event
  ER_Absorb = 1,  // handled: nobody else sees it
  ER_Ignore = 2,  // not handled, and not handed on
};

// Our mouse event codes (`MouseEventType`): the engine's up to the left
// double click; its left triple click is our 9. The engine's right and
// middle double and triple clicks have no code of ours.
enum MouseScriptEventType : int32_t {
  kMetLeftDown = 0,
  kMetRightDown = 1,
  kMetMiddleDown = 2,
  kMetLeftUp = 3,
  kMetRightUp = 4,
  kMetMiddleUp = 5,
  kMetMoved = 6,
  kMetWheel = 7,
  kMetDoubleClick = 8,
  kMetTripleClick = 9,
};

// Mouse button bits of MouseEventRecord::ButtonStates.
constexpr uint32_t kMouseLeftButton = 1;
constexpr uint32_t kMouseRightButton = 2;
constexpr uint32_t kMouseMiddleButton = 4;

// Key record flag bits.
constexpr uint8_t kKeyPressedDown = 1;
constexpr uint8_t kKeyShift = 2;
constexpr uint8_t kKeyControl = 4;
// Mouse record modifier bits.
constexpr uint8_t kMouseShift = 1;
constexpr uint8_t kMouseControl = 2;

// `GUIEvent`: the element that raised the event, the other element (the one
// that lost or gained focus and the like, may be null) and our code.
struct GuiEventRecord {
  irr::gui::IGUIElement* Caller = nullptr;
  irr::gui::IGUIElement* Element = nullptr;
  int32_t EventType = 0;
};

// `MouseEvent`.
struct MouseEventRecord {
  int32_t X = 0;
  int32_t Y = 0;
  float Wheel = 0;
  uint8_t Modifiers = 0;  // kMouseShift, kMouseControl
  uint32_t ButtonStates = 0;
  int32_t Event = 0;  // MouseScriptEventType

  bool isLeftPressed() const { return (ButtonStates & kMouseLeftButton) != 0; }
  bool isRightPressed() const { return (ButtonStates & kMouseRightButton) != 0; }
  bool isMiddlePressed() const { return (ButtonStates & kMouseMiddleButton) != 0; }
};

// `KeyEvent`: the Alt byte follows the flags byte.
struct KeyEventRecord {
  uint16_t Char = 0;
  uint32_t Key = 0;
  uint8_t Flags = 0;  // kKeyPressedDown, kKeyShift, kKeyControl
  uint8_t Alt = 0;
};

// Our code of an engine GUI event code; false for codes we have none for.
bool guiScriptEventCode(int32_t engineCode, int32_t& code);

// The script records of engine events. The GUI and mouse ones are false for
// an event whose code reaches no script. The key record's Alt byte is `altKeyDown`;
// characters beyond 16 bits keep their low 16 bits.
bool translateGuiEvent(const irr::SEvent::SGUIEvent& event, GuiEventRecord& record);
bool translateMouseEvent(const irr::SEvent::SMouseInput& event, MouseEventRecord& record);
KeyEventRecord translateKeyEvent(const irr::SEvent::SKeyInput& event);

// Script registrations, each where registerGuiBindings places it (client
// engine only).
void registerElementAlignment(AngelScript::asIScriptEngine* engine);
void registerButtonAppearance(AngelScript::asIScriptEngine* engine);
void registerScrollBarMode(AngelScript::asIScriptEngine* engine);
void registerMiniViewMode(AngelScript::asIScriptEngine* engine);
void registerWindowMode(AngelScript::asIScriptEngine* engine);
// GUIEventType, GUIEvent, MouseEventType, MouseEvent, KeyEvent, EventReturn
// and the interface ScriptedGuiHandler, in that order. `GuiElement` must
// exist.
void registerGuiEventTypes(AngelScript::asIScriptEngine* engine);

// The declarations of a scripted element's handler methods, in the order of
// ScriptedGuiElement's method ids; the interface has the first four.
constexpr int kScriptedHandlerMethods = 5;
extern const char* const kScriptedHandlerDeclarations[kScriptedHandlerMethods];
