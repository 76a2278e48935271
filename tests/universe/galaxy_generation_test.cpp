// Galaxy generation: the star colour formula, system names, the makers of
// systems, stars, planets, comets and asteroids (placement, movers, growth of
// the system, names, planet types and conditions, references), and the
// galaxy's createSystem.
#include "universe/galaxygen/galaxy_generation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/random.h"
#include "support/space_empire.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_states.h"
#include "universe/objects/oddity.h"
#include "universe/objects/star.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "universe_fixture.h"

namespace galaxy_generation_test {

using irr::core::stringw;

namespace {

std::string narrow(const stringw& text) { return irr::core::stringc(text).c_str(); }

// A movement handler that a test made outside any object.
struct ReleaseHandler {
  void operator()(MoveHandler* handler) const { handler->release(); }
};
using HandlerPtr = std::unique_ptr<MoveHandler, ReleaseHandler>;

class GalaxyGenerationTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    space = registerSpaceEmpire();
    statisticsActive = false;  // as while a map script runs
    folder_ = std::make_unique<WorkingFolder>(scratchDir());
    owner = createGalaxy();  // no names file: fallback names
  }

  void TearDown() override {
    sessionEnding = true;  // systems take their objects with them
    owner->destroyNow(true);
    sessionEnding = false;
    folder_.reset();
    clearPlanetTypes();
    systemNameList().clear();
    UniverseTest::TearDown();
  }

  static PlanetPhysicalType* addType(const wchar_t* typeName, std::vector<const wchar_t*> tags = {},
                                     bool constructed = false) {
    auto* type = new PlanetPhysicalType;
    type->name = internCommonString(typeName);
    type->constructed = constructed;
    for (const wchar_t* tag : tags)
      type->conditionTags.insert(internCommonString(tag));
    PtrNamedVar<PlanetPhysicalType*>::getOrAdd(planetTypeRegistry(), typeName, internCommonString).value = type;
    return type;
  }

  static planetCondition* addCondition(const wchar_t* id, std::vector<const wchar_t*> tags = {}) {
    auto* condition = new planetCondition;
    condition->id = id;
    for (const wchar_t* tag : tags)
      condition->tags.insert(internCommonString(tag));
    PtrNamedVar<planetCondition*>::getOrAdd(planetConditionRegistry(), id, internCommonString).value = condition;
    return condition;
  }

  // A system without a star, named `systemName` unless that is null.
  solarSystem* bareSystem(const wchar_t* systemName = L"Alpha", float startRadius = 10.0f) {
    System_Desc desc;
    desc.autoStar = false;
    desc.startRadius = startRadius;
    solarSystem* system = makeSystem(owner, desc);
    if (systemName != nullptr)
      system->name = systemName;
    return system;
  }

  static Planet_Desc planetAt(float posInYear, float orbitRadius = 500.0f) {
    Planet_Desc desc;
    desc.orbit.posInYear = posInYear;
    desc.orbit.radius = orbitRadius;
    return desc;
  }

  empire* space = nullptr;
  objGalaxy* owner = nullptr;

 private:
  std::unique_ptr<WorkingFolder> folder_;
};

// --- Star colour ---------------------------------------------------------------

TEST(BlackBodyColorTest, FollowsTheFormulaAndTakesNaNAndNegativeAsZeroKelvin) {
  const struct {
    float kelvin;
    irr::u32 red, green, blue;
  } cases[] = {
      {5800.0f, 255, 230, 210},
      {2000.0f, 255, 116, 0},
      {29800.0f, 159, 191, 255},
      {45000.0f, 159, 191, 255},
      {std::numeric_limits<float>::infinity(), 159, 191, 255},
      {0.0f, 255, 56, 0},
      {-5.0f, 255, 56, 0},
      {std::numeric_limits<float>::quiet_NaN(), 255, 56, 0},
  };
  for (const auto& c : cases) {
    const irr::video::SColor color = getBlackBodyColor(c.kelvin);
    EXPECT_EQ(color.getAlpha(), 255u) << c.kelvin;
    EXPECT_EQ(color.getRed(), c.red) << c.kelvin;
    EXPECT_EQ(color.getGreen(), c.green) << c.kelvin;
    EXPECT_EQ(color.getBlue(), c.blue) << c.kelvin;
  }
}

