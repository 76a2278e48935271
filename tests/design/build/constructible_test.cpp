#include "design/build/constructible.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/common_strings.h"
#include "design/build/build_fixture.h"

namespace constructible_test {

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

TEST(Constructible, PaymentsByTable) {
  struct Cost {
    const wchar_t* name;
    float amount;
  };
  struct Paid {
    const wchar_t* name;
    float paid;
    float stockLeft;  // -1: the builder has no such state
  };
  const struct {
    const char* label;
    std::vector<Cost> costs;
    std::vector<std::pair<const wchar_t*, float>> stocks;
    float seconds;
    int ticks;
    bool done;
    std::vector<Paid> after;
  } cases[] = {
      {"stocks that cover everything pay it in one short tick",
       {{L"Electronics", 20.0f}, {L"Metals", 50.0f}},
       {{L"Electronics", 100.0f}, {L"Metals", 100.0f}},
       0.01f,
       1,
       true,
       {{L"Electronics", 20.0f, 80.0f}, {L"Metals", 50.0f, 50.0f}}},
      {"a short stock pays 2.5 x seconds of the amount", {{L"Metals", 100.0f}}, {{L"Metals", 30.0f}}, 0.1f, 1,
       false, {{L"Metals", 25.0f, 5.0f}}},
      {"and then what is left", {{L"Metals", 100.0f}}, {{L"Metals", 30.0f}}, 0.1f, 2, false,
       {{L"Metals", 30.0f, 0.0f}}},
      {"a missing resource after: the minimum rate",
       {{L"Electronics", 100.0f}, {L"Metals", 100.0f}},
       {{L"Electronics", 50.0f}},
       1.0f,
       1,
       false,
       {{L"Electronics", 5.0f, 45.0f}, {L"Metals", 0.0f, -1.0f}}},
      {"a missing resource before: nothing",
       {{L"AdvParts", 100.0f}, {L"Metals", 100.0f}},
       {{L"Metals", 50.0f}},
       1.0f,
       1,
       false,
       {{L"AdvParts", 0.0f, -1.0f}, {L"Metals", 0.0f, 50.0f}}},
      {"what the first pass covers is paid even behind a missing resource",
       {{L"AdvParts", 100.0f}, {L"Metals", 10.0f}},
       {{L"Metals", 100.0f}},
       1.0f,
       1,
       false,
       {{L"AdvParts", 0.0f, -1.0f}, {L"Metals", 10.0f, 90.0f}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    PlainItem item;
    for (const Cost& cost : c.costs)
      item.addCost(cost.name, cost.amount);
    Stocks states({});
    for (const auto& stock : c.stocks)
      addObjectState(states.list, stock.first)->value.val = stock.second;
    bool done = false;
    for (int tick = 0; tick < c.ticks; ++tick)
      done = item.payCosts(states.list, nullptr, c.seconds);
    EXPECT_EQ(done, c.done);
    for (const Paid& paid : c.after) {
      SCOPED_TRACE(irr::core::stringc(paid.name).c_str());
      EXPECT_FLOAT_EQ(item.paid(paid.name), paid.paid);
      if (paid.stockLeft >= 0.0f)
        EXPECT_FLOAT_EQ(states.val(paid.name), paid.stockLeft);
      else
        EXPECT_LT(findStateIndex(states.list, paid.name), 0);
    }
  }
}

TEST(Constructible, ProgressOfZeroAmountsIsZero) {
  PlainItem item;
  item.addCost(L"Metals", 0.0f);
  item.addCost(L"Parts", 0.0f);
  EXPECT_EQ(item.getProgress(), 0.0f);
}

class ConstructibleCargoTest : public buildtest::BuildTest {};

TEST_F(ConstructibleCargoTest, PaymentsTakeFromCargoFirstAndFreeTheBuildersHold) {
  objHabitation* builder = planetOf(red);
  builder->cargoUsed = 10.0f;
  State* metals = stock(builder, L"Metals", 2.0f, 10.0f);
  PlainItem item;
  item.addCost(L"Metals", 5.0f);
  EXPECT_TRUE(item.payCosts(builder->states, builder, 0.1f));
  EXPECT_FLOAT_EQ(metals->value.inCargo, 5.0f);
  EXPECT_FLOAT_EQ(metals->value.val, 2.0f);
  EXPECT_FLOAT_EQ(builder->cargoUsed, 5.0f);

  // More than the cargo holds: the cargo empties and the rest comes from val.
  PlainItem more;
  more.addCost(L"Metals", 6.0f);
  EXPECT_TRUE(more.payCosts(builder->states, builder, 0.1f));
  EXPECT_FLOAT_EQ(metals->value.inCargo, 0.0f);
  EXPECT_FLOAT_EQ(metals->value.val, 1.0f);
  EXPECT_FLOAT_EQ(builder->cargoUsed, 0.0f);
}

}  // namespace

}  // namespace constructible_test
