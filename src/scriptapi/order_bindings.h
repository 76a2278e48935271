// Orders in scripts (registerOrderBindings), each declaration on the server
// engine and then on the client engine unless marked "server":
//
//   type "Order"      an order in some object's queue: an uncounted
//                     reference type (the queue owns and deletes its
//                     orders, so a handle is good while its order is queued)
//   enum "OrderType"  server: "OrdT_Unspecified" 0 .. "OrdT_Scuttle" 18
//     "string@ getName() const"       the order's description
//     "bool isAutomation() const"
//     "OrderType getType() const"     server
//   type "OrderList"  scoped (order_list.h): a factory and a release that
//                     unprepares the list
//     "bool prepare(Object@)", "Order@ getOrder(uint)", "uint getOrderCount()"
//   enum "TransferMode"  server: "TM_Amount" 0, "TM_All_Amount" 1,
//                     "TM_Percent" 2, "TM_From" 128 (a flag added to a mode)
//     server: giveRetrofitOrder, giveDockOrder, giveMoveOrder, both
//     giveGotoOrder forms, giveAttackOrder, giveUseToolOrder,
//     giveTransferOrder, giveOrder, clearOrders, clearOrder,
//     refreshAutomation
//     getFleetSize, getFleetName, makeFleet, forfeitFleetCommand,
//     leaveFleet, joinFleet, isInFleet, isFleetCommander
//
// The client engine's lists act on the client's copies of objects: a queue
// change that reaches a copy's forwarding AI goes to the server as an order
// request (message 116).
//
// The system search (system_search.h) is registered last.
#pragma once

void registerOrderBindings();