// --- System names --------------------------------------------------------------

TEST_F(GalaxyGenerationTest, WithoutNamesSystemsAreNamedA1OnwardsAndTheTwentySixthIsB0) {
  std::vector<std::string> names;
  for (int i = 0; i < 27; ++i)
    names.push_back(narrow(bareSystem(nullptr)->name));
  EXPECT_EQ(names[0], "A-1");
  EXPECT_EQ(names[1], "A-2");
  EXPECT_EQ(names[24], "A-25");
  EXPECT_EQ(names[25], "B-0");  // n = 52
  EXPECT_EQ(names[26], "B-1");

  loadSystemNames();  // starts the fallback names again
  EXPECT_EQ(narrow(bareSystem(nullptr)->name), "A-1");
}

TEST_F(GalaxyGenerationTest, NamesFromTheFileAreEachUsedOnceThenTheFallbackNames) {
  std::filesystem::create_directories("Game Data");
  std::ofstream("Game Data/SystemNames.txt") << "Alpha\r\n  Beta  \r\n// a comment\r\n\r\n";
  objGalaxy* second = createGalaxy();
  ASSERT_EQ(systemNameList().size(), 2u);

  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i)
    names.push_back(narrow(bareSystem(nullptr)->name));
  EXPECT_TRUE((names[0] == "Alpha" && names[1] == "Beta") || (names[0] == "Beta" && names[1] == "Alpha"));
  EXPECT_EQ(names[2], "A-1");
  EXPECT_EQ(systemNameList().size(), 0u);
  second->destroyNow(true);
}

// --- Systems ---------------------------------------------------------------------

TEST_F(GalaxyGenerationTest, MakeSystemPlacesTheSystemInTheGalaxyWithAnAutomaticStar) {
  EXPECT_EQ(owner->radius, 200000.0f);
  EXPECT_EQ(owner->refCount.load(), 1);  // the caller's

  System_Desc desc;
  desc.position.set(1000, 20, -300);
  desc.startRadius = 10.0f;
  solarSystem* system = owner->createSystem(desc);
  ASSERT_NE(system, nullptr);
  EXPECT_EQ(system->refCount.load(), 3) << "its own, the galaxy's and its star's";
  EXPECT_EQ(system->container.load(), owner);
  ASSERT_EQ(owner->getSystemCount(), 1u);
  EXPECT_EQ(owner->getSystem(0), system);
  EXPECT_EQ(system->position, desc.position);

  ASSERT_EQ(system->children.size(), 1u);
  auto* star = dynamic_cast<objStar*>(system->children[0].get());
  ASSERT_NE(star, nullptr);
  EXPECT_EQ(star->refCount.load(), 2) << "its own and the system's";
  EXPECT_GE(star->radius, 20.0f);
  EXPECT_LE(star->radius, 80.0f);
  const float temperature = findObjectState(star, L"Temp K")->value.val;
  EXPECT_GE(temperature, 1000.0f);
  EXPECT_LE(temperature, 29800.0f);
  EXPECT_FLOAT_EQ(system->radius, 3.0f * star->radius);

  desc.autoStar = false;
  solarSystem* starless = owner->createSystem(desc);
  EXPECT_EQ(starless->children.size(), 0u);
  EXPECT_EQ(starless->refCount.load(), 2) << "its own and the galaxy's";
  EXPECT_EQ(makeSystem(nullptr, desc), nullptr);
}

// --- Stars and growth --------------------------------------------------------------

TEST_F(GalaxyGenerationTest, ADefaultStarStandsAtTheCentreWithItsStatesAndName) {
  solarSystem* system = bareSystem(L"Alpha");
  Star_Desc desc;
  desc.radius = 2.0f;
  desc.temperature = 5800.0f;
  objStar* star = createStar(system, desc);
  ASSERT_NE(star, nullptr);
  EXPECT_EQ(star->mover, nullptr);
  EXPECT_EQ(star->position, vector3df(0, 0, 0));
  EXPECT_EQ(star->container.load(), system);
  EXPECT_EQ(star->refCount.load(), 2);
  EXPECT_EQ(narrow(star->name), "Alpha Star");
  EXPECT_EQ(star->radius, 2.0f);
  EXPECT_EQ(findObjectState(star, L"Damage")->value.max, 8e6f);
  EXPECT_EQ(findObjectState(star, L"Temp K")->value.val, 5800.0f);
  EXPECT_EQ(findObjectState(star, L"Temp K")->value.max, 5800.0f);
  EXPECT_EQ(createStar(nullptr, desc), nullptr);
}

