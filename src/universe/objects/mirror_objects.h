// A client's copies of the server's ships and planets. A client shows the
// galaxy that the server runs: its ships and planets are these mirrors,
// made from the server's object records. They keep the state of the kind
// they copy but run none of its rules: their tick, owner change and
// destruction are those of every object (no script hooks, no sub-system
// ticks, no weapons), and their order queue forwards every order to the
// server instead of running it.
#pragma once

#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

class hull_list;

class sgHulled : public objHulled {
 public:
  // A mirror ship of `shipOwner` built from `layout`, moved by `mover`
  // (a network mirror mover), in the ship pool.
  sgHulled(empire* shipOwner, hull_list* layout, MoveHandler* mover);

  void tick(float seconds) override;
  void setOwner(empire* newOwner) override;
  void destroyNow(bool quiet) override;

 protected:
  ~sgHulled() override = default;
};

class sgHabitation : public objHabitation {
 public:
  // A mirror planet of `planetOwner`, moved by `mover`, in the planet pool.
  sgHabitation(empire* planetOwner, MoveHandler* mover);

  void tick(float seconds) override;
  void setOwner(empire* newOwner) override;
  void destroyNow(bool quiet) override;

  // Takes the structure at `index` off the planet and frees it without
  // running any of its events (the server ran them); nothing out of range.
  void removeStructureQuietly(unsigned index);

 protected:
  ~sgHabitation() override = default;
};
