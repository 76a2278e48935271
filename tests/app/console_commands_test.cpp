// The console's command table and the game, dump and diagnostic commands,
// run through Console::execute as typed lines are.
#include "app/console_commands.h"
#include "audio/music_box.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <irrlicht.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/key_commands.h"
#include "app/profiling_windows.h"
#include "app/saved_game.h"
#include "gfx/game_camera.h"
#include "core/named_values.h"
#include "core/timer.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/objects/system_threads.h"

namespace console_commands_test {

namespace {

namespace fs = std::filesystem;
using irr::core::stringc;
using irr::core::stringw;

std::wstring mirrored;
void recordMirror(const wchar_t* text, std::size_t length) { mirrored.append(text, length); }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class ConsoleCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    // The command table is shared by every console of the process: other
    // suites find it as they left it.
    savedTable_ = Console::commands();
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    setEngineDevice(device_);
    target_ = createConsole(device_->getGUIEnvironment());
    registerConsoleCommands();
    target_->setMirror(recordMirror);
    mirrored.clear();
  }
  void TearDown() override {
    setConsole(nullptr);
    removeProfilingWindows();
    setEngineDevice(nullptr);
    device_->drop();
    const_cast<ConsoleCommandTable&>(Console::commands()) = savedTable_;
  }

  // The lines that running `line` printed (empty ones left out).
  std::vector<std::wstring> run(const std::wstring& line) {
    target_->clear();
    target_->execute(line.c_str(), false);
    std::vector<std::wstring> out;
    for (const stringw& printed : target_->lines())
      if (!printed.empty())
        out.emplace_back(printed.c_str());
    return out;
  }

  ConsoleCommandTable savedTable_;
  irr::IrrlichtDevice* device_ = nullptr;
  Console* target_ = nullptr;
};

using Lines = std::vector<std::wstring>;

