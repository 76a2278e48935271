// The built-in key actions: which names have one, what a press and a
// release do, and what each refuses: explore, the sub-selection, pause, the
// camera's held inputs, the fleets, the modifiers, and screenshots.
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/base/console.h"
#include "app/base/session_state.h"
#include "context_menu_fixture.h"
#include "core/user_folders.h"
#include "gfx/game_camera.h"
#include "support/scratch_dir.h"
#include "ui/key_action_callbacks.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"

namespace keyactionstest {

namespace {

using contextmenutest::ContextMenuTest;

constexpr uint8_t kPress = KF_Pressed;
constexpr uint8_t kRelease = 0;

bool key(const wchar_t* name, uint8_t flags) {
  NativeKeyAction::Callback callback = keyActionCallback(name);
  EXPECT_NE(callback, nullptr) << "no action";
  return callback != nullptr && callback(flags);
}

class KeyActionTest : public ContextMenuTest {
 protected:
  void TearDown() override {
    gameCamera.moveInput.set(0, 0, 0);
    gameCamera.worldMoveInput.set(0, 0, 0);
    gameCamera.rotateInput.set(0, 0, 0);
    setScreenshotSource(nullptr);
    ContextMenuTest::TearDown();
  }
};

TEST(KeyActionCallbacks, EveryActionOfTheTableButRepeatModeHasItsOwnCallback) {
  const wchar_t* const names[] = {
      L"screenshot",         L"console",           L"pause",          L"unit_explore",
      L"unit_colonize",      L"unit_defend",       L"cancel_orders",  L"make_fleet",
      L"join_nearest_fleet", L"deselect_all",      L"next_subselection", L"select_nearest_fleet",
      L"zoom_to_object",     L"camera_reset",      L"camera_up",      L"camera_down",
      L"camera_left",        L"camera_right",      L"camera_forward", L"camera_backward",
      L"camera_world_up",    L"camera_world_down", L"camera_world_left", L"camera_world_right",
      L"camera_world_forward", L"camera_world_backward", L"camera_rot_up", L"camera_rot_down",
      L"camera_rot_left",    L"camera_rot_right",  L"camera_rot_left_roll", L"camera_rot_right_roll",
  };
  std::set<NativeKeyAction::Callback> seen;
  for (const wchar_t* name : names) {
    NativeKeyAction::Callback callback = keyActionCallback(name);
    EXPECT_NE(callback, nullptr) << std::wstring(name).size();
    seen.insert(callback);
  }
  EXPECT_EQ(seen.size(), 32u);
  for (const wchar_t* other : {L"repeat_mode", L"Screenshot", L"camera", L""})
    EXPECT_EQ(keyActionCallback(other), nullptr);
}

TEST_F(KeyActionTest, CameraActionsSetTheirAxisAndAReleaseKeepsTheOppositeKey) {
  const struct {
    const wchar_t* name;
    irr::core::vector3df GameCamera::*input;
    int axis;
    float value;
  } rows[] = {
      {L"camera_left", &GameCamera::moveInput, 0, -1},          {L"camera_right", &GameCamera::moveInput, 0, 1},
      {L"camera_down", &GameCamera::moveInput, 1, -1},          {L"camera_up", &GameCamera::moveInput, 1, 1},
      {L"camera_forward", &GameCamera::moveInput, 2, -1},       {L"camera_backward", &GameCamera::moveInput, 2, 1},
      {L"camera_world_left", &GameCamera::worldMoveInput, 0, -1}, {L"camera_world_right", &GameCamera::worldMoveInput, 0, 1},
      {L"camera_world_down", &GameCamera::worldMoveInput, 1, -1}, {L"camera_world_up", &GameCamera::worldMoveInput, 1, 1},
      {L"camera_world_forward", &GameCamera::worldMoveInput, 2, -1},
      {L"camera_world_backward", &GameCamera::worldMoveInput, 2, 1},
      {L"camera_rot_left", &GameCamera::rotateInput, 0, -1},    {L"camera_rot_right", &GameCamera::rotateInput, 0, 1},
      {L"camera_rot_up", &GameCamera::rotateInput, 1, -1},      {L"camera_rot_down", &GameCamera::rotateInput, 1, 1},
      {L"camera_rot_left_roll", &GameCamera::rotateInput, 2, -1},
      {L"camera_rot_right_roll", &GameCamera::rotateInput, 2, 1},
  };
  const auto component = [](const irr::core::vector3df& v, int axis) { return axis == 0 ? v.X : axis == 1 ? v.Y : v.Z; };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name, row.name + wcslen(row.name)));
    EXPECT_TRUE(key(row.name, kPress));
    EXPECT_EQ(component(gameCamera.*row.input, row.axis), row.value);
    EXPECT_EQ((gameCamera.*row.input).getLengthSQ(), 1.0f);  // no other axis moved
    EXPECT_TRUE(key(row.name, kRelease));
    EXPECT_EQ((gameCamera.*row.input).getLengthSQ(), 0.0f);
  }
  // Both opposite keys held, the first let go: the second's direction stays.
  key(L"camera_left", kPress | KF_Shift);
  key(L"camera_right", kPress);
  key(L"camera_left", kRelease);
  EXPECT_EQ(gameCamera.moveInput.X, 1.0f);
  key(L"camera_right", kRelease);
  EXPECT_EQ(gameCamera.moveInput.X, 0.0f);
}

