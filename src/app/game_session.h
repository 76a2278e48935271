// One game session, from loading to tear-down, on the main thread: it checks
// the mod, seeds the random generators, mounts the data and sets up the
// scripts, loads the resources, prepares the galaxy (a client's wait for the
// server, a saved game or a new game), starts the workers, runs the frame
// loop until the session ends, and frees everything the session made.
#pragma once

#include <irrString.h>

#include <cstdint>

// runGameSession's result when the active mod cannot be found.
constexpr int kSessionModMissing = 7;
// runGameSession's result when the script set-up refused a binding: no
// session can run, and the program ends with kScriptSetupFailedExit.
constexpr int kSessionScriptSetupFailed = 8;
constexpr int kScriptSetupFailedExit = 1;

// Where a session's galaxy comes from.
enum class GalaxySource {
  Client,     // a connected network client waits for the server's galaxy
  SavedGame,  // the name ends with ".qvs" (any case)
  NewGame,    // the name is a map script
};
GalaxySource chooseGalaxySource(const irr::core::stringc& name, bool networkClient);

// The seed of a "SEED" game setting: truncated toward zero, keeping the low
// 32 bits (a clock reading in milliseconds stays itself when printed
// unsigned); 0 for a value that is not a finite number.
int32_t seedFromSetting(float value);

// Step 30 of a new game: every empire of `empireList`, in list order, runs
// the apply hook of each of its traits, in name order.
void applyEmpireTraits();
// Tear-down: every listed empire forgets its traits and trait tags, then the
// trait registry is cleared, so that nothing later finds a freed trait.
void clearSessionTraits();

// Runs one game session on `name` (a map script or a saved game's path).
// Returns kSessionModMissing when the active mod is missing (nothing else is
// done), kSessionScriptSetupFailed when a script binding was rejected (the
// session is torn down before any galaxy is made), kSessionQuit (startup.h) when the operator asked the server to stop
// or the engine device stopped, and 0 otherwise, a failed load included.
int runGameSession(const irr::core::stringc& name);
