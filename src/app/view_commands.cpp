#include "app/view_commands.h"

#include <irrlicht.h>

#include <cmath>
#include <cwchar>
#include <limits>
#include <stdexcept>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/startup.h"
#include "app/console_commands.h"
#include "gfx/base/color.h"
#include "gfx/render_group.h"
#include "ui/move_to_point.h"

using irr::core::stringw;

float depthPlaneRatio = 120000.0f;
bool empireColorsShown = true;
bool fpsDisplayWanted = false;

namespace {

constexpr wchar_t kNoCamera[] = L"No camera to configure";
constexpr wchar_t kNotDecimal[] = L"  The 1st argument must be a decimal number";
constexpr wchar_t kCurrentValue[] = L" Current Value: ";

void printHelp(const ConsoleArgs& args) {
  if (Console* out = console())
    out->printHelp(args);
}

void print(const stringw& text) {
  if (Console* out = console())
    out->print(text);
}

void write(const stringw& text) {
  if (Console* out = console())
    out->write(text);
}

// "<name> <format>" with one number.
template <typename Number>
stringw formatted(const wchar_t* format, Number value) {
  wchar_t line[96];
  std::swprintf(line, sizeof line / sizeof line[0], format, value);
  return line;
}

// A decimal that a float holds.
bool readFloat(const stringw& text, float& value) {
  double number = 0.0;
  if (!readDecimalNumber(text, number) || !(std::fabs(number) <= std::numeric_limits<float>::max()))
    return false;
  value = static_cast<float>(number);
  return true;
}

// A toggle of the table: alone reports (`report` writes or prints the line)
// and prints the help; 0 or 1 goes to `apply`; anything else is refused.
template <typename Report, typename Apply>
void toggleCommand(const ConsoleArgs& args, const wchar_t* refusal, Report report, Apply apply) {
  if (args.size() == 1) {
    report();
    printHelp(args);
    return;
  }
  int32_t value = -1;
  if (!readWholeToggle(args[1], value) || (value != 0 && value != 1)) {
    print(refusal);
    return;
  }
  apply(value == 1);
}

// A value of the table: alone prints "<format>" with `current` and the help;
// else the decimal must exceed `above`, or `refusal` is printed.
template <typename Current, typename Apply>
void valueCommand(const ConsoleArgs& args, const wchar_t* format, float above, const wchar_t* refusal,
                  Current current, Apply apply) {
  if (args.size() == 1) {
    print(formatted(format, static_cast<double>(current())));
    printHelp(args);
    return;
  }
  float value = 0.0f;
  if (!readFloat(args[1], value) || !(value > above)) {
    print(refusal);
    return;
  }
  apply(value);
}

irr::scene::ICameraSceneNode* activeCamera() {
  return engine.scene != nullptr ? engine.scene->getActiveCamera() : nullptr;
}

}  // namespace

bool readWholeToggle(const stringw& text, int32_t& value) {
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

void showFpsTextAsAsked(irr::gui::IGUIStaticText* text) {
  if (text != nullptr)
    text->setVisible(fpsDisplayWanted);
}

void antialiasCommand(const ConsoleArgs& args) {
  toggleCommand(
      args, L"cl_antialias only takes the values 0 and 1",
      [] { print(formatted(L"cl_antialias %i", bAntiAlias ? 1 : 0)); }, [](bool on) { bAntiAlias = on; });
}

void showFpsCommand(const ConsoleArgs& args) {
  toggleCommand(
      args, L"cl_showfps only takes the values 0 and 1",
      [] {
        const bool shown = fpsText != nullptr ? fpsText->isVisible() : fpsDisplayWanted;
        write(formatted(L"cl_showfps %i\n", shown ? 1 : 0));
      },
      [](bool on) {
        fpsDisplayWanted = on;
        showFpsTextAsAsked(fpsText);
      });
}

void empireColorsCommand(const ConsoleArgs& args) {
  toggleCommand(
      args, L"cl_empire_colors only takes the values 0 and 1",
      [] { write(formatted(L"cl_empire_colors %i\n", empireColorsShown ? 1 : 0)); },
      [](bool on) { empireColorsShown = on; });
}

void fovCommand(const ConsoleArgs& args) {
  irr::scene::ICameraSceneNode* camera = activeCamera();
  if (camera == nullptr) {
    print(kNoCamera);
    return;
  }
  valueCommand(
      args, L"fov %.3f", 0.0f, L"fov must be greater than 0", [camera] { return camera->getFOV(); },
      [camera](float value) { camera->setFOV(value); });
}

void aspectCommand(const ConsoleArgs& args) {
  irr::scene::ICameraSceneNode* camera = activeCamera();
  if (camera == nullptr) {
    print(kNoCamera);
    return;
  }
  valueCommand(
      args, L"aspect %.3f", 0.0f, L"aspect must be greater than 0", [camera] { return camera->getAspectRatio(); },
      [camera](float value) { camera->setAspectRatio(value); });
}

void zplaneCommand(const ConsoleArgs& args) {
  valueCommand(
      args, L"zplane %.3f", 2.0f, L"zplane must be greater than 2", [] { return depthPlaneRatio; },
      [](float value) { depthPlaneRatio = value; });
}

void updateFalloffCommand(const ConsoleArgs& args) {
  valueCommand(
      args, L"update_falloff %.3f", 0.0f, L"update_falloff must be greater than 0", [] { return renderGroupFalloff(); },
      [](float value) { setRenderGroupFalloff(value); });
}

void setAmbientCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    printHelp(args);
    return;
  }
  irr::video::SColor color;
  try {
    color = parseHexColor(args[1]);
  } catch (const std::invalid_argument& bad) {
    print(stringw(L"Bad color '") + args[1] + L"': " + stringw(bad.what()));
    return;
  }
  if (engine.scene != nullptr)
    engine.scene->setAmbientLight(irr::video::SColorf(color));
}

void setYOffsetCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    printHelp(args);
    print(stringw(kCurrentValue) + formatted(L"%0.2f", static_cast<double>(moveTargetState.planeOffset)));
    return;
  }
  float height = 0.0f;
  if (!readFloat(args[1], height)) {
    print(kNotDecimal);
    return;
  }
  moveTargetState.planeOffset = height;
}

void videoModeCommand(const ConsoleArgs& args) {
  if (args.size() != 2) {
    printHelp(args);
    print(stringw(kCurrentValue) + formatted(L"%i", videoMode ? 1 : 0));
    return;
  }
  videoMode = parseSignedWideInt(args[1]) != 0;
}

void toggleGuiCommand(const ConsoleArgs& args) {
  if (args.size() != 1) {
    printHelp(args);
    return;
  }
  if (engine.gui == nullptr)
    return;
  irr::gui::IGUIElement* root = engine.gui->getRootGUIElement();
  root->setVisible(!root->isVisible());
}
