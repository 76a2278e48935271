// Named float variables that formulas read, and the game-settings table.
//
//   NamedList    a variable set as formulas see it (abstract);
//   NamedValues  the variables themselves, one sorted registry of floats;
//   NameSpaces   variable sets grouped under namespace names, so a formula can
//                read "Techs.Hull". Its get asks each namespace's set in name
//                order and the first that has the variable answers; its own
//                float registry (inherited) is never consulted. A NameSpaces
//                never owns the sets it points to: whoever binds a set unbinds
//                it (setSpace with null) before destroying it.
//
// The classes have no locks: a set is used by one thread at a time.
//
// Every set carries a change stamp, a number unique in the process that is
// renewed whenever its names change (a variable added, a namespace bound,
// replaced or unbound) but not when a value changes in place. The formula
// evaluator keeps the places of the variables it found and trusts them while
// the stamps of the sets it asked are unchanged.
#pragma once

#include <irrString.h>

#include <cstdint>
#include <vector>

#include "core/names.h"

class NamedList;

// The sets a variable look-up asked, with their stamps at the time, in the
// order they were first asked (each set once). A set with stamp 0 (one the
// evaluator cannot follow) marks the trace untracked; values of such sets are
// copied into `copies`; a look-up keeps at most one, and the caller reserves
// room for all of them first, so each keeps its place until the next clear.
struct LookupTrace {
  struct Entry {
    const NamedList* set;
    uint64_t stamp;
  };
  std::vector<Entry> sets;
  std::vector<float> copies;
  bool untracked = false;

  void clear();
  void note(const NamedList& set);
  // A stable place holding `value`, for sets that cannot show their own.
  const float* keep(float value);
};

class NamedList {
 public:
  virtual ~NamedList() = default;

  // 0 for plain variable sets, 2 for namespace sets.
  virtual int getKind() const = 0;
  // True and the value when the variable exists; false and `value` untouched
  // otherwise.
  virtual bool get(const irr::core::stringw& name, float& value) = 0;
  // Adds the variable with this value unless it exists.
  virtual void addDefault(const irr::core::stringw& name, float value) = 0;
  // Adds or overwrites the variable.
  virtual void set(const irr::core::stringw& name, float value) = 0;

  // Where the variable's value lives while the set's names stay unchanged,
  // or null when absent, as get would find it; records in `trace` each set
  // asked. The default answers through get and copies the value into the
  // trace, marking it untracked.
  virtual const float* locate(const irr::core::stringw& name, LookupTrace& trace);

  // The change stamp; 0 for sets that do not keep one.
  uint64_t stamp() const { return stamp_; }

 protected:
  NamedList() = default;
  NamedList(const NamedList&) {}
  NamedList& operator=(const NamedList&) { return *this; }

  // Gives the set a new stamp: its names changed.
  void touch();

 private:
  uint64_t stamp_ = 0;
};

class NamedValues : public NamedList {
 public:
  using Registry = NamedVar<float>::Registry;

  NamedValues();
  NamedValues(const NamedValues& other);
  NamedValues& operator=(const NamedValues& other);

  int getKind() const override { return 0; }
  bool get(const irr::core::stringw& name, float& value) override;
  void addDefault(const irr::core::stringw& name, float value) override;
  void set(const irr::core::stringw& name, float value) override;
  const float* locate(const irr::core::stringw& name, LookupTrace& trace) override;

  // The variables, sorted by name.
  const Registry& variables() const { return vars_; }

 private:
  Registry vars_;
};

class NameSpaces : public NamedValues {
 public:
  using SpaceRegistry = NamedVar<NamedValues*>::Registry;

  int getKind() const override { return 2; }
  // Asks each bound set in namespace-name order; the first that has the
  // variable answers. False when none has it.
  bool get(const irr::core::stringw& name, float& value) override;
  // Variables belong to the namespaces' sets: these do nothing.
  void addDefault(const irr::core::stringw&, float) override {}
  void set(const irr::core::stringw&, float) override {}
  const float* locate(const irr::core::stringw& name, LookupTrace& trace) override;

  // Binds `set` under `name`, replacing an earlier binding of that name, and
  // returns the binding's index in name order. A null set unbinds the name
  // (nothing when it is not bound) and returns -1.
  irr::s32 setSpace(NamedValues* set, const irr::core::stringw& name);
  // The set bound under `name`, or null.
  NamedValues* findSpace(const irr::core::stringw& name) const;

  // The bindings, sorted by namespace name.
  const SpaceRegistry& spaces() const { return spaces_; }

 private:
  SpaceRegistry spaces_;
};

// The game settings ("SYSTEM_COUNT", "AI_COUNT", "SEED", ...): written by the
// new-game set-up, the quick start and the console, read by the rules and
// scripts, saved with the game.
extern NamedVar<float>::Registry gameSettings;

// The setting's value, or `fallback` when it does not exist.
float getGameSetting(const irr::core::stringw& name, float fallback);
// Adds or overwrites a setting.
void setGameSetting(const irr::core::stringw& name, float value);
