// Names, colours and rulers of new empires, and the special empires.
//
// A new empire draws a name and a colour that no other empire holds from
// two tables filled from "Game Data/EmpireNames.txt" (one name a line) and
// "Game Data/EmpireColors.txt" (one colour a line as four hexadecimal bytes:
// alpha, red, green, blue). The first three lines of the colour file are
// kept for the special empires: space, pirates, remnants.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include <irrString.h>

class empire;
class hull_list;

// The names still to be given out.
extern std::vector<irr::core::stringw> empireNames;
// The colours still to be given out, in ascending order.
extern std::set<uint32_t> empireColors;
// The special empires' colours by position (0 space, 1 pirates, 2 remnants).
extern std::vector<uint32_t> reservedColors;

constexpr uint32_t kWhite = 0xFFFFFFFFu;

// Refill the tables from their files (through the active mod first).
void loadEmpireNames();
void loadEmpireColors();
// Empties the names still to be given out.
void clearEmpireNames();

// A random name ("---" when none is left), which stays in the table.
irr::core::stringw pickRandomEmpireName();
// A random colour, which stays in the table.
uint32_t pickRandomEmpireColor();

// Makes the space (255), pirate (254) and remnant (253) empires, names the
// default empire, sets the next ID to 1 and reloads both tables.
void createSpecialEmpires();

// The space empire's placeholder layout "Unknown Hull Layout", made anew
// (replacing an earlier one) on each call.
hull_list* getUnknownHullLayout();
