#include "scriptapi/order_bindings.h"

#include <angelscript.h>

#include "script/script_registration.h"
#include "scriptapi/order_list.h"
#include "scriptapi/script_bindings.h"
#include "scriptapi/system_search.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/order.h"

using namespace AngelScript;
using ordernatives::OrderList;

namespace {

constexpr char kOrderList[] = "OrderList";

void listMethod(asIScriptEngine* engine, const char* declaration, const asSFuncPtr& function) {
  checked(engine).RegisterObjectMethod(kOrderList, declaration, function, asCALL_THISCALL);
}

void registerOrderType() {
  registerUncountedType("Order");
  if (serverScriptEngine != nullptr) {
    checked(serverScriptEngine).RegisterEnum("OrderType");
    for (int value = OrdT_Unspecified; value <= OrdT_Scuttle; ++value)
      checked(serverScriptEngine).RegisterEnumValue("OrderType", kOrderTypeScriptNames[value], value);
  }
  onBothEngines([](asIScriptEngine* engine, bool server) {
    checked(engine).RegisterObjectMethod("Order", "string@ getName() const", asFUNCTION(ordernatives::orderName),
                                         asCALL_CDECL_OBJFIRST);
    checked(engine).RegisterObjectMethod("Order", "bool isAutomation() const",
                                         asFUNCTION(ordernatives::orderIsAutomation), asCALL_CDECL_OBJFIRST);
    if (server)
      checked(engine).RegisterObjectMethod("Order", "OrderType getType() const",
                                           asFUNCTION(ordernatives::orderType), asCALL_CDECL_OBJFIRST);
  });
}

void registerOrderListType() {
  onBothEngines([](asIScriptEngine* engine) {
    checked(engine).RegisterObjectType(kOrderList, 0, asOBJ_REF | asOBJ_SCOPED);
    checked(engine).RegisterObjectBehaviour(kOrderList, asBEHAVE_FACTORY, "OrderList@ f()",
                                            asFUNCTION(ordernatives::makeOrderList), asCALL_CDECL);
    checked(engine).RegisterObjectBehaviour(kOrderList, asBEHAVE_RELEASE, "void f()",
                                            asFUNCTION(ordernatives::releaseOrderList), asCALL_CDECL_OBJFIRST);
    listMethod(engine, "bool prepare(Object@)", asMETHOD(OrderList, prepare));
    listMethod(engine, "Order@ getOrder(uint)", asMETHOD(OrderList, getOrder));
    listMethod(engine, "uint getOrderCount()", asMETHOD(OrderList, getOrderCount));
  });
}

void registerTransferMode() {
  checked(serverScriptEngine).RegisterEnum("TransferMode");
  checked(serverScriptEngine).RegisterEnumValue("TransferMode", "TM_Amount", TM_Amount);
  checked(serverScriptEngine).RegisterEnumValue("TransferMode", "TM_All_Amount", TM_All_Amount);
  checked(serverScriptEngine).RegisterEnumValue("TransferMode", "TM_Percent", TM_Percent);
  checked(serverScriptEngine).RegisterEnumValue("TransferMode", "TM_From", TM_From);
}

// The give and clear natives: server engine only.
void registerGiveNatives() {
  asIScriptEngine* engine = serverScriptEngine;
  listMethod(engine, "void giveRetrofitOrder(Object@, bool)", asMETHOD(OrderList, giveRetrofitOrder));
  listMethod(engine, "void giveDockOrder(Object@, bool)", asMETHOD(OrderList, giveDockOrder));
  listMethod(engine, "void giveMoveOrder(const vector &in, bool)", asMETHOD(OrderList, giveMoveOrder));
  listMethod(engine, "void giveGotoOrder(Object@, bool)", asMETHOD(OrderList, giveGotoOrder));
  listMethod(engine, "void giveGotoOrder(Object@, bool, float)", asMETHOD(OrderList, giveGotoOrderWithDistance));
  listMethod(engine, "void giveAttackOrder(Object@, bool)", asMETHOD(OrderList, giveAttackOrder));
  listMethod(engine, "void giveUseToolOrder(const string&, Object@, bool, bool, bool)",
             asMETHOD(OrderList, giveUseToolOrder));
  listMethod(engine, "void giveTransferOrder(Object@, const string&, int, float, bool)",
             asMETHOD(OrderList, giveTransferOrder));
  listMethod(engine, "void giveOrder(const string &, const string@+, const string@+, bool)",
             asMETHOD(OrderList, giveOrder));
  listMethod(engine, "void clearOrders(bool)", asMETHOD(OrderList, clearOrders));
  listMethod(engine, "void clearOrder()", asMETHOD(OrderList, clearOrder));
  listMethod(engine, "void refreshAutomation()", asMETHOD(OrderList, refreshAutomation));
}

void registerFleetNatives() {
  onBothEngines([](asIScriptEngine* engine) {
    listMethod(engine, "uint getFleetSize()", asMETHOD(OrderList, getFleetSize));
    listMethod(engine, "string@ getFleetName()", asMETHOD(OrderList, getFleetName));
    listMethod(engine, "void makeFleet()", asMETHOD(OrderList, makeFleet));
    listMethod(engine, "void forfeitFleetCommand()", asMETHOD(OrderList, forfeitFleetCommand));
    listMethod(engine, "void leaveFleet()", asMETHOD(OrderList, leaveFleet));
    listMethod(engine, "bool joinFleet(Object@)", asMETHOD(OrderList, joinFleet));
    listMethod(engine, "bool isInFleet()", asMETHOD(OrderList, isInFleet));
    listMethod(engine, "bool isFleetCommander()", asMETHOD(OrderList, isFleetCommander));
  });
}

}  // namespace

void registerOrderBindings() {
  // Orders in scripts.
  registerOrderType();
  registerOrderListType();
  if (serverScriptEngine != nullptr) {
    registerTransferMode();
    registerGiveNatives();
  }
  registerFleetNatives();
  // The system search comes last.
  registerSystemSearchBindings();
}
