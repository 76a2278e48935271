// Technology files, "Game Data/Technologies/*.txt": one "Key: Value" pair a
// line (a line without ":" is skipped), keys compared exactly.
//
//   Technology: <id>        finishes the technology before it and begins one
//                           (an id already registered is refused, and every
//                           line up to the next Technology line with it)
//   Name, Description, Icon texts: "#key" is looked up in the locale table,
//                           otherwise one enclosing pair of quotes goes
//   Cost, MaxLevel, StartLevel
//                           formulas (once each; defaults "1", "999999999"
//                           and "0")
//   Link: <id> [<cost>]     a link to another technology (at most 255)
//   Locks, Tags             comma lists of names; a technology without any
//                           lock gets the lock "Link"
//   Position: <x>, <y>      where the research screen draws it
//   OnLevel: <levels> link_pay_rand <amount>
//   OnLevel: <levels> link_pay <link index> <amount>
//   OnLevel: <level> unlock <id>[:<lock>]
//                           level events; <levels> is a number or a range
//                           "a-b" of at most 10,000 levels, an amount ending
//                           in "%" is that share of the link's cost
//
// Faults are logged and skipped: R009 for a second formula line, R051 for a
// bad position, and the messages below for the rest.
#pragma once

#include <irrString.h>

namespace research {

// The most links a technology may have: an item's link count is one byte in
// saves and network records.
constexpr unsigned kMaxTechnologyLinks = 255;
// The most levels one OnLevel range may cover.
constexpr double kMaxOnLevelRange = 10000.0;

// Reads the technology file at `path` into the technology registry.
void loadResearchFields(const irr::core::stringc& path);

}  // namespace research
