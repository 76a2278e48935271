// Orders that take a ship to a friendly host (a carrier, station or
// planet) and act there: `dock_order` docks it inside the host,
// `retrofit_order` hands the host a build item that rebuilds the ship to the
// newest revision of its design, `scuttle_order` breaks it up at the host
// for half its cost.
//
// Save record of all three, after the type byte (7, 16, 18): the host UID
// (packed u32). An order whose host is no longer valid is the single byte 0
// and is not restored. Network record, after the 8-bit type: the host
// (object reference).
#pragma once

#include <cstdint>

#include "core/post_load.h"
#include "universe/orders/order.h"

class empire;

// Whether `ship` is parked in orbit of `host` and cannot move on its own
// (its mobile mover's thrust is 0.0001 or less).
bool isParkedAndImmobile(generic_object& ship, const generic_object* host);

class dock_order : public Order {
 public:
  explicit dock_order(generic_object* host);  // holds the host (counted)
  ~dock_order() override;
  dock_order(const dock_order&) = delete;
  dock_order& operator=(const dock_order&) = delete;

  OrderType getType() const override { return OrdT_Dock; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "Dock in <host>"
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;
  generic_object* getTarget() const override { return host; }

  generic_object* host = nullptr;  // counted
};

// The base of the retrofit and scuttle orders: a host and the empire that
// owned it when the order was made; a change of owner ends the order.
class host_order : public Order {
 public:
  explicit host_order(generic_object* host);  // holds the host, records its owner
  ~host_order() override;
  host_order(const host_order&) = delete;
  host_order& operator=(const host_order&) = delete;

  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;
  generic_object* getTarget() const override { return host; }
  generic_object* getHost() const { return host; }

  generic_object* host = nullptr;  // counted
  empire* hostOwner = nullptr;
};

class retrofit_order : public host_order {
 public:
  using host_order::host_order;

  OrderType getType() const override { return OrdT_Retrofit; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "#retrofitAt" text, a space, the host's name

  bool started = false;
};

class scuttle_order : public host_order {
 public:
  using host_order::host_order;

  OrderType getType() const override { return OrdT_Scuttle; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "#scuttleAt" text, a space, the host's name
};

// Resolves a loaded retrofit or scuttle order's host once the object tree
// exists, with the host's owner as the recorded host owner.
class SetHostTarget : public PostObjectTreeStep {
 public:
  SetHostTarget(uint32_t uid, generic_object** hostSlot, empire** ownerSlot)
      : uid_(uid), hostSlot_(hostSlot), ownerSlot_(ownerSlot) {}
  void run() override;

 private:
  uint32_t uid_;
  generic_object** hostSlot_;
  empire** ownerSlot_;
};
using SetRetrofitTarget = SetHostTarget;
using SetScuttleTarget = SetHostTarget;

// Record readers, called after the type has been read (`type` is 7, 16 or
// 18). The network reader gives null on a short record or a UID no object
// has; the save reader throws SaveFileError {4, "Unexpected EOF"}.
Order* readHostOrderNetwork(uint8_t type, RakNet::BitStream& stream);
Order* readHostOrderSave(uint8_t type, SaveStream& stream);