// The table of commands in registration order, with the help texts exactly as
// the program gives them, and whether this build registers the command.
struct ExpectedRow {
  const wchar_t* name;
  const wchar_t* help;
  bool registered;
};
const ExpectedRow kExpectedRows[] = {
    {L"formula_dump", L"formula_dump [file] - Will print out all functions/constants hooked to formulas", true},
    {L"callback_dump", L"callback_dump [file] - Will print out all functions available for the various callbacks",
     true},
    {L"echo", L"echo ... - Prints out each argument on a separate line", true},
    {L"layout_dump", L"layout_dump LayoutName - Prints out all the Sub Systems in the requested layout", true},
    {L"force_crash", L"force_crash - Crashes the game", true},
    {L"save_game", L"save_game SaveName - Saves the game using the specified name", true},
    {L"load_game", L"load_game SaveName - Loads the specified save", true},
    {L"end_game", L"end_game - Ends the current game, or closes the game at the menu screen", true},
    {L"set_speed_factor", L"set_speed_factor # - Sets the game's speed", true},
    {L"profile", L"profile - Shows the profiling readout", true},
    {L"profile_server",
     L"profile_server ThreadID - Shows the profiling readout for a specific server processing thread", true},
    {L"profile_scripts", L"profile_scripts - Shows the profiling readout for GUI script modules", true},
    {L"profile_network", L"profile_network - Shows the profiling readout for the network", true},
    {L"give_order",
     L"give_order Order [arg1] [arg2] - Creates a named order; Some orders required extra arguments, or can utilize "
     L"those arguments",
     true},
    {L"emp_setting", L"emp_setting Setting [value] - Sets the specified empire setting, or prints its value", true},
    {L"cl_antialias", L"cl_antialias 0/1 - Enables/Disables antialiasing", true},
    {L"cl_showfps", L"cl_showfps 0/1 - Enables/Disables the display of framerate", true},
    {L"shake", L"shake <value> - Shakes the camera by the specified amount", true},
    {L"fov", L"fov <value> - Sets the field of view for the camera", true},
    {L"update_falloff", L"update_falloff <value> - Sets the falloff distance for system update speeds", true},
    {L"aspect", L"aspect <value> - Sets the aspect ratio for the camera", true},
    {L"zplane",
     L"zplane <ratio> - Sets the ratio of the far plane/near plane distances, making the near plane closer or "
     L"farther away",
     true},
    {L"freeform", L"freeform 0/1 - Enabled/disables freeform camera", true},
    {L"cam_mode", L"cam_mode <position mode> <target mode> - Sets the position/target behavior of the camera", true},
    {L"cam_offset", L"cam_offset x y z - Sets the offset of the camera in Object/ObjectForward positional mode", true},
    {L"set_ambient", L"set_ambient <hex color> - Sets the ambient lighting color for the whole scene", true},
    {L"bind",
     L"bind key command - Binds the specified action or console command to the specified key. The command should be "
     L"provided as if typed in the console normally.",
     true},
    {L"dump_actions", L"dump_actions - Lists out all built-in actions that may be bound to keys via bind", true},
    {L"set_y_offset", L"set_y_offset # - Sets the offset from the system plane to give move-to-point orders", true},
    {L"video_mode", L"video_mode 0/1 - Enables/Disables exporting exact frames to /Video/", true},
    {L"cl_empire_colors",
     L"cl_empire_colors 0/1 - When on, systems, planet/ship icons, etc, are colored by the empire's unique color. "
     L"Off colors by relation.",
     true},
    {L"toggle_gui", L"toggle_gui - Shows/Hides the GUI. Make sure to bind this, or you might not get back.", true},
    {L"sv_cheats", L"sv_cheats 0/1 - Enables/Disables the use of cheats on the server", true},
    {L"game_setting", L"game_setting Setting [value] - Sets the specified game setting, or prints its value", true},
    {L"music_play_track", L"music_play_track #/TrackName - Changes background music to the specified track", true},
    {L"music_volume", L"music_volume Multiplier/% - Sets the volume as a factor or a percentage of the master volume",
     true},
    {L"connect",
     L"connect IP[:Port] - Connects to the specified ip as a client, with an optional port (defaults to 12100)", true},
    {L"disconnect", L"disconnet - Closes the active connection, or shutdown the server", true},
    {L"host", L"host [Port] - Hosts the game, with an optionally specified port (defaults to 12100)", true},
    {L"net_sim",
     L"net_filter MinPingAdd ExtraPingVariance - Slows down the network to simulate net lag (pings are in ms)", true},
    {L"say", L"say \"Text\" - sends the message along the active connection", true},
    {L"nick", L"nick \"Name\" - changes your name", true},
    {L"play_as", L"play_as \"Empire Name\" - asks the server to let you play as the specified empire", true},
    {L"players", L"players - Lists all players in the server, their empires, and their id (for kick/ban)", true},
    {L"kick", L"kick id - Kicks the player with the specified id (see players)", true},
    {L"ban", L"ban id - Kicks and bans the player with the specified id (see players)", true},
    {L"remote", L"remote password command - Sends a console command to run on the remote dedicated server.", true},
    {L"emp_see_all",
     L"emp_see_all 0/1 - Sets whether the active empire can see everything or not\n  Requires sv_cheats", true},
    {L"create_ship",
     L"create_ship layout_name - Creates the a ship using the specified hull, at the currently selected object", true},
    {L"add_resource", L"add_resource Type Amount - Adds the specified amount of a resource to the selected object",
     true},
    {L"add_emp_stat", L"add_emp_stat Stat Amount - Adds the value to the specified stat of the current empire", true},
    {L"destroy", L"destroy - Destroys the targeted object", true},
    {L"set_owner", L"set_owner EmpireID - Sets the selected object's owner to the corresponding empire", true},
    {L"set_emp_col", L"set_emp_col <empire name> <color> - Sets the color of the specified empire (by name)", true},
    {L"list_stats", L"list_stats - Prints all stat entries for the selected object", true},
    {L"list_states", L"list_states - Prints all state entries for the selected object", true},
    {L"zoom_to", L"zoom_to ObjID - Zooms to the object with the specified ID", true},
};
static_assert(sizeof kExpectedRows / sizeof kExpectedRows[0] == kConsoleCommandCount, "every row of the table");

TEST_F(ConsoleCommandsTest, TheTableHoldsEveryCommandInOrderAndRegistersThoseItCanRun) {
  const ConsoleCommandRows& rows = consoleCommandRows();
  target_->execute(L"list", false);
  const std::wstring listed = L"\n" + mirrored;  // each name begins a line
  for (std::size_t i = 0; i < kConsoleCommandCount; ++i) {
    const ExpectedRow& expected = kExpectedRows[i];
    SCOPED_TRACE(std::to_string(i + 1));
    EXPECT_EQ(std::wstring(rows[i].name), expected.name);
    EXPECT_EQ(std::wstring(rows[i].help), expected.help);
    EXPECT_EQ(rows[i].handler != nullptr, expected.registered);
    const auto found = Console::findCommand(expected.name);
    if (!expected.registered) {
      EXPECT_EQ(found, Console::commands().end());
      EXPECT_EQ(listed.find(L"\n" + std::wstring(expected.name) + L"\n"), std::wstring::npos);
      continue;
    }
    ASSERT_NE(found, Console::commands().end());
    EXPECT_EQ(found->second.handler, rows[i].handler);
    EXPECT_EQ(std::wstring(found->second.help.c_str()), expected.help);
    EXPECT_NE(listed.find(L"\n" + std::wstring(expected.name) + L"\n  " + expected.help + L"\n"), std::wstring::npos)
        << "list shows it";
  }
  // Rows whose handlers live with their own subsystems.
  EXPECT_EQ(rows[5].handler, saveGameCommand);
  EXPECT_EQ(rows[6].handler, loadGameCommand);
  EXPECT_EQ(rows[26].handler, bindCommand);
  EXPECT_EQ(rows[27].handler, dumpActionsCommand);
}

