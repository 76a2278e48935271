#include "universe/orders/repeat_orders.h"

#include "core/log.h"
#include "universe/objects/game_object.h"

repeat_orders::~repeat_orders() {
  for (irr::u32 i = 0; i < orders.size(); ++i)
    delete orders[i];
}

void repeat_orders::appendOrder(Order* order) {
  if (order != nullptr)
    orders.push_back(order);
}

OrderResult repeat_orders::execute(generic_object& object) {
  if (orders.empty())
    return Done;
  for (;;) {
    if (current >= orders.size())
      current = 0;
    const OrderResult result = orders[current]->execute(object);
    if (result == Done) {
      ++current;
      if (current >= orders.size())
        return Running;  // the first begins again on the next tick
      continue;
    }
    // A docking sub-order has cleared the queue, this order with it: the
    // answer must tell the queue so without touching this order again.
    if (result == Docked)
      return Docked;
    return result == Yielded ? Yielded : Running;
  }
}

Order* repeat_orders::clone() const {
  repeat_orders* copy = new repeat_orders;
  for (irr::u32 i = 0; i < orders.size(); ++i) {
    Order* held = orders[i]->clone();
    if (held == nullptr)
      continue;
    if (held->isNotRepeatable()) {
      delete held;
      continue;
    }
    copy->orders.push_back(held);
  }
  return copy;
}

irr::core::stringw repeat_orders::describe() const {
  if (current >= orders.size())
    return L"Nothing";
  return orders[current]->describe();
}

void warnRepeatOrderNotSaved(const generic_object& object) {
  logWarning("The repeat order of '%ls' (UID %u) is not saved; it is lost when the game is loaded\n",
             object.name.c_str(), object.uid);
}
