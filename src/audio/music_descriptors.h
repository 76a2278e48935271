// The music descriptor file ("sounds/music/music.txt"): pairs of lines
//   Music: <track name>
//   File: <sound file path>
// naming the background music tracks. Each "File" line adds a track to the
// music box under the name of the last "Music" line; files are loaded only
// when played. Faulty lines are logged and skipped.
#pragma once

// Reads the file into the global music box.
void loadMusicDescriptors(const char* fileName);
