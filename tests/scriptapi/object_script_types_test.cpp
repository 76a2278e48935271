// The script types of game objects over a session's set-up, on a small
// galaxy: the casts between Object and its subtypes (and the references
// they hold), Object's members and properties, the planet population
// members, the galaxy globals, the lookups by UID, and the declarations that
// only the server engine has.
#include "scriptapi/object_bindings.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "script/script_engine.h"
#include "script/script_string.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/galaxy_fixture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/oddity.h"
#include "universe/objects/star.h"
#include "universe/planets/planet.h"

namespace object_script_types_test {

using namespace AngelScript;

namespace {

const char kHelpers[] = R"(
string@ name(const Object@ o) { return o is null ? "null" : o.getName(); }
string@ text(const vector &in v) { return ftos_nice(v.x) + "," + ftos_nice(v.y) + "," + ftos_nice(v.z); }
string@ yes(bool b) { return b ? "1" : "0"; }
)";

// "string@ is<T>(Object@ o)": "1" when every cast of `o` to T gives `o`
// itself, "0" when every one gives null, "?" when they disagree.
const char kCastCheck[] = R"(
string@ isT(Object@ o) {
  const Object@ c = o;
  T@ implicitCast = o;
  const T@ constCast = c;
  T@ explicitCast = cast<T>(o);
  bool none = implicitCast is null && constCast is null && explicitCast is null;
  if (o is null)
    return none ? "0" : "?";
  T@ method = o.toT();
  const T@ constMethod = c.toT();
  if (none && method is null && constMethod is null)
    return "0";
  bool all = method !is null && method.toObject() is o && constMethod.toObject() is o &&
             implicitCast is method && explicitCast is method && constCast is method;
  Object@ back = method;
  const Object@ constBack = constMethod;
  return all && back is o && constBack is o ? "1" : "?";
}
)";

std::string castCheck(const std::string& type) {
  std::string code = kCastCheck;
  for (size_t at = code.find('T'); at != std::string::npos; at = code.find('T', at + type.size()))
    code.replace(at, 1, type);
  return code;
}

const char* const kSubtypes[] = {"Planet", "Star", "Oddity", "System", "Galaxy"};

class ObjectScriptTypesTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);

    galaxy->name = L"Galaxy";
    systems = addSystems(2);
    systems[0]->name = L"Sol";
    systems[1]->name = L"Vega";
    star = new objStar(systems[0], nullptr);
    star->name = L"Sun";
    planet = new objHabitation(red, nullptr);
    planet->name = L"Terra";
    planet->setContainer(systems[1]);
    oddity = new objOddity(nullptr, ODT_Comet);
    oddity->name = L"Halley";
    oddity->setContainer(systems[1]);
    ship = new TestObject(blue, OT_Hulled, L"Scout");
    ship->setContainer(systems[0]);
  }

  // Builds `code` (after the helpers) as a module of `engine`; null, with
  // the compiler's messages in `errors` when given, when it does not build.
  static asIScriptModule* build(asIScriptEngine* engine, const std::string& code, std::string* errors = nullptr) {
    LogCapture log;
    asIScriptModule* module = engine->GetModule("test", asGM_ALWAYS_CREATE);
    const std::string source = kHelpers + code;
    module->AddScriptSection("test", source.c_str(), source.size());
    const bool built = module->Build() >= 0;
    if (errors != nullptr)
      *errors = log.take();
    return built ? module : nullptr;
  }

  // Runs "string@ <declaration>(Object@)" of `module` with `object`: the
  // text returned, or "exception: <text>".
  static std::string call(asIScriptModule* module, const std::string& function, generic_object* object) {
    asIScriptFunction* called = module->GetFunctionByName(function.c_str());
    if (called == nullptr)
      return "no function " + function;
    asIScriptContext* context = createScriptContext(module->GetEngine());
    context->Prepare(called);
    if (called->GetParamCount() > 0)
      context->SetArgObject(0, object);
    std::string outcome;
    if (context->Execute() != asEXECUTION_FINISHED) {
      outcome = std::string("exception: ") + (context->GetExceptionString() ? context->GetExceptionString() : "");
    } else {
      auto* returned = static_cast<ScriptString*>(context->GetReturnObject());
      outcome = returned != nullptr ? irr::core::stringc(returned->toStringw()).c_str() : "null";
    }
    context->Release();
    return outcome;
  }

  // Runs `body` as "string@ test(Object@ o)" on `engine`.
  static std::string run(asIScriptEngine* engine, const std::string& body, generic_object* object = nullptr) {
    std::string errors;
    asIScriptModule* module = build(engine, "string@ test(Object@ o) {\n" + body + "\n}\n", &errors);
    return module != nullptr ? call(module, "test", object) : "build failed: " + errors;
  }

  std::vector<galaxytest::CountingSystem*> systems;
  objStar* star = nullptr;
  objHabitation* planet = nullptr;
  objOddity* oddity = nullptr;
  TestObject* ship = nullptr;

 private:
};

