// Traits: race properties an empire takes at the start of a game. Each has
// texts, a cost, tags, conflicts with and requirements of other traits, and
// hooks run when an empire gains or loses it and on every empire step.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <vector>

#include <irrString.h>

class empire;

// A trait's sub-system alteration hook: ids below 0 mean that form is absent.
struct TraitAlterHook {
  int32_t evalModeFunction = -1;
  int32_t textFunction = -1;
  std::vector<float> args;
};

class ITrait {
 public:
  virtual ~ITrait() = default;
  // True when `tag` is one of the trait's tags.
  virtual bool hasTag(const irr::core::stringw& tag) const;
  virtual bool conflictsWith(const ITrait* other) const;
  virtual bool conflictsWith(const irr::core::stringw& otherId) const;
  virtual bool requires(const ITrait* other) const;
  virtual bool requires(const irr::core::stringw& otherId) const;
  // The hooks; nothing in the base.
  virtual void apply(empire*) {}
  virtual void remove(empire*) {}
  virtual void tick(empire*, float) {}

  irr::core::stringw id;
  irr::core::stringw name;
  irr::core::stringw flavor;
  irr::core::stringw desc;
  std::list<irr::core::stringw> tags;
  std::list<irr::core::stringw> conflicts;
  std::list<irr::core::stringw> requirements;
  std::list<TraitAlterHook> alterHooks;
  int32_t cost = 0;
};

// Every trait of the game by id; owns them.
extern std::map<irr::core::stringw, ITrait*> traitRegistry;

// The registered trait with `id`, or null.
ITrait* findTrait(const irr::core::stringw& id);
// Deletes every registered trait.
void clearTraits();
