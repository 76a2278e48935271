#include "universe/orders/networked_order.h"

OrderResult networked_order::execute(generic_object&) {
  return Running;
}

irr::core::stringw networked_order::describe() const {
  return description;
}
