// The work order: a standing job that keeps a ship busy with one tool. Once
// an interval it looks through the ship's star system for the object the
// tool is best used on (weight over distance) and puts a use-tool order for
// it in front of itself.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace {

// Children looked at by one scan of a system the ship stayed in.
constexpr uint32_t kPartialScanSize = 15;
// The interval of a work order read from the network, whose record has none.
constexpr uint32_t kNetworkInterval = 1000;
// Tool names this long or longer cannot travel in a network record.
constexpr uint32_t kMaxNetworkToolLength = 256;

}  // namespace

work_order::work_order(const irr::core::stringw& toolName, uint32_t checkInterval)
    : interval(checkInterval), nextCheck(objectRealTimeMs() + checkInterval), tool(internCommonString(toolName)) {}

Order* work_order::clone() const {
  auto* copy = new work_order(*tool, interval);
  copy->nextCheck = nextCheck;
  copy->scanIndex = scanIndex;
  copy->lastSystem = lastSystem;
  return copy;
}

irr::core::stringw work_order::describe() const {
  irr::core::stringw text(L"Work with ");
  text += *tool;
  return text;
}

OrderResult work_order::execute(generic_object& object) {
  auto* ship = object.getType() == OT_Hulled ? dynamic_cast<objHulled*>(&object) : nullptr;
  if (ship == nullptr)
    return Done;

  const uint32_t now = objectRealTimeMs();
  if (now < nextCheck)
    return object.container.load() != lastSystem ? Waiting : Running;
  nextCheck = now + interval;

  generic_object* system = firstSystemAbove(object);
  if (system == nullptr || system->getType() == OT_Galaxy)
    return Running;

  const auto& children = system->children;
  const ScanRange scan = nextScanRange(system, lastSystem, scanIndex, kPartialScanSize);
  const bool fullScan = scan.full;
  const uint32_t first = scan.first;
  const uint32_t end = scan.end;

  // A tool without "AutoAttack" weights finds nothing worth working on by
  // itself: only targets its weights favour are picked.
  generic_object* winner = nullptr;
  float bestScore = 0.0f;
  for (uint32_t i = first; object.ai != nullptr && i < end && i < children.size(); ++i) {
    generic_object* candidate = children[i].get();
    if (candidate == nullptr || candidate == &object)
      continue;
    if (!fullScan && !candidate->isValid())
      continue;
    const float value = ship->getEffectorTargetWeight(candidate, *tool, true);
    if (!(value > bestScore))
      continue;
    const float score = value / candidate->position.getDistanceFrom(object.position);
    if (score > bestScore) {
      bestScore = score;
      winner = candidate;
    }
  }
  if (winner == nullptr)
    return Running;

  object.ai->addOrder(new use_tool_order(*tool, winner, &object, false, false), false);
  return Yielded;
}

void work_order::writeNetwork(RakNet::BitStream& stream) const {
  if (tool->size() >= kMaxNetworkToolLength)
    return;
  stream.Write(static_cast<uint8_t>(getType()));
  writeNetStringW(stream, *tool, kMaxNetStringLength);
}

void work_order::save(SaveStream& stream) const {
  stream.writeU8(getType());
  saveCommonString(stream, *tool);
  stream.writeU32(interval);
}

Order* readWorkOrderNetwork(RakNet::BitStream& stream) {
  irr::core::stringw toolName;
  if (!readNetStringW(stream, toolName))
    return nullptr;
  return new work_order(toolName, kNetworkInterval);
}

Order* readWorkOrderSave(SaveStream& stream) {
  // The whole record is read before the name is looked up, so that a record
  // cut short reads as one.
  const uint32_t toolIndex = stream.readPackedUInt();
  const uint32_t checkInterval = stream.readU32();
  const std::vector<const irr::core::stringw*>& names = stream.commonStrings();
  if (toolIndex >= names.size() || names[toolIndex] == nullptr)
    throw kSaveErrorInvalidCommonString;
  return new work_order(*names[toolIndex], checkInterval);
}
