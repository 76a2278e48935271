// The map-script API from scripts: a map-like script making a system, a
// star, planets and a comet; descriptors read back (a vector returned by
// value among them); getPlanetTypeID with a null handle.
#include <gtest/gtest.h>

#include <string>

#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "script_session.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/star.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "support/space_empire.h"

namespace galaxy_gen_bindings_test {

namespace {

using scriptapitest::call;
using scriptapitest::ScriptSessionTest;

const char* const kMap = R"(
string@ build(Galaxy@ galaxy) {
  System_Desc sysDesc;
  sysDesc.Position = vector(100, 0, 0);
  sysDesc.AutoStar = false;
  sysDesc.StartRadius = 20;
  System@ sys = galaxy.createSystem(sysDesc);

  Star_Desc starDesc;
  starDesc.Radius = 5;
  starDesc.Temperature = 5800;
  Star@ star = sys.makeStar(starDesc);

  Orbit_Desc orbit;
  orbit.Radius = 200;
  orbit.PosInYear = 0;
  orbit.setCenter(star);
  Planet_Desc planetDesc;
  planetDesc.setOrbit(orbit);
  planetDesc.PlanetRadius = 7;
  planetDesc.RandomConditions = false;
  planetDesc.setPlanetType(getPlanetTypeID("Rock"));
  Planet@ first = sys.makePlanet(planetDesc);
  Planet@ second = sys.makePlanet(planetDesc);
  first.addRandomCondition();

  Oddity_Desc oddity;
  oddity.set_id("comet");
  oddity.setFloat("radius", 2);
  Object@ comet = sys.makeOddity(oddity);
  oddity.set_id("Comet");
  Object@ none = sys.makeOddity(oddity);

  System@ other = makeSystem(galaxy, sysDesc);
  System@ nowhere = makeSystem(null, sysDesc);

  Color color = getBlackBodyColor(5800);
  return first.toObject().getName() + ";" + second.toObject().getName() + ";" + comet.getName() + ";" +
         (none is null ? "none" : "some") + ";" + (nowhere is null ? "none" : "some") + ";" +
         int(color.R) + "," + int(color.G) + "," + int(color.B) + ";" + galaxy.getSystemCount();
}

string@ yes(bool flag) { return flag ? "true" : "false"; }

string@ descriptors() {
  Oddity_Desc d;
  d.setVector("v", vector(1, 2, 3));
  d.setFloat("f", 0.5f);
  vector given = d.getVector("v", vector(0, 0, 0));
  vector absent = d.getVector("w", vector(4, 5, 6));
  Oddity_Desc copy;
  copy = d;
  d.clear();
  Orbit_Desc orbit;
  Planet_Desc planet;
  planet.setPlanetType(-2);
  Star_Desc star;
  System_Desc sys;
  return "" + given.x + "," + given.y + "," + given.z + ";" + absent.x + "," + absent.y + "," + absent.z + ";" +
         copy.getFloat("f", 9) + "," + d.getFloat("f", 9) + ";" + orbit.Radius + "," + orbit.PosInYear + "," +
         yes(orbit.IsStatic) + ";" + planet.PlanetRadius + "," + yes(planet.RandomConditions) + ";" +
         star.Temperature + ";" + sys.StartRadius + "," + yes(sys.AutoStar);
}

int knownType() { return getPlanetTypeID("Rock"); }
int unknownType() { return getPlanetTypeID("Lava"); }
int nullType() { string@ name; return getPlanetTypeID(name); }
)";

class GalaxyGenBindingsTest : public ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    auto* rock = new PlanetPhysicalType;
    rock->name = internCommonString(L"Rock");
    PtrNamedVar<PlanetPhysicalType*>::getOrAdd(planetTypeRegistry(), L"Rock", internCommonString).value = rock;
    // The owner of what the makers make (its object jobs go with it).
    registerSpaceEmpire();
    startSession({{"map", kMap}});
    module = serverScriptEngine->GetModule("map");
    ASSERT_NE(module, nullptr);
  }
  void TearDown() override {
    if (owner != nullptr) {
      sessionEnding = true;
      owner->destroyNow(true);
      sessionEnding = false;
    }
    clearPlanetTypes();
    ScriptSessionTest::TearDown();
    EXPECT_EQ(registeredObjectCount(), 0u) << "a test left objects alive";
  }

  // The value returned by an int function of the map module, or -100 when
  // it did not finish.
  int intResult(const char* declaration) {
    using namespace AngelScript;
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByDecl(declaration));
    const int result = context->Execute() == asEXECUTION_FINISHED ? static_cast<int>(context->GetReturnDWord()) : -100;
    context->Release();
    return result;
  }

  // Runs "string@ build(Galaxy@)" with the galaxy.
  std::string build() {
    using namespace AngelScript;
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByDecl("string@ build(Galaxy@)"));
    context->SetArgObject(0, owner);
    std::string outcome = "exception";
    if (context->Execute() == asEXECUTION_FINISHED)
      outcome = irr::core::stringc(static_cast<ScriptString*>(context->GetReturnObject())->toStringw()).c_str();
    context->Release();
    return outcome;
  }

  AngelScript::asIScriptModule* module = nullptr;
  objGalaxy* owner = nullptr;
};

