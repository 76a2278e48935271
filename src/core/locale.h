// The localisation table: player-visible texts by key ("#EM_Options").
//
// "Locales/english.txt" is loaded first and the chosen language's file over
// it, so keys the language lacks keep their English text. A file's lines are
// "key: text"; a text that ends with a backslash continues with the whole
// next line; a text between double quotes loses them; "\n", "\r" and "\t"
// (the tab tag) are expanded. A key the table lacks is shown as itself.
//
// Loading may run while other threads look keys up: a load builds a new
// table and swaps it in, and every text handed out stays valid for the life
// of the process.
#pragma once

#include <irrString.h>

// Reads a locale file into the table (emptied first with `clearFirst`).
// False, with the table left as it was, when the file cannot be read.
bool loadLocaleFile(const irr::core::stringc& path, bool clearFirst);

// The text of `key` (written with its "#"). For a key the table lacks, a copy
// of the key, valid until the calling thread's next missing key.
const wchar_t* getLocalizedText(const irr::core::stringw& key);

// When `text` begins with "#": replaces it by its localised text when the
// table has it, and returns true either way. Otherwise false, unchanged.
bool checkLocalize(irr::core::stringw& text);

// True when the table holds `key`; its text is stored in `text` when given.
bool findLocaleEntry(const irr::core::stringw& key, const wchar_t** text = nullptr);
