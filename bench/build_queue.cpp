// The payment step of a build-queue item: constructible::payCosts on a
// builder whose stocks are short, so that both passes run over every entry.
//
//   PayCosts/N     payCosts (0.1 s) of an item with N cost entries of 100
//                  (N = 1, 3, 5) on a plain object holding twelve states,
//                  the N resources of the costs at 50 each: the first pass
//                  finds every entry short and the rate 0.25, the second
//                  pays 25 of each
//   MapPasses/N    the same two passes written over twelve states kept in a
//                  std::map by name (same name order, same arithmetic)
//   ResetOnly/N    what both loops spend putting the item and the stocks
//                  back before each step (paid 0, stocks 50)
//
// Every case checks after its loop that the last step left paid 25 and 25
// in stock for each entry, and was not complete.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <vector>

#include "app/base/config.h"
#include "core/common_strings.h"
#include "core/threads.h"
#include "design/build/constructible.h"
#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"

namespace {

constexpr float kStep = 0.1f;
constexpr float kAmount = 100.0f;
constexpr float kStock = 50.0f;
constexpr float kExpectedPaid = 25.0f;  // 2.5 x 0.1 s x 100

// The builder's states, in no particular order; the costs take the first N.
const wchar_t* const kStateNames[] = {L"Metals", L"Electronics", L"AdvParts", L"Fuel",  L"Ammo",  L"Food",
                                      L"Goods",  L"Luxuries",    L"Ore",      L"Power", L"Damage", L"Workers"};
constexpr int kStateCount = sizeof(kStateNames) / sizeof(kStateNames[0]);

void setUp() {
  static const bool done = [] {
    singleThreaded = false;
    initThreadLocals();
    return true;
  }();
  (void)done;
}

// An item with nothing to do on completion: the payment is the base's.
class PaidItem : public constructible {
 public:
  explicit PaidItem(int entries) {
    for (int i = 0; i < entries; ++i)
      PtrNamedVar<cost>::getOrAdd(costs, kStateNames[i], internCommonString).value.amount = kAmount;
  }
  void complete(generic_object*) override {}
};

class Builder : public generic_object {
 public:
  Builder() : generic_object(defaultEmpire(), nullptr, nullptr) {
    for (const wchar_t* name : kStateNames)
      getOrAddObjectState(this, name);
  }
};

// Name order of the object's state list, for the map.
struct NameOrder {
  bool operator()(const irr::core::stringw& a, const irr::core::stringw& b) const { return compareNames(a, b) < 0; }
};
using StateMap = std::map<irr::core::stringw, storedAmount, NameOrder>;

float available(const storedAmount& stock) { return stock.val + stock.inCargo - stock.required; }

// Taking from a stock, cargo first (the builder's used cargo kept in step).
void take(storedAmount& stock, generic_object* builder, float amount) {
  if (stock.inCargo > 0.0f) {
    if (stock.inCargo > amount * 1.0001f) {
      stock.inCargo -= amount;
      builder->cargoUsed -= amount;
      return;
    }
    builder->cargoUsed -= stock.inCargo;
    amount -= stock.inCargo;
    stock.inCargo = 0.0f;
  }
  stock.val -= amount;
}

// payCosts' two passes over states in a std::map.
bool payFromMap(constructible::CostList& costs, StateMap& states, generic_object* builder, float seconds) {
  if (costs.size() == 0)
    return true;
  if (states.empty())
    return false;
  float rate = 2.5f * seconds;
  bool isShort = false;
  for (irr::u32 i = 0; i < costs.size(); ++i) {
    constructible::cost& entry = costs[i].value;
    const float remaining = entry.amount - entry.paid;
    if (!(remaining > 0.0f))
      continue;
    const auto found = states.find(costs[i].entryName());
    const float stock = found == states.end() ? 0.0f : available(found->second);
    if (stock <= 0.0f) {
      isShort = true;
      rate = 0.0f;
    } else if (stock >= remaining) {
      entry.paid = entry.amount;
      take(found->second, builder, remaining);
    } else {
      isShort = true;
      rate = std::min(rate, stock / remaining);
    }
  }
  if (!isShort)
    return true;
  rate = std::max(rate, 0.05f * seconds);
  bool done = true;
  for (irr::u32 i = 0; i < costs.size(); ++i) {
    constructible::cost& entry = costs[i].value;
    const float remaining = entry.amount - entry.paid;
    if (!(remaining > 0.0f))
      continue;
    const auto found = states.find(costs[i].entryName());
    if (found == states.end()) {
      done = false;
      rate = 0.0f;
      continue;
    }
    const float stock = available(found->second);
    if (stock <= 0.0f) {
      done = false;
      continue;
    }
    const float part = std::min(entry.amount * rate, stock);
    if (part < remaining) {
      entry.paid += part;
      take(found->second, builder, part);
      done = false;
    } else {
      entry.paid = entry.amount;
      take(found->second, builder, remaining);
    }
  }
  return done;
}

// The stocks the costs draw on, set back before each step.
class Stocks {
 public:
  void add(storedAmount* stock) { stocks_.push_back(stock); }
  void reset(constructible& item) {
    for (irr::u32 i = 0; i < item.costs.size(); ++i)
      item.costs[i].value.paid = 0.0f;
    for (storedAmount* stock : stocks_)
      stock->val = kStock;
  }
  // The last step paid the expected share of every entry from its stock.
  bool check(const constructible& item, bool lastResult) const {
    if (lastResult)
      return false;
    for (irr::u32 i = 0; i < item.costs.size(); ++i)
      if (item.costs[i].value.paid != kExpectedPaid)
        return false;
    return std::all_of(stocks_.begin(), stocks_.end(),
                       [](const storedAmount* stock) { return stock->val == kStock - kExpectedPaid; });
  }

