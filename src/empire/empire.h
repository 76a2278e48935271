// The empire: one player or non-player power of the galaxy, and the global
// list that owns every empire for the game.
//
// Ordinary empires take IDs 1, 2, 3 ... from a global counter as they are
// made. Lookups never fail: an ID or name that no listed empire has gives the
// fixed default empire, which is not valid and carries the reserved ID that
// stands for no empire (131).
#pragma once

#include <cstdint>
#include <vector>

#include <irrString.h>

using EmpireID = uint8_t;

class empire {
 public:
  // Takes the next ID of the counter, which then moves on.
  empire();
  empire(const empire&) = delete;
  empire& operator=(const empire&) = delete;

  bool isValid() const { return valid; }

  EmpireID ID;
  irr::core::stringw name;
  // False only for the space empire and the default empire.
  bool valid = true;
};

// The ID the next empire made takes.
extern EmpireID nextEmpireID;
// Every registered empire, in registration order; the list owns them.
extern std::vector<empire*> empireList;
// "INVALID": what lookups give when no listed empire matches.
extern empire defaultEmpire;

// Appends `emp` to the list and returns it. When an empire of the same ID is
// listed already, that one is returned and `emp` stays the caller's.
empire* registerEmpire(empire* emp);
// The first listed empire with `id`, or the default empire.
empire* getEmpireByID(EmpireID id);
// Destroys every listed empire and empties the list (end of a game).
void deleteAllEmpires();
