// Build-queue items in tests: a galaxy with one star system, sub-system
// definitions with costs, planets of a chosen size, hull layouts made of
// the ship parts below, and resource stocks on objects.
//
// Definitions (costs in "Metals", "Electronics", "AdvParts"):
//   structures   Mine       Structure        Metals[10 x Tech]   Level Tech
//                Factory    Structure        Metals[50], Electronics[20], AdvParts[5]
//                Capitol    Structure, Unique                    Metals[100]
//                Dock       Structure, Port                      Metals[20]
//                Spaceport  Structure, Unique:Port               Metals[30]
//                Kit        Structure, NoManualBuild             Metals[5]
//   ship parts   Frame      (hull)   Metals[100], Electronics[20]  Level Tech
//                Plate               Metals[80], AdvParts[10]
//                Ballast             Metals[300]
// "Tech" is the variable "Test.Tech" of red's and blue's namespaces (1 at
// the start; setTech changes it), so a higher Tech gives new instances a
// higher "{L}" and lets layouts of Frame gain levels for a new revision.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "core/named_values.h"
#include "core/threads.h"
#include "design/build/constructible.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe/galaxy_fixture.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/object_states.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace buildtest {

inline constexpr char kBuildDefinitions[] =
    "System: Mine\nTags: Structure\nLevel: Test.Tech\nCosts: Metals[10 * Test.Tech]\n\n"
    "System: Factory\nTags: Structure\nCosts: Metals[50], Electronics[20], AdvParts[5]\n\n"
    "System: Capitol\nTags: Structure, Unique\nCosts: Metals[100]\n\n"
    "System: Dock\nTags: Structure, Port\nCosts: Metals[20]\n\n"
    "System: Spaceport\nTags: Structure, Unique:Port\nCosts: Metals[30]\n\n"
    "System: Kit\nTags: Structure, NoManualBuild\nCosts: Metals[5]\n\n"
    "System: Frame\nTags: Hull\nSize: 100\nLevel: Test.Tech\nCosts: Metals[100], Electronics[20]\n\n"
    "System: Plate\nSize: 10\nCosts: Metals[80], AdvParts[10]\n\n"
    "System: Ballast\nSize: 10\nCosts: Metals[300]\n";

class BuildTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    space = registerSpaceEmpire();
    tech_.set(L"Tech", 1.0f);
    red->spaces.setSpace(&tech_, L"Test");
    blue->spaces.setSpace(&tech_, L"Test");
    subsystemtest::loadDefinition(scratchDir(), kBuildDefinitions, L"Mine");
    system = addSystems(1)[0];
  }

  void TearDown() override {
    sessionEnding = true;  // the system takes its objects with it
    destroyGalaxy();
    sessionEnding = false;
    red->spaces.setSpace(nullptr, L"Test");
    blue->spaces.setSpace(nullptr, L"Test");
    GalaxyTest::TearDown();
    clearSubSystemDefs();
    freeThreadLocals();
  }

  // Sets "Test.Tech" for both empires' later evaluations.
  void setTech(float value) { tech_.set(L"Tech", value); }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // A settled planet of `owner` in the system at `position`, with room for
  // `maxStructures` structures and the given radius. The system owns it.
  objHabitation* planetOf(empire* owner, int maxStructures = 10, float radius = 10.0f,
                          const vector3df& position = vector3df(500, 0, 0)) {
    auto* planet = new objHabitation(owner, nullptr);
    planet->modPopulation(planet->ownerRates, 5.0f);
    planet->setStructureSpace(static_cast<float>(maxStructures));
    planet->radius = radius;
    planet->position = position;
    planet->name = L"Terra";
    planet->setContainer(system);
    return planet;
  }

  // A new instance of `name` evaluated for `object`'s owner (null when the
  // object has none).
  static subSystem* instanceFor(generic_object* object, const wchar_t* name) {
    SubSystemFactory* factory = createSubSystemFactory();
    factory->prepare(object);
    subSystem* made = factory->create(def(name));
    factory->release();
    delete factory;
    return made;
  }

  // A layout of `owner` of the given parts (each at scale 1), with `scale`
  // as its scale (the radius of its ships), filed in the owner's table,
  // which holds it (the caller gets no reference of its own).
  static hull_list* layoutOf(empire* owner, const wchar_t* layoutName, std::initializer_list<const wchar_t*> parts,
                             float scale = 1.0f) {
    layout_desc desc;
    for (const wchar_t* part : parts)
      desc.systems.push_back({def(part), 1.0f, 0.0f, 0.0f, -1});
    hull_list* layout = new hull_list(desc, owner, true);
    layout->name = layoutName;
    layout->scale = scale;
    NamedVar<hull_list*>& entry = NamedVar<hull_list*>::getOrAdd(owner->hulls, irr::core::stringw(layoutName));
    if (entry.value != nullptr)
      entry.value->drop();
    entry.value = layout;
    return layout;
  }

  // A ship of `layout`'s owner made at `place` (the system by default).
  objHulled* shipOf(hull_list* layout, const vector3df& position = vector3df(),
                    generic_object* place = nullptr) {
    Hull_Desc desc;
    desc.set_hull(layout);
    desc.Owner = layout->owner;
    desc.Position = position;
    return createShipObject(desc, place != nullptr ? place : system);
  }

  // Sets the object's stocks: state `name` holds `val` (and `inCargo`).
  static State* stock(generic_object* object, const wchar_t* name, float val, float inCargo = 0.0f) {
    State* state = getOrAddObjectState(object, name);
    state->value.val = val;
    state->value.inCargo = inCargo;
    return state;
  }

  // The amount owed for `name`, or -1 when the item has no such entry.
  static float costOf(constructible& item, const wchar_t* name) {
    const irr::s32 index = findNamedCost(item.costs, name);
    return index < 0 ? -1.0f : item.costs[static_cast<irr::u32>(index)].value.amount;
  }

  // The item's costs as (name, amount) pairs in name order.
  static std::vector<std::pair<irr::core::stringw, float>> costsOf(constructible& item) {
    findNamedCost(item.costs, L"");  // sorts a list not marked sorted
    std::vector<std::pair<irr::core::stringw, float>> out;
    for (irr::u32 i = 0; i < item.costs.size(); ++i)
      out.emplace_back(item.costs[i].entryName(), item.costs[i].value.amount);
    return out;
  }

  // `system` followed by `count - 1` more, `spacing` apart along X: one per
  // galaxy worker in the concurrency tests.
  std::vector<solarSystem*> systemsFromHere(int count, float spacing = 5000.0f) {
    std::vector<solarSystem*> systems{system};
    for (int s = 1; s < count; ++s) {
      auto* added = new galaxytest::CountingSystem();
      added->position.set(spacing * static_cast<float>(s), 0.0f, 0.0f);
      added->setContainer(galaxy);
      systems.push_back(added);
    }
    return systems;
  }

  empire* space = nullptr;
  solarSystem* system = nullptr;

 private:
  NamedValues tech_;
};

}  // namespace buildtest