const std::vector<asIScriptEngine*> bothEngines() { return {serverScriptEngine, clientScriptEngine}; }
const char* engineName(const asIScriptEngine* engine) { return engine == serverScriptEngine ? "server" : "client"; }

// Each object against each subtype (Planet, Star, Oddity, System, Galaxy).
TEST_F(ObjectScriptTypesTest, CastsGiveTheObjectOfItsSubtypesAndNullOtherwise) {
  const struct {
    const char* label;
    generic_object* object;
    const char* expected;
  } cases[] = {
      {"planet", planet, "10000"}, {"star", star, "01000"},          {"oddity", oddity, "00100"},
      {"system", systems[0], "00010"},
      {"galaxy", galaxy, "00011"},  // the galaxy is a system too
      {"ship", ship, "00000"},     {"null", nullptr, "00000"},
  };
  std::string code;
  for (const char* type : kSubtypes)
    code += castCheck(type);
  for (asIScriptEngine* engine : bothEngines()) {
    SCOPED_TRACE(engineName(engine));
    std::string errors;
    asIScriptModule* module = build(engine, code, &errors);
    ASSERT_NE(module, nullptr) << errors;
    for (const auto& c : cases) {
      const int references = c.object != nullptr ? c.object->refCount.load() : 0;
      std::string outcome;
      for (const char* type : kSubtypes)
        outcome += call(module, std::string("is") + type, c.object);
      EXPECT_EQ(outcome, c.expected) << c.label;
      if (c.object != nullptr) {
        EXPECT_EQ(c.object->refCount.load(), references) << c.label << ": every handle given back";
      }
    }
  }
}

// A cast handle holds its own reference: the Object handle it came from is
// the object's last reference and goes first.
TEST_F(ObjectScriptTypesTest, CastHandleOutlivesTheHandleItCameFrom) {
  for (asIScriptEngine* engine : bothEngines()) {
    SCOPED_TRACE(engineName(engine));
    std::string errors;
    asIScriptModule* module = build(engine, R"(
Object@ held;
string@ hold(Object@ o) { @held = o; return "held"; }
string@ castAndLetGo() {
  Planet@ p = held;
  const Planet@ q = held.toPlanet();
  @held = null;
  return name(p) + " " + name(q) + " " + yes(p.toObject().isValid());
}
)", &errors);
    ASSERT_NE(module, nullptr) << errors;
    auto* loose = new objHabitation(red, nullptr);
    loose->name = L"Drifter";
    EXPECT_EQ(call(module, "hold", loose), "held");
    loose->destroyNow(true);  // gives up the creator's reference
    ASSERT_EQ(loose->refCount.load(), 1);
    const uint32_t before = registeredObjectCount();
    EXPECT_EQ(call(module, "castAndLetGo", nullptr), "Drifter Drifter 0");
    EXPECT_EQ(registeredObjectCount(), before - 1) << "the cast handles were the last references";
  }
}

