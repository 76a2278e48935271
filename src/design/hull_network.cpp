// Message 127: a hull layout sent between server and client.
//
//   field                          bits
//   message id 127                 8
//   the layout's empire            8 (131 for none)
//   design scale (scale squared)   32, float
//   placed sub-system count        8
//   each placed sub-system         definition ID (32), the instance's scale
//                                  (32, float), x and y (16 each, quantised
//                                  in [-4, 4])
//   name                           wide string, at most 255
//   obsolete                       1
//   update threshold               8: 0 when negative or not a number, 255 at
//                                  255 or more, else the value truncated
//   replaces                       1; when set, two wide strings: the name of
//                                  the layout this one replaces, and the name
//                                  that one takes
//   targeting block                256: its 32 bytes in their fixed layout
//                                  (little-endian floats), unused bytes too
//
// Links are not sent. A layout of more than 255 placed sub-systems does not
// fit the count and is not sent at all.
#include <cmath>
#include <cstring>
#include <memory>

#include "core/log.h"
#include "core/names.h"
#include "core/net_encoders.h"
#include "core/threads.h"
#include "core/utf8.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"

namespace {

constexpr uint8_t ID_HULL_LAYOUT = 127;
constexpr uint8_t kHullLayoutChannel = 0;
constexpr uint32_t kMaxSentSubSystems = 255;
// Positions on the design grid travel quantised into this range.
constexpr float kGridMin = -4.0f;
constexpr float kGridMax = 4.0f;
constexpr float kMaxThresholdByte = 255.0f;

// Byte offsets in the targeting block.
constexpr size_t kTargetingBytes = 32;
constexpr size_t kAtScaleMin = 0;
constexpr size_t kAtScaleMax = 4;
constexpr size_t kAtScaleSet = 8;
constexpr size_t kAtScaleExclusive = 9;
constexpr size_t kAtUnusedA = 10;
constexpr size_t kAtDamageMin = 12;
constexpr size_t kAtDamageMax = 16;
constexpr size_t kAtDamageSet = 20;
constexpr size_t kAtDamageExclusive = 21;
constexpr size_t kAtOrbits = 22;
constexpr size_t kAtSpareFlag = 23;
constexpr size_t kAtShipTargets = 24;
constexpr size_t kAtPlanetTargets = 25;
constexpr size_t kAtDepositTargets = 26;
constexpr size_t kAtAllowFetch = 28;
constexpr size_t kAtUnusedB = 29;

using TargetingBytes = uint8_t[kTargetingBytes];

void putFloat(TargetingBytes& bytes, size_t at, float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  for (size_t i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(bits >> (8 * i));
}

float takeFloat(const TargetingBytes& bytes, size_t at) {
  uint32_t bits = 0;
  for (size_t i = 0; i < 4; ++i)
    bits |= uint32_t(bytes[at + i]) << (8 * i);
  float value = 0.0f;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void packTargeting(const hull_targeting& t, TargetingBytes& bytes) {
  putFloat(bytes, kAtScaleMin, t.targetScaleMin);
  putFloat(bytes, kAtScaleMax, t.targetScaleMax);
  bytes[kAtScaleSet] = t.targetScaleSet ? 1 : 0;
  bytes[kAtScaleExclusive] = t.targetScaleExclusive ? 1 : 0;
  bytes[kAtUnusedA] = t.unusedA[0];
  bytes[kAtUnusedA + 1] = t.unusedA[1];
  putFloat(bytes, kAtDamageMin, t.targetDamageMin);
  putFloat(bytes, kAtDamageMax, t.targetDamageMax);
  bytes[kAtDamageSet] = t.targetDamageSet ? 1 : 0;
  bytes[kAtDamageExclusive] = t.targetDamageExclusive ? 1 : 0;
  bytes[kAtOrbits] = t.orbits ? 1 : 0;
  bytes[kAtSpareFlag] = t.spareFlag ? 1 : 0;
  bytes[kAtShipTargets] = t.allowShipTargets ? 1 : 0;
  bytes[kAtPlanetTargets] = t.allowPlanetTargets ? 1 : 0;
  bytes[kAtDepositTargets] = t.depositTargets[0] ? 1 : 0;
  bytes[kAtDepositTargets + 1] = t.depositTargets[1] ? 1 : 0;
  bytes[kAtAllowFetch] = t.allowFetch ? 1 : 0;
  for (size_t i = 0; i < 3; ++i)
    bytes[kAtUnusedB + i] = t.unusedB[i];
}

void unpackTargeting(const TargetingBytes& bytes, hull_targeting& t) {
  t.targetScaleMin = takeFloat(bytes, kAtScaleMin);
  t.targetScaleMax = takeFloat(bytes, kAtScaleMax);
  t.targetScaleSet = bytes[kAtScaleSet] != 0;
  t.targetScaleExclusive = bytes[kAtScaleExclusive] != 0;
  t.unusedA[0] = bytes[kAtUnusedA];
  t.unusedA[1] = bytes[kAtUnusedA + 1];
  t.targetDamageMin = takeFloat(bytes, kAtDamageMin);
  t.targetDamageMax = takeFloat(bytes, kAtDamageMax);
  t.targetDamageSet = bytes[kAtDamageSet] != 0;
  t.targetDamageExclusive = bytes[kAtDamageExclusive] != 0;
  t.orbits = bytes[kAtOrbits] != 0;
  t.spareFlag = bytes[kAtSpareFlag] != 0;
  t.allowShipTargets = bytes[kAtShipTargets] != 0;
  t.allowPlanetTargets = bytes[kAtPlanetTargets] != 0;
  t.depositTargets[0] = bytes[kAtDepositTargets] != 0;
  t.depositTargets[1] = bytes[kAtDepositTargets + 1] != 0;
  t.allowFetch = bytes[kAtAllowFetch] != 0;
  for (size_t i = 0; i < 3; ++i)
    t.unusedB[i] = bytes[kAtUnusedB + i];
}

// The threshold as one byte. A script may have set it to anything, a NaN
// included, and a NaN must not reach the conversion to an integer.
uint8_t thresholdByte(float threshold) {
  if (!(threshold > 0.0f))
    return 0;
  if (threshold >= kMaxThresholdByte)
    return 255;
  return static_cast<uint8_t>(threshold);
}

// Enters `layout` in `emp`'s table under `name`, releasing the layout the
// entry held. The table takes a reference of its own.
void fileLayout(empire* emp, const irr::core::stringw& name, hull_list* layout) {
  layout->grab();
  NamedVar<hull_list*>& entry = NamedVar<hull_list*>::getOrAdd(emp->hulls, name);
  hull_list* previous = entry.value;
  entry.value = layout;
  if (previous != nullptr)
    previous->drop();
}

struct LayoutDropper {
  void operator()(hull_list* layout) const { layout->drop(); }
};

}  // namespace

bool writeHullLayoutMessage(RakNet::BitStream& stream, const hull_list* layout,
                            const irr::core::stringw* replacedName, const irr::core::stringw* replacementName) {
  if (layout == nullptr || layout->systemCount > kMaxSentSubSystems)
    return false;
  stream.Write(ID_HULL_LAYOUT);
  writeNetEmpire(stream, layout->owner);
  stream.Write(layout->scale * layout->scale);
  stream.Write(static_cast<uint8_t>(layout->systemCount));
  for (uint32_t i = 0; i < layout->systemCount; ++i) {
    const placedSubSystem& placed = layout->systems[i];
    stream.Write(placed.system->def->id);
    stream.Write(placed.system->scale);
    writeNetFloat16(stream, placed.x, kGridMin, kGridMax);
    writeNetFloat16(stream, placed.y, kGridMin, kGridMax);
  }
  writeNetStringW(stream, layout->getName(), kMaxNetStringLength);
  stream.Write(layout->obsolete);
  stream.Write(thresholdByte(layout->updateThreshold));
  const bool replaces = replacedName != nullptr && replacementName != nullptr;
  stream.Write(replaces);
  if (replaces) {
    writeNetStringW(stream, *replacedName, kMaxNetStringLength);
    writeNetStringW(stream, *replacementName, kMaxNetStringLength);
  }
  TargetingBytes block = {};
  packTargeting(layout->targeting, block);
  for (uint8_t byte : block)
    stream.Write(byte);
  return true;
}

irr::core::stringw readHullLayoutMessage(RakNet::BitStream& stream, irr::u32 nameLimit) {
  // The whole message is read before anything is made or filed, so a short
  // one changes nothing.
  empire* emp = readNetEmpire(stream);
  if (emp == nullptr)
    return irr::core::stringw();
  layout_desc desc;
  uint8_t count = 0;
  if (!stream.Read(desc.scale) || !stream.Read(count))
    return irr::core::stringw();
  desc.systems.reallocate(count);
  for (uint8_t i = 0; i < count; ++i) {
    uint32_t id = 0;
    layout_desc::system entry;
    if (!stream.Read(id) || !stream.Read(entry.scale))
      return irr::core::stringw();
    entry.x = readNetFloat16(stream, kGridMin, kGridMax);
    entry.y = readNetFloat16(stream, kGridMin, kGridMax);
    entry.def = lookupSubSystemDefByID(id);
    if (entry.def == nullptr)
      return irr::core::stringw();
    entry.link = -1;
    desc.systems.push_back(entry);
  }
  irr::core::stringw name;
  irr::core::stringw replacedName;
  irr::core::stringw replacementName;
  bool obsolete = false;
  bool replaces = false;
  uint8_t threshold = 0;
  if (!readNetStringW(stream, name) || !stream.Read(obsolete) || !stream.Read(threshold) || !stream.Read(replaces))
    return irr::core::stringw();
  if (replaces && (!readNetStringW(stream, replacedName) || !readNetStringW(stream, replacementName)))
    return irr::core::stringw();
  TargetingBytes block = {};
  for (uint8_t& byte : block)
    if (!stream.Read(byte))
      return irr::core::stringw();

  std::unique_ptr<hull_list, LayoutDropper> layout;
  try {
    layout.reset(new hull_list(desc, emp, false));
  } catch (const hullCreationError& error) {
    return error.text;
  } catch (const hullSpaceError& error) {
    return error.text;
  }
  layout->name = name;
  layout->obsolete = obsolete;
  layout->updateThreshold = float(threshold);
  unpackTargeting(block, layout->targeting);

  ScopedWriteLock guard(emp->locks[EA_HullLayouts]);
  hull_list* replaced = nullptr;
  if (replaces) {
    const irr::s32 index = NamedVar<hull_list*>::find(emp->hulls, replacedName);
    replaced = index < 0 ? nullptr : emp->hulls[static_cast<irr::u32>(index)].value;
  }
  // The names this layout would add, against the table's limit.
  irr::u32 added = NamedVar<hull_list*>::find(emp->hulls, name) < 0 ? 1u : 0u;
  if (replaced != nullptr && replacementName != name && NamedVar<hull_list*>::find(emp->hulls, replacementName) < 0)
    ++added;
  if (added > 0 && (emp->hulls.size() >= nameLimit || nameLimit - emp->hulls.size() < added))
    return irr::core::stringw();
  if (replaces) {
    if (replaced != nullptr && replaced != layout.get()) {
      replaced->obsolete = true;
      replaced->newer = layout.get();
      replaced->name = replacementName;
      fileLayout(emp, replacementName, replaced);
    }
  }
  fileLayout(emp, layout->name, layout.get());
  return irr::core::stringw();
}

void sendHullLayout(const hull_list* layout, const irr::core::stringw* replacedName,
                    const irr::core::stringw* replacementName) {
  if (layout == nullptr)
    return;
  RakNet::BitStream fallback;
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : fallback;
  stream.Reset();
  if (!writeHullLayoutMessage(stream, layout, replacedName, replacementName)) {
    logError("Hull layout \"%s\" has %u sub-systems, more than a message carries: not sent\n",
             wideToUtf8(layout->name.c_str()).c_str(), layout->systemCount);
    return;
  }
  if (networkManager == nullptr)
    return;

  if (networkManager->isServer) {
    // Only the empire's own player sees its designs.
    std::vector<RakNet::SystemAddress> targets;
    {
      std::lock_guard<std::mutex> guard(networkManager->playersLock);
      for (const auto& entry : networkManager->players)
        if (layout->owner != nullptr && entry.second.emp == layout->owner &&
            entry.second.address != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
          targets.push_back(entry.second.address);
    }
    for (const RakNet::SystemAddress& target : targets)
      networkManager->send(&stream, kHullLayoutChannel, RakNet::RELIABLE_ORDERED, target);
  } else if (isNetworkClient()) {
    networkManager->send(&stream, kHullLayoutChannel, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  }
}
