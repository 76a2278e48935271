// A fixture for orders that ships carry out with their effectors (weapons
// and tools): effector and sub-system definitions loaded from text, a home
// star system, and ships of radius 5 built from the listed parts. Every
// object made here is destroyed, and every layout released, at tear-down.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/post_load.h"
#include "core/threads.h"
#include "design/effectors/effector_def.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system_def.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"
#include "universe_fixture.h"

namespace armedshiptest {

class ArmedShipTest : public UniverseTest {
 protected:
  // Loads `effectors` and `subSystems` (whose first definition is
  // `firstDefinition`) and makes the home system at the origin.
  void setUpArmedShips(const char* effectors, const char* subSystems, const wchar_t* firstDefinition) {
    initThreadLocals();
    singleThreaded = true;
    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effectors.txt", std::ios::binary) << effectors;
    {
      LogCapture log;
      loadEffectors((folder / "effectors.txt").string().c_str());
      EXPECT_EQ(log.take().find("rror"), std::string::npos);
    }
    subsystemtest::loadDefinition(folder, subSystems, firstDefinition);
    home = system(vector3df(0, 0, 0));
  }

  void TearDown() override {
    clearPostObjectTreeSteps();
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      (*it)->destroyNow(true);
    made_.clear();
    for (hull_list* layout : layouts_)
      layout->drop();
    clearSubSystemDefs();
    clearEffectors();
    freeThreadLocals();
    singleThreaded = false;
    UniverseTest::TearDown();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  solarSystem* system(const vector3df& position, float radius = 1000.0f) {
    auto* made = new solarSystem();
    made->position = position;
    made->radius = radius;
    made_.push_back(made);
    return made;
  }

  generic_object* place(generic_object* made, generic_object* where, const vector3df& position, float radius) {
    made->setContainer(where);
    made->position = position;
    made->radius = radius;
    made_.push_back(made);
    return made;
  }

  // A ship of `owner` (red by default) of radius 5 with the listed parts, a
  // mobile mover of `thrust` (none when negative), at `position` in `where`
  // (the home system by default).
  objHulled* ship(std::initializer_list<const wchar_t*> parts, const vector3df& position, float thrust = 1.0f,
                  generic_object* where = nullptr, bool orbits = true, empire* owner = nullptr) {
    layout_desc desc;
    float y = 0.0f;
    for (const wchar_t* part : parts) {
      desc.systems.push_back({def(part), 1.0f, 0.0f, y, -1});
      y += 1.0f;
    }
    owner = owner != nullptr ? owner : red;
    auto* layout = new hull_list(desc, owner, true);
    layout->name = L"Test";
    layout->targeting.orbits = orbits;
    layouts_.push_back(layout);
    MobileMover* mover = nullptr;
    if (thrust >= 0.0f) {
      mover = new MobileMover();
      mover->thrust = thrust;
    }
    auto* made = new objHulled(owner, layout, mover);
    place(made, where != nullptr ? where : home, position, 5.0f);
    return made;
  }

  // Destroys `object` now rather than at the end of the test.
  void destroyEarly(generic_object* object) {
    made_.erase(std::find(made_.begin(), made_.end(), object));
    object->destroyNow(true);
  }

  static UnitAI& queueOf(generic_object* object) { return *static_cast<UnitAI*>(object->ai); }

  // `order` queued on `object` and run once, outside the queue's tick.
  static OrderResult step(generic_object* object, Order* order) {
    if (!queueOf(object).hasOrder(order))
      queueOf(object).appendOrder(order);
    return order->execute(*object);
  }

  solarSystem* home = nullptr;
  std::vector<generic_object*> made_;
  std::vector<hull_list*> layouts_;
};

}  // namespace armedshiptest
