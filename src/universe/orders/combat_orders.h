// Combat orders: `attack_order` fights one object until it is gone,
// captured or out of an immobile attacker's reach (a carrier's first step
// also launches its docked craft after it); `guard_order` keeps a ship near
// another object; `defend_order`, a standing job, picks the most attractive
// enemy in the object's star system once a second and attacks it.
//
// Save records, after the type byte:
//   attack (3):  target UID (packed u32), flags u8 (1 force, 2 no home
//                container). A target that is no longer valid: the single
//                byte 0, not restored.
//   guard (17):  guarded UID (packed), guard UID (packed), saved stance u8.
//                Either object no longer valid: the single byte 0.
//   defend (4):  the type byte alone.
// Network records, after the 8-bit type:
//   attack:      target UID (32 raw bits), 1 bit force, 1 bit no home
//                container
//   guard:       guarded object (object reference)
//   defend:      the type alone
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/post_load.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_pools.h"
#include "universe/orders/order.h"
#include "universe/orders/unit_ai.h"

class empire;

class attack_order : public Order {
 public:
  // Holds `target` (counted) and records its owner; without followAnywhere
  // the home container is the target's present container.
  attack_order(generic_object* target, bool force, bool followAnywhere);
  ~attack_order() override;
  attack_order(const attack_order&) = delete;
  attack_order& operator=(const attack_order&) = delete;

  // From the attack pool.
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  OrderType getType() const override { return OrdT_Attack; }
  OrderResult execute(generic_object& object) override;
  // Null when the target is gone.
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "Attack <target>"
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;
  generic_object* getTarget() const override { return target; }

  generic_object* target = nullptr;         // counted; null while a load resolves it
  generic_object* homeContainer = nullptr;  // not counted; null follows anywhere
  empire* targetOwner = nullptr;
  bool force = false;
  bool launched = false;

 private:
  friend Order* readAttackOrderSave(SaveStream& stream);
  attack_order() = default;
};

// The undock filter of a carrier's first attack step: each craft with an
// AI is released with an attack on the target (before its automation
// orders) and a dock order back to the carrier (at the end of its queue);
// a craft without an AI stays docked.
class FlyMyPretties : public OnUnDock {
 public:
  FlyMyPretties(generic_object* target, generic_object* carrier) : target_(target), carrier_(carrier) {}
  bool release(generic_object* object) override;

 private:
  generic_object* target_;
  generic_object* carrier_;
};

// Resolves a loaded attack's target once the object tree exists. A UID that
// names no object fails the load with SaveFileError {5, "Invalid target"}.
class LoadAttackOrder : public PostObjectTreeStep {
 public:
  LoadAttackOrder(attack_order* order, uint32_t uid, bool followAnywhere)
      : order_(order), uid_(uid), followAnywhere_(followAnywhere) {}
  void run() override;

 private:
  attack_order* order_;
  uint32_t uid_;
  bool followAnywhere_;
};

constexpr SaveFileError kSaveErrorInvalidTarget{5, "Invalid target"};

class guard_order : public Order {
 public:
  // Holds both objects; the guard's stance is saved and set to
  // AIS_HoldPosition until the order is deleted.
  guard_order(generic_object* guarded, generic_object* guard);
  ~guard_order() override;  // gives a still valid guard its stance back
  guard_order(const guard_order&) = delete;
  guard_order& operator=(const guard_order&) = delete;

  bool runsInBackground() const override { return true; }
  OrderType getType() const override { return OrdT_Guard; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "Guard <guarded>"
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;
  generic_object* getTarget() const override { return guarded; }

  generic_object* guarded = nullptr;  // counted
  generic_object* guard = nullptr;    // counted
  AIStance savedStance = AIS_Engage;

 private:
  friend Order* readGuardOrderSave(SaveStream& stream);
  guard_order() = default;
};

class defend_order : public Order {
 public:
  defend_order();  // next check one interval from now (objectRealTimeMs)

  bool runsInBackground() const override { return true; }
  bool isAutomation() const override { return true; }
  bool isNotRepeatable() const override { return true; }
  OrderType getType() const override { return OrdT_Defend; }
  OrderResult execute(generic_object& object) override;
  Order* clone() const override;
  irr::core::stringw describe() const override;  // "Defend system"

  uint32_t interval = 1000;  // ms
  uint32_t nextCheck = 0;    // engine ms
  uint32_t scanIndex = 0;
  generic_object* lastSystem = nullptr;  // not counted
};

// The attack pool: blocks of exactly an attack order's size; other sizes go
// to the heap.
ObjectPool& attackOrderPool();
void* allocAttackOrder(size_t size);
void releaseAttackOrder(void* memory);

// Record readers, called after the type has been read. The network readers
// give null on a short record or a UID no object has (`carrier` becomes the
// guard of a guard order); the save readers throw SaveFileError
// {4, "Unexpected EOF"}.
Order* readAttackOrderNetwork(RakNet::BitStream& stream);
Order* readGuardOrderNetwork(RakNet::BitStream& stream, generic_object* carrier);
Order* readAttackOrderSave(SaveStream& stream);
Order* readGuardOrderSave(SaveStream& stream);
