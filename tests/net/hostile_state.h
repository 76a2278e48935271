// What a hostile client may not change, written out as text so that a test
// can compare it before and after: every empire but the player's own (its
// player flag, relations, settings, designs and their thresholds, treaties,
// research target, commands, colonization queue, traits), and every object
// that is not the player's empire's (orders, build queue, repeat flag, rally
// point, stance, parked state, planet governor). And what a hostile client
// could make the server hold: the heap in use, the process-wide common
// strings, and the capped lists of the player's own empire and objects.
#pragma once

#include <malloc.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>

#include "core/common_strings.h"
#include "core/utf8.h"
#include "design/build/build_requests.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/research/research_web.h"
#include "net/empire_messages.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/galaxy.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"

namespace hostilestate {

inline std::string narrow(const irr::core::stringw& text) { return wideToUtf8(text.c_str()); }

// One empire's state as one line, but for its relations.
inline std::string empireState(const empire* emp) {
  std::ostringstream out;
  out << "e" << int(emp->ID) << " pc" << emp->playerControlled << " set";
  for (irr::u32 i = 0; i < emp->settings.size(); ++i)
    out << " " << narrow(emp->settings[i].entryName()) << "=" << emp->settings[i].value;
  out << " hulls";
  for (irr::u32 i = 0; i < emp->hulls.size(); ++i) {
    const hull_list* layout = emp->hulls[i].value;
    out << " " << narrow(emp->hulls[i].entryName()) << "@" << (layout != nullptr ? layout->updateThreshold : -1.0f)
        << (layout != nullptr && layout->obsolete ? "o" : "");
  }
  out << " treaties " << emp->treaties.size() << " commands " << emp->commands.size() << " colonize "
      << emp->colonizeQueue.size() << " traits";
  for (const auto& entry : emp->traits)
    out << " " << narrow(entry.first);
  if (emp->researchWeb != nullptr) {
    int link = -1;
    const research::IWebItem* active = emp->researchWeb->getActiveTech(link);
    out << " research " << static_cast<const void*>(active) << "/" << link;
  }
  return out.str();
}

// Every listed empire's state, and its relations by the other empire.
struct EmpireState {
  std::string state;
  std::map<const empire*, std::string> relations;
  bool operator==(const EmpireState& other) const { return state == other.state && relations == other.relations; }
};

inline std::map<const empire*, EmpireState> empireStates() {
  std::map<const empire*, EmpireState> out;
  for (empire* emp : empireList) {
    EmpireState& entry = out[emp];
    entry.state = empireState(emp);
    for (const auto& relation : emp->relations)
      if (relation.first != nullptr && relation.second != nullptr)
        entry.relations[relation.first] =
            std::to_string(relation.second->allied) + std::to_string(relation.second->enemy);
  }
  return out;
}

// What differs between `before` and `after` for the empires other than
// `own` and `alsoOwn`, as text (empty when nothing). Their relations towards
// `own` and `alsoOwn` may change: a player may declare war on them.
inline std::string changedEmpires(const std::map<const empire*, EmpireState>& before,
                                  const std::map<const empire*, EmpireState>& after, const empire* own,
                                  const empire* alsoOwn = nullptr) {
  std::string out;
  if (before.size() != after.size())
    out += "the empire list changed\n";
  for (const auto& entry : after) {
    if (entry.first == own || entry.first == alsoOwn)
      continue;
    const auto was = before.find(entry.first);
    if (was == before.end()) {
      out += "new: " + entry.second.state + "\n";
      continue;
    }
    if (was->second.state != entry.second.state)
      out += "was: " + was->second.state + "\nnow: " + entry.second.state + "\n";
    std::map<const empire*, std::string> then = was->second.relations;
    std::map<const empire*, std::string> now = entry.second.relations;
    for (const empire* mine : {own, alsoOwn}) {
      then.erase(mine);
      now.erase(mine);
    }
    if (then != now)
      out += entry.second.state.substr(0, entry.second.state.find(' ')) + ": its relations changed\n";
  }
  return out;
}

// Every object below `root` that `own` does not own, by UID.
inline void collectObjectStates(generic_object* root, const empire* own, std::map<uint32_t, std::string>& out) {
  for (irr::u32 i = 0; i < root->children.size(); ++i) {
    generic_object* object = root->children[i].get();
    if (object->getOwner() != own) {
      std::string state = std::to_string(object->ai != nullptr ? object->ai->getOrderCount() : 0u) + "/" +
                          std::to_string(object->buildQueue.size()) + "/" +
                          std::to_string(object->getRepeatQueue()) + "/" +
                          std::to_string(object->linkedObject != nullptr ? object->linkedObject->uid : 0u);
      if (auto* ai = dynamic_cast<UnitAI*>(object->ai))
        state += "/s" + std::to_string(int(ai->stance));
      if (const MobileMover* mover = MobileMover::of(object))
        state += "/p" + std::to_string(mover->parked);
      if (auto* planet = dynamic_cast<objHabitation*>(object))
        state += "/g" + std::to_string(planet->usesGovernor()) +
                 (planet->getGovernorType() != nullptr ? narrow(*planet->getGovernorType()) : "-");
      out[object->uid] = state;
    }
    collectObjectStates(object, own, out);
  }
}

inline std::map<uint32_t, std::string> objectStates(const empire* own) {
  std::map<uint32_t, std::string> out;
  if (galaxy != nullptr)
    collectObjectStates(galaxy, own, out);
  return out;
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator statistics (its allocator_interface).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

// The bytes the process holds on its heap now.
inline size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// Strings in the process-wide pool, which is never freed: text from the
// wire must not add to it.
inline irr::u32 commonStringCount() { return commonStringList().size(); }

// Every object below `root` whose build queue holds more than a client may
// fill, as text.
inline void collectLongQueues(generic_object* root, std::string& out) {
  for (irr::u32 i = 0; i < root->children.size(); ++i) {
    generic_object* object = root->children[i].get();
    if (object->buildQueue.size() > kMaxRequestedQueueLength)
      out += "object " + std::to_string(object->uid) + " queues " + std::to_string(object->buildQueue.size()) + "\n";
    collectLongQueues(object, out);
  }
}

// What of `own` (the sender's empire) holds more than its cap, as text
// (empty when nothing): its settings beyond the `settingsBefore` it had
// before any client sent one, its owned setting names, and any build queue.
inline std::string overCaps(const empire* own, size_t settingsBefore) {
  std::string out;
  if (own->settings.size() > settingsBefore + kMaxClientEmpireSettings)
    out += "settings " + std::to_string(own->settings.size()) + "\n";
  if (own->settingNames.size() > SettingNameStore::kMaxNames)
    out += "setting names " + std::to_string(own->settingNames.size()) + "\n";
  if (galaxy != nullptr)
    collectLongQueues(galaxy, out);
  return out;
}

}  // namespace hostilestate