TEST_F(GalaxyGenBindingsTest, AMapScriptMakesASystemWithAStarPlanetsAndAComet) {
  owner = createGalaxy();
  EXPECT_EQ(build(), "A-1 I;A-1 II;Comet;none;none;255,230,210;2");

  ASSERT_EQ(owner->getSystemCount(), 2u);
  solarSystem* system = owner->getSystem(0);
  EXPECT_EQ(system->position, vector3df(100, 0, 0));
  ASSERT_EQ(system->children.size(), 4u);
  auto* star = dynamic_cast<objStar*>(system->children[0].get());
  ASSERT_NE(star, nullptr);
  EXPECT_EQ(star->radius, 5.0f);
  auto* planet = dynamic_cast<objHabitation*>(system->children[1].get());
  ASSERT_NE(planet, nullptr);
  EXPECT_EQ(planet->radius, 7.0f);
  EXPECT_EQ(planet->physicalType, getPlanetType(L"Rock"));
  // Circling the star, 200 away at the start of its year.
  EXPECT_NEAR(planet->position.X, 200.0f, 1e-3f);
  EXPECT_EQ(star->refCount.load(), 4) << "its own, the system's and the two orbits'";
  EXPECT_EQ(planet->refCount.load(), 2) << "the script's handles are given back";
}

// While a galaxy worker may tick the system, makePlanet and makeStar hold its
// lock, which the makers' own container changes take again.
TEST_F(GalaxyGenBindingsTest, MakersRunUnderTheSystemLockWhileTheSimulationRuns) {
  owner = createGalaxy();
  simulationRunning = true;
  const std::string outcome = build();
  simulationRunning = false;
  EXPECT_EQ(outcome, "A-1 I;A-1 II;Comet;none;none;255,230,210;2");
}

TEST_F(GalaxyGenBindingsTest, DescriptorsReadBackWithTheirDefaultsAndVectorsByValue) {
  EXPECT_EQ(call(module, "string@ descriptors()"), "1,2,3;4,5,6;0.5,9;500,-1,false;5,true;15000;10,true");
}

TEST_F(GalaxyGenBindingsTest, GetPlanetTypeIdFindsTypesAndStopsOnANullName) {
  EXPECT_EQ(intResult("int knownType()"), 0);
  EXPECT_EQ(intResult("int unknownType()"), -1);
  EXPECT_EQ(call(module, "int nullType()"), "exception: null string@ passed to getPlanetTypeID");
}

}  // namespace

}  // namespace galaxy_gen_bindings_test
