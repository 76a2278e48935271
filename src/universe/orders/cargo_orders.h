// Cargo orders: `transfer_order` moves an amount of one resource between
// its object and another object nearby, in either direction.
//
// Save record, after the type byte 8 (an order without its other object is
// the single byte 0 and is not restored):
//   other UID (packed u32), u8 1 when there is no home container else 0,
//   amount (f32), remaining (f32), minimum (f32), mode (u8),
//   resource (packed common-string index)
// Network record, after the 8-bit type (an order without its other object
// writes the single byte 0): resource (network wide string, at most 255),
// other (object reference), mode (8 bits), amount (32 raw bits), minimum
// (32 raw bits), 1 bit: 1 when there is no home container.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/post_load.h"
#include "universe/objects/object_pools.h"
#include "universe/orders/order.h"

// How a transfer moves (the low seven bits), and whether the carrying
// object takes (TM_From) or gives. Script enum "TransferMode".
enum TransferMode : uint8_t {
  TM_Amount = 0,      // up to `amount`, once
  TM_All_Amount = 1,  // `amount` in all, waiting for the source as needed
  TM_Percent = 2,     // `amount` as a share of what the source has
  TM_From = 0x80,     // the carrying object takes from the other
};

class transfer_order : public Order {
 public:
  // Holds `other` (counted). Without followAnywhere the home container is
  // the other object's present container. `resource` is interned in the
  // common strings. remaining starts at amount.
  transfer_order(uint8_t mode, float amount, float minimum, generic_object* other,
                 const irr::core::stringw& resource, bool followAnywhere);
  ~transfer_order() override;
  transfer_order(const transfer_order&) = delete;
  transfer_order& operator=(const transfer_order&) = delete;

  // From the transfer pool.
  static void* operator new(size_t size);
  static void operator delete(void* memory);

  OrderType getType() const override { return OrdT_Transfer; }
  OrderResult execute(generic_object& object) override;
  // Null when the other object is gone.
  Order* clone() const override;
  // "Take <resource> from <other>" or "Transfer <resource> to <other>".
  irr::core::stringw describe() const override;
  void writeNetwork(RakNet::BitStream& stream) const override;
  void save(SaveStream& stream) const override;
  generic_object* getTarget() const override { return other; }

  uint8_t mode = TM_Amount;
  float amount = 0.0f;
  float remaining = 0.0f;
  float minimum = 0.0f;                     // below 0.01: none
  generic_object* other = nullptr;          // counted; null while a load resolves it
  generic_object* homeContainer = nullptr;  // not counted; null follows anywhere
  const irr::core::stringw* resource = nullptr;  // a common string

 private:
  friend Order* readTransferOrderSave(SaveStream& stream);
  transfer_order() = default;
};

// Resolves a loaded transfer's other object once the object tree exists:
// held in the other slot and, when the order keeps a home container, the
// object's present container becomes that.
class SetTransferTarget : public PostObjectTreeStep {
 public:
  SetTransferTarget(uint32_t uid, generic_object** otherSlot, generic_object** homeSlot)
      : uid_(uid), otherSlot_(otherSlot), homeSlot_(homeSlot) {}
  void run() override;

 private:
  uint32_t uid_;
  generic_object** otherSlot_;
  generic_object** homeSlot_;  // null when the order follows anywhere
};

// The transfer pool: blocks of 5,000 transfers; other sizes go to the heap.
constexpr uint16_t kTransferPoolBlockElements = 5000;
ObjectPool& transferOrderPool();
void* allocTransferOrder(size_t size);
void releaseTransferOrder(void* memory);

// Record readers, called after the type has been read. The network reader
// gives null on a short record, an empty resource name or a UID no object
// has; the save reader throws SaveFileError {4, "Unexpected EOF"} and
// {5, "Invalid Common String reference"}.
Order* readTransferOrderNetwork(RakNet::BitStream& stream);
Order* readTransferOrderSave(SaveStream& stream);
