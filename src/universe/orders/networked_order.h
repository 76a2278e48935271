// The order a client shows in a mirror object's queue: the description of an
// order that runs on the server, for display only. It does nothing; it stays
// at the front of its queue until it is removed or the queue is cleared.
// Its records are the type alone (the base operations), which no factory
// reads back; it cannot be copied.
#pragma once

#include "universe/orders/order.h"

class networked_order : public Order {
 public:
  explicit networked_order(const irr::core::stringw& text) : description(text) {}

  OrderType getType() const override { return OrdT_Networked; }
  // Always Running.
  OrderResult execute(generic_object& object) override;
  // The stored text.
  irr::core::stringw describe() const override;

  irr::core::stringw description;
};
