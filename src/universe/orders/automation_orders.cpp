// Standing orders by name: what a design's order list, the order-list
// script natives and the ship maker ask for with a keyword, a target text
// and an amount text.
#include <cstdint>

#include "core/common_strings.h"
#include "core/text_conversions.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/order.h"
#include "universe/orders/tool_orders.h"

using irr::core::stringw;

namespace {

// The amount of an order given without one.
constexpr float kDefaultAmount = 0.25f;
// How often a work order looks for something to work on (ms).
constexpr uint32_t kWorkInterval = 1000;

enum class Automation { None, Colonize, Collect, Defend, Deposit, Fetch, Trade, Work };

// The keyword's kind, decided by its first character and then compared
// whole.
Automation automationOf(const stringw& keyword) {
  if (keyword.empty())
    return Automation::None;
  switch (keyword[0]) {
    case L'C':
      if (keyword == L"Colonize")
        return Automation::Colonize;
      return keyword == L"Collect" ? Automation::Collect : Automation::None;
    case L'D':
      if (keyword == L"Defend")
        return Automation::Defend;
      return keyword == L"Deposit" ? Automation::Deposit : Automation::None;
    case L'F':
      return keyword == L"Fetch" ? Automation::Fetch : Automation::None;
    case L'T':
      return keyword == L"Trade" ? Automation::Trade : Automation::None;
    case L'W':
      return keyword == L"Work" ? Automation::Work : Automation::None;
    default:
      return Automation::None;
  }
}

// The orders that work on a named resource or job.
bool needsTarget(Automation kind) {
  return kind == Automation::Collect || kind == Automation::Deposit || kind == Automation::Fetch ||
         kind == Automation::Work;
}

}  // namespace

Order* createAutomationOrder(const stringw& keyword, const stringw* target, const stringw* amountText) {
  const Automation kind = automationOf(keyword);
  if (kind == Automation::None)
    return nullptr;
  if (needsTarget(kind) && target == nullptr)
    return nullptr;
  // The orders keep the interned name, which lives as long as the process.
  [[maybe_unused]] const stringw* targetName = needsTarget(kind) ? internCommonString(*target) : nullptr;
  [[maybe_unused]] const float amount = amountText != nullptr ? stringToFloat(*amountText) : kDefaultAmount;

  // Each kind gives null until its order class exists.
  switch (kind) {
    case Automation::Colonize:
      // colonize_order (cargo and colonisation orders).
      return nullptr;
    case Automation::Collect:
      // collect_order on `targetName` with `amount`, finishWhenDone false
      // (cargo and colonisation orders).
      return nullptr;
    case Automation::Defend:
      return new defend_order();
    case Automation::Deposit:
      // deposit_order on `targetName` with `amount`, finishWhenDone false
      // (cargo and colonisation orders).
      return nullptr;
    case Automation::Fetch:
      // fetch_order on `targetName`, every 500 ms, low level `amount`
      // (cargo and colonisation orders).
      return nullptr;
    case Automation::Trade:
      // trade_order (cargo and colonisation orders).
      return nullptr;
    case Automation::Work:
      return new work_order(*targetName, kWorkInterval);
    case Automation::None:
      break;
  }
  return nullptr;
}
