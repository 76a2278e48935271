// The cargo transfer dialog: a small modal window in which the player picks
// a resource, an amount and a direction, and which then gives a transfer
// order for that resource to the selection, towards the target object.
//
// The dialog holds one reference on the graphics object of the acting
// object (whose cargo is listed first) and one on the target's, from its
// opening until Transfer, Cancel or the close box, or the session's end.
// Its window is -1000 (so are Cancel and the close box), Transfer -999; the
// session binds both ids to onTransferDialogEvent when it builds its GUI.
//
// The amount box reads "all" (any case) as the whole stock, "<n>%" as that
// share (at most 100), and any other text as an absolute amount; text that
// is no number reads as 0, and an amount of 0 or less orders nothing.
//
// Main thread only.
#pragma once

#include <IEventReceiver.h>
#include <irrString.h>

#include <cstdint>

class generic_object;
class graphicsObject;

constexpr int32_t kCargoDialogWindowId = -1000;
constexpr int32_t kCargoDialogTransferId = -999;

// How an amount text reads: `amount` > 0 when something is to be moved,
// `fraction` for a share of the stock (1.0 is all of it).
struct TransferAmount {
  float amount = 0.0f;
  bool fraction = false;
};
TransferAmount parseTransferAmount(const irr::core::stringw& text);

// Opens the window at the cursor for `acting` and `target` (either may be
// null or have no graphics object; the window opens all the same). A
// second opening replaces the held references and leaves the first window.
void openCargoTransferDialog(generic_object* acting, generic_object* target);
// The GUI callback of both ids; always false.
bool onTransferDialogEvent(const irr::SEvent& event);
// Binds ids -1000 and -999 in the GUI callback map.
void bindCargoDialogCallbacks();
// Lets go of the held references (end of a session); the window, when still
// in the GUI, is removed.
void releaseCargoDialog();

// What the dialog holds, for tests.
graphicsObject* cargoDialogActing();
graphicsObject* cargoDialogTarget();
irr::gui::IGUIElement* cargoDialogWindow();
