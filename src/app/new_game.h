// A new game: the empires (the special ones, the local player's and the AI
// empires), the galaxy made by the map script, one homeworld per empire and
// the player's welcome.
//
// Game settings read (defaults when absent): "AI_DIFFICULTY" 3, clamped to
// [0, 5], and "AI_CHEATS" 0, given to every AI empire as its settings
// "Difficulty" and "Cheats"; "AI_COUNT" 3, truncated and clamped to [0, 27]:
// how many AI empires to make (fewer when the list would pass 32 empires).
//
// The local player's empire of a new game on this server is the spectator
// "Spectator" (player name "You", ID 176, no own bit, not AI); it is not in
// the global empire list. The session owns it: freeNewGamePlayerEmpire frees
// it at tear-down.
//
// The map script is the server module "map": "void makeMap(Galaxy@)" makes
// the systems; "Planet@ setupHomeworld(System@, Empire@)" gives an empire its
// home in a system picked at random (a default planet when the function is
// missing or fails). A map that fails, or makes no system, leaves one empty
// system at the origin and the "Error loading map" box, and no homeworlds.
#pragma once

#include <irrString.h>

class empire;

// Sets up a new game on the map script at `mapScriptPath` (".as" appended
// when missing): makes the galaxy the session's `galaxy`.
void setupNewGame(const irr::core::stringc& mapScriptPath);

// Makes the galaxy and runs the map's "void makeMap(Galaxy@)"; true when it
// ran to completion.
bool runMapScript(const irr::core::stringc& mapScriptPath);

// Makes the session's spectator as a new game does, freeing an earlier one
// first; the session owns it (freeNewGamePlayerEmpire frees it). A loaded
// game whose local player's empire is not listed gets one this way.
empire* createSessionSpectator();

// Frees the spectator empire of the last new game, if any, and clears the
// active and pending player empires that pointed at it.
void freeNewGamePlayerEmpire();
