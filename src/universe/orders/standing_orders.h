// Standing orders that keep a ship busy with resources and new worlds:
// `collect_order` fetches a resource from the fullest friendly store in the
// star system, `deposit_order` unloads it into the emptiest one,
// `fetch_order` tops the ship up when it runs low, `trade_order` carries the
// traded goods between a friendly customer and a supplier, and
// `colonize_order` picks an empty planet and sends the ship to take it.
// Each runs on a timer (the engine's millisecond clock), looks at a few
// children of its star system at a time, and acts by putting a transfer or
// a use-tool order in front of itself.
//
// Save records, after the type byte:
//   collect (15), deposit (5): threshold (f32), finishWhenDone (u8),
//                              resource (packed common-string index)
//   fetch (13):                low level (f32), resource (packed index)
//   trade (10), colonize (6):  the type byte alone
// Network records, after the 8-bit type:
//   collect, deposit:  threshold (32 raw bits), resource (8-bit length and
//                      UTF-16 units, byte-aligned), 1 bit finishWhenDone;
//                      written only: the network factory makes no order
//                      from them
//   fetch:             low level (32 raw bits), resource as for collect
//   trade, colonize:   the type alone
#pragma once

#include <cstdint>

#include <irrArray.h>
#include <irrString.h>

#include "universe/orders/order.h"

// The timer head every standing order here shares.
struct AutomationTimer {
  uint32_t interval = 1000;  // ms
  uint32_t nextCheck = 0;    // engine ms
  uint32_t scanIndex = 0;
};

class automation_order : public Order {
 public:
  bool runsInBackground() const override { return true; }
  bool isAutomation() const override { return true; }
  bool isNotRepeatable() const override { return true; }

  AutomationTimer timer;
};

// Collect (type 15) and deposit (type 5): one resource, a fill threshold,
// and whether the order ends once there is nothing to do (finishWhenDone).
// They share their fields, timer (every 1000 ms) and records.
class store_order : public automation_order {
 public:
  store_order(const irr::core::stringw& resource, float threshold, bool finishWhenDone);

  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;

  const irr::core::stringw* resource = nullptr;  // a common string
  float threshold = 0.0f;
  bool finishWhenDone = false;

 protected:
  // "<verb> <resource>".
  irr::core::stringw describeAs(const wchar_t* verb) const;
  // A copy of `order` with its timer started afresh.
  template <class T>
  static Order* freshCopy(const T& order) {
    auto* copy = new T(*order.resource, order.threshold, order.finishWhenDone);
    copy->timer.nextCheck = 0;
    copy->timer.scanIndex = 0;
    return copy;
  }
};

class collect_order : public store_order {
 public:
  using store_order::store_order;

  OrderType getType() const override { return OrdT_Collect; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override { return freshCopy(*this); }
  irr::core::stringw describe() const override { return describeAs(L"Collect "); }
};

class deposit_order : public store_order {
 public:
  using store_order::store_order;

  OrderType getType() const override { return OrdT_Deposit; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override { return freshCopy(*this); }
  irr::core::stringw describe() const override { return describeAs(L"Deposit "); }
};

// Fetch (type 13): tops the ship up from a friendly store when its own
// stock falls to `lowLevel` of its capacity; every 500 ms.
class fetch_order : public automation_order {
 public:
  fetch_order(const irr::core::stringw& resource, float lowLevel);

  OrderType getType() const override { return OrdT_Fetch; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "Fetch <resource> when low"
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;

  const irr::core::stringw* resource = nullptr;
  float lowLevel = 0.25f;
  generic_object* lastSystem = nullptr;  // not counted
};

// Trade (type 10): carries the traded resources from a supplier to a
// customer of the same owner.
class trade_order : public automation_order {
 public:
  trade_order();
  ~trade_order() override;  // releases the customer
  trade_order(const trade_order&) = delete;
  trade_order& operator=(const trade_order&) = delete;

  OrderType getType() const override { return OrdT_Trade_Local; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;                  // a new trade order
  irr::core::stringw describe() const override;  // "Trade (Idle)"

  uint32_t cursor = 0;
  uint32_t examined = 0;
  uint32_t needMask = 0;
  generic_object* customer = nullptr;  // counted
  float thresholdScore = 1.0f;
};

// The traded resources, "Metals", "Electronics" and "AdvParts" in this
// order: filled exactly once, whichever thread asks first.
const irr::core::array<const irr::core::stringw*>& tradedResources();

// Colonize (type 6): picks an empty planet (or one of the empire's queue)
// and puts a colonising use-tool order in front.
class colonize_order : public automation_order {
 public:
  colonize_order();  // first check one second from now

  OrderType getType() const override { return OrdT_Colonize; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "Colonize system (Idle)"
};

// Record readers, called after the type has been read. The network reader
// gives null on a short record; the save readers throw SaveFileError
// {4, "Unexpected EOF"} and {5, "Invalid Common String reference"}.
Order* readFetchOrderNetwork(RakNet::BitStream& stream);
Order* readCollectOrderSave(SaveStream& stream);
Order* readDepositOrderSave(SaveStream& stream);
Order* readFetchOrderSave(SaveStream& stream);