// A system of start radius 10 grows to 3 star radii, then to reach
// 1.25 x the square of the farthest orbit (e = |centre| + |offset| +
// max(ecc, 1/ecc) x radius).
TEST_F(GalaxyGenerationTest, AStarGrowsItsSystem) {
  const struct {
    const char* what;
    float starRadius;
    bool isStatic;
    vector3df offset;
    float orbitRadius, eccentricity;
    float expected;
  } cases[] = {
      {"small star at the centre", 1.0f, true, {0, 0, 0}, 0.0f, 1.0f, 10.0f},
      {"big star", 50.0f, true, {0, 0, 0}, 0.0f, 1.0f, 150.0f},
      {"static star off the centre", 1.0f, true, {300, 0, 400}, 0.0f, 1.0f, std::sqrt(1.25f) * 500.0f},
      {"orbit of eccentricity 0.5", 1.0f, false, {0, 0, 0}, 100.0f, 0.5f, std::sqrt(1.25f) * 200.0f},
      {"orbit about an offset", 1.0f, false, {0, 30, 40}, 100.0f, 3.0f, std::sqrt(1.25f) * 350.0f},
  };
  for (const auto& c : cases) {
    solarSystem* system = bareSystem();
    Star_Desc desc;
    desc.radius = c.starRadius;
    desc.orbit.isStatic = c.isStatic;
    desc.orbit.offset = c.offset;
    desc.orbit.radius = c.orbitRadius;
    desc.orbit.eccentricity = c.eccentricity;
    objStar* star = createStar(system, desc);
    EXPECT_NEAR(system->radius, c.expected, 1e-3f) << c.what;
    EXPECT_NEAR(system->radiusSquared, c.expected * c.expected, 0.1f) << c.what;
    EXPECT_EQ(star->mover == nullptr, c.isStatic) << c.what;
    if (c.isStatic) {
      EXPECT_EQ(star->position, c.offset) << c.what;
    }
  }
}

// --- Orbits ------------------------------------------------------------------------

TEST_F(GalaxyGenerationTest, AnOrbitIsAParkedMobileMoverAroundANestedOrbit) {
  solarSystem* system = bareSystem();
  objStar* star = createStar(system, Star_Desc());
  star->position.set(0, 0, 30);  // counts in the extent

  Orbit_Desc orbit;
  orbit.radius = 200.0f;
  orbit.posInYear = 0.0f;
  orbit.daysPerYear = 4.0f;
  orbit.offset.set(0, 0, 40);
  orbit.setCenter(star);
  EXPECT_EQ(orbit.centerUID, star->uid);
  vector3df position(1, 1, 1);
  float extent = 0.0f;
  HandlerPtr handler(createOrbitMover(orbit, position, &extent));
  auto* mobile = dynamic_cast<MobileMover*>(handler.get());
  ASSERT_NE(mobile, nullptr);
  EXPECT_TRUE(mobile->parked);
  EXPECT_EQ(mobile->target, nullptr);
  ASSERT_NE(mobile->parkOrbit, nullptr);
  EXPECT_TRUE(mobile->parkOrbitInUse());
  EXPECT_EQ(mobile->parkOrbit->orbited, star);
  EXPECT_EQ(mobile->parkOrbit->centreOffset, orbit.offset);
  EXPECT_EQ(mobile->parkOrbit->orbitRadius, 200.0f);
  EXPECT_EQ(mobile->parkOrbit->yearPosition, 0.0f);
  EXPECT_EQ(mobile->parkOrbit->spinPerOrbit, 4.0f);
  EXPECT_EQ(position, vector3df(0, 0, 0));
  EXPECT_FLOAT_EQ(extent, 30.0f + 40.0f + 200.0f);

  orbit.setCenter(nullptr);
  EXPECT_EQ(orbit.centerUID, 0u);
  orbit.clear();
  EXPECT_EQ(orbit.radius, 500.0f);
  EXPECT_EQ(orbit.posInYear, -1.0f);
}