TEST_F(KeyActionTest, NextSubselectionStepsOnPressAndReleaseAndStaysAtZeroWithNoMember) {
  key(L"next_subselection", kPress);
  EXPECT_EQ(getSubSelection(), 0u);  // nothing selected: no step below 0
  for (int i = 0; i < 3; ++i)
    select(ship());
  std::vector<uint32_t> steps{getSubSelection()};
  EXPECT_TRUE(key(L"next_subselection", kPress));
  steps.push_back(getSubSelection());
  EXPECT_TRUE(key(L"next_subselection", kRelease));
  steps.push_back(getSubSelection());
  EXPECT_TRUE(key(L"next_subselection", kPress | KF_Control));
  steps.push_back(getSubSelection());
  EXPECT_EQ(steps, (std::vector<uint32_t>{0, 1, 2, 0}));
}

TEST_F(KeyActionTest, PauseTwiceRestoresTheSpeedSetBefore) {
  speedRampActive = false;
  gameSpeed = 2.5;
  engine.timer->setSpeed(2.5f);
  EXPECT_FALSE(key(L"pause", kPress));
  EXPECT_EQ(gameSpeed, 0.0);
  EXPECT_EQ(engine.timer->getSpeed(), 0.0f);
  key(L"pause", kRelease);  // a release changes nothing
  EXPECT_EQ(gameSpeed, 0.0);
  key(L"pause", kPress);
  EXPECT_EQ(gameSpeed, 2.5);
  EXPECT_EQ(engine.timer->getSpeed(), 2.5f);
  gameSpeed = 1.0;
  engine.timer->setSpeed(1.0f);
}

TEST_F(KeyActionTest, ExploreSendsShipsToTheNearestUnexploredSystemsAndStopsAtWeightZero) {
  solarSystem* home = system(0.0f);
  solarSystem* far = system(3000.0f);
  solarSystem* near = system(1000.0f);
  std::vector<TestObject*> ships;
  for (int i = 0; i < 4; ++i)
    ships.push_back(ship(red, home));  // red is present at home: weight 0 there

  EXPECT_FALSE(key(L"unit_explore", kPress));  // nothing selected
  for (TestObject* made : ships)
    select(made);
  EXPECT_FALSE(key(L"unit_explore", kRelease));
  EXPECT_EQ(ships[0]->ai->getOrderCount(), 0u);
  EXPECT_TRUE(key(L"unit_explore", kPress));
  const auto target = [](TestObject* made) -> generic_object* {
    return made->ai->getOrderCount() == 1 ? made->ai->getOrder(0)->getTarget() : nullptr;
  };
  EXPECT_EQ(target(ships[0]), near);
  EXPECT_EQ(target(ships[1]), far);
  EXPECT_EQ(ships[2]->ai->getOrderCount(), 0u);  // home weighs 0: the walk stops
  EXPECT_EQ(ships[3]->ai->getOrderCount(), 0u);
  ASSERT_NE(dynamic_cast<goto_order*>(ships[0]->ai->getOrder(0)), nullptr);

  // Planets only: no order, but the key is used.
  setSelection(nullptr);
  TestObject* world = object(red, OT_Planet, home);
  select(world);
  EXPECT_TRUE(key(L"unit_explore", kPress));
  EXPECT_EQ(world->ai->getOrderCount(), 0u);
}

