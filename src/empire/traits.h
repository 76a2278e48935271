// Traits: race properties an empire takes at the start of a game. Each has
// texts, a cost, tags, conflicts with and requirements of other traits, and
// hooks run when an empire gains or loses it and on every empire step.
//
// The registry is filled from "Game Data/traits.xml" and lives until
// clearTraits; empires hold pointers into it, so it is cleared only once no
// empire lists a trait any more.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <vector>

#include <irrString.h>

class empire;
class ScriptXmlReader;

// The function id of a hook the trait does not have. Any negative id means
// the hook is absent.
constexpr int32_t kNoTraitHook = -50;

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
  // Only this trait's own lists are looked at: a conflict or requirement
  // written on one side is seen from that side only.
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
  // The category's id (or "non_player"), then the trait's own tags.
  std::list<irr::core::stringw> tags;
  std::list<irr::core::stringw> conflicts;
  std::list<irr::core::stringw> requirements;
  std::list<TraitAlterHook> alterHooks;
  int32_t cost = 0;
};

// A trait whose hooks are server script functions. Each hook is called with
// the empire, then (tick only) the seconds, then its stored arguments.
class ScriptTrait : public ITrait {
 public:
  void apply(empire* emp) override;
  void remove(empire* emp) override;
  void tick(empire* emp, float seconds) override;

  int32_t applyFunction = kNoTraitHook;
  int32_t tickFunction = kNoTraitHook;
  int32_t removeFunction = kNoTraitHook;
  std::vector<float> applyArgs;
  std::vector<float> tickArgs;
  std::vector<float> removeArgs;
};

// A group of traits as the data file lists them; the traits are the
// registry's.
struct TraitCategory {
  irr::core::stringw id;
  irr::core::stringw name;
  irr::core::stringw desc;
  std::list<ITrait*> traits;
};

// Every trait of the game by id; owns them.
extern std::map<irr::core::stringw, ITrait*> traitRegistry;

// The categories in file order.
const std::list<TraitCategory*>& traitCategories();

// Reads trait and category definitions from `reader` into the registry. A
// later trait with an id already registered takes its place (the earlier
// one stays listed in its category until clearTraits). Hooks are looked up
// only while the server script engine exists.
void loadTraits(ScriptXmlReader& reader);
// Reads the trait file at `path`. A file that cannot be read or is cut off
// is logged; what was read stays.
void loadTraitFile(const irr::core::stringc& path);

// The registered trait with `id`, or null.
ITrait* findTrait(const irr::core::stringw& id);
// Deletes every trait and every category.
void clearTraits();
