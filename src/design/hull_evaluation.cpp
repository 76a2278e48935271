// Making a hull layout from a description: every placed sub-system is
// evaluated for the owner, the layout's figures (mass, tags, role, standing
// orders, damage orders) are derived from the instances, and the design is
// checked against the design rules. A rejected design throws
// hullCreationError (or hullSpaceError) with the localised text of its
// "#LEE_" key and leaves nothing behind: the instances made so far are
// freed, the owner's variables area is released and the two variable sets
// bound into the owner's namespaces are unbound.
//
// Checks that `allowInvalid` turns off: no sub-systems, an unavailable
// sub-system, a second hull, no hull, too little space. Never turned off:
// the design scale, a sub-system scale outside the scale limits, a link
// fault, a restricted tag present, a required tag missing.
#include <irrString.h>

#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "app/base/sub_system_scale.h"
#include "core/common_strings.h"
#include "core/locale.h"
#include "core/named_values.h"
#include "design/damage_order.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"

using irr::core::stringw;

namespace {

// The owner a layout without one gets.
constexpr EmpireID kNullOwnerID = 255;

// Design scales at or below this are too small (compared as the float).
constexpr float kSmallestDesignScale = 0.0001f;
// The "Size" of the "Object" set is the design scale times this.
constexpr float kObjectSizePerScale = 15.0f;
// Sub-systems may fill their hull up to this factor before they overflow.
constexpr float kSpaceTolerance = 1.001f;

const stringw& objectSpace() {
  static const stringw name(L"Object");
  return name;
}
// The namespace of the values of the sub-system being evaluated: a
// one-character name (code 1) that no data file can write.
const stringw& ownSpace() {
  static const stringw name(L"\x01");
  return name;
}
const stringw& scaleName() {
  static const stringw name(L"Scale");
  return name;
}
const stringw& sizeName() {
  static const stringw name(L"Size");
  return name;
}

// The tags that set the role flags, in the order of the flags.
enum RoleFlag { RF_Weapon, RF_ShipBay, RF_CargoBay, RF_Colonizer, RF_Engine, RF_COUNT };
const stringw& roleTag(int flag) {
  static const stringw tags[RF_COUNT] = {L"Weapon", L"ShipBay", L"CargoBay", L"Colonizer", L"Engine"};
  return tags[flag];
}
const stringw& hullTag() {
  static const stringw tag(L"Hull");
  return tag;
}
const stringw& armorTag() {
  static const stringw tag(L"Armor");
  return tag;
}

constexpr wchar_t kRestrictPrefix[] = L"Restrict:";
constexpr wchar_t kRequirePrefix[] = L"Require:";
constexpr wchar_t kWorkPrefix[] = L"Work:";
constexpr wchar_t kDepositPrefix[] = L"Deposit:";
constexpr wchar_t kFetchPrefix[] = L"Fetch:";
constexpr wchar_t kOrderPrefix[] = L"Order:";
// The second argument of a fetch order.
constexpr wchar_t kFetchArgument[] = L".45";

// The rest of `text` after `prefix`, when it begins with it.
template <size_t N>
bool splitPrefix(const stringw& text, const wchar_t (&prefix)[N], stringw& rest) {
  constexpr irr::u32 length = N - 1;
  if (text.size() < length || !text.equalsn(prefix, length))
    return false;
  rest = text.subString(length, text.size() - length);
  return true;
}

[[noreturn]] void reject(const wchar_t* key) { throw hullCreationError{stringw(getLocalizedText(key))}; }

// Binds a variable set into the owner's namespaces for the life of the
// guard; the name is unbound again when it goes, also on an exception.
class SpaceBinding {
 public:
  SpaceBinding(NameSpaces& spaces, NamedValues& set, const stringw& name) : spaces_(spaces), name_(name) {
    spaces_.setSpace(&set, name_);
  }
  ~SpaceBinding() { spaces_.setSpace(nullptr, name_); }
  SpaceBinding(const SpaceBinding&) = delete;
  SpaceBinding& operator=(const SpaceBinding&) = delete;

 private:
  NameSpaces& spaces_;
  const stringw& name_;
};

// Deletes the instances placed so far unless the layout was finished.
class InstanceCleanup {
 public:
  InstanceCleanup(placedSubSystem* systems, uint32_t count) : systems_(systems), count_(count) {}
  ~InstanceCleanup() {
    if (systems_ == nullptr)
      return;
    for (uint32_t i = 0; i < count_; ++i) {
      delete systems_[i].system;
      systems_[i].system = nullptr;
    }
  }
  void keep() { systems_ = nullptr; }
  InstanceCleanup(const InstanceCleanup&) = delete;
  InstanceCleanup& operator=(const InstanceCleanup&) = delete;