TEST_F(ObjectScriptTypesTest, ObjectMembersAndProperties) {
  systems[1]->position.set(1000, 0, 0);
  planet->position.set(1, 2, 3);
  planet->rotation.set(0, 90, 0);
  planet->velocity.set(4, 5, 6);
  planet->radius = 7.5f;
  const std::string uid = std::to_string(planet->uid);
  const struct {
    const char* body;
    generic_object* object;
    std::string expected;
  } cases[] = {
      {R"(return yes(o.isValid()) + " " + o.getName() + " " + o.getOwner().getName() + " " + o.uid + " " +
                 ftos_nice(o.radius);)",
       planet, "1 Terra Red " + uid + " 7.5"},
      // getPosition returns a vector by value: the container's offset added.
      {R"(return text(o.getPosition()) + " " + text(o.position) + " " + text(o.rotation) + " " +
                 text(o.velocity);)",
       planet, "1001,2,3 1,2,3 0,90,0 4,5,6"},
      {R"(return text(o.getPosition());)", systems[1], "1000,0,0"},
      {R"(const Object@ c = o; return c.getName() + " " + text(c.getPosition()) + " " + c.uid;)", planet,
       "Terra 1001,2,3 " + uid},
      {R"(return name(o) + " " + o.getOwner().getName();)", ship, "Scout Blue"},
      {R"(return "" + int(o.toOddity().getOddityType()) + " " + yes(o.toOddity().getOddityType() == ODT_Comet) +
                 " " + int(ODT_Asteroid);)",
       oddity, "1 1 0"},
  };
  for (asIScriptEngine* engine : bothEngines()) {
    SCOPED_TRACE(engineName(engine));
    for (const auto& c : cases)
      EXPECT_EQ(run(engine, c.body, c.object), c.expected) << c.body;
    // The properties write the object's own fields.
    EXPECT_EQ(run(engine, R"(o.position = vector(9, 8, 7); o.rotation.y = 45; o.velocity *= 2; o.radius = 2;
                            return text(o.getPosition());)",
                  planet),
              "1009,8,7");
    EXPECT_EQ(planet->position, vector3df(9, 8, 7));
    EXPECT_EQ(planet->rotation, vector3df(0, 45, 0));
    EXPECT_EQ(planet->velocity, vector3df(8, 10, 12));
    EXPECT_EQ(planet->radius, 2.0f);
    planet->position.set(1, 2, 3);
    planet->rotation.set(0, 90, 0);
    planet->velocity.set(4, 5, 6);
    planet->radius = 7.5f;
  }
}

// setOwner reaches the owner change of the planet's own class, which also
// moves the planet's rate record to the new owner.
TEST_F(ObjectScriptTypesTest, SetOwnerReachesTheObjectsOwnClass) {
  EXPECT_EQ(run(serverScriptEngine, R"(o.setOwner(getEmpire(1)); return o.getOwner().getName();)", planet), "Blue");
  EXPECT_EQ(planet->getOwner(), blue);
  EXPECT_EQ(planet->ownerRates, &blue->rateRecord);
  EXPECT_EQ(run(serverScriptEngine, R"(o.setOwner(null); return name(o) + " " + yes(o.getOwner() is null);)", ship),
            "Scout 1");
  EXPECT_EQ(ship->getOwner(), nullptr);
}

// Population, limit and owner before; the script's call; what the planet
// then reads, and its fields.
TEST_F(ObjectScriptTypesTest, PopulationMembersActOnlyForValidOwners) {
  empire* fallen = registerEmpire(new empire);
  fallen->valid = false;
  const struct {
    const char* label;
    empire* owner;
    const char* call;
    const char* reads;
    float population;
    float maxPopulation;
  } cases[] = {
      {"limit lowered below the population", red, "p.modMaxPopulation(-10);", "45 45", 45, 45},
      {"limit lowered to the population", red, "p.modMaxPopulation(-5);", "50 50", 50, 50},
      {"limit raised", red, "p.modMaxPopulation(5);", "50 60", 50, 60},
      {"population grows", red, "p.modPopulation(3);", "53 55", 53, 55},
      {"population shrinks", red, "p.modPopulation(-20);", "30 55", 30, 55},
      {"unowned", nullptr, "p.modPopulation(3); p.modMaxPopulation(-10);", "0 0", 50, 55},
      {"invalid owner", fallen, "p.modPopulation(3); p.modMaxPopulation(-10);", "0 0", 50, 55},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    planet->owner = c.owner;
    planet->population = planet->settledPopulation = 50;
    planet->maxPopulation = 55;
    const std::string reads = std::string("Planet@ p = o;\n") + c.call +
                              "\nreturn ftos_nice(p.getPopulation()) + \" \" + ftos_nice(p.getMaxPopulation());";
    EXPECT_EQ(run(serverScriptEngine, reads, planet), c.reads);
    EXPECT_EQ(planet->population, c.population);
    EXPECT_EQ(planet->maxPopulation, c.maxPopulation);
    EXPECT_EQ(run(clientScriptEngine, "Planet@ p = o; return ftos_nice(p.getPopulation()) + \" \" + "
                                      "ftos_nice(p.getMaxPopulation());",
                  planet),
              c.reads);
  }
  planet->owner = red;
}

