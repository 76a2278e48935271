// Helpers shared by the tests of movers and movement orders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/post_load.h"
#include "universe_fixture.h"

namespace movementtest {

// A 32-bit value as the save stream writes it: hex, low byte first.
inline std::string le32(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X", value & 0xFFu, (value >> 8) & 0xFFu, (value >> 16) & 0xFFu,
                value >> 24);
  return text;
}

inline void expectNear(const vector3df& actual, const vector3df& expected, float tolerance = 1e-4f) {
  EXPECT_NEAR(actual.X, expected.X, tolerance);
  EXPECT_NEAR(actual.Y, expected.Y, tolerance);
  EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

// Objects made by a test and destroyed at its end, last made first, with
// the post-load steps it left cleared.
class MadeObjectsTest : public UniverseTest {
 protected:
  void TearDown() override {
    clearPostObjectTreeSteps();
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      (*it)->destroyNow(false);
    made_.clear();
    UniverseTest::TearDown();
  }

  solarSystem* makeSystem(const vector3df& position = vector3df(0, 0, 0)) {
    auto* system = new solarSystem();
    system->position = position;
    made_.push_back(system);
    return system;
  }

  std::vector<generic_object*> made_;
};

}  // namespace movementtest
