// The map script's environment hook: once a galaxy is set up, the "map"
// module's "void createEnvironment(vector, vector)" receives the corners of
// the box around its star systems.
#include <vector3d.h>

#include <ostream>
#include <string>
#include <vector>

#include "script_session.h"
#include "universe/objects/galaxy.h"

namespace irr::core {
static void PrintTo(const vector3df& v, std::ostream* out) { *out << "(" << v.X << ", " << v.Y << ", " << v.Z << ")"; }
}  // namespace irr::core

namespace environment_hook_test {

using namespace AngelScript;

namespace {

class EnvironmentHookTest : public scriptapitest::ScriptSessionTest {
 protected:
  struct SystemPlace {
    vector3df position;
    float radius;
  };

  // A galaxy with these systems, set up (without separating them) and
  // destroyed again.
  static void setUpGalaxy(const std::vector<SystemPlace>& places) {
    objGalaxy* owner = new objGalaxy();
    for (const SystemPlace& place : places) {
      solarSystem* system = new solarSystem();
      system->position = place.position;
      system->radius = place.radius;
      system->setContainer(owner);
    }
    createEnvironment(owner, false);
    owner->destroyNow(true);
  }

  template <class T>
  static const T& global(const char* name) {
    asIScriptModule* map = serverScriptEngine->GetModule("map");
    return *static_cast<const T*>(map->GetAddressOfGlobalVar(map->GetGlobalVarIndexByName(name)));
  }
};

const char kRecordingMap[] = R"(
vector lower(0);
vector upper(0);
int calls = 0;
void createEnvironment(vector low, vector high) {
  lower = low;
  upper = high;
  ++calls;
}
)";

TEST_F(EnvironmentHookTest, TheMapHookGetsTheBoxAroundTheSystems) {
  struct Case {
    const char* name;
    std::vector<SystemPlace> systems;
    vector3df lower;
    vector3df upper;
  };
  const Case cases[] = {
      {"no systems", {}, {-1, -1, -1}, {1, 1, 1}},
      {"inside the unit box", {{{0.25f, 0, -0.25f}, 0.5f}}, {-1, -1, -1}, {1, 1, 1}},
      {"each system with its radius",
       {{{100, 20, -300}, 80}, {{-500, -10, 40}, 120}},
       {-620, -130, -380},
       {180, 110, 160}},
      {"one side of the origin", {{{400, 0, 500}, 50}}, {-1, -50, -1}, {450, 50, 550}},
  };
  startSession({{"map", kRecordingMap}});
  int calls = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    setUpGalaxy(c.systems);
    EXPECT_EQ(global<int>("calls"), ++calls);
    EXPECT_EQ(global<vector3df>("lower"), c.lower);
    EXPECT_EQ(global<vector3df>("upper"), c.upper);
    EXPECT_EQ(log.take(), "");
  }
}

TEST_F(EnvironmentHookTest, WithoutTheHookNothingHappens) {
  const scriptapitest::ServerScripts sessions[] = {
      {},                                                                    // no map module
      {{"map", "int other() { return 1; }"}},                                // no such function
      {{"map", "void createEnvironment(vector low) {}"}},                    // another declaration
      {{"rules", "void createEnvironment(vector low, vector high) {}"}},     // another module
  };
  for (const auto& scripts : sessions) {
    SCOPED_TRACE(scripts.empty() ? "none" : scripts[0].first + ": " + scripts[0].second);
    startSession(scripts);
    LogCapture log;
    setUpGalaxy({{{10, 0, 10}, 80}});
    EXPECT_EQ(log.take(), "");
    endSession();
  }
}

}  // namespace

}  // namespace environment_hook_test