TEST_F(ObjectScriptTypesTest, GalaxyGlobalsAndMembers) {
  const char kIndexError[] = "exception: Out-of-bounds index when getting galaxy child";
  const struct {
    const char* body;
    const char* expected;
  } cases[] = {
      {R"(return "" + getSystemCount() + " " + getGalaxy().getSystemCount() + " " + name(getSystem(0)) + " " +
                 name(getSystem(1)) + " " + name(getGalaxy().getSystem(1));)",
       "2 2 Sol Vega Vega"},
      {R"(return name(getGalaxy()) + " " + name(getGalaxy().toObject().toSystem());)", "Galaxy Galaxy"},
      {R"(return name(getSystem(2));)", kIndexError},
      {R"(return name(getSystem(uint(-1)));)", kIndexError},
      {R"(return name(getGalaxy().getSystem(2));)", kIndexError},
      {R"(Galaxy@ g = getGalaxy(); System@ s = g.getSystem(0); @g = null; return name(s);)", "Sol"},
  };
  for (asIScriptEngine* engine : bothEngines()) {
    SCOPED_TRACE(engineName(engine));
    const int galaxyReferences = galaxy->refCount.load();
    const int systemReferences = systems[0]->refCount.load();
    for (const auto& c : cases)
      EXPECT_EQ(run(engine, c.body), c.expected) << c.body;
    EXPECT_EQ(galaxy->refCount.load(), galaxyReferences);
    EXPECT_EQ(systems[0]->refCount.load(), systemReferences);
  }
  destroyGalaxy();
  for (asIScriptEngine* engine : bothEngines()) {
    SCOPED_TRACE(engineName(engine));
    EXPECT_EQ(run(engine, R"(return name(getGalaxy()) + " " + getSystemCount();)"), "null 0");
    EXPECT_EQ(run(engine, R"(return name(getSystem(0));)"), kIndexError);
  }
}

TEST_F(ObjectScriptTypesTest, LookupsByUID) {
  const std::string uid = std::to_string(planet->uid);
  const std::string unused = std::to_string(nextUid.load() + 100);
  const int references = planet->refCount.load();
  EXPECT_EQ(run(serverScriptEngine, "return name(getObjectByID(" + uid + ")) + \" \" + name(getObjectByID(" + unused +
                                        ")) + \" \" + name(getObjectByID(0));"),
            "Terra null null");
  for (asIScriptEngine* engine : bothEngines())
    EXPECT_EQ(run(engine, "return yes(objectExists(" + uid + ")) + yes(objectExists(" + unused +
                              ")) + yes(objectExists(0));"),
              "100")
        << engineName(engine);
  EXPECT_EQ(planet->refCount.load(), references);
}

// Declarations the client engine does not have, and a read-only property.
TEST_F(ObjectScriptTypesTest, ServerOnlyDeclarationsDoNotBuildOnTheClient) {
  const struct {
    const char* body;
    bool buildsOnServer;
  } cases[] = {
      {"o.setOwner(null); return null;", true},
      {"o.toPlanet().modPopulation(1); return null;", true},
      {"o.toPlanet().modMaxPopulation(1); return null;", true},
      {"o.uid = 3; return null;", false},
  };
  for (const auto& c : cases) {
    std::string errors;
    EXPECT_EQ(build(serverScriptEngine, std::string("string@ test(Object@ o) {\n") + c.body + "\n}\n") != nullptr,
              c.buildsOnServer)
        << c.body;
    EXPECT_EQ(build(clientScriptEngine, std::string("string@ test(Object@ o) {\n") + c.body + "\n}\n", &errors),
              nullptr)
        << c.body;
    EXPECT_NE(errors.find("AS Client Error"), std::string::npos) << errors;
  }
}

}  // namespace

}  // namespace object_script_types_test
