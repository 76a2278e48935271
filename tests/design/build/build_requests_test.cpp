// Construction requests (message 117) as the server applies them: counts
// (capped, one when absent), structures on planets only, rebuilds of a
// structure by index, ships of the sender's newest revision of a layout,
// and the requests that queue nothing.
#include <gtest/gtest.h>

#include "build_fixture.h"
#include "design/build/build_requests.h"

namespace build_requests_test {

using irr::core::stringw;

namespace {

class BuildRequestTest : public buildtest::BuildTest {
 protected:
  static BuildRequest structures(const wchar_t* name, bool hasCount = false, uint32_t count = 1) {
    BuildRequest request;
    request.subKind = BRK_Structure;
    request.definitionId = def(name)->id;
    request.hasCount = hasCount;
    request.count = count;
    return request;
  }
  static BuildRequest rebuild(uint32_t index) {
    BuildRequest request;
    request.subKind = BRK_Rebuild;
    request.structureIndex = index;
    return request;
  }
  static BuildRequest ships(const wchar_t* layoutName, bool hasCount = false, uint32_t count = 1) {
    BuildRequest request;
    request.subKind = BRK_Ship;
    request.layoutName = layoutName;
    request.hasCount = hasCount;
    request.count = count;
    return request;
  }
};

TEST_F(BuildRequestTest, StructureAndShipCountsAreCappedAndOneWhenAbsent) {
  objHabitation* planet = planetOf(red);
  layoutOf(red, L"Scout", {L"Frame"});
  const struct {
    const char* label;
    BuildRequest request;
    unsigned queued;
  } cases[] = {
      {"1000 structures", structures(L"Mine", true, 1000), kMaxBuildRequestCount},
      {"structure without a count", structures(L"Mine"), 1},
      {"3 structures", structures(L"Factory", true, 3), 3},
      {"a count of 0", structures(L"Factory", true, 0), 0},
      {"1000 ships", ships(L"Scout", true, 1000), kMaxBuildRequestCount},
      {"ship without a count", ships(L"Scout"), 1},
  };
  for (const auto& c : cases) {
    planet->clearBuildQueue();
    EXPECT_EQ(queueBuildRequest(planet, red, c.request), c.queued) << c.label;
    ASSERT_EQ(planet->buildQueue.size(), c.queued) << c.label;
    if (c.queued > 0) {
      constructible* last = planet->buildQueue[c.queued - 1];
      EXPECT_EQ(last->buildsShip(), c.request.subKind == BRK_Ship) << c.label;
    }
  }
  planet->clearBuildQueue();
}

TEST_F(BuildRequestTest, ShipsAreOfTheSendersNewestRevision) {
  objHabitation* planet = planetOf(red);
  hull_list* scout = layoutOf(red, L"Scout", {L"Frame"});
  scout->updateThreshold = 1.0f;
  setTech(2.0f);  // Frame gains a level: the next request finds a new revision
  ASSERT_EQ(queueBuildRequest(planet, red, ships(L"Scout", true, 2)), 2u);
  auto* first = static_cast<ShipConstructible*>(planet->buildQueue[0]);
  auto* second = static_cast<ShipConstructible*>(planet->buildQueue[1]);
  EXPECT_EQ(first->layout, second->layout);
  EXPECT_NE(first->layout, scout);
  EXPECT_EQ(first->layout, red->updateHullByName(L"Scout", -1.0f));
  EXPECT_EQ(first->retrofitFlag, 0);
}

TEST_F(BuildRequestTest, RequestsThatCannotBeMetQueueNothing) {
  objHabitation* planet = planetOf(red);
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Mine")));
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Factory")));
  hull_list* scout = layoutOf(red, L"Scout", {L"Frame"});
  objHulled* ship = shipOf(scout);

  BuildRequest unknownDefinition = structures(L"Mine");
  unknownDefinition.definitionId = 0xDEADBEEF;
  BuildRequest unknownKind;
  unknownKind.subKind = 3;

  const struct {
    const char* label;
    generic_object* object;
    empire* sender;
    BuildRequest request;
  } cases[] = {
      {"a structure on a ship", ship, red, structures(L"Mine", true, 5)},
      {"an unknown definition", planet, red, unknownDefinition},
      {"an unknown design", planet, red, ships(L"Nothing", true, 5)},
      {"a design of another empire", planet, blue, ships(L"Scout")},
      {"ships without a sender", planet, nullptr, ships(L"Scout")},
      {"a rebuild past the last structure", planet, red, rebuild(2)},
      {"a rebuild that would not raise the level", planet, red, rebuild(0)},
      {"a rebuild of a structure without a level", planet, red, rebuild(1)},
      {"a rebuild on a ship", ship, red, rebuild(0)},
      {"another sub-kind", planet, red, unknownKind},
      {"no object", nullptr, red, ships(L"Scout")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(queueBuildRequest(c.object, c.sender, c.request), 0u) << c.label;
    EXPECT_EQ(planet->buildQueue.size(), 0u) << c.label;
    EXPECT_EQ(ship->buildQueue.size(), 0u) << c.label;
  }

  setTech(2.0f);
  EXPECT_EQ(queueBuildRequest(planet, red, rebuild(0)), 1u) << "a rebuild that raises the level";
  ASSERT_EQ(planet->buildQueue.size(), 1u);
  EXPECT_EQ(planet->buildQueue[0]->getType(), stringw(L"rebuild"));
}

}  // namespace

}  // namespace build_requests_test
