// The base operations of orders, the record factories and the post-load
// target fix-up.
#include "universe/orders/order.h"

#include <algorithm>

#include "core/random.h"
#include "core/save_stream.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/dock_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"

const char* const kOrderTypeScriptNames[19] = {
    "OrdT_Unspecified", "OrdT_Move",         "OrdT_Goto",     "OrdT_Attack",   "OrdT_Defend",
    "OrdT_Deposit",     "OrdT_Colonize",     "OrdT_Dock",     "OrdT_Transfer", "OrdT_Remove_Struct",
    "OrdT_Trade_Local", "OrdT_Work",         "OrdT_Use_Tool", "OrdT_Fetch",    "OrdT_Repeat",
    "OrdT_Collect",     "OrdT_Retrofit",     "OrdT_Guard",    "OrdT_Scuttle",
};

void Order::writeNetwork(RakNet::BitStream& stream) const {
  stream.Write(static_cast<uint8_t>(getType()));
}

void Order::save(SaveStream& stream) const {
  stream.writeU8(static_cast<uint8_t>(getType()));
}

Order* readOrderFromNetwork(RakNet::BitStream& stream, generic_object* carrier) {
  uint8_t type = 0;
  if (!stream.Read(type))
    return nullptr;
  switch (type) {
    case OrdT_Move:
      return readMoveOrderNetwork(stream);
    case OrdT_Goto:
      return readGotoOrderNetwork(stream);
    case OrdT_Transfer:
      return readTransferOrderNetwork(stream);
    case OrdT_Attack:
      return readAttackOrderNetwork(stream);
    case OrdT_Guard:
      return readGuardOrderNetwork(stream, carrier);
    case OrdT_Defend:
      return new defend_order();
    case OrdT_Use_Tool:
      return readUseToolOrderNetwork(stream, carrier);
    case OrdT_Work:
      return readWorkOrderNetwork(stream);
    case OrdT_Fetch:
      return readFetchOrderNetwork(stream);
    case OrdT_Trade_Local:
      return new trade_order();
    case OrdT_Colonize:
      return new colonize_order();
    case OrdT_Dock:
    case OrdT_Retrofit:
    case OrdT_Scuttle:
      return readHostOrderNetwork(type, stream);
    default:
      // 0 and 19 upwards are no network record; 5, 9, 14 and 15 have no
      // network form; the other classes are not read from the network yet.
      return nullptr;
  }
}

void readOrderFromSave(SaveStream& stream, UnitAI& ai) {
  const uint8_t type = stream.readU8();
  Order* order = nullptr;
  switch (type) {
    case OrdT_Unspecified:
    case OrdT_Remove_Struct:
    case OrdT_Repeat:
      return;  // the type byte is the whole record; nothing comes back
    case OrdT_Move:
      order = readMoveOrderSave(stream);
      break;
    case OrdT_Goto:
      order = readGotoOrderSave(stream);
      break;
    case OrdT_Transfer:
      order = readTransferOrderSave(stream);
      break;
    case OrdT_Attack:
      order = readAttackOrderSave(stream);
      break;
    case OrdT_Guard:
      order = readGuardOrderSave(stream);
      break;
    case OrdT_Defend:
      order = new defend_order();
      break;
    case OrdT_Use_Tool:
      order = readUseToolOrderSave(stream);
      break;
    case OrdT_Work:
      order = readWorkOrderSave(stream);
      break;
    case OrdT_Collect:
      order = readCollectOrderSave(stream);
      break;
    case OrdT_Deposit:
      order = readDepositOrderSave(stream);
      break;
    case OrdT_Fetch:
      order = readFetchOrderSave(stream);
      break;
    case OrdT_Trade_Local:
      order = new trade_order();
      break;
    case OrdT_Colonize:
      order = new colonize_order();
      break;
    case OrdT_Dock:
    case OrdT_Retrofit:
    case OrdT_Scuttle:
      order = readHostOrderSave(type, stream);
      break;
    default:
      return;  // 19 upwards: never read back
  }
  if (order != nullptr)
    ai.appendOrder(order);
}

generic_object* firstSystemAbove(const generic_object& object) {
  for (generic_object* outer = object.container.load(); outer != nullptr; outer = outer->container.load()) {
    if (asSystemLock(outer) != nullptr)
      return outer;
  }
  return nullptr;
}

ScanRange nextScanRange(generic_object* system, generic_object*& lastSystem, uint32_t& scanIndex, uint32_t share) {
  const uint32_t count = system->children.size();
  ScanRange range;
  range.full = system != lastSystem;
  if (range.full) {
    lastSystem = system;
    scanIndex = count < 2 ? 0 : static_cast<uint32_t>(processRandom() >> 2) % (count / 2);
    range.end = count;
    return range;
  }
  range.first = scanIndex;
  range.end = std::min(count, scanIndex + share);
  scanIndex += share;
  if (scanIndex >= count)
    scanIndex = 0;
  return range;
}

void PostObjectTreeSetTarget::run() {
  setObjectRef(*slot_, getObjectByUID(uid_));
}
