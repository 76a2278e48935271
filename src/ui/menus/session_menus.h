// The game session's escape menu: its buttons and what they do, the two
// confirmation boxes, and the menus' end with the session.
//
// Buttons, in order: Options (the options dialog on config.cfg, unless it is
// open), Quicksave and Save (not on a network client), Open IRC, Main Menu
// and Exit (each after an OK in a confirmation box), Close. Main Menu's OK
// ends the session (the next one follows); Exit's OK closes the engine
// device, which ends the server like any stop of the device.
//
// Main thread only.
#pragma once

#include <IEventReceiver.h>

#include <cstdint>

#include "ui/menus/save_game_menu.h"

// The confirmation boxes' id.
constexpr int32_t kConfirmBoxId = -10222;

// Step 24 of a session: builds the menu (sessionEscapeMenu) and binds key 27
// to the Escape action. `saver` saves the game (Quicksave, the save dialog).
void buildSessionEscapeMenu(bool networkClient, GameSaver saver);
// The session's end: the menu goes, key 27 is unbound, and the options
// dialog, the save dialog and a confirmation box still open are closed.
void tearDownSessionEscapeMenu();

// The callback of kConfirmBoxId: on OK, the confirmed action; never
// handled.
bool confirmBoxClicked(const irr::SEvent& event);
