#include "scriptapi/order_bindings.h"

#include "scriptapi/system_search.h"

void registerOrderBindings() {
  // The system search comes last.
  registerSystemSearchBindings();
}
