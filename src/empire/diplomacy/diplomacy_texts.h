// The words of diplomacy. Empires do not write their own sentences: each
// message draws one at random from "Game Data/diplomacy_strings.txt", which
// holds, per topic, mood and attitude, lists of responses with placeholders
// for the empires' names. This file keeps that table, fills the
// placeholders, and applies what a received message does to the two
// empires' relation (a declaration of war; an answered message).
//
// The table is read on a session's loading thread before the simulation
// runs and only read afterwards; it is emptied when the session ends.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include <irrString.h>

class DiploMsg;
class empire;

// What one piece of a response text stands for.
enum DiplomacySegmentKind : uint32_t {
  DSK_Text = 0,              // the text itself
  DSK_ThisEmpire = 1,        // "[thisEmpire]": the sending empire's name
  DSK_ThisEmpireRuler = 2,   // "[thisEmpireRuler]": its ruler's name
  DSK_OtherEmpire = 3,       // "[otherEmpire]": the receiving empire's name
  DSK_OtherEmpireRuler = 4,  // "[otherEmpireRuler]": its ruler's name
  DSK_String1 = 5,           // "[s1]": the caller's text
  DSK_String2 = 6,           // "[s2]": nothing
  DSK_String3 = 7,           // "[s3]": nothing
};

struct DiplomacySegment {
  uint32_t kind = DSK_Text;
  irr::core::stringw text;  // DSK_Text only
};

// One response: its segments in text order.
struct DiplomacyResponse {
  std::vector<DiplomacySegment> segments;
};

// string count (the highest "[sN]" a response uses, 0 to 3) -> responses.
using DiplomacyResponseLists = std::map<uint32_t, std::vector<DiplomacyResponse>>;
// topic -> mood -> attitude -> string count -> responses.
using DiplomacyTexts = std::map<uint32_t, std::map<uint32_t, std::map<uint32_t, DiplomacyResponseLists>>>;

// The process's table.
extern DiplomacyTexts diplomacyTexts;

// Reads the file at `path` into the table (adding to what it holds). A file
// that cannot be read logs "Failed to load file: <path>"; each faulty line
// logs "<path>(<line>) error D00n: ..." and is skipped.
void loadDiplomacyStrings(const irr::core::stringc& path);
// Empties the table (end of a session).
void clearDiplomacyTexts();

// Splits a response text into its segments; returns its string count.
uint32_t compileDiplomacyResponse(const irr::core::stringw& text, DiplomacyResponse& out);

// A random response for the topic, mood and attitude, its placeholders
// filled from the two empires and `s1` (null: no text given; responses that
// need one are then not chosen). The empty text when the table has none;
// asking never adds to the table.
irr::core::stringw pickDiplomacyText(const empire* from, const empire* to, uint32_t topic, uint32_t mood,
                                     uint32_t attitude, const irr::core::stringw* s1);

// A declaration of war: the receiver and the message's sender become each
// other's enemies (allied flags untouched). Other topics change nothing.
void applyWarDeclaration(empire* receiver, const DiploMsg* message);

// Applies a finished message's answer to the receiver: an accepted peace
// ends the enmity both ways; an answered message (accepted or not) posts an
// acceptance or refusal sentence to the receiver in category "diplomacy".
// False while the message is unfinished (nothing happens), else true.
bool applyDiplomacyAnswer(empire* receiver, const DiploMsg* message);
