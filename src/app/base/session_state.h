// The game session's state that the rest of the server reads: whether a game
// runs, the game clock and speed, and where the session is in its life.
//
// The frame loop (main thread) writes them. Values that other threads read
// while the loop runs (the galaxy processing threads, the workers, the
// network thread) are atomics: `gameRunning`, `gameTime`, `frameCounter`,
// `simulationStarted`, `sessionActive` and `sessionEnding`. Read `gameTime`
// with gameTime.load() where a plain double is needed (printf).
#pragma once

#include <atomic>
#include <cstdint>

// The frame loop runs while set; set once the galaxy is being prepared,
// cleared by whoever ends the session (console, network layer, menus, a
// failed load).
extern std::atomic<bool> gameRunning;
// Game seconds elapsed, advanced by every frame's game step. Kept across
// sessions unless a new or loaded game sets it.
extern std::atomic<double> gameTime;
// The game speed factor; 0.01 during the first simulation frame of a
// session, then restored.
extern double gameSpeed;
// A speed asked for during the speed ramp of a session's first frames,
// which the ramp ends on; -1.0 when none (set when the loop starts).
extern double pendingGameSpeed;
// From the start of a session's speed ramp until the speed is restored:
// `gameSpeed` holds the ramp speed, and a speed asked for meanwhile waits in
// `pendingGameSpeed`.
extern bool speedRampActive;
// The seed given to the process-wide pseudo-random generator ("SEED").
extern int32_t currentSeed;
// Real seconds accumulated since the last simulation frame (capped).
extern float realFrameTime;
// Game seconds accumulated since the last simulation frame.
extern float gameFrameTime;
// Simulation frames run.
extern std::atomic<int32_t> frameCounter;
// The first simulation frame of a session is still to come (it runs at the
// ramp speed and leaves the restore to the second).
extern bool firstFramePending;
// The next simulation frame restores the game speed.
extern bool speedRestorePending;
// Set when the game speed was restored on the second simulation frame;
// cleared at session start and tear-down.
extern std::atomic<bool> simulationStarted;
// True while the session's workers exist and its frame loop runs (from the
// start, on a network client, as the client waits for its galaxy).
extern std::atomic<bool> sessionActive;
// True once the frame loop has ended.
extern std::atomic<bool> sessionEnding;
// Statistics of star systems are kept: set once the galaxy has been
// prepared, cleared when tear-down begins.
extern std::atomic<bool> statisticsActive;
// This process runs the game's rules (not a network client): set at session
// start, cleared when tear-down begins. Gates the object kinds' script hooks,
// empire messages and explosion bursts.
extern std::atomic<bool> gameRulesActive;
// The galaxy processing threads run: set when they start, cleared once
// tear-down has paused them. While set, an empire's object set changes only
// on its own step.
extern std::atomic<bool> simulationRunning;
// Set when no galaxy was prepared (failed load, cancelled client wait).
extern bool galaxyFailed;
// A game is loaded and runs: set once the galaxy is prepared and its
// processing threads run, cleared when tear-down begins. The network reads
// it (auto-pause, replication, players leaving, the version check).
extern std::atomic<bool> gameLoaded;
// Set when a session starts its game; the network's session restart (145)
// clears it.
extern std::atomic<bool> sessionStarted;
// The game speed a pause saved, which the pause's end restores (the
// network's auto-pause and the players' pause votes).
extern double speedBeforePause;
// The menu screen to show once the session ends (7: a network client's
// galaxy wait was cancelled or lost).
extern std::atomic<int32_t> menuNextScreen;
// The server allows cheats ("sv_cheats"); off at start. A client takes its
// server's value from the game clock message.
extern std::atomic<bool> svCheats;
