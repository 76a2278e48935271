// A session over the shipped data with the default map's settings: the
// game data loaded as a session loads it, and in tear-down the galaxy,
// the empires and the data taken down again, the game settings restored.
#pragma once

#include "app/new_game.h"
#include "core/named_values.h"
#include "empire/empire.h"
#include "session_data.h"
#include "session_fixture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

class ShippedSessionTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    savedSettings_ = gameSettings;
    beginSessionData("/", "spiral");
  }
  void TearDown() override {
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
    endSessionData();
    clearObjectRegistry();
    gameSettings = savedSettings_;
    SessionTest::TearDown();
  }

 private:
  NamedVar<float>::Registry savedSettings_;
};
