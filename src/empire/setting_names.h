// Names of an empire's settings that came from a peer (a client's setting on
// a server, a server's state on a client). Text from the wire never goes
// into the process-wide common string list, which is never freed: each
// empire owns the names it was sent and frees them with itself at the end of
// the session. Settings made by the program's own code and scripts keep
// their pooled names.
//
// A saved game refers to setting names through its common strings section:
// savedSettingNames gathers the owned names every empire still uses, for the
// writer to add to that section (loading pools them as any saved name).
#pragma once

#include <irrString.h>

#include <set>
#include <vector>

#include "core/names.h"

class empire;

class SettingNameStore {
 public:
  // Names held at most: as many as a server sends in one state. An empire
  // never loses a setting, so every held name stays in use.
  static constexpr size_t kMaxNames = 20000;

  // The held copy of `text`, added when absent; null when the store is full.
  // The caller holds the empire's settings lock for writing.
  const irr::core::stringw* hold(const irr::core::stringw& text);
  size_t size() const { return names_.size(); }
  // True when `name` points at one of the held copies.
  bool holds(const irr::core::stringw* name) const;

 private:
  struct Less {
    bool operator()(const irr::core::stringw& a, const irr::core::stringw& b) const {
      return compareNames(a, b) < 0;
    }
  };
  // A set's entries keep their address.
  std::set<irr::core::stringw, Less> names_;
};

// The value of the setting `name` of `emp`, read from a peer: the entry is
// added, under a name the empire owns, when absent. Null when it is absent
// and there is no room for it, or when `limit` entries are held already.
// The caller holds EA_Settings for writing.
float* settingFromPeer(empire* emp, const irr::core::stringw& name, size_t limit = SettingNameStore::kMaxNames);

// Copies of the names that the empires' settings use and that are not in the
// common string list, for a saved game's common strings section.
std::vector<irr::core::stringw> savedSettingNames(const std::vector<empire*>& empires);
