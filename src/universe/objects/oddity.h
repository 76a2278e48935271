// A comet or an asteroid: a small body of a star system, owned by the space
// empire (ID 255), or by the default empire when that one does not exist.
//
// Own record: the type as u32 (saves of version 28 and later). Older saves
// have none, and the type follows from the object's name: "comet" is a comet,
// anything else an asteroid.
#pragma once

#include <cstdint>

#include "universe/objects/game_object.h"

// Script enum "OddityType".
enum OddityType : uint32_t {
  ODT_Asteroid = 0,
  ODT_Comet = 1,
};

class objOddity : public generic_object {
 public:
  // A new oddity, registered with its owner.
  objOddity(MoveHandler* mover, uint32_t type);
  // A saved oddity in `system` (finishObjectLoad completes it).
  objOddity(SaveStream& stream, generic_object* system);

  int getType() const override { return OT_Oddity; }
  void writeOwnFields(SaveStream& stream) override;
  // Reads what writeOwnFields wrote ({4, "Unexpected EOF"} when cut), or for
  // older saves takes the type from the name read by the base record.
  void readOwnFields(SaveStream& stream) override;

  uint32_t getOddityType() const { return oddityType; }

  uint32_t oddityType = ODT_Asteroid;

 protected:
  ~objOddity() override = default;
};
