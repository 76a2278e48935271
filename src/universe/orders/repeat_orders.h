// A repeating order: a list of orders run one after another, starting over
// from the first once the last is done. It never finishes by itself while it
// holds orders.
#pragma once

#include <cstdint>

#include <irrArray.h>

#include "universe/orders/order.h"

class repeat_orders : public Order {
 public:
  repeat_orders() = default;
  repeat_orders(const repeat_orders&) = delete;
  repeat_orders& operator=(const repeat_orders&) = delete;
  // Deletes every held order.
  ~repeat_orders() override;

  // Gives `order` to the repeat order, at the end of its list.
  void appendOrder(Order* order);

  bool isNotRepeatable() const override { return true; }
  OrderType getType() const override { return OrdT_Repeat; }
  // Runs the current order; a finished one hands over to the next in the
  // same tick. After the last is done the answer is Running and the next
  // tick begins with the first again.
  OrderResult execute(generic_object& object) override;
  // A copy from the first order on, with copies of the held orders that can
  // be copied and may be repeated.
  Order* clone() const override;
  // The current order's text, or "Nothing".
  irr::core::stringw describe() const override;
  // The save record is the type byte alone (the base operation): a saved
  // repeat order does not come back when the game is loaded. Whoever saves
  // one reports it with warnRepeatOrderNotSaved.

  // Owned; run in this order.
  irr::core::array<Order*> orders;
  // The order to run next.
  uint32_t current = 0;
};

// Logs a warning that the repeat order of `object` is left out of the save.
void warnRepeatOrderNotSaved(const generic_object& object);
