// The script bindings of orders and of the system search
// (registerOrderBindings), run after the client globals: the order types
// first, then the system search of system_search.h.
#pragma once

void registerOrderBindings();
