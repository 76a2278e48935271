#include "scriptapi/order_selection.h"

#include <angelscript.h>

#include <cstdint>

#include "app/base/event_handler.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "universe/objects/game_object.h"
#include "universe/orders/order.h"
#include "universe/orders/repeat_orders.h"

namespace {

// Gives `object` its copy of `order` under the object's lock.
void giveCopy(generic_object& object, Order& order, OrderFilter filter) {
  object.lockContainer();
  ObjectAI* ai = object.ai;
  if (ai != nullptr && (filter == nullptr || filter(&object))) {
    if (Order* copy = order.cloneFor(object)) {
      if (shiftKeyDown)
        ai->appendOrder(copy);
      else
        ai->addOrder(copy, true);
    }
  }
  object.unlockContainer();
}

// The game object of a selection entry with a reference for the caller.
generic_object* heldOwner(graphicsObject* entry) {
  generic_object* object = entry != nullptr ? entry->getOwner() : nullptr;
  if (object != nullptr)
    object->grab();
  return object;
}

}  // namespace

GiveAllOrder::~GiveAllOrder() { delete order; }

void GiveAllOrder::act(graphicsObject* entry) {
  generic_object* object = entry->getOwner();
  if (object == nullptr || object->getOwner() != activeEmpire.load() || order == nullptr)
    return;
  giveCopy(*object, *order, filter);
}

void giveOrderToSelection(Order* order, OrderFilter filter) {
  if (order == nullptr)
    return;
  if (repeat_orders* recording = repeatRecording) {
    if (order->isNotRepeatable())
      delete order;
    else
      recording->appendOrder(order);
    return;
  }
  if (graphicsObject* single = getSingleSelectedObject()) {
    single->grab();
    if (generic_object* object = single->getOwner())
      giveCopy(*object, *order, filter);
    delete order;
    single->drop();
    return;
  }
  GiveAllOrder action(filter, order);
  forEachSelected(action);
}

generic_object* selectedGameObject() {
  const SelectionGuard guard;
  return heldOwner(getSingleSelectedObject());
}

generic_object* selectedGameObjectAt(uint32_t index) {
  const SelectionGuard guard;
  return heldOwner(selectedObjectAt(index));
}

void registerSelectedObjectFunctions() {
  using namespace AngelScript;
  if (clientScriptEngine == nullptr)
    return;
  checked(clientScriptEngine)
      .RegisterGlobalFunction("Object@ getSelectedObject()", asFUNCTION(selectedGameObject), asCALL_CDECL);
  checked(clientScriptEngine)
      .RegisterGlobalFunction("Object@ getSelectedObject(uint)", asFUNCTION(selectedGameObjectAt), asCALL_CDECL);
}
