// Giving one order to what the player has selected.
//
// giveOrderToSelection takes a template order (it always consumes it) and
// an optional filter:
//   - while the player records a repeat order (`repeatRecording`), the
//     template goes into the recording, or is deleted when it cannot be
//     repeated (standing orders, repeat orders);
//   - with exactly one object selected, that object gets a copy, whoever
//     owns it;
//   - otherwise each selected object of the active empire gets a copy
//     (GiveAllOrder, run under the selection lock).
// A copy goes to the back of the queue while Shift is held, else to the
// front after the orders that are not standing orders are dropped. Objects
// without an AI, objects the filter refuses and templates that make no copy
// are skipped silently. Each object is changed under its own lock.
#pragma once

#include "ui/selection.h"

class Order;
class generic_object;

using OrderFilter = bool (*)(generic_object* object);

// Gives each selected object of the active empire its copy of the order;
// owns the template and deletes it when destroyed.
class GiveAllOrder : public SelectedObjectAction {
 public:
  GiveAllOrder(OrderFilter filter, Order* order) : filter(filter), order(order) {}
  ~GiveAllOrder() override;
  GiveAllOrder(const GiveAllOrder&) = delete;
  GiveAllOrder& operator=(const GiveAllOrder&) = delete;

  void act(graphicsObject* object) override;

  OrderFilter filter;
  Order* order;  // owned
};

void giveOrderToSelection(Order* order, OrderFilter filter = nullptr);

// The client's script lookups "Object@ getSelectedObject()" and "Object@
// getSelectedObject(uint)": the selected game object (the single one, or
// the one at that index) with a reference for the script; null otherwise.
generic_object* selectedGameObject();
generic_object* selectedGameObjectAt(uint32_t index);
// Registers the two lookups on the client engine.
void registerSelectedObjectFunctions();