 private:
  std::vector<storedAmount*> stocks_;
};

void BM_PayCosts(benchmark::State& state) {
  setUp();
  const int entries = static_cast<int>(state.range(0));
  PaidItem item(entries);
  auto* builder = new Builder();
  Stocks stocks;
  for (int i = 0; i < entries; ++i)
    stocks.add(&findObjectState(builder, kStateNames[i])->value);
  bool result = true;
  for (auto _ : state) {
    stocks.reset(item);
    result = item.payCosts(builder->states, builder, kStep);
    benchmark::DoNotOptimize(result);
  }
  if (!stocks.check(item, result))
    state.SkipWithError("the step did not pay the expected share");
  builder->drop();
}
BENCHMARK(BM_PayCosts)->Arg(1)->Arg(3)->Arg(5);

void BM_MapPasses(benchmark::State& state) {
  setUp();
  const int entries = static_cast<int>(state.range(0));
  PaidItem item(entries);
  auto* builder = new Builder();  // for its cargo count only
  StateMap states;
  for (const wchar_t* name : kStateNames)
    states[irr::core::stringw(name)] = storedAmount();
  Stocks stocks;
  for (int i = 0; i < entries; ++i)
    stocks.add(&states[irr::core::stringw(kStateNames[i])]);
  bool result = true;
  for (auto _ : state) {
    stocks.reset(item);
    result = payFromMap(item.costs, states, builder, kStep);
    benchmark::DoNotOptimize(result);
  }
  if (!stocks.check(item, result))
    state.SkipWithError("the step did not pay the expected share");
  builder->drop();
}
BENCHMARK(BM_MapPasses)->Arg(1)->Arg(3)->Arg(5);

void BM_ResetOnly(benchmark::State& state) {
  setUp();
  const int entries = static_cast<int>(state.range(0));
  PaidItem item(entries);
  auto* builder = new Builder();
  Stocks stocks;
  for (int i = 0; i < entries; ++i)
    stocks.add(&findObjectState(builder, kStateNames[i])->value);
  for (auto _ : state) {
    stocks.reset(item);
    benchmark::ClobberMemory();
  }
  builder->drop();
}
BENCHMARK(BM_ResetOnly)->Arg(1)->Arg(3)->Arg(5);

}  // namespace
