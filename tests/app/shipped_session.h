// A session over the shipped data with the default map's settings: the
// game data loaded as a session loads it, and in tear-down the galaxy,
// the empires and the data taken down again, the game settings restored.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "app/new_game.h"
#include "core/named_values.h"
#include "empire/empire.h"
#include "session_data.h"
#include "session_fixture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

// The AI empires of the game, in list order.
inline std::vector<empire*> aiEmpires() {
  std::vector<empire*> out;
  for (empire* emp : empireList)
    if (!emp->isReserved() && emp->isValid() && emp->isAI())
      out.push_back(emp);
  return out;
}

// Takes down what a shipped session and its game made: the galaxy, the
// empires, the session's data and the objects left.
inline void endShippedSession() {
  destroySessionGalaxy();
  deleteAllEmpires();
  freeNewGamePlayerEmpire();
  endSessionData();
  clearObjectRegistry();
}

// Raises `emp`'s Logistics to 1, which makes the shipped hangar available,
// and runs the empire's script design step again, as research would. False
// (with a test failure) when the empire has no such technology.
inline bool raiseLogisticsAndRedesign(empire* emp) {
  {
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_Variables, true);
    auto* techs = static_cast<NameSpaces*>(emp->spaces.findSpace(L"Techs"));
    NamedValues* logistics = techs != nullptr ? techs->findSpace(L"Logistics") : nullptr;
    if (logistics == nullptr) {
      ADD_FAILURE() << "the empire has no Logistics technology";
      return false;
    }
    logistics->set(L"Level", 1.0f);
  }
  empire* previous = activeEmpire;
  activeEmpire = emp;
  runRegisterEmpireData(emp);
  activeEmpire = previous;
  return true;
}

class ShippedSessionTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    savedSettings_ = gameSettings;
    beginSessionData("/", "spiral");
  }
  void TearDown() override {
    endShippedSession();
    gameSettings = savedSettings_;
    SessionTest::TearDown();
  }

 private:
  NamedVar<float>::Registry savedSettings_;
};
