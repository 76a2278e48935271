// A planet script's addExtension: a known name gives the planet one more
// structure space and, when the planet has a graphics object, the
// extension's node under that object's node; an unknown name changes
// nothing and raises nothing.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <string>

#include "app/base/engine.h"
#include "gfx/graphics_object.h"
#include "gfx/habitat_extensions.h"
#include "script/script_engine.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "universe/planets/planet.h"

namespace planet_extension_script_test {

using namespace AngelScript;

namespace {

class PlanetExtensionScriptTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.scene = device_->getSceneManager();
    sphere_ = engine.scene->getGeometryCreator()->createSphereMesh(1.0f, 8, 8);
    habitat_extension* moon = createHabitatExtension(L"moon");
    moon->mesh = sphere_;
    moon->orbits = true;
    moon->orbitRadiusMin = 1.5f;
    moon->orbitRadiusMax = 2.5f;
    system_ = addSystems(1).front();
  }
  void TearDown() override {
    for (objHabitation* planet : planets_) {
      if (graphicsObject* mirror = planet->graphics) {
        planet->graphics = nullptr;
        mirror->remove(false);
      }
    }
    clearHabitatExtensions();
    sphere_->drop();
    engine = EngineGlobals{};
    device_->drop();
    ScriptedGalaxyTest::TearDown();
  }

  // A planet in the system, with a graphics object (which the planet holds)
  // when asked.
  objHabitation* makePlanet(bool withGraphics) {
    auto* planet = new objHabitation(red, nullptr);
    planet->setContainer(system_);
    planet->setStructureSpace(2.0f);
    if (withGraphics)
      planet->graphics = new graphicsObject(planet, engine.scene->addEmptySceneNode());
    planets_.push_back(planet);
    return planet;
  }

  // Runs `statements` in "void test(Planet@ p)": the exception text, or "".
  static std::string run(const std::string& statements, objHabitation* planet) {
    LogCapture log;
    const std::string code = "void test(Planet@ p) {\n" + statements + "\n}\n";
    asIScriptModule* module = serverScriptEngine->GetModule("extension_test", asGM_ALWAYS_CREATE);
    module->AddScriptSection("extension_test", code.c_str(), code.size());
    if (module->Build() < 0)
      return "does not build: " + log.take();
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByDecl("void test(Planet@ p)"));
    context->SetArgObject(0, planet);
    const int result = context->Execute();
    std::string outcome;
    if (result == asEXECUTION_EXCEPTION)
      outcome = context->GetExceptionString() != nullptr ? context->GetExceptionString() : "?";
    else if (result != asEXECUTION_FINISHED)
      outcome = "result " + std::to_string(result);
    context->Release();
    return outcome;
  }

  static irr::u32 childNodes(const objHabitation* planet) {
    return planet->graphics->getNode()->getChildren().size();
  }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::scene::IMesh* sphere_ = nullptr;
  solarSystem* system_ = nullptr;
  std::vector<objHabitation*> planets_;
};

TEST_F(PlanetExtensionScriptTest, AKnownNameAddsRoomAndAMoonNodeAnUnknownOneNothing) {
  struct Case {
    const char* call;
    bool withGraphics;
    float space;
    irr::u32 nodes;
  };
  const Case cases[] = {
      {"p.addExtension(\"moon\");", true, 3.0f, 1},
      {"p.addExtension(\"moon\", 3, 0.6, 0.002);", true, 3.0f, 1},
      {"p.addExtension(\"moon\");", false, 3.0f, 0},
      {"p.addExtension(\"NoSuchRing\");", true, 2.0f, 0},
      {"p.addExtension(\"NoSuchRing\", 1, 2, 3);", true, 2.0f, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    objHabitation* planet = makePlanet(c.withGraphics);
    EXPECT_EQ(run(c.call, planet), "");
    EXPECT_FLOAT_EQ(planet->getStructureSpace(), c.space);
    if (!c.withGraphics)
      continue;
    ASSERT_EQ(childNodes(planet), c.nodes);
    if (c.nodes > 0) {
      irr::scene::ISceneNode* moon = *planet->graphics->getNode()->getChildren().begin();
      EXPECT_EQ(moon->getID(), habitatExtensionAt(findHabitatExtension(L"moon"))->id);
      EXPECT_EQ(moon->getType(), irr::scene::ESNT_MESH);
    }
  }
}

}  // namespace
}  // namespace planet_extension_script_test