TEST(ConsoleCommandReaders, SignedWholeNumbers) {
  const struct {
    const wchar_t* text;
    int32_t value;
  } cases[] = {
      {L"12x", 12},
      {L"x", 0},
      {L"", 0},
      {L"-7", -7},
      {L"1,250.5", 12505},
      {L"5-3", 5},
      {L"--5", 0},
      {L"2147483647", 2147483647},
      {L"-2147483648", INT32_MIN},
      {L"4294967297", 1},  // wraps at 32 bits
      // 10^29 modulo 2^32 is 2^29 x 5, read as a signed 32-bit number.
      {L"100000000000000000000000000000", -1610612736},
      {L"-100000000000000000000000000000", 1610612736},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parseSignedWideInt(c.text), c.value) << stringc(c.text).c_str();
}

TEST(ConsoleCommandReaders, TextExtensions) {
  const struct {
    const char* name;
    bool text;
  } cases[] = {{"out.txt", true}, {".txt", true}, {"out", false}, {"out.TXT", false}, {"txt", false}, {"", false}};
  for (const auto& c : cases)
    EXPECT_EQ(hasTextExtension(c.name), c.text) << c.name;
}

TEST(ConsoleCommandReaders, SpeedFactors) {
  const struct {
    std::wstring text;
    double value;
  } cases[] = {
      {L"2.5", 2.5},
      {L"-3", -3.0},
      {L"1,000.25", 1000.25},
      {L"", 0.0},
      {L".5", 0.5},
      {L"2.5x", 25.0},  // the reading stops: neither point nor sign applies
      {L"-2.5x", 25.0},
      {L"1.2.3", 12.0},
      {L"4-", 4.0},
      {L"--1", 0.0},
      {L"1e5", 1.0},
      // Digits past a double's precision only move the point: long decimals keep their value.
      {L"10." + std::wstring(400, L'0'), 10.0},
      {L"0." + std::wstring(41, L'3'), 1.0 / 3.0},
      {L"-0." + std::wstring(400, L'5'), -5.0 / 9.0},
      {L"0.000" + std::wstring(320, L'3'), 1.0 / 3000.0},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(parseDecimalArg(c.text.c_str()), c.value) << stringc(c.text.c_str()).c_str();
}

// Only a whole decimal number is one: the forms the console takes, and
// nothing that merely begins like one.
TEST(ConsoleCommandReaders, WholeDecimalNumbers) {
  const struct {
    std::wstring text;
    bool taken;
    double value;
  } cases[] = {
      {L"2.5", true, 2.5},
      {L"-3", true, -3.0},
      {L".5", true, 0.5},
      {L"7.", true, 7.0},
      {L"-.0", true, 0.0},
      {L"1" + std::wstring(400, L'0'), true, std::numeric_limits<double>::infinity()},
      {L"", false, 0.0},
      {L"-", false, 0.0},
      {L".", false, 0.0},
      {L"abc", false, 0.0},
      {L"nan", false, 0.0},
      {L"-inf", false, 0.0},
      {L"inf", false, 0.0},
      {L"1e308", false, 0.0},
      {L"1e30x", false, 0.0},
      {L"1,5", false, 0.0},
      {L"2.5x", false, 0.0},
      {L"1.2.3", false, 0.0},
      {L"4-", false, 0.0},
      {L"--1", false, 0.0},
      {L"+1", false, 0.0},
      {L"0x10", false, 0.0},
      {L"\x3000" L"1", false, 0.0},  // a wide blank before the digit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.text.c_str()).c_str());
    double value = -42.0;
    EXPECT_EQ(readDecimalNumber(c.text.c_str(), value), c.taken);
    EXPECT_EQ(value, c.taken ? c.value : -42.0);
  }
}

TEST_F(ConsoleCommandsTest, SetSpeedFactorClampsAndSetsBothClocks) {
  const double savedSpeed = gameSpeed;
  const Lines none;
  const struct {
    const wchar_t* line;
    double speed;
    Lines printed;
  } cases[] = {
      {L"set_speed_factor -3", 0.0, {L"  Speed factor set to 0"}},
      {L"set_speed_factor 25", 10.0, {L"  Speed factor set to 10"}},
      {L"set_speed_factor 2.5", 2.5, none},
      {L"set_speed_factor 10", 10.0, none},
      {L"set_speed_factor -0", 0.0, none},
      {L"set_speed_factor 0.25", 0.25, none},
      {L"set_speed_factor 1000000000000000000000000000000000000000000", 10.0, {L"  Speed factor set to 10"}},
      {L"set_speed_factor 0.5", 0.5, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_DOUBLE_EQ(gameSpeed, c.speed);
    EXPECT_FLOAT_EQ(device_->getTimer()->getSpeed(), static_cast<float>(c.speed));
  }
  // Text that is no whole number is refused, and both clocks keep their speed.
  for (const wchar_t* text : {L"abc", L"nan", L"-inf", L"1,5", L"1e308", L"2.5x", L"-"}) {
    SCOPED_TRACE(stringc(text).c_str());
    EXPECT_EQ(run(std::wstring(L"set_speed_factor ") + text), Lines{L"  The 2nd argument must be a decimal number"});
    EXPECT_EQ(gameSpeed, 0.5);
    EXPECT_EQ(device_->getTimer()->getSpeed(), 0.5f);
  }
  ASSERT_TRUE(run(L"set_speed_factor 0.25").empty());
  for (const wchar_t* line : {L"set_speed_factor", L"set_speed_factor 1 2"}) {
    EXPECT_EQ(run(line), Lines{L"set_speed_factor # - Sets the game's speed"});
    EXPECT_DOUBLE_EQ(gameSpeed, 0.25);
  }
  gameSpeed = savedSpeed;
}

TEST_F(ConsoleCommandsTest, GameSettingsArePrintedAndSet) {
  const NamedVar<float>::Registry savedSettings = gameSettings;
  setGameSetting(L"AI_COUNT", 3.0f);
  const struct {
    const wchar_t* line;
    Lines printed;
    float stored;  // AI_COUNT afterwards
  } cases[] = {
      {L"game_setting AI_COUNT four", {L"  The 2nd argument must be a decimal number"}, 3.0f},
      {L"game_setting AI_COUNT x0", {L"  The 2nd argument must be a decimal number"}, 3.0f},
      {L"game_setting AI_COUNT 4", {}, 4.0f},
      {L"game_setting AI_COUNT", {L"  AI_COUNT 4.000000"}, 4.0f},
      {L"game_setting AI_COUNT 0", {}, 0.0f},
      {L"game_setting AI_COUNT 2.5", {}, 2.5f},
      {L"game_setting AI_COUNT -0.0", {}, 0.0f},
      {L"game_setting AI_COUNT 7", {}, 7.0f},
      // Not whole decimal numbers, or beyond a float: nothing changes.
      {L"game_setting AI_COUNT 7x", {L"  The 2nd argument must be a decimal number"}, 7.0f},
      {L"game_setting AI_COUNT 1e30", {L"  The 2nd argument must be a decimal number"}, 7.0f},
      {L"game_setting AI_COUNT 1e30x", {L"  The 2nd argument must be a decimal number"}, 7.0f},
      {L"game_setting AI_COUNT nan", {L"  The 2nd argument must be a decimal number"}, 7.0f},
      {L"game_setting AI_COUNT -inf", {L"  The 2nd argument must be a decimal number"}, 7.0f},
      {L"game_setting AI_COUNT 1,5", {L"  The 2nd argument must be a decimal number"}, 7.0f},
      {L"game_setting AI_COUNT 1000000000000000000000000000000000000000",
       {L"  The 2nd argument must be a decimal number"},
       7.0f},
      {L"GAME_SETTING NO_SUCH_SETTING", {L"  NO_SUCH_SETTING 0.000000"}, 7.0f},
      {L"game_setting", {L"game_setting Setting [value] - Sets the specified game setting, or prints its value"}, 7.0f},
      {L"game_setting AI_COUNT 1 2",
       {L"game_setting Setting [value] - Sets the specified game setting, or prints its value"},
       7.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_EQ(getGameSetting(L"AI_COUNT", -1.0f), c.stored);
  }
  EXPECT_EQ(getGameSetting(L"NO_SUCH_SETTING", -1.0f), -1.0f);  // printing adds nothing
  // A name is printed with at most 220 characters.
  const std::wstring longName(300, L'N');
  setGameSetting(longName.c_str(), 1.0f);
  mirrored.clear();
  target_->execute((L"game_setting " + longName).c_str(), false);
  EXPECT_NE(mirrored.find(L"  " + std::wstring(220, L'N') + L" 1.000000\n"), std::wstring::npos);
  EXPECT_EQ(mirrored.find(std::wstring(221, L'N')), std::wstring::npos);
  gameSettings = savedSettings;
}

TEST_F(ConsoleCommandsTest, MusicCommandsCheckTheirArgument) {
  const std::wstring playHelp = L"music_play_track #/TrackName - Changes background music to the specified track";
  const std::wstring volumeHelp =
      L"music_volume Multiplier/% - Sets the volume as a factor or a percentage of the master volume";
  const std::wstring noName =
      L"No track found with that name. Note: Tracks are case sensitive, with no partial matching.";
  ASSERT_EQ(musicBox.getTrackCount(), 0u);
  musicBox.setContinuous(false);
  EXPECT_EQ(run(L"music_play_track 0"), (Lines{L"No tracks loaded"}));
  EXPECT_EQ(run(L"music_play_track"), (Lines{playHelp, L" No tracks loaded"}));

  // Files that do not load: a started track only leaves the box idle.
  const stringw first(L"Calm Drift");
  musicBox.addTrack(L"sounds/music/nosuch1.wav", &first);
  musicBox.addTrack(L"sounds/music/nosuch2.wav", nullptr);
  musicBox.setVolume(1.0f);
  const struct {
    const wchar_t* line;
    Lines printed;
    int32_t index;  // the track index afterwards
    float volume;   // the volume afterwards
  } cases[] = {
      {L"music_play_track 1", {}, 1, 1.0f},
      {L"music_play_track 2", {L"Valid track numbers: 0 - 1"}, 1, 1.0f},
      {L"music_play_track -1", {L"Valid track numbers: 0 - 1"}, 1, 1.0f},
      {L"music_play_track \"Calm Drift\"", {}, 0, 1.0f},
      {L"music_play_track nosuch2", {}, 1, 1.0f},
      {L"music_play_track calm", {noName}, 1, 1.0f},
      {L"music_play_track NOSUCH2", {noName}, 1, 1.0f},
      {L"music_play_track", {playHelp, L" Valid track numbers: 0 - 1"}, 1, 1.0f},
      {L"music_play_track 0 1", {playHelp, L" Valid track numbers: 0 - 1"}, 1, 1.0f},
      {L"music_volume 50%", {}, 1, 0.5f},
      {L"music_volume 9", {}, 1, 4.0f},
      {L"music_volume loud", {L"Volumes must be numbers or percents"}, 1, 4.0f},
      {L"music_volume 0.25", {}, 1, 0.25f},
      {L"music_volume 5 %", {volumeHelp}, 1, 0.25f},
      {L"music_volume -3", {}, 1, 0.0f},
      {L"music_volume 1e0", {}, 1, 1.0f},
      {L"music_volume 400%", {}, 1, 4.0f},
      {L"music_volume 2x", {L"Volumes must be numbers or percents"}, 1, 4.0f},
      {L"music_volume", {volumeHelp}, 1, 4.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_EQ(musicBox.getTrackIndex(), c.index);
    EXPECT_FLOAT_EQ(musicBox.getVolume(), c.volume);
  }
}

// Game camera: the commands that set it up change its fields at any time; a
// refused argument changes nothing.
TEST_F(ConsoleCommandsTest, CameraCommandsSetTheGameCamera) {
  using irr::core::vector3df;
  const GameCamera saved = gameCamera;
  const std::wstring freeformHelp = L"freeform 0/1 - Enabled/disables freeform camera";
  const std::wstring modeHelp =
      L"cam_mode <position mode> <target mode> - Sets the position/target behavior of the camera";
  const std::wstring offsetHelp =
      L"cam_offset x y z - Sets the offset of the camera in Object/ObjectForward positional mode";
  const std::wstring shakeHelp = L"shake <value> - Shakes the camera by the specified amount";
  const std::wstring unknownMode =
      L"Unrecgonized mode. Should be 'Static','Object','ObjectFoward' or 'Normal'";
  const std::wstring freeformValues = L"freeform only takes the values 0 and 1";
  gameCamera.freeform = true;
  gameCamera.positionMode = CM_Normal;
  gameCamera.targetMode = CM_Normal;
  gameCamera.objectOffset = vector3df(0, 0, 0);
  gameCamera.shake = 0.0f;
  const struct {
    const wchar_t* line;
    Lines printed;
    bool freeform;
    int32_t positionMode;
    int32_t targetMode;
    vector3df offset;
    float shake;
  } cases[] = {
      {L"freeform", {L"freeform 1", freeformHelp}, true, CM_Normal, CM_Normal, {}, 0.0f},
      {L"freeform 0", {}, false, CM_Normal, CM_Normal, {}, 0.0f},
      {L"freeform", {L"freeform 0", freeformHelp}, false, CM_Normal, CM_Normal, {}, 0.0f},
      {L"freeform 2", {freeformValues}, false, CM_Normal, CM_Normal, {}, 0.0f},
      {L"freeform on", {freeformValues}, false, CM_Normal, CM_Normal, {}, 0.0f},
      {L"freeform 1x", {freeformValues}, false, CM_Normal, CM_Normal, {}, 0.0f},
      {L"freeform 0 1", {freeformHelp}, false, CM_Normal, CM_Normal, {}, 0.0f},
      {L"freeform 1", {}, true, CM_Normal, CM_Normal, {}, 0.0f},
      {L"cam_mode Object Normal", {}, true, CM_Object, CM_Normal, {}, 0.0f},
      {L"cam_mode static OBJECTFORWARD", {}, true, CM_Static, CM_ObjectForward, {}, 0.0f},
      {L"cam_mode Orbit Normal", {unknownMode}, true, CM_Static, CM_ObjectForward, {}, 0.0f},
      {L"cam_mode Normal ObjectFoward", {unknownMode}, true, CM_Static, CM_ObjectForward, {}, 0.0f},
      {L"cam_mode Normal", {modeHelp}, true, CM_Static, CM_ObjectForward, {}, 0.0f},
      {L"cam_offset 1 -2.5 3", {}, true, CM_Static, CM_ObjectForward, {1, -2.5f, 3}, 0.0f},
      {L"cam_offset 1 2", {offsetHelp}, true, CM_Static, CM_ObjectForward, {1, -2.5f, 3}, 0.0f},
      {L"cam_offset 1 2 nan", {offsetHelp}, true, CM_Static, CM_ObjectForward, {1, -2.5f, 3}, 0.0f},
      {L"shake 0.5", {}, true, CM_Static, CM_ObjectForward, {1, -2.5f, 3}, 0.5f},
      {L"shake 0.25", {}, true, CM_Static, CM_ObjectForward, {1, -2.5f, 3}, 0.75f},
      {L"shake lots", {shakeHelp}, true, CM_Static, CM_ObjectForward, {1, -2.5f, 3}, 0.75f},
      {L"shake", {shakeHelp}, true, CM_Static, CM_ObjectForward, {1, -2.5f, 3}, 0.75f},
      {L"shake 1e39", {shakeHelp}, true, CM_Static, CM_ObjectForward, {1, -2.5f, 3}, 0.75f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_EQ(gameCamera.freeform, c.freeform);
    EXPECT_EQ(gameCamera.positionMode, c.positionMode);
    EXPECT_EQ(gameCamera.targetMode, c.targetMode);
    EXPECT_EQ(gameCamera.objectOffset, c.offset);
    EXPECT_FLOAT_EQ(gameCamera.shake, c.shake);
  }
  gameCamera = saved;
}

TEST_F(ConsoleCommandsTest, EmpireSettingsNeedTheLocalPlayersEmpire) {
  empire* const savedActive = activeEmpire;
  activeEmpire = nullptr;
  EXPECT_EQ(run(L"emp_setting Difficulty"), Lines{L"  Needs an active empire"});
  EXPECT_EQ(run(L"layout_dump Scout"), Lines{L"  Needs an active empire"});

  std::unique_ptr<empire> player(new empire);
  activeEmpire = player.get();
  const struct {
    const wchar_t* line;
    Lines printed;
    float stored;  // Difficulty afterwards
  } cases[] = {
      {L"emp_setting Difficulty", {L"  Difficulty 0.000000"}, 0.0f},
      {L"emp_setting Difficulty 2", {}, 2.0f},
      {L"emp_setting Difficulty", {L"  Difficulty 2.000000"}, 2.0f},
      {L"emp_setting Difficulty hard", {L"  The 2nd argument must be a decimal number"}, 2.0f},
      {L"emp_setting Difficulty 3x", {L"  The 2nd argument must be a decimal number"}, 2.0f},
      {L"emp_setting Difficulty -.0", {}, 0.0f},
      {L"emp_setting", {L"emp_setting Setting [value] - Sets the specified empire setting, or prints its value"}, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_EQ(player->getSetting(L"Difficulty"), c.stored);
  }

  // Layouts are looked up by name, as typed, among the player's own.
  hull_list* scout = new hull_list(L"Scout", player.get());
  NamedVar<hull_list*>::getOrAdd(player->hulls, L"Scout").value = scout;
  EXPECT_EQ(run(L"layout_dump Scout"), Lines{});
  EXPECT_EQ(run(L"layout_dump scout"), Lines{L"Layout doesn't exist"});
  EXPECT_EQ(run(L"layout_dump"),
            Lines{L"layout_dump LayoutName - Prints out all the Sub Systems in the requested layout"});
  activeEmpire = savedActive;
}

TEST_F(ConsoleCommandsTest, LayoutDumpPrintsEachPlacedSubSystemWithItsLevel) {
  empire* const savedActive = activeEmpire;
  std::unique_ptr<empire> player(new empire);
  activeEmpire = player.get();
  subsystemtest::loadDefinition(scratchDir(),
                                "System: Frame\nTags: Hull\nSize: 100\nLevel: 2.5\n\n"
                                "System: Thruster\nTags: Engine\nSize: 10\nLevel: 0.4\n",
                                L"Frame");
  layout_desc desc;
  for (const wchar_t* name : {L"Thruster", L"Frame", L"Thruster"}) {
    layout_desc::system entry;
    entry.def = subSystemDefRegistry[static_cast<irr::u32>(findSubSystemDefByName(name))].value;
    desc.systems.push_back(entry);
  }
  NamedVar<hull_list*>::getOrAdd(player->hulls, L"Scout").value = new hull_list(desc, player.get(), false);

  // In design order, the level with no decimals.
  EXPECT_EQ(run(L"layout_dump Scout"), (Lines{L"Thruster 0", L"Frame 2", L"Thruster 0"}));
  player.reset();
  clearSubSystemDefs();
  activeEmpire = savedActive;
}

TEST_F(ConsoleCommandsTest, EchoAndEndGame) {
  LogCapture log;
  EXPECT_EQ(run(L"echo a b \"c d\""), Lines{});
  EXPECT_EQ(log.take(), "a\nb\nc d\n");
  EXPECT_EQ(run(L"echo"), Lines{L"echo ... - Prints out each argument on a separate line"});
  EXPECT_EQ(log.take(), "");

  const bool savedRunning = gameRunning;
  gameRunning = true;
  EXPECT_EQ(run(L"end_game now"), Lines{L"end_game - Ends the current game, or closes the game at the menu screen"});
  EXPECT_TRUE(gameRunning);
  EXPECT_EQ(run(L"end_game"), Lines{});
  EXPECT_FALSE(gameRunning);
  gameRunning = savedRunning;
}

TEST_F(ConsoleCommandsTest, ProfileCommandsShowTheirReadouts) {
  const int savedIndex = serverThreadProfileIndex();
  EXPECT_EQ(run(L"profile"), Lines{});  // no session, no readouts: nothing happens
  createProfilingWindows();
  auto shown = [this](int id) {
    return device_->getGUIEnvironment()->getRootGUIElement()->getElementFromId(id, true)->isVisible();
  };
  const struct {
    const wchar_t* line;
    int window;  // shown afterwards, 0 for none
  } cases[] = {
      {L"profile x", 0},
      {L"profile_server", 0},
      {L"profile", kProfilingWindowId},
      {L"profile_scripts", kScriptProfilingWindowId},
      {L"profile_network", kNetworkProfilingWindowId},
      {L"profile_server 3", kServerProfilingWindowId},
  };
  const int windows[] = {kProfilingWindowId, kScriptProfilingWindowId, kServerProfilingWindowId,
                         kNetworkProfilingWindowId};
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    for (int id : windows)
      device_->getGUIEnvironment()->getRootGUIElement()->getElementFromId(id, true)->setVisible(false);
    const Lines printed = run(c.line);
    EXPECT_EQ(printed.size(), c.window == 0 ? 1u : 0u);  // the help, or nothing
    for (int id : windows)
      EXPECT_EQ(shown(id), id == c.window) << id;
  }
  EXPECT_EQ(serverThreadProfileIndex(), 3);
  // The readout comes to the front of its siblings.
  const auto& children = device_->getGUIEnvironment()->getRootGUIElement()->getChildren();
  EXPECT_EQ((*children.getLast())->getID(), kServerProfilingWindowId);
  setServerThreadProfileIndex(savedIndex);
}

// One " name\n" line per entry of a callback registry, in its order.
template <class Registry>
std::string nameLines(const Registry& registry) {
  std::string text;
  for (irr::u32 i = 0; i < registry.size(); ++i)
    text += " " + std::string(stringc(registry[i].name).c_str()) + "\n";
  return text;
}

TEST_F(ConsoleCommandsTest, DumpsGoToTheLogOrToATextFileBesideTheProgram) {
  const fs::path folder = scratchDir();
  const WorkingFolder here(folder);
  LogCapture log;

  // The formula tables.
  EXPECT_EQ(run(L"formula_dump"), Lines{});
  const std::string logged = log.take();
  EXPECT_EQ(logged.rfind("Formula Functions:\n", 0), 0u) << logged;
  EXPECT_NE(logged.find("Formula Constants:\n"), std::string::npos);
  for (const wchar_t* name : {L"out", L"out.txt"}) {
    fs::remove(folder / "out.txt");
    EXPECT_EQ(run(std::wstring(L"formula_dump ") + name), Lines{});
    EXPECT_EQ(readFile(folder / "out.txt"), logged);
    EXPECT_EQ(log.take(), "Printed formula dump to \"out.txt\"\n");
  }
  const struct {
    const wchar_t* line;
    Lines printed;
  } refused[] = {
      {L"formula_dump a/b", {L"May not specify a directory with dumps"}},
      {L"formula_dump a\\b", {L"May not specify a directory with dumps"}},
      {L"formula_dump nosuch/", {L"May not specify a directory with dumps"}},
      {L"callback_dump a/b", {L"May not specify a directory with dumps"}},
      {L"callback_dump .txt", {L"File name must at least 1 character"}},
      {L"callback_dump \"\"", {L"File name must at least 1 character"}},
      {L"formula_dump a b", {L"formula_dump [file] - Will print out all functions/constants hooked to formulas"}},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(stringc(c.line).c_str());
    const auto before = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), before);
    EXPECT_EQ(log.take(), "");
  }
  // A file that cannot be made.
  fs::create_directory(folder / "taken.txt");
  EXPECT_EQ(run(L"formula_dump taken"), Lines{L"Unable open file taken.txt"});
  EXPECT_EQ(run(L"callback_dump taken"), Lines{L"Unable open file taken.txt"});
  EXPECT_EQ(log.take(), "");

  // The callback lists: the headers to the log in their order, the names
  // after them or into the file, which is replaced.
  const char* const headers[] = {
      "Effect event calls, Non templated:\n",          "Effect event calls, Templated:\n",
      "Effector TargetWeight calls, Non templated:\n", "Effector TargetWeight calls, Templated:\n",
      "Effector OnFire calls, Non templated:\n",       "Effector OnFire calls, Templated:\n",
      "Effector Tick calls, Non templated:\n",         "Effector Tick calls, Templated:\n"};
  std::string allHeaders;
  for (const char* header : headers)
    allHeaders += header;
  std::ofstream(folder / "lists.txt") << "old contents\n";
  // Tick functions take no template arguments: their templated list is
  // empty.
  const std::string lists[] = {nameLines(plainFunctionRegistry()),  nameLines(templateFunctionRegistry()),
                               nameLines(targetFunctionRegistry()), nameLines(targetFunctionWithArgsRegistry()),
                               nameLines(fireFunctionRegistry()),   nameLines(fireFunctionWithArgsRegistry()),
                               nameLines(tickFunctionRegistry()),   ""};
  std::string names;
  for (const std::string& list : lists)
    names += list;
  for (const wchar_t* line : {L"callback_dump lists", L"callback_dump lists.txt"}) {
    EXPECT_EQ(run(line), Lines{});
    EXPECT_EQ(log.take(), allHeaders);
    EXPECT_EQ(readFile(folder / "lists.txt"), names);
    EXPECT_NE(names.find(" AddAmount\n"), std::string::npos);
  }
  std::string listed;
  for (std::size_t i = 0; i < sizeof headers / sizeof headers[0]; ++i)
    listed += std::string(headers[i]) + lists[i];
  for (const wchar_t* line : {L"callback_dump", L"callback_dump a b"}) {
    EXPECT_EQ(run(line), Lines{});
    EXPECT_EQ(log.take(), listed);
  }
  EXPECT_FALSE(fs::exists(folder / "a.txt"));
}

// The built server playing force_crash from autoexec.ini: it ends by SIGABRT
// and leaves a crash report in the user folder, unless "-nomdumps".
TEST(ConsoleCommandsProcess, ForceCrashAbortsAndLeavesAReport) {
  const std::string program = std::string(CORVANE_BINARY_DIR) + "/corvane";
  for (bool reports : {true, false}) {
    SCOPED_TRACE(reports ? "with reports" : "-nomdumps");
    const fs::path home = scratchDir() / (reports ? "reports" : "none");
    fs::create_directories(home / "Corvane");
    std::ofstream(home / "Corvane" / "autoexec.ini") << "force_crash\n";

    std::vector<std::string> environment{"XDG_DATA_HOME=" + home.string()};
    for (char** entry = environ; *entry != nullptr; ++entry)
      if (std::strncmp(*entry, "XDG_DATA_HOME=", 14) != 0)
        environment.emplace_back(*entry);
    std::vector<char*> envp;
    for (std::string& entry : environment)
      envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string noReports = "-nomdumps";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    if (!reports)
      argv.push_back(noReports.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const rlimit noCore{0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      execve(program.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGABRT);

    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(home / "Corvane"))
      if (entry.path().extension() == ".mdmp")
        found.push_back(entry.path());
    ASSERT_EQ(found.size(), reports ? 1u : 0u);
    if (!reports)
      continue;
    const std::string name = found[0].filename().string();
    // "QV_" day-month-year "_" hour-minute-second ".mdmp"
    int fields[6] = {};
    char rest[8] = {};
    EXPECT_EQ(std::sscanf(name.c_str(), "QV_%d-%d-%d_%d-%d-%d%7s", &fields[0], &fields[1], &fields[2], &fields[3],
                          &fields[4], &fields[5], rest),
              7)
        << name;
    EXPECT_STREQ(rest, ".mdmp");
    EXPECT_GE(fields[2], 2024);
    EXPECT_NE(readFile(found[0]).find("Signal: 6"), std::string::npos);
    EXPECT_NE(readFile(home / "Corvane" / "log.txt").find("Building minidump " + found[0].string()), std::string::npos);
  }
}

}  // namespace

}  // namespace console_commands_test
