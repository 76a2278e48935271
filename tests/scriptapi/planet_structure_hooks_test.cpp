// A planet's "onDamage" hook decides before its structures: a true answer
// leaves every structure as it was; false lets them absorb the damage.
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "core/random.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "script_session.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"

namespace planet_structure_hooks_test {

namespace {

const char kPlanetModule[] = R"(
bool veto = false;
bool onDamage(Planet@ planet, Event@ event) { return veto; }
)";

class PlanetStructureHooksTest : public scriptapitest::ScriptSessionTest {
 protected:
  void TearDown() override {
    clearPlanetScriptHooks();
    ScriptSessionTest::TearDown();
    clearSubSystemDefs();
    EXPECT_EQ(registeredObjectCount(), 0u) << "a test left objects alive";
    clearObjectRegistry();
  }
};

TEST_F(PlanetStructureHooksTest, ADamageHookThatAnswersTrueLeavesEveryStructureUntouched) {
  startSession({{"planet", kPlanetModule}});
  const SubSystemDef* mine = subsystemtest::loadDefinition(root_, "System: Mine\nDurability: 30\n", L"Mine");
  ASSERT_NE(mine, nullptr);
  empire* red = registerEmpire(new empire);
  AngelScript::asIScriptModule* module = serverScriptEngine->GetModule("planet");
  bool& veto = *static_cast<bool*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("veto")));

  const struct {
    bool veto;
    std::vector<float> hitPoints;
    float damage;
  } cases[] = {{true, {30, 30}, 0}, {false, {20, 20}, 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.veto);
    veto = c.veto;
    auto* planet = new objHabitation(red, nullptr);
    planet->setStructureSpace(2.0f);
    getOrAddObjectState(planet, L"Damage")->value.max = 100.0f;
    ASSERT_TRUE(planet->addStructureFromDef(mine));
    ASSERT_TRUE(planet->addStructureFromDef(mine));
    {
      EffectEvent event(nullptr, planet, 10.0f);
      planet->damage(event);
    }
    std::vector<float> hitPoints;
    for (irr::u32 i = 0; i < planet->structures.size(); ++i)
      hitPoints.push_back(planet->structures[i].record.HP);
    EXPECT_EQ(hitPoints, c.hitPoints);
    EXPECT_FLOAT_EQ(findObjectState(planet, L"Damage")->value.val, c.damage);
    planet->destroyNow(true);
  }
}

}  // namespace

}  // namespace planet_structure_hooks_test
