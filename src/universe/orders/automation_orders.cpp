// Standing orders by name: what a design's order list, the order-list
// script natives and the ship maker ask for with a keyword, a target text
// and an amount text.
#include <cstdint>

#include "core/common_strings.h"
#include "core/text_conversions.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/order.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/tool_orders.h"

using irr::core::stringw;

namespace {

// The amount of an order given without one.
constexpr float kDefaultAmount = 0.25f;
// How often a work order looks for something to work on (ms).
constexpr uint32_t kWorkInterval = 1000;
// How often a fetch order made by name looks at its own stock (ms).
constexpr uint32_t kFetchInterval = 500;

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
  const stringw* targetName = needsTarget(kind) ? internCommonString(*target) : nullptr;
  // Collect and deposit take it as their fill threshold, fetch as its low
  // level.
  const float amount = amountText != nullptr ? stringToFloat(*amountText) : kDefaultAmount;

  switch (kind) {
    case Automation::Colonize:
      return new colonize_order();
    case Automation::Collect:
      return new collect_order(*targetName, amount, false);
    case Automation::Defend:
      return new defend_order();
    case Automation::Deposit:
      return new deposit_order(*targetName, amount, false);
    case Automation::Fetch: {
      auto* fetch = new fetch_order(*targetName, amount);
      fetch->timer.interval = kFetchInterval;
      return fetch;
    }
    case Automation::Trade:
      return new trade_order();
    case Automation::Work:
      return new work_order(*targetName, kWorkInterval);
    case Automation::None:
      break;
  }
  return nullptr;
}
