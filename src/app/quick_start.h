// The quick start: the prepared map and game settings a new game begins
// with, applied before every game session.
//
// Profiles live in "Game Data/quickstart.xml" (through the active mod). Each
// "profile" element has an "id"; the one whose id equals `quickStartName`
// (ASCII letters compared without case) is applied. Inside it a "map"
// element's "file" names the map script (`mapName`), and every element of
// its "settings" block sets the game setting of the element's name to the
// element's "val":
//
//   <profile id="small">
//     <map file="spiral"/>
//     <settings><SYSTEM_COUNT val="40"/><AI_COUNT val="2"/></settings>
//   </profile>
//
// A file that is missing, empty or holds no such profile changes nothing. A
// profile whose markup is broken is refused whole with an error line; a
// "map" without a file name or a setting whose "val" is no finite number is
// refused alone with an error line, and the rest of the profile applies.
#pragma once

#include <irrString.h>

class ScriptXmlReader;

// Sets the game setting "SEED" to `nowMs` (the engine timer's real time in
// milliseconds), so that every game gets a galaxy of its own unless the
// profile sets "SEED", then applies the profile `quickStartName` of
// "Game Data/quickstart.xml" as the active mod (`currentModName`) provides
// it. Called by `main` once per pass of its loop over game sessions, before
// the server settings are read.
void applyQuickStart(unsigned nowMs);

// Applies the quick-start profile of the file at `path` whose id matches
// `id`; false when the file holds none or cannot be read.
bool applyQuickStartFile(const irr::core::stringc& path, const irr::core::stringw& id);

// Reads one profile from `reader`, positioned on the profile's start
// element, up to its end, and applies it when it was read whole. False
// (nothing applied, the error logged) when its markup is broken. `path`
// names the file in error lines.
bool applyQuickStartProfile(ScriptXmlReader& reader, const irr::core::stringc& path);

// True when the two ids are equal with the ASCII letters folded.
bool quickStartIdMatches(const wchar_t* id, const irr::core::stringw& wanted);
