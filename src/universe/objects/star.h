// A star of a star system. It pushes moving objects (ships under a mobile
// mover) out of its body, and when it is destroyed it hits every other object
// of its system with the timed effect "star_damage".
//
// Owned by the space empire (ID 255), or by the default empire when that one
// does not exist. A star's save record is the base record only.
#pragma once

#include <irrArray.h>

#include "universe/objects/game_object.h"

class objStar : public generic_object {
 public:
  // A new star in `system`: the star takes the system as its container.
  objStar(generic_object* system, MoveHandler* mover);
  // A saved star in `system` (finishObjectLoad completes it).
  objStar(SaveStream& stream, generic_object* system);

  int getType() const override { return OT_Star; }
  bool isOwnerVisibleTo(const empire*, bool) const override { return true; }
  bool isVisibleTo(const empire*) const override { return true; }
  // Scans for overlapping mobile objects once a second, pushes the captured
  // ones out, then ticks as every object does.
  void tick(float seconds) override;
  // Unless quiet or while the game is not running, gives every other object
  // of the system "star_damage" (10 s, delayed by distance / 50), then is
  // destroyed as every object is.
  void destroyNow(bool quiet) override;

  // Seconds since the last scan.
  float captureTimer = 0.0f;
  // The objects inside the star, one reference each; lazily sorted by
  // pointer.
  irr::core::array<generic_object*> captured;

 protected:
  ~objStar() override;

 private:
  void scanForCaptures();
};
