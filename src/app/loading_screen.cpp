#include "app/loading_screen.h"

#include <irrlicht.h>

#include <chrono>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/data_folders.h"
#include "core/data_file.h"
#include "core/file_access.h"
#include "core/locale.h"
#include "core/user_folders.h"
#include "gui/gui_handles.h"
#include "gui/script_drawing.h"
#include "platform/engine/engine_textures.h"

using irr::core::recti;
using irr::core::stringc;
using irr::core::stringw;
using irr::video::SColor;

namespace {

const SColor kBlack(255, 0, 0, 0);
const SColor kLineColor(255, 10, 255, 10);
const SColor kTipHeadingColor(255, 255, 128, 128);
const SColor kTipColor(255, 255, 255, 255);

// The tip bands, in pixels above the screen's bottom.
constexpr int32_t kHeadingTop = 60;
constexpr int32_t kHeadingBottom = 40;
constexpr int32_t kTipTop = 40;
constexpr int32_t kTipBottom = 4;

irr::gui::IGUIFont* defaultFont() {
  if (engine.gui == nullptr || engine.gui->getSkin() == nullptr)
    return nullptr;
  return engine.gui->getSkin()->getFont(irr::gui::EGDF_DEFAULT);
}

irr::gui::IGUIFont* tipFont() {
  const GuiFontMap::const_iterator found = findFont(L"frank_12");
  if (found != guiFontMap.end() && found->second != nullptr)
    return found->second;
  return defaultFont();
}

// `text` centred across `band` as the engine centres it (half the spare
// width, rounded down), from the band's top.
void drawCentred(irr::gui::IGUIFont* font, const stringw& text, recti band, SColor color) {
  const int32_t textWidth = font != nullptr ? static_cast<int32_t>(font->getDimension(text.c_str()).Width) : 0;
  band.UpperLeftCorner.X += (band.getWidth() - textWidth) >> 1;
  currentDrawTarget().fontText(font, text, band, color, nullptr);
}

uint32_t steadySeconds() {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

}  // namespace

LoadingScreen::LoadingScreen() : random_(steadySeconds()) {}

bool LoadingScreen::deviceStopping() { return engine.device != nullptr && !engine.device->run(); }

void LoadingScreen::beginFrame() {
  if (engine.driver != nullptr)
    engine.driver->beginScene(true, false, kBlack);
}

void LoadingScreen::endFrame() {
  if (engine.driver != nullptr)
    engine.driver->endScene();
}

uint32_t LoadingScreen::clockSeconds() { return steadySeconds(); }

uint32_t LoadingScreen::drawRandom() { return random_.nextUInt32(); }

void LoadingScreen::loadOnce() {
  if (loaded)
    return;
  loaded = true;
  // A missing image is no error here: the engine would log its failure.
  const stringc background = resolveDataPath(kBackgroundPath);
  if (fileExists(background) && plat::loadTextureFile(engine.driver, background) != nullptr)
    backgroundName = background;

  const stringc modFolder = userFolders.base;
  const stringc tipFiles[] = {
      modFolder + "Locales/" + localeName + "_tips.txt",
      modFolder + "Locales/english_tips.txt",
      stringc("Locales/") + localeName + "_tips.txt",
      "Locales/english_tips.txt",
  };
  for (const stringc& path : tipFiles)
    if (readTextDataFile(path, tips))
      break;
}

void LoadingScreen::drawBackground(int32_t width, int32_t height) {
  if (backgroundName.empty() || engine.driver == nullptr)
    return;
  irr::video::ITexture* texture = engine.driver->findTexture(backgroundName);
  const irr::core::dimension2du size = plat::textureSize(texture);
  if (texture == nullptr || size.Width == 0 || size.Height == 0)
    return;
  const double aspect = static_cast<double>(size.Width) / static_cast<double>(size.Height);
  int32_t drawnWidth = width;
  int32_t drawnHeight = height;
  if (width > height)
    drawnWidth = static_cast<int32_t>(static_cast<double>(height) * aspect);
  else
    drawnHeight = static_cast<int32_t>(static_cast<double>(width) / aspect);
  const int32_t left = (width - drawnWidth) / 2;
  const int32_t top = (height - drawnHeight) / 2;
  const recti source(0, 0, static_cast<int32_t>(size.Width), static_cast<int32_t>(size.Height));
  currentDrawTarget().scaledImage(texture, recti(left, top, left + drawnWidth, top + drawnHeight), source, nullptr,
                                  nullptr, false);
}

void LoadingScreen::drawLines(int32_t width) {
  irr::gui::IGUIFont* font = defaultFont();
  int32_t y = kLineStart;
  for (const stringw& line : lines) {
    currentDrawTarget().fontText(font, line, recti(kLineStart, y, width, y + kLineHeight), kLineColor, nullptr);
    y += kLineHeight;
  }
}

void LoadingScreen::drawTip(int32_t width, int32_t height) {
  if (tips.empty())
    return;
  const auto count = static_cast<uint32_t>(tips.size());
  const uint32_t now = clockSeconds();
  if (now - lastTipTime > kTipSeconds) {
    lastTipTime = now;
    uint32_t next = drawRandom() % count;
    if (next == currentTip)
      next = (next + 1) % count;
    currentTip = next;
  }
  if (currentTip >= count)  // the list was read again, shorter
    currentTip = 0;
  irr::gui::IGUIFont* font = tipFont();
  drawCentred(font, getLocalizedText(L"#tip"), recti(0, height - kHeadingTop, width, height - kHeadingBottom),
              kTipHeadingColor);
  drawCentred(font, tips[currentTip], recti(0, height - kTipTop, width, height - kTipBottom), kTipColor);
}

void LoadingScreen::show(const wchar_t* text) {
  loadOnce();
  if (deviceStopping())
    return;
  if (text == nullptr && lines.empty()) {
    beginFrame();
    endFrame();
    return;
  }
  if (text != nullptr)
    lines.emplace_back(text);
  beginFrame();
  int32_t width = 0;
  int32_t height = 0;
  if (engine.driver != nullptr) {
    width = static_cast<int32_t>(engine.driver->getScreenSize().Width);
    height = static_cast<int32_t>(engine.driver->getScreenSize().Height);
  }
  drawBackground(width, height);
  drawLines(width);
  drawTip(width, height);
  endFrame();
}

LoadingScreen& processLoadingScreen() {
  static auto* screen = new LoadingScreen();  // for the whole process
  return *screen;
}

void showLoadingScreen(const wchar_t* text) { processLoadingScreen().show(text); }
