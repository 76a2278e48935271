// The core script globals: the base library of global functions every script
// gets (random numbers, small numeric helpers, number and text formatting,
// localisation, game settings, clocks, logging, stopping a script), the
// value type `set_int`, the functions interface scripts need, and
// "float evaluateFormula(const string &, const Empire@ forEmpire)".
//
// Registration (the string type, math and dictionary come first):
//   registerScriptCoreGlobals   `set_int`, then each global function on the
//                               server engine and then the client engine
//                               (interface functions on the client engine
//                               only), then the enum KeyFlags, printVals and
//                               the modifier-key properties.
//   registerEvaluateFormula     evaluateFormula, on the server engine only
//                               (the type "Empire" must exist).
//
// What the globals read of subsystems built above the script host reaches
// them through `scriptGlobalHooks`, which those subsystems fill at start-up,
// before any script runs. A hook left empty gives the neutral answer noted
// beside it (0, an empty text, false, nothing done).
#pragma once

#include <angelscript.h>
#include <irrString.h>
#include <position2d.h>

#include <cstdint>
#include <set>

struct FunctionHook;
class NamedList;
class ScriptString;
namespace irr {
namespace gui {
class IGUIFont;
}
}  // namespace irr

struct ScriptGlobalHooks {
  // Clocks: the game time in seconds, and the engine timer's real time in
  // milliseconds.
  double (*gameTime)() = nullptr;
  uint32_t (*realTime)() = nullptr;

  // evaluateFormula: takes the empire's lock for writing and gives its own
  // variable set; the second releases the lock. Without them formulas are
  // evaluated without variables.
  NamedList* (*lockEmpireValues)(const void* empire) = nullptr;
  void (*unlockEmpireValues)(const void* empire) = nullptr;

  // Interface engine.
  irr::gui::IGUIFont* (*defaultFont)() = nullptr;  // the GUI skin's default font
  irr::core::stringw (*currentTrackName)() = nullptr;
  uint32_t (*currentTrackIndex)() = nullptr;
  uint32_t (*currentTrackTimeLeft)() = nullptr;
  uint32_t (*lastChatID)() = nullptr;
  irr::core::stringw (*chatLog)(uint32_t newerThan) = nullptr;
  void (*sendChat)(const irr::core::stringw& text) = nullptr;
  // Clears the key's binding and binds it to the script function, called as
  // "bool <name>(uint8)"; the result of the binding.
  bool (*bindKeyToFunction)(uint8_t key, const FunctionHook& function) = nullptr;
  void (*bindKeyToAction)(const irr::core::stringw& key, const irr::core::stringw& action) = nullptr;
  irr::core::position2di (*mousePosition)() = nullptr;
  void (*hookLink)(const irr::core::stringw& kind, const FunctionHook& function) = nullptr;
  // Makes the local player play the empire behind a script handle (never
  // null), when that empire is valid.
  void (*playAsEmpire)(const void* empire) = nullptr;
  // Both engines: plays a loaded sound of that name as a 2D sound.
  void (*playSound)(const irr::core::stringw& name) = nullptr;
  // The modifier-key flags the event handler keeps, bound to "bool shiftKey",
  // "bool ctrlKey" and "bool altKey" when the globals are registered.
  bool* shiftKey = nullptr;
  bool* ctrlKey = nullptr;
  bool* altKey = nullptr;
};
extern ScriptGlobalHooks scriptGlobalHooks;

// An ordered set of distinct integers with one iteration position, which is
// at an element or at the end:
//   resetIter()  to the smallest value (the end for an empty set)
//   hasNext()    the position is not at the end
//   next()       the value at the position; the position moves to the next
//                larger value. At the end, a script exception.
// Inserting keeps the position; erasing the value at the position, or
// clearing, moves it to the end.
class SetInt {
 public:
  void insert(int32_t value) { values_.insert(value); }
  bool exists(int32_t value) const { return values_.count(value) != 0; }
  void erase(int32_t value);
  void clear();
  void resetIter();
  bool hasNext() const { return !atEnd_; }
  uint32_t size() const { return static_cast<uint32_t>(values_.size()); }
  int32_t next();

 private:
  std::set<int32_t> values_;
  // The position as the value it is at: robust against the engine moving
  // the object, as no iterator into the set is kept.
  int32_t position_ = 0;
  bool atEnd_ = true;
};

// A copy of `text` fit to name a hull layout: "\\", "/" and "|" become
// "-", line feeds, carriage returns and tabs blanks, "#" "+". The script
// global "hullEscape"; the caller owns the new string.
ScriptString* hullEscape(const ScriptString& text);

void registerScriptCoreGlobals();
void registerEvaluateFormula();
