// Orders: one unit of work an object carries out over many frames. Orders
// wait in the object's order queue (`UnitAI`, unit_ai.h), which runs the
// front of the queue on every tick of the object.
//
// Records: in saves, the order type as one byte, then the class's fields;
// on the network, the type as 8 bits, then the fields.
#pragma once

#include <cstdint>

#include <irrArray.h>
#include <irrString.h>
#include <vector3d.h>

#include "core/post_load.h"

namespace RakNet {
class BitStream;
}
class SaveStream;
class generic_object;
class UnitAI;

using vector3df = irr::core::vector3df;

// The kinds of order: what `getType` returns and the first byte of every
// record. Script names "OrdT_Unspecified" .. "OrdT_Scuttle" for 0 to 18.
enum OrderType : uint8_t {
  OrdT_Unspecified = 0,
  OrdT_Move = 1,
  OrdT_Goto = 2,
  OrdT_Attack = 3,
  OrdT_Defend = 4,
  OrdT_Deposit = 5,
  OrdT_Colonize = 6,
  OrdT_Dock = 7,
  OrdT_Transfer = 8,
  OrdT_Remove_Struct = 9,
  OrdT_Trade_Local = 10,
  OrdT_Work = 11,
  OrdT_Use_Tool = 12,
  OrdT_Fetch = 13,
  OrdT_Repeat = 14,
  OrdT_Collect = 15,
  OrdT_Retrofit = 16,
  OrdT_Guard = 17,
  OrdT_Scuttle = 18,
  OrdT_Networked = 19,  // not in the script enum
};
// The script names of 0 to 18, by value.
extern const char* const kOrderTypeScriptNames[19];

// What an order's execute step answers.
enum OrderResult : int {
  Running = 0,  // still working; later orders run this tick only behind a background order
  Waiting = 1,  // still working; nothing behind it runs this tick
  Done = 2,     // finished: the queue removes and deletes it
  Yielded = 4,  // put another order in front of itself; it stays
  Docked = 5,   // the object has just docked into its target
};

class Order {
 public:
  virtual ~Order() = default;
  virtual bool runsInBackground() const { return false; }
  virtual bool isAutomation() const { return false; }
  virtual bool isNotRepeatable() const { return false; }
  virtual OrderType getType() const { return OrdT_Unspecified; }
  virtual OrderResult execute(generic_object& object) = 0;
  // A copy for `object`; the base gives clone().
  virtual Order* cloneFor(generic_object& /*object*/) { return clone(); }
  // A copy, or null when the order cannot be copied.
  virtual Order* clone() const { return nullptr; }
  virtual irr::core::stringw describe() const { return L"Unspecified Order"; }
  // The network form: the type as 8 bits, then the class's fields.
  virtual void writeNetwork(RakNet::BitStream& stream) const;
  // The save form: the type as one byte, then the class's fields.
  virtual void save(SaveStream& stream) const;
  virtual generic_object* getTarget() const { return nullptr; }
  virtual vector3df getDestination() const { return vector3df(0, 0, 0); }
};

// A new order from its network form, for `carrier`; null when the record
// cannot be used.
Order* readOrderFromNetwork(RakNet::BitStream& stream, generic_object* carrier);
// Reads one saved order and appends it to `ai`'s queue (or adds nothing).
void readOrderFromSave(SaveStream& stream, UnitAI& ai);
// A new standing order by its keyword ("Colonize", "Collect", "Defend",
// "Deposit", "Fetch", "Trade", "Work"; case-sensitive), the name of the
// resource or job it works with (null: none) and its amount as text (null:
// 0.25). Null for any other keyword, and for a keyword that needs a target
// without one.
Order* createAutomationOrder(const irr::core::stringw& keyword, const irr::core::stringw* target,
                             const irr::core::stringw* amount);

// The first star system (or the galaxy) at or above `object`'s container;
// null when none.
generic_object* firstSystemAbove(const generic_object& object);

// The children of `system` that a standing job looks at this time: all of
// them when it has just come into the system (`full`; `lastSystem` becomes
// the system and the next scan starts at a random child of the first
// half, drawn from the process-wide generator), else the next `share` from
// `scanIndex`, which then moves on by `share` and back to 0 at the end.
struct ScanRange {
  uint32_t first = 0;
  uint32_t end = 0;
  bool full = false;
};
ScanRange nextScanRange(generic_object* system, generic_object*& lastSystem, uint32_t& scanIndex, uint32_t share);

// Resolves a saved object UID into an order's object slot once the whole
// object tree exists: the object found is held (counted), the previous one
// released.
class PostObjectTreeSetTarget : public PostObjectTreeStep {
 public:
  PostObjectTreeSetTarget(uint32_t uid, generic_object** slot) : uid_(uid), slot_(slot) {}
  void run() override;

 private:
  uint32_t uid_;
  generic_object** slot_;
};
