#include "design/constructible.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/common_strings.h"

namespace {

class PlainItem : public constructible {
 public:
  void complete(generic_object*) override {}
  void addCost(const wchar_t* resource, float amount) {
    PtrNamedVar<cost>::getOrAdd(costs, resource, internCommonString).value.amount = amount;
  }
  float paid(const wchar_t* resource) {
    return costs[PtrNamedVar<cost>::find(costs, resource)].value.paid;
  }
};

// A builder's stocks: states with the given values, freed with the holder.
class Stocks {
 public:
  Stocks(std::initializer_list<std::pair<const wchar_t*, float>> stocks) {
    for (const auto& stock : stocks)
      addObjectState(list, stock.first)->value.val = stock.second;
  }
  ~Stocks() { clearObjectStates(list); }
  Stocks(const Stocks&) = delete;
  Stocks& operator=(const Stocks&) = delete;
  float val(const wchar_t* name) { return list[findStateIndex(list, name)]->value.val; }

  StateList list;
};

TEST(Constructible, NothingToPayCompletesAtOnceButNoStatesNeverDo) {
  PlainItem free;
  StateList none;
  EXPECT_TRUE(free.payCosts(none, nullptr, 0.1f));
  EXPECT_EQ(free.getProgress(), 0.0f) << "no amounts: no progress, not 1";

  PlainItem item;
  item.addCost(L"Metals", 10.0f);
  EXPECT_FALSE(item.payCosts(none, nullptr, 100.0f));
}

TEST(Constructible, FullStocksPayEverythingInOneStep) {
  PlainItem item;
  item.addCost(L"Metals", 10.0f);
  item.addCost(L"Parts", 5.0f);
  Stocks states({{L"Metals", 50.0f}, {L"Parts", 5.0f}});
  EXPECT_TRUE(item.payCosts(states.list, nullptr, 0.001f));
  EXPECT_FLOAT_EQ(item.getProgress(), 1.0f);
  EXPECT_FLOAT_EQ(states.val(L"Metals"), 40.0f);
  EXPECT_FLOAT_EQ(states.val(L"Parts"), 0.0f);
}

TEST(Constructible, AMissingResourceHoldsBackTheCostsAfterIt) {
  // Costs are kept in name order: "Food" < "Metals" < "Zinc".
  PlainItem item;
  item.addCost(L"Food", 100.0f);
  item.addCost(L"Metals", 100.0f);
  item.addCost(L"Zinc", 100.0f);
  Stocks states({{L"Food", 50.0f}, {L"Zinc", 50.0f}});
  EXPECT_FALSE(item.payCosts(states.list, nullptr, 1.0f));
  EXPECT_FLOAT_EQ(item.paid(L"Food"), 5.0f) << "the minimum rate, 0.05 x seconds x amount";
  EXPECT_FLOAT_EQ(item.paid(L"Metals"), 0.0f);
  EXPECT_FLOAT_EQ(item.paid(L"Zinc"), 0.0f) << "after the missing resource: nothing this step";
}

TEST(Constructible, ShortStocksPayTheSameShareOfEveryCost) {
  PlainItem item;
  item.addCost(L"Metals", 100.0f);
  item.addCost(L"Parts", 100.0f);
  Stocks states({{L"Metals", 1000.0f}, {L"Parts", 20.0f}});
  EXPECT_FALSE(item.payCosts(states.list, nullptr, 1.0f));
  EXPECT_FLOAT_EQ(item.paid(L"Metals"), 100.0f) << "covered in full by the first pass";
  EXPECT_FLOAT_EQ(item.paid(L"Parts"), 20.0f) << "all there was";
}

}  // namespace