TEST_F(KeyActionTest, ModifiersAndNetworkClientsThatActionsRefuse) {
  TestObject* own = ship();
  select(own);
  const struct {
    const wchar_t* name;
    uint8_t flags;
    bool used;
  } rows[] = {
      {L"cancel_orders", kPress | KF_Shift, false}, {L"cancel_orders", kPress | KF_Alt, false},
      {L"cancel_orders", kPress | KF_Control, true}, {L"cancel_orders", kRelease, false},
      {L"zoom_to_object", kPress | KF_Shift, false}, {L"zoom_to_object", kPress | KF_Alt, false},
      {L"deselect_all", kPress | KF_Control, false}, {L"unit_defend", kRelease, false},
      {L"console", kRelease, false},                 {L"camera_reset", kRelease, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name, row.name + wcslen(row.name)) + " " + std::to_string(row.flags));
    EXPECT_EQ(key(row.name, row.flags), row.used);
  }
  EXPECT_EQ(getSelectedObjectCount(), 1u);
  EXPECT_TRUE(key(L"deselect_all", kPress));
  EXPECT_EQ(getSelectedObjectCount(), 0u);

  // A network client forms no fleet.
  TestObject* other = ship();
  select(own);
  select(other);
  networkManager->isNetworked = networkManager->isConnected = true;
  EXPECT_FALSE(key(L"make_fleet", kPress));
  EXPECT_EQ(dynamic_cast<FleetAI*>(own->ai), nullptr);
  EXPECT_EQ(dynamic_cast<FleetAI*>(other->ai), nullptr);
  networkManager->isNetworked = networkManager->isConnected = false;
  EXPECT_TRUE(key(L"make_fleet", kPress));
  EXPECT_TRUE(dynamic_cast<FleetAI*>(own->ai) != nullptr || dynamic_cast<FleetAI*>(other->ai) != nullptr);
}

TEST_F(KeyActionTest, NearestFleetIsSelectedAndJoined) {
  EXPECT_TRUE(key(L"select_nearest_fleet", kPress));  // no fleet: nothing
  EXPECT_EQ(getSelectedObjectCount(), 0u);
  solarSystem* farSystem = system();
  std::vector<FleetAI*> fleets;
  for (float x : {5000.0f, 10.0f}) {
    TestObject* leader = ship(red, farSystem);
    leader->position.set(x, 0, 0);
    show(leader);
    auto* fleet = new FleetAI(static_cast<UnitAI*>(leader->ai));
    leader->setAI(fleet);
    fleet->release();
    red->addFleet(fleet);
    fleets.push_back(fleet);
  }
  EXPECT_TRUE(key(L"select_nearest_fleet", kPress));
  ASSERT_EQ(getSelectedObjectCount(), 1u);
  EXPECT_EQ(getSingleSelectedObject(), fleets[1]->commander->graphics);

  TestObject* loose = ship(red, farSystem);
  setSelection(show(loose));
  EXPECT_TRUE(key(L"join_nearest_fleet", kPress));
  EXPECT_EQ(static_cast<UnitAI*>(loose->ai)->fleet, fleets[1]);
  activeEmpire = nullptr;
  EXPECT_FALSE(key(L"join_nearest_fleet", kPress));
  EXPECT_FALSE(key(L"select_nearest_fleet", kPress));
}

irr::video::IImage* fakePicture() {
  return engine.driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(4, 4));
}

TEST_F(KeyActionTest, ScreenshotsTakeTheFirstFreeNameAndSayWhere) {
  const std::filesystem::path folder = scratchDir() / "shots";
  std::filesystem::create_directories(folder);
  const UserFolders saved = userFolders;
  userFolders.screenshots = (folder.string() + "/").c_str();
  setConsole(new Console(ui->gui()));
  for (const char* taken : {"ScreenShot0001.png", "ScreenShot0002.png"})
    std::ofstream(folder / taken) << "x";

  // The null driver has no picture: nothing is written.
  EXPECT_FALSE(key(L"screenshot", kPress));
  EXPECT_FALSE(std::filesystem::exists(folder / "ScreenShot0003.png"));

  setScreenshotSource(fakePicture);
  EXPECT_FALSE(key(L"screenshot", kRelease));
  EXPECT_FALSE(std::filesystem::exists(folder / "ScreenShot0003.png"));
  EXPECT_TRUE(key(L"screenshot", kPress));
  const std::filesystem::path written = folder / "ScreenShot0003.png";
  ASSERT_TRUE(std::filesystem::exists(written));
  EXPECT_GT(std::filesystem::file_size(written), 8u);
  std::wstring printed;  // the console wraps long lines
  for (const irr::core::stringw& line : console()->lines())
    printed += line.c_str();
  const std::wstring expected = L"Wrote out screenshot: " +
                                std::wstring(irr::core::stringw(userFolders.screenshots).c_str()) + L"ScreenShot0003.png";
  ASSERT_GE(printed.size(), expected.size());
  EXPECT_EQ(printed.substr(printed.size() - expected.size()), expected);
  setConsole(nullptr);
  userFolders = saved;
  std::filesystem::remove_all(folder);
}

}  // namespace

}  // namespace keyactionstest