 private:
  placedSubSystem* systems_;
  uint32_t count_;
};

// Marks every entry that takes part in a link fault: a target linked from
// two entries (both linkers), or a linking entry that is itself a target
// (itself and its linker), whatever the order of the entries. A linked
// sub-system hands its alter hooks to its target only, so a chain would
// silently lose the outer link.
std::vector<bool> findLinkFaults(const layout_desc& desc) {
  const irr::u32 count = desc.systems.size();
  std::vector<int> linkers(count, 0);
  for (irr::u32 i = 0; i < count; ++i) {
    const int32_t target = desc.systems[i].link;
    if (target >= 0 && static_cast<irr::u32>(target) < count)
      ++linkers[static_cast<irr::u32>(target)];
  }
  std::vector<bool> faults(count, false);
  for (irr::u32 i = 0; i < count; ++i) {
    const int32_t target = desc.systems[i].link;
    if (target < 0)
      continue;
    const bool sharedTarget = static_cast<irr::u32>(target) < count && linkers[static_cast<irr::u32>(target)] > 1;
    const bool linkedLinker = linkers[i] > 0;
    const bool linksToLinker = static_cast<irr::u32>(target) < count && desc.systems[target].link >= 0;
    faults[i] = sharedTarget || linkedLinker || linksToLinker;
  }
  return faults;
}

uint32_t roleFromFlags(const bool (&flags)[RF_COUNT]) {
  if (!flags[RF_Engine])
    return flags[RF_Weapon] ? HullRole_Station : HullRole_CivStation;
  if (flags[RF_Colonizer])
    return HullRole_ColonyShip;
  if (flags[RF_Weapon])
    return flags[RF_ShipBay] ? HullRole_Carrier : HullRole_Combat;
  if (flags[RF_ShipBay])
    return HullRole_Transport;
  return flags[RF_CargoBay] ? HullRole_Cargo : HullRole_Civilian;
}

hull_list::orderEntry makeOrder(const wchar_t* order, const stringw* argument = nullptr,
                                const wchar_t* secondArgument = nullptr) {
  hull_list::orderEntry entry;
  entry.order = internCommonString(order);
  entry.argument = argument;
  entry.secondArgument = secondArgument != nullptr ? internCommonString(secondArgument) : nullptr;
  return entry;
}

}  // namespace

void layout_desc::reset() {
  scale = 1.0f;
  systems.clear();
  targeting = hull_targeting();
}

