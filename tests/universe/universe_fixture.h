// Objects, empires and session flags for the universe tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/base/config.h"
#include "support/sent_messages.h"
#include "app/base/session_state.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"

// A plain object whose kind and strength a test chooses.
class TestObject : public generic_object {
 public:
  explicit TestObject(empire* objectOwner, int type = OT_Generic, const wchar_t* objectName = L"")
      : generic_object(objectOwner, nullptr, nullptr), type_(type) {
    name = objectName;
  }
  int getType() const override { return type_; }
  float strength = 0.0f;

 protected:
  float strengthStat() const override { return strength; }

 private:
  int type_;
};

// A message handed to the network manager.

class UniverseTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    red = registerEmpire(new empire);
    red->name = L"Red";
    red->ownBit = 1;
    blue = registerEmpire(new empire);
    blue->name = L"Blue";
    blue->ownBit = 2;
    statisticsActive = true;
    sessionEnding = false;
    singleThreaded = false;
    gameTime = 0.0;
    setObjectTestClock(0);
    captureSends(sent);
  }

  void TearDown() override {
    stopCapturingSends();
    networkManager->isServer = false;
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
    statisticsActive = false;
    deleteAllEmpires();
    EXPECT_EQ(registeredObjectCount(), 0u) << "a test left objects alive";
    clearObjectRegistry();
  }

  // A system whose statistics `emp` has: its "prs" there (0 without entry).
  static float presence(solarSystem* system, empire* emp) {
    for (irr::u32 i = 0; i < system->systemStats->size(); ++i)
      if ((*system->systemStats)[i].emp == emp)
        return getStatValue((*system->systemStats)[i], L"prs");
    return 0.0f;
  }

  empire* red = nullptr;
  empire* blue = nullptr;
  std::vector<SentMessage> sent;
};
