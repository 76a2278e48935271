// Stopping stuck scripts once the operator asks the server to quit.
//
// The frame loop notices a quit request only between frames, and a script
// that never returns (a server module looping for ever in init or tick)
// would keep it from getting there. The watcher thread sleeps until the
// request arrives, gives the scripts running then a short grace, and then,
// for as long as the request stands, aborts every running script about ten
// times a second: the aborted call fails like any other
// failed script call, and the next script to get stuck is stopped too.
#pragma once

// Time a quit request gives running scripts before the first abort.
constexpr unsigned kQuitGraceMs = 500;
// Time between two rounds of aborting while a quit request stands.
constexpr unsigned kQuitAbortIntervalMs = 100;

// Starts the watcher thread (detached; it runs until the process ends).
// Only the first call starts one; false when that start failed.
bool startQuitWatcher();
