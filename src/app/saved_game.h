// Saved games: one ".qvs" file in the user folder's "Saves/", written by a
// running server session and read back while a session prepares its galaxy.
//
// Sections, in order (version 35): the header and description; the game
// settings and the formula constants (each a u32 count of (string, float)
// and a marker); the game time (double, marker); the common strings; the
// empires (u32 count, each empire's record); the local player's empire index
// (s32, -1 when none is listed; marker); the object tree (marker); the
// camera; the galaxy's gas sprites; then module data records (u8 engine flag,
// u32 length, module name, that many bytes of XML) to the end of the file.
//
// Older versions, as read: before 32 the settings and constants are not
// after the description (31 has them after the common strings, older ones
// none); before 17 the camera record is the focused object's UID alone;
// before 34 the module records have no engine flag and all go to the client
// engine; before 11 there is no description.
//
// The local player's empire (of the description and of the index) is the
// active empire, which between frames is the pending player empire; the
// spectator of a server is in no list, so a server saves the index -1, and
// loading such a save gives the session a new spectator.
//
// Saving keeps older copies by rotation ("name1.qvs" the newest) only once
// the new file is complete: the previous "name.qvs" gets a second name
// first, stays in place until the new file replaces it, and then becomes
// "name1.qvs". A failed save leaves every existing file as it was.
#pragma once

#include <irrString.h>

#include "app/base/console.h"

class SaveStream;
class SessionWorkers;

// The file of save `name`: a name without '/' or '\' is a file in the user
// folder's "Saves/" (".qvs" appended when missing); a name with a folder is
// used as given.
irr::core::stringc savedGamePath(const irr::core::stringc& name);

// Saves the running game as `name` (no folder, no ".qvs"), keeping
// `rotations` older copies (name1.qvs ...). Errors are logged ("Error saving
// save file: ...") and shown; the galaxy threads run on afterwards on every
// path. True when the file was written.
bool saveGame(const irr::core::stringc& name, int rotations);

// Writes the description (with `dateText` as its date) and every section
// after it into a stream whose header is written.
void writeSavedGame(SaveStream& stream, const irr::core::stringw& dateText);

// Rebuilds the session's galaxy and empires from the file at `path`; false
// after a reported failure (what was read is freed then, and the session
// tears down the rest).
bool loadSavedGame(const irr::core::stringc& path);

// Before the scripts are set up: the game settings and formula constants of
// the file at `path` (version 32 and later); nothing for older files. False
// when the file cannot be read so far; the load that follows reports why.
bool readSavedGameSettings(const irr::core::stringc& path);

// After a session on `name` could not load it: the sessions that follow make
// a new game instead of trying it again (the console's load request is
// forgotten, or a saved game named on the command line gives way to
// "spiral.as").
void forgetUnloadableSave(irr::core::stringc name);

// The console's request to load the save `name` (".qvs" included): unless
// this process is a connected network client, the save's header is checked
// (its error is printed, and nothing changes, when that fails), the running
// game ends, and every following session loads that file (its path, as
// savedGamePath gives it now, becomes `loadGameName`).
void requestLoadGame(const irr::core::stringw& name);

// The running session's workers, whose galaxy update a save waits for (null
// between sessions).
void setSavingSessionWorkers(SessionWorkers* workers);

// The console commands "save_game SaveName" and "load_game SaveName" (the
// command table registers them).
void saveGameCommand(const ConsoleArgs& args);
void loadGameCommand(const ConsoleArgs& args);
