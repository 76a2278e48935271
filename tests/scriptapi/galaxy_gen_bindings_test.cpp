// The map-script API from scripts: a map-like script making a system, a
// star, planets and a comet; descriptors read back (a vector returned by
// value among them), every property written with its own value among them;
// getPlanetTypeID with a null handle.
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

// Every descriptor property, written from a script with a value no other
// property of its type gets, reads back as written, in the script and in
// the descriptor's own field: two properties at one offset, or one at
// another's field, would show.
struct DescProperty {
  const char* type;
  const char* name;
  const char* written;  // script expression
  const char* shown;    // as the script prints it back
  bool (*holds)(const void* desc);
};

template <class Desc>
const Desc& as(const void* desc) {
  return *static_cast<const Desc*>(desc);
}

const DescProperty kDescProperties[] = {
    {"Orbit_Desc", "Radius", "11", "11", [](const void* d) { return as<Orbit_Desc>(d).radius == 11; }},
    {"Orbit_Desc", "Mass", "12", "12", [](const void* d) { return as<Orbit_Desc>(d).mass == 12; }},
    {"Orbit_Desc", "Eccentricity", "13", "13", [](const void* d) { return as<Orbit_Desc>(d).eccentricity == 13; }},
    {"Orbit_Desc", "MassRadius", "14", "14", [](const void* d) { return as<Orbit_Desc>(d).massRadius == 14; }},
    {"Orbit_Desc", "PosInYear", "0.25f", "0.25", [](const void* d) { return as<Orbit_Desc>(d).posInYear == 0.25f; }},
    {"Orbit_Desc", "Yaw", "16", "16", [](const void* d) { return as<Orbit_Desc>(d).yaw == 16; }},
    {"Orbit_Desc", "Pitch", "17", "17", [](const void* d) { return as<Orbit_Desc>(d).pitch == 17; }},
    {"Orbit_Desc", "DaysPerYear", "18", "18", [](const void* d) { return as<Orbit_Desc>(d).daysPerYear == 18; }},
    {"Orbit_Desc", "IsStatic", "true", "true", [](const void* d) { return as<Orbit_Desc>(d).isStatic; }},
    {"Orbit_Desc", "Offset", "vector(19, 20, 21)", "19,20,21",
     [](const void* d) { return as<Orbit_Desc>(d).offset == vector3df(19, 20, 21); }},
    {"Planet_Desc", "PlanetRadius", "31", "31", [](const void* d) { return as<Planet_Desc>(d).planetRadius == 31; }},
    {"Planet_Desc", "PlanetMass", "32", "32", [](const void* d) { return as<Planet_Desc>(d).planetMass == 32; }},
    {"Planet_Desc", "RandomConditions", "false", "false",
     [](const void* d) { return !as<Planet_Desc>(d).randomConditions; }},
    {"Star_Desc", "Temperature", "41", "41", [](const void* d) { return as<Star_Desc>(d).temperature == 41; }},
    {"Star_Desc", "Radius", "42", "42", [](const void* d) { return as<Star_Desc>(d).radius == 42; }},
    {"Star_Desc", "Brightness", "43", "43", [](const void* d) { return as<Star_Desc>(d).brightness == 43; }},
    {"System_Desc", "Position", "vector(51, 52, 53)", "51,52,53",
     [](const void* d) { return as<System_Desc>(d).position == vector3df(51, 52, 53); }},
    {"System_Desc", "AutoStar", "false", "false", [](const void* d) { return !as<System_Desc>(d).autoStar; }},
    {"System_Desc", "StartRadius", "54", "54", [](const void* d) { return as<System_Desc>(d).startRadius == 54; }},
};

// For each type T: "T written_T()", which writes every property of the
// table, and "string@ shown_T()", which reads them all back from such a
// value, one "name=value;" each.
std::string descRoundTripScript() {
  std::string code = R"(
string@ show(float value) { return "" + value; }
string@ show(bool value) { return value ? "true" : "false"; }
string@ show(const vector &in value) { return "" + value.x + "," + value.y + "," + value.z; }
)";
  for (const char* type : {"Orbit_Desc", "Planet_Desc", "Star_Desc", "System_Desc"}) {
    std::string writes, reads;
    for (const DescProperty& property : kDescProperties) {
      if (std::string(property.type) != type)
        continue;
      writes += std::string("  desc.") + property.name + " = " + property.written + ";\n";
      reads += std::string(" + \"") + property.name + "=\" + show(desc." + property.name + ") + \";\"";
    }
    code += std::string(type) + " written_" + type + "() {\n  " + type + " desc;\n" + writes + "  return desc;\n}\n";
    code += std::string("string@ shown_") + type + "() {\n  " + type + " desc = written_" + type + "();\n  return \"\"" +
            reads + ";\n}\n";
  }
  return code;
}

TEST_F(GalaxyGenBindingsTest, EveryDescriptorPropertyReadsBackAsWritten) {
  using namespace AngelScript;
  asIScriptModule* roundTrip = ScriptSessionTest::build(serverScriptEngine, "round_trip", descRoundTripScript());
  ASSERT_NE(roundTrip, nullptr);
  for (const char* type : {"Orbit_Desc", "Planet_Desc", "Star_Desc", "System_Desc"}) {
    SCOPED_TRACE(type);
    std::string expected;
    for (const DescProperty& property : kDescProperties)
      if (std::string(property.type) == type)
        expected += std::string(property.name) + "=" + property.shown + ";";
    EXPECT_EQ(call(roundTrip, ("string@ shown_" + std::string(type) + "()").c_str()), expected);

    // The value the script wrote, as C++ sees it.
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    const std::string declaration = std::string(type) + " written_" + type + "()";
    ASSERT_GE(context->Prepare(roundTrip->GetFunctionByDecl(declaration.c_str())), 0);
    ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
    const void* desc = context->GetReturnObject();
    for (const DescProperty& property : kDescProperties)
      if (std::string(property.type) == type)
        EXPECT_TRUE(property.holds(desc)) << property.name;
    context->Release();
  }
}

TEST_F(GalaxyGenBindingsTest, GetPlanetTypeIdFindsTypesAndStopsOnANullName) {
  EXPECT_EQ(intResult("int knownType()"), 0);
  EXPECT_EQ(intResult("int unknownType()"), -1);
  EXPECT_EQ(call(module, "int nullType()"), "exception: null string@ passed to getPlanetTypeID");
}

}  // namespace

}  // namespace galaxy_gen_bindings_test