TEST_F(GalaxyGenerationTest, ANegativeYearPositionStartsAtARandomPlace) {
  solarSystem* system = bareSystem();
  // The orbit's draw is the first of the planet's.
  threadRandom().seed(77);
  const float expected = randomf(1.0f);
  addType(L"Rock");
  threadRandom().seed(77);
  objHabitation* random = createPlanet(system, planetAt(-1.0f));
  ASSERT_NE(random, nullptr);
  EXPECT_EQ(MobileMover::of(random)->parkOrbit->yearPosition, expected);

  objHabitation* atStart = createPlanet(system, planetAt(0.0f));
  EXPECT_EQ(MobileMover::of(atStart)->parkOrbit->yearPosition, 0.0f);
  // Its first tick put it on its orbit: angle 0 is +x.
  EXPECT_NEAR(atStart->position.X, 500.0f, 1e-3f);
  EXPECT_NEAR(atStart->position.Z, 0.0f, 1e-3f);
}

// --- Planets -----------------------------------------------------------------------

TEST_F(GalaxyGenerationTest, PlanetsAreNamedAfterTheirSystemInRomanNumerals) {
  addType(L"Rock");
  solarSystem* alpha = bareSystem(L"Alpha");
  std::vector<std::string> names;
  for (int i = 0; i < 4; ++i)
    names.push_back(narrow(createPlanet(alpha, planetAt(0.0f))->name));
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha I", "Alpha II", "Alpha III", "Alpha IV"}));

  const stringw longName(std::string(600, 'x').c_str());
  solarSystem* longOne = bareSystem(longName.c_str());
  EXPECT_EQ(createPlanet(longOne, planetAt(0.0f))->name, longName + L" I") << "never cut short";
}

TEST_F(GalaxyGenerationTest, APlanetBelongsToSpaceWithItsSizeMassTypeAndOrbit) {
  addType(L"Ice");
  PlanetPhysicalType* rock = addType(L"Rock");
  solarSystem* system = bareSystem(L"Alpha", 10.0f);
  Planet_Desc desc = planetAt(0.0f, 1000.0f);
  desc.planetRadius = 12.0f;
  desc.setPlanetType(1);  // the registry is sorted: Ice, Rock

  objHabitation* planet = createPlanet(system, desc);
  ASSERT_NE(planet, nullptr);
  EXPECT_EQ(planet->refCount.load(), 2) << "its own and the system's";
  EXPECT_EQ(planet->container.load(), system);
  EXPECT_EQ(planet->getOwner(), space);
  EXPECT_EQ(planet->radius, 12.0f);
  EXPECT_EQ(planet->getBaseMass(), static_cast<double>(1e15f));
  EXPECT_EQ(planet->getStructureSpace(), 144.0f);
  EXPECT_EQ(planet->physicalType, rock);
  EXPECT_NEAR(system->radius, std::sqrt(1.25f) * 1000.0f, 1e-2f) << "only the orbit grows the system";
  EXPECT_EQ(createPlanet(nullptr, desc), nullptr);
}

TEST_F(GalaxyGenerationTest, SetPlanetTypeKeepsOnlyIndexesOfLoadedTypes) {
  addType(L"Ice");
  addType(L"Rock");
  const struct { int index, stored; } cases[] = {{-2, -1}, {-1, -1}, {0, 0}, {1, 1}, {2, -1}, {1000, -1}};
  for (const auto& c : cases) {
    Planet_Desc desc;
    desc.setPlanetType(c.index);
    EXPECT_EQ(desc.planetType, c.stored) << c.index;
  }
}

TEST_F(GalaxyGenerationTest, ARandomTypeIsNeverAConstructedOne) {
  addType(L"Habitat", {}, true);
  PlanetPhysicalType* rock = addType(L"Rock");
  solarSystem* system = bareSystem();
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(createPlanet(system, planetAt(0.0f))->physicalType, rock);
}

