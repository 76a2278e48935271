// A network client's wait for its server's galaxy: asks for it, shows a
// waiting text, a cancel button and a progress bar, and polls the network
// until the galaxy is complete, the player cancels, or the connection is
// lost.
#pragma once

#include <IEventReceiver.h>

#include <cstdint>

// The cancel button's GUI element id.
constexpr int32_t kMapWaitCancelButtonId = -100000;
// The menu screen shown after a wait that was cancelled or lost.
constexpr int32_t kMenuScreenAfterMapWait = 7;

// Waits for the galaxy. True when it arrived: it is then the session's
// galaxy, with its environment set up, and the server has been told. False
// when the wait was cancelled or the connection lost (`gameRunning` is then
// clear and the galaxy made for the wait is gone).
bool waitForServerMap();

// The cancel button's handler: a click ends the wait and leaves the game.
bool cancelMapWait(const irr::SEvent& event);