hull_list::hull_list(const layout_desc& desc, empire* layoutOwner, bool allowInvalid)
    : owner(layoutOwner != nullptr ? layoutOwner : getEmpireByID(kNullOwnerID)),
      targeting(desc.targeting),
      scale(std::sqrt(desc.scale)),
      metadata(desc.metadata) {
  // A NaN design scale is no scale at all: rejected as too small.
  if (!(static_cast<double>(desc.scale) > static_cast<double>(kSmallestDesignScale)))
    reject(L"#LEE_Small");

  const uint32_t count = desc.systems.size();
  if (count == 0) {
    if (!allowInvalid)
      reject(L"#LEE_SubSys");
    return;
  }
  systemCount = count;
  systems.reset(new placedSubSystem[count]);
  InstanceCleanup cleanup(systems.get(), count);

  const std::vector<bool> linkFaults = findLinkFaults(desc);
  irr::core::array<damageOrderEntry> all;  // list A, by index until sorted
  all.set_used(count);
  irr::core::array<damageOrderEntry> preDamage;  // list B, in the order made
  bool roleFlags[RF_COUNT] = {};
  std::set<stringw> restricted;
  std::set<stringw> required;

  // The traits' hooks are copied before the variables area is taken: the
  // traits area comes first.
  SubSystemAlterHookList traitHooks;
  collectTraitAlterHooks(owner, traitHooks);
  {
    empire::AreaGuard variables;
    owner->lockArea(variables, EA_Variables, true);
    NamedValues objectValues;
    objectValues.set(scaleName(), desc.scale);
    objectValues.set(sizeName(), desc.scale * kObjectSizePerScale);
    NamedValues ownValues;
    ownValues.set(scaleName(), 1.0f);
    SpaceBinding objectBinding(owner->spaces, objectValues, objectSpace());
    SpaceBinding ownBinding(owner->spaces, ownValues, ownSpace());

    SubSystemAlterHookList hooks(owner->alterHooks.begin(), owner->alterHooks.end());
    hooks.insert(hooks.end(), traitHooks.begin(), traitHooks.end());
    const size_t baseHooks = hooks.size();
    std::map<uint32_t, uint32_t> linkerOf;  // link target -> linking entry

    // Linking entries first, so that their hooks exist when their targets
    // are made.
    for (int pass = 0; pass < 2; ++pass) {
      for (uint32_t i = 0; i < count; ++i) {
        const layout_desc::system& entry = desc.systems[i];
        const bool linking = entry.link >= 0;
        if (linking != (pass == 0))
          continue;
        if (!(entry.scale >= subSystemMinScale && entry.scale <= subSystemMaxScale))
          reject(L"#LEE_Scale");
        ownValues.set(scaleName(), entry.scale * desc.scale);

        if (linking) {
          if (linkFaults[i])
            reject(L"#LEE_MultiLink");
          linkerOf[static_cast<uint32_t>(entry.link)] = i;
        } else {
          const auto linker = linkerOf.find(i);
          if (linker != linkerOf.end()) {
            const subSystem* source = linker->second < count ? systems[linker->second].system : nullptr;
            if (source != nullptr)
              for (irr::u32 k = 0; k < source->alterHooks.size(); ++k)
                if (source->alterHooks[k] != nullptr)
                  hooks.push_back(*source->alterHooks[k]);
            linkerOf.erase(linker);
          }
        }

        if (entry.def == nullptr)
          reject(L"#LEE_SubSys");
        subSystem* instance = new subSystem();
        systems[i].system = instance;
        entry.def->createInstance(instance, owner->spaces, hooks.empty() ? nullptr : &hooks);
        if (!instance->available && !allowInvalid)
          throw hullCreationError{entry.def->name + getLocalizedText(L"#LEE_Unlocked")};
        mass += static_cast<double>(instance->getMass());
        hooks.resize(baseHooks);

        systems[i].link = entry.link;
        systems[i].x = entry.x;
        systems[i].y = entry.y;
        instance->scale = entry.scale;
        all[i] = damageOrderEntry{i, &systems[i]};
        if ((entry.def->effectFlags & (1u << EH_OnGlobalDamage)) != 0)
          preDamage.push_back(damageOrderEntry{i, &systems[i]});
        if (!entry.def->effectors.empty())
          ++effectorSystemCount;
        for (int flag = 0; flag < RF_COUNT; ++flag)
          if (!roleFlags[flag] && entry.def->hasTag(roleTag(flag)))
            roleFlags[flag] = true;

        const auto& defTags = entry.def->tags;
        for (irr::u32 t = 0; t < defTags.size(); ++t) {
          const stringw* tag = defTags[t].name;
          if (tag == nullptr)
            continue;
          stringw rest;
          if (splitPrefix(*tag, kRequirePrefix, rest)) {
            required.insert(rest);
            continue;
          }
          if (splitPrefix(*tag, kRestrictPrefix, rest))
            restricted.insert(rest);
          tags.insert(tag);
        }
      }
    }
    // The bindings go, then the variables area.
  }

  for (const stringw& name : restricted)
    if (tags.count(internCommonString(name)) != 0)
      reject(L"#LEE_Restricted");
  for (const stringw& name : required)
    if (tags.count(internCommonString(name)) == 0)
      reject(L"#LEE_Required");

  role = roleFromFlags(roleFlags);

  if (all.size() >= 2)
    heapsortWith(all, sortDamageList(DP_EquipsTo));
  if (preDamage.size() >= 2)
    heapsortWith(preDamage, sortDamageList(DP_PreDamageOrder));

  // Space: the hull gives it, every other part but armour takes it.
  bool hullFound = false;
  float available = 0.0f;
  float taken = 0.0f;
  for (irr::u32 k = 0; k < all.size(); ++k) {
    const subSystem* instance = all[k].entry->system;
    if (instance->def->hasTag(hullTag())) {
      if (hullFound) {
        if (!allowInvalid)
          reject(L"#LEE_OneHull");
        continue;
      }
      hullFound = true;
      available = instance->getSize();
    } else if (!instance->def->hasTag(armorTag())) {
      taken += instance->getSize();
    }
  }
  if (!hullFound && !allowInvalid)
    reject(L"#LEE_Hull");
  if (static_cast<double>(taken) > static_cast<double>(available) * static_cast<double>(kSpaceTolerance) &&
      !allowInvalid)
    throw hullSpaceError{stringw(getLocalizedText(L"#LEE_Space")), taken, available};

  // Standing orders from the tags; fetch orders go first.
  bool tagOrder = false;
  for (const stringw* tag : tags) {
    stringw rest;
    if (splitPrefix(*tag, kWorkPrefix, rest)) {
      orders.push_back(makeOrder(L"Work", internCommonString(rest)));
      tagOrder = true;
    } else if (splitPrefix(*tag, kDepositPrefix, rest)) {
      orders.push_back(makeOrder(L"Deposit", internCommonString(rest)));
      tagOrder = true;
    } else if (splitPrefix(*tag, kFetchPrefix, rest)) {
      orders.insert(makeOrder(L"Fetch", internCommonString(rest), kFetchArgument), 0);
    } else if (splitPrefix(*tag, kOrderPrefix, rest)) {
      hull_list::orderEntry entry;
      entry.order = internCommonString(rest);
      orders.push_back(entry);
      tagOrder = true;
    }
  }
  if (role == HullRole_Cargo && !tagOrder)
    orders.push_back(makeOrder(L"Trade"));
  else if (role >= HullRole_ColonyShip && role <= HullRole_Station)
    orders.push_back(makeOrder(L"Defend"));

  buildDamageOrders(this, all, preDamage);
  cleanup.keep();
}
