// Repeat-orders mode: the player records a sequence of orders for a group of
// ships and hands them the whole sequence as one repeating order.
//
// The key action "repeat_mode" toggles it. The first press (with something
// selected) remembers the selected objects and starts a recording: from then
// on every order given to the selection is collected into the recording
// instead of reaching any object (see giveOrderToSelection). The second
// press gives the recording, as one repeat order, to the remembered objects
// that lead themselves (repeatTargetFilter: fleet members move with their
// fleet), and leaves the player's selection as it was before the press.
// While recording, a red "Repeat Mode" label shows in the top right corner.
//
// releaseViewInputObjects is the game session's tear-down of everything the
// strategic view's input holds: the mode's lists and recording (discarded,
// not given), its label, the hovered object, the cargo dialog's references
// and the view's cached script callbacks.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "universe/objects/held_pointer.h"

class generic_object;
class graphicsObject;
namespace irr {
namespace gui {
class IGUIStaticText;
}
}  // namespace irr

using HeldSelection = std::vector<heldPointer<graphicsObject>>;

// The callback of the key action "repeat_mode": a release (bit 0 of
// `keyFlags` clear) does nothing and is not used; a press toggles the mode
// (starting it only when something is selected) and is always used.
bool toggleRepeatMode(uint8_t keyFlags);

// Empties `list`, then holds each selected object in selection order.
void snapshotSelection(HeldSelection& list);
// Makes the objects of `list`, in its order, the selection (the selection id
// grows, the sub-selection index goes back to 0).
void restoreSelection(const HeldSelection& list);
// Whether the repeat order goes to `object`: true when its AI follows no
// fleet commander (or, for a commander, itself).
bool repeatTargetFilter(generic_object* object);

// What the mode holds now, for tests.
const HeldSelection& repeatRecordedSelection();
// The label, or null before the first press of a session.
irr::gui::IGUIStaticText* repeatModeLabel();

// Game-session tear-down (see the file's head).
void releaseViewInputObjects();
