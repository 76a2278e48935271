#include "app/camera_commands.h"

#include <cmath>
#include <cwchar>
#include <limits>

#include "app/console_commands.h"
#include "gfx/game_camera.h"

using irr::core::stringw;

namespace {

constexpr wchar_t kFreeformValues[] = L"freeform only takes the values 0 and 1";
constexpr wchar_t kUnknownMode[] = L"Unrecgonized mode. Should be 'Static','Object','ObjectFoward' or 'Normal'";

struct ModeName {
  const wchar_t* name;
  CameraMode mode;
};

const ModeName kModeNames[] = {
    {L"Static", CM_Static},
    {L"Normal", CM_Normal},
    {L"Object", CM_Object},
    {L"ObjectForward", CM_ObjectForward},
};

bool findMode(const stringw& text, int32_t& mode) {
  for (const ModeName& entry : kModeNames) {
    if (text.equals_ignore_case(stringw(entry.name))) {
      mode = entry.mode;
      return true;
    }
  }
  return false;
}

void printHelp(const ConsoleArgs& args) {
  if (Console* out = console())
    out->printHelp(args);
}

void print(const wchar_t* text) {
  if (Console* out = console())
    out->print(text);
}

// A toggle's value: a whole number written as one ("1", "-0"; "on", "1x"
// and "" are none).
bool readToggle(const stringw& text, int32_t& value) {
  bool digit = false;
  for (irr::u32 i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c >= L'0' && c <= L'9')
      digit = true;
    else if (!(c == L'-' && i == 0))
      return false;
  }
  if (!digit)
    return false;
  value = parseSignedWideInt(text);
  return true;
}

// A decimal number that a float holds.
bool readFloat(const stringw& text, float& value) {
  double number = 0.0;
  if (!readDecimalNumber(text, number) || !(std::fabs(number) <= std::numeric_limits<float>::max()))
    return false;
  value = static_cast<float>(number);
  return true;
}

}  // namespace

void freeformCommand(const ConsoleArgs& args) {
  GameCamera& camera = gameCamera;
  if (args.size() == 1) {
    if (Console* out = console()) {
      wchar_t line[32];
      std::swprintf(line, sizeof line / sizeof line[0], L"freeform %i", camera.freeform ? 1 : 0);
      out->print(line);
      out->printHelp(args);
    }
    return;
  }
  if (args.size() != 2) {
    printHelp(args);
    return;
  }
  int32_t value = -1;
  if (!readToggle(args[1], value) || (value != 0 && value != 1)) {
    print(kFreeformValues);
    return;
  }
  if (value == 1) {
    camera.setFreeform(true);
  } else if (camera.freeform) {
    camera.freeform = false;
    if (camera.node != nullptr)
      camera.resetView(true);
  }
}

void camModeCommand(const ConsoleArgs& args) {
  if (args.size() != 3) {
    printHelp(args);
    return;
  }
  int32_t position = CM_Normal;
  int32_t target = CM_Normal;
  if (!findMode(args[1], position) || !findMode(args[2], target)) {
    print(kUnknownMode);
    return;
  }
  gameCamera.positionMode = position;
  gameCamera.targetMode = target;
}

void camOffsetCommand(const ConsoleArgs& args) {
  irr::core::vector3df offset;
  if (args.size() != 4 || !readFloat(args[1], offset.X) || !readFloat(args[2], offset.Y) ||
      !readFloat(args[3], offset.Z)) {
    printHelp(args);
    return;
  }
  gameCamera.objectOffset = offset;
}

void shakeCommand(const ConsoleArgs& args) {
  double added = 0.0;
  if (args.size() != 2 || !readDecimalNumber(args[1], added)) {
    printHelp(args);
    return;
  }
  const float strength = static_cast<float>(static_cast<double>(gameCamera.shake) + added);
  if (!std::isfinite(strength)) {
    printHelp(args);
    return;
  }
  gameCamera.shake = strength;
}
