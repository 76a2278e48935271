#include "universe/objects/object_states.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "design/effects/resources.h"
#include "support/scratch_dir.h"
#include "universe_fixture.h"

namespace object_states_test {

namespace {

using ObjectStatesTest = UniverseTest;

const cargoData kCargoGood = [] {
  cargoData resource;
  resource.canBeCargo = true;
  return resource;
}();

struct StockCase {
  const char* what;
  bool canBeCargo;
  float val, max, inCargo;
  float cargoSpace, cargoUsed;
  bool consume;  // else add
  float amount;
  float wantVal, wantInCargo, wantCargoUsed;
};

TEST_F(ObjectStatesTest, AddAndConsumeMoveAmountsThroughTheCargoHold) {
  const StockCase cases[] = {
      {"fits below the maximum", true, 8, 10, 0, 10, 0, false, 1, 9, 0, 0},
      {"no cargo resource: the overflow is lost", false, 8, 10, 0, 10, 0, false, 5, 10, 0, 0},
      {"cargo resource: the overflow goes to the hold", true, 8, 10, 0, 10, 0, false, 5, 10, 3, 3},
      {"a hold with 2 free fills up", true, 8, 10, 0, 10, 8, false, 5, 10, 2, 10},
      {"a hold with exactly the overflow free fills up", true, 8, 10, 0, 10, 7, false, 5, 10, 3, 10},
      {"less than the cargo comes from the cargo", true, 10, 10, 3, 10, 3, true, 1, 10, 2, 2},
      {"more than the cargo: cargo first, then the stock", true, 10, 10, 3, 10, 3, true, 4, 9, 0, 0},
      {"exactly the cargo empties it, the stock stays", true, 10, 10, 3, 10, 3, true, 3, 10, 0, 0},
      {"the stock may go negative", false, 1, 10, 0, 0, 0, true, 4, -3, 0, 0},
  };
  for (const StockCase& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject* object = new TestObject(red);
    object->cargoSpace = c.cargoSpace;
    object->cargoUsed = c.cargoUsed;
    State* state = getOrAddObjectState(object, L"Goods");
    state->value.resource = c.canBeCargo ? &kCargoGood : defaultResource();
    state->value.val = c.val;
    state->value.max = c.max;
    state->value.inCargo = c.inCargo;

    if (c.consume)
      consumeFromState(*state, object, c.amount);
    else
      addToState(*state, object, c.amount);
    EXPECT_FLOAT_EQ(state->value.val, c.wantVal);
    EXPECT_FLOAT_EQ(state->value.inCargo, c.wantInCargo);
    EXPECT_FLOAT_EQ(object->cargoUsed, c.wantCargoUsed);
    object->destroyNow(false);
  }
}

TEST_F(ObjectStatesTest, FreeSpaceCountsTheHoldOnlyForCargo) {
  TestObject* object = new TestObject(red);
  object->cargoSpace = 10;
  object->cargoUsed = 4;
  State* state = getOrAddObjectState(object, L"Goods");
  state->value = {6, 10, 1, 2, defaultResource()};  // val max required inCargo
  EXPECT_FLOAT_EQ(getAvailable(*state), 7);
  EXPECT_FLOAT_EQ(getFreeSpace(*state), 4);
  EXPECT_FLOAT_EQ(getTotalFreeSpace(*state, object), 4);
  state->value.resource = &kCargoGood;
  EXPECT_FLOAT_EQ(getTotalFreeSpace(*state, object), 10);
  EXPECT_FLOAT_EQ(getTotalFreeSpace(*state, nullptr), 4);
  object->destroyNow(false);
}

TEST_F(ObjectStatesTest, AdditionsAreCountedAndThe255thWrapsToZero) {
  TestObject* object = new TestObject(red);
  for (int i = 1; i <= 254; ++i)
    getOrAddObjectState(object, irr::core::stringw(L"S") + irr::core::stringw(i));
  EXPECT_EQ(object->statesChanged, 254);
  getOrAddObjectState(object, L"S1");
  EXPECT_EQ(object->statesChanged, 254) << "an existing state is no addition";
  getOrAddObjectState(object, L"S255");
  EXPECT_EQ(object->statesChanged, 0);
  getOrAddObjectState(object, L"S256");
  EXPECT_EQ(object->statesChanged, 1);
  EXPECT_EQ(object->states.size(), 256u);
  object->destroyNow(false);
}

TEST_F(ObjectStatesTest, NewStatesTakeTheirRegisteredResource) {
  const std::filesystem::path file = scratchDir() / "resources.xml";
  std::ofstream(file) << R"(<resource name="Ore"><canBeCargo/></resource>)";
  loadResources(file.string().c_str());

  TestObject* object = new TestObject(red);
  EXPECT_EQ(findObjectState(object, L"Ore"), nullptr);
  EXPECT_EQ(object->states.size(), 0u) << "a lookup adds nothing";
  EXPECT_EQ(getOrAddObjectState(object, L"Ore")->value.resource, findResource(L"Ore"));
  EXPECT_EQ(getOrAddObjectState(object, L"Dust")->value.resource, defaultResource());
  EXPECT_NE(findObjectState(object, L"Ore"), nullptr);
  object->destroyNow(false);
  clearResources();
}

TEST_F(ObjectStatesTest, NamesOrderByUtf16CodeUnitsAPrefixFirst) {
  // In order: upper case before lower case, a prefix before its longer
  // names, a character beyond U+FFFF as its surrogates (U+D83D U+DE00: after
  // U+D7FF, before U+E000).
  const std::vector<irr::core::stringw> ordered = {
      L"B", L"a", L"ab", L"abc", L"b", L"\u00e9", L"\ud7ff", L"\U0001F600", L"\ue000", L"\uffee"};

  // Inserted one by one, the list keeps its order.
  StateList added;
  for (size_t i = 0; i < ordered.size(); ++i)
    addObjectState(added, ordered[(i * 7) % ordered.size()]);  // 7 is coprime with 10: each once
  ASSERT_EQ(added.size(), ordered.size());
  for (size_t i = 0; i < ordered.size(); ++i)
    EXPECT_EQ(*added[i]->name, ordered[i]) << i;

  // Appended out of order (as a loader does), the first lookup sorts.
  StateList appended;
  for (size_t i = added.size(); i-- > 0;)
    appended.push_back(added[i]);
  EXPECT_EQ(findStateIndex(appended, L"ab"), 2);
  for (size_t i = 0; i < ordered.size(); ++i) {
    EXPECT_EQ(appended[i], added[i]) << i;
    EXPECT_EQ(findStateIndex(appended, ordered[i]), static_cast<irr::s32>(i));
  }
  EXPECT_EQ(findStateIndex(appended, L"abcd"), -1);
  EXPECT_EQ(findStateIndex(appended, L""), -1);
  appended.clear();  // the same entries as `added`
  clearObjectStates(added);
  EXPECT_EQ(findStateIndex(added, L"a"), -1);
}

TEST_F(ObjectStatesTest, AStateStaysInPlaceWhileMoreAreAdded) {
  TestObject* object = new TestObject(red);
  State* first = getOrAddObjectState(object, L"M");
  first->value.val = 7.5f;
  first->value.max = 9.0f;
  // Names before and after it, so that it moves within the list.
  for (int i = 0; i < 200; ++i)
    getOrAddObjectState(object, irr::core::stringw(i % 2 ? L"A" : L"Z") + irr::core::stringw(i));
  ASSERT_EQ(object->states.size(), 201u);
  EXPECT_EQ(findObjectState(object, L"M"), first);
  EXPECT_FLOAT_EQ(first->value.val, 7.5f);
  EXPECT_FLOAT_EQ(first->value.max, 9.0f);
  EXPECT_EQ(*first->name, L"M");
  object->destroyNow(false);
}

}  // namespace

}  // namespace object_states_test