TEST_F(GalaxyGenerationTest, WithoutAUsableTypeNoPlanetIsMadeAndOneErrorIsLogged) {
  solarSystem* system = bareSystem();
  const auto attempt = [&](const Planet_Desc& desc) {
    LogCapture log;
    EXPECT_EQ(createPlanet(system, desc), nullptr);
    const std::string logged = log.take();
    EXPECT_EQ(countOccurrences(logged, "\n"), 1u) << logged;
    EXPECT_EQ(countOccurrences(logged, "Game Data/PlanetTypes.xml"), 1u) << logged;
  };
  attempt(planetAt(0.0f));  // none loaded

  addType(L"Habitat", {}, true);
  attempt(planetAt(0.0f));  // all constructed
  EXPECT_EQ(system->children.size(), 0u);
  EXPECT_EQ(space->getStat(L"Planet"), 0.0f);

  Planet_Desc chosen = planetAt(0.0f);
  chosen.setPlanetType(0);
  EXPECT_NE(createPlanet(system, chosen), nullptr) << "a constructed type may be asked for";
}

// A planet draws two conditions; one is kept when the type has all its tags
// and the planet does not have it yet.
TEST_F(GalaxyGenerationTest, RandomConditionsFitThePlanetTypeAndAreNotRepeated) {
  addType(L"Rock", {L"hot", L"dry"});
  solarSystem* system = bareSystem();
  const struct {
    const char* what;
    std::vector<std::pair<const wchar_t*, std::vector<const wchar_t*>>> conditions;
    bool randomConditions;
    size_t expected;
  } cases[] = {
      {"only one that fits", {{L"Hot", {L"hot", L"dry"}}}, true, 1},
      {"untagged fits too", {{L"Plain", {}}}, true, 1},
      {"a tag the type lacks", {{L"Wet", {L"hot", L"wet"}}}, true, 0},
      {"not asked for", {{L"Hot", {L"hot"}}}, false, 0},
  };
  for (const auto& c : cases) {
    for (irr::u32 i = 0; i < planetConditionRegistry().size(); ++i)
      delete planetConditionRegistry()[i].value;
    planetConditionRegistry().clear();
    for (const auto& [id, tags] : c.conditions)
      addCondition(id, tags);
    Planet_Desc desc = planetAt(0.0f);
    desc.randomConditions = c.randomConditions;
    EXPECT_EQ(createPlanet(system, desc)->conditions.size(), c.expected) << c.what;
  }
}

TEST_F(GalaxyGenerationTest, AddRandomConditionAddsOneTheTypeListsOnce) {
  PlanetPhysicalType* rock = addType(L"Rock");
  Planet_Desc desc = planetAt(0.0f);
  desc.randomConditions = false;
  objHabitation* planet = createPlanet(bareSystem(), desc);
  addRandomCondition(planet);
  EXPECT_EQ(planet->conditions.size(), 0u) << "the type lists none";

  planetCondition* hot = addCondition(L"Hot");
  rock->applicableConditions.push_back(hot);
  addRandomCondition(planet);
  addRandomCondition(planet);
  ASSERT_EQ(planet->conditions.size(), 1u);
  EXPECT_EQ(planet->conditions[0], hot);
  addRandomCondition(nullptr);
}

// --- Comets and asteroids --------------------------------------------------------------

TEST_F(GalaxyGenerationTest, OdditiesAreMadeOnlyForTheExactIds) {
  solarSystem* system = bareSystem();
  const struct {
    const wchar_t* id;
    bool made;
    uint32_t kind;
    const char* name;
  } cases[] = {
      {L"comet", true, ODT_Comet, "Comet"},
      {L"asteroid", true, ODT_Asteroid, "Asteroid"},
      {L"Comet", false, 0, ""},
      {L"", false, 0, ""},
  };
  for (const auto& c : cases) {
    Oddity_Desc desc;
    desc.id = c.id;
    desc.setFloat(L"radius", 3.0f);
    desc.setFloat(L"mass", 40.0f);
    objOddity* oddity = makeOddity(system, desc);
    ASSERT_EQ(oddity != nullptr, c.made) << narrow(c.id);
    if (oddity == nullptr)
      continue;
    EXPECT_EQ(oddity->getOddityType(), c.kind);
    EXPECT_EQ(narrow(oddity->name), c.name);
    EXPECT_EQ(oddity->radius, 3.0f);
    EXPECT_EQ(oddity->getBaseMass(), 40.0);
    EXPECT_EQ(oddity->container.load(), system);
    EXPECT_EQ(oddity->refCount.load(), 2);
  }
  EXPECT_EQ(system->children.size(), 2u);

  Oddity_Desc comet;
  comet.id = L"comet";
  EXPECT_EQ(makeOddity(nullptr, comet), nullptr);
  comet.setFloat(L"static", 0.5f);
  EXPECT_EQ(makeOddity(system, comet)->mover, nullptr);
}

