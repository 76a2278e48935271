// The designs that "Game Data/scripts/server/empire_ai.as" gives every new
// empire: each AI empire of a new game holds them with their roles, none is
// refused, and the carrier joins them once its hangar is available.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/new_game.h"
#include "core/log.h"
#include "core/named_values.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "session_data.h"
#include "shipped_session.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

namespace shipped_designs_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

class ShippedDesignsTest : public ShippedSessionTest {
 protected:
  // The empire's designs: name -> {role, revision}.
  static std::map<std::string, std::pair<uint32_t, uint32_t>> designs(empire* emp) {
    std::map<std::string, std::pair<uint32_t, uint32_t>> out;
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_HullLayouts, false);
    for (irr::u32 i = 0; i < emp->hulls.size(); ++i) {
      const hull_list* layout = emp->hulls[i].value;
      out[stringc(emp->hulls[i].name).c_str()] = {layout->role, layout->revision};
    }
    return out;
  }
};

TEST_F(ShippedDesignsTest, EveryAIEmpireStartsWithTheDesignsAndTheCarrierFollowsItsHangar) {
  setGameSetting(L"SYSTEM_COUNT", 12.0f);
  setGameSetting(L"AI_COUNT", 2.0f);
  LogCapture log;
  setupNewGame(CORVANE_SOURCE_DIR "/data/Maps/spiral.as");
  const std::string text = log.take();
  EXPECT_EQ(text.find("Attempted to create invalid hull"), std::string::npos) << text;
  EXPECT_EQ(text.find("Script Exception"), std::string::npos) << text;

  const std::map<std::string, std::pair<uint32_t, uint32_t>> starting = {
      {"Scout", {HullRole_Civilian, 1}},      {"Colony Ship", {HullRole_ColonyShip, 1}},
      {"Freighter", {HullRole_Cargo, 1}},     {"Frigate", {HullRole_Combat, 1}},
      {"Outpost", {HullRole_Station, 1}},
  };
  empire* first = nullptr;
  int aiEmpires = 0;
  for (empire* emp : empireList) {
    if (emp->isReserved() || !emp->isAI())
      continue;
    SCOPED_TRACE(emp->ID);
    ++aiEmpires;
    first = first != nullptr ? first : emp;
    EXPECT_EQ(designs(emp), starting);
  }
  ASSERT_EQ(aiEmpires, 2);

  // With Logistics the hangar is available: the carrier is designed too,
  // and the others are filed again as their second revisions.
  ASSERT_TRUE(raiseLogisticsAndRedesign(first));
  const std::string again = log.take();
  EXPECT_EQ(again.find("Attempted to create invalid hull"), std::string::npos) << again;

  std::map<std::string, std::pair<uint32_t, uint32_t>> updated;
  for (const auto& [name, design] : starting) {
    updated[name] = {design.first, 2};
    updated[name + " r1"] = design;
  }
  updated["Carrier"] = {HullRole_Carrier, 1};
  EXPECT_EQ(designs(first), updated);
}

}  // namespace

}  // namespace shipped_designs_test