TEST_F(GalaxyGenerationTest, AnOddityOrbitTakesTheNamedValuesAndDrawsEveryRandomDefault) {
  Oddity_Desc desc;
  desc.setFloat(L"orb_radius", 100.0f);
  desc.setFloat(L"orb_mass", 2.0f);
  desc.setFloat(L"orb_mass_radius", 10.0f);
  desc.setFloat(L"orb_year_pos", 0.25f);
  desc.setFloat(L"orb_disc_yaw", 0.5f);
  desc.setFloat(L"orb_disc_pitch", 0.0f);
  desc.setFloat(L"orb_eccentricity", 1.0f);
  desc.setFloat(L"orb_days_per_year", 3.0f);

  threadRandom().seed(5);
  for (int i = 0; i < 5; ++i)
    randomf(1.0f);
  const float afterFiveDraws = randomf(1.0f);
  threadRandom().seed(5);
  HandlerPtr given(createOddityOrbit(desc));
  EXPECT_EQ(randomf(1.0f), afterFiveDraws) << "five defaults are random";

  auto* orbit = dynamic_cast<OrbitMover*>(given.get());
  ASSERT_NE(orbit, nullptr);
  EXPECT_TRUE(orbit->active);
  EXPECT_EQ(orbit->centre, vector3df(0, 0, 0));
  EXPECT_EQ(orbit->orbitRadius, 100.0f);
  EXPECT_EQ(orbit->xAmplitude, 100.0f);
  EXPECT_EQ(orbit->yearPosition, 0.25f);
  EXPECT_EQ(orbit->yaw, 0.5f);
  EXPECT_EQ(orbit->spinPerOrbit, 3.0f);
  EXPECT_NEAR(orbit->period, 4.0f * 10.0f * std::sqrt(10.0f) / 2.0f, 1e-3f);

  HandlerPtr defaults(createOddityOrbit(Oddity_Desc()));
  auto* drawn = dynamic_cast<OrbitMover*>(defaults.get());
  ASSERT_NE(drawn, nullptr);
  EXPECT_GE(drawn->orbitRadius, 75.0f);
  EXPECT_LE(drawn->orbitRadius, 115.0f);
  EXPECT_GE(drawn->yaw, 0.0f);
  EXPECT_LE(drawn->yaw, 6.282f);
  const float stretch = std::hypot(drawn->xAmplitude, drawn->yAmplitude) / drawn->orbitRadius;
  EXPECT_GE(stretch, 2.0f - 1e-4f) << "eccentricity 2 to 3.7";
  EXPECT_LE(stretch, 3.7f + 1e-4f);
  EXPECT_EQ(drawn->spinPerOrbit, 0.0f);
}

TEST(OddityDescTest, NamedValuesAreSetReadResetAndCleared) {
  Oddity_Desc desc;
  desc.id = L"comet";
  desc.setFloat(L"b", 1.0f);
  desc.setFloat(L"a", 2.0f);
  desc.setFloat(L"b", 3.0f);
  desc.setVector(L"v", vector3df(1, 2, 3));
  EXPECT_EQ(desc.getFloat(L"a", 0.0f), 2.0f);
  EXPECT_EQ(desc.getFloat(L"b", 0.0f), 3.0f);
  EXPECT_EQ(desc.getFloat(L"c", 9.0f), 9.0f);
  EXPECT_EQ(desc.getVector(L"v", vector3df()), vector3df(1, 2, 3));
  EXPECT_EQ(desc.getVector(L"w", vector3df(4, 5, 6)), vector3df(4, 5, 6));

  desc.clear();
  EXPECT_EQ(desc.getFloat(L"a", 0.0f), 0.0f);
  EXPECT_EQ(desc.id, stringw(L"comet"));
  desc.setFloat(L"a", 2.0f);
  desc.reset();
  EXPECT_EQ(desc.id, stringw(L""));
  EXPECT_EQ(desc.floats.size(), 0u);
}

}  // namespace

}  // namespace galaxy_generation_test
