// The loading screen: while a game session loads, its scripts
// ("updateLoadScreen"), the graphics start-up and the descriptor readers hand
// it lines of progress text, and each call draws one whole frame: the
// background scaled to the screen, every progress line so far, and a tip
// that changes every few seconds. On the null driver the frames are made
// and thrown away all the same.
//
// The first call loads the background "Images/loading_background.png"
// (through the active mod) and the tips, from the first of these files that
// exists: <mod folder>Locales/<locale>_tips.txt, <mod folder>Locales/
// english_tips.txt, Locales/<locale>_tips.txt, Locales/english_tips.txt.
// Either may be missing; that part is then left out, silently.
//
// Every call (nothing at all while the device is closing):
//  - a null text with no line yet draws one empty frame, cleared to opaque
//    black;
//  - otherwise a text is added to the lines (which are never cleared: later
//    sessions show the earlier ones too), and the frame is cleared to opaque
//    black (the depth buffer is kept) and drawn:
//    - the background, with its own aspect, as high as the screen (a screen
//      wider than high) or as wide (otherwise), centred (an image larger
//      than the screen overhangs both sides equally), without alpha;
//    - each line in the skin's default font, green (10, 255, 10), from
//      (2, 2), each further line 14 pixels lower;
//    - with tips: more than 8 seconds after the last change another tip is
//      drawn at random (never the one shown: a draw of the same index takes
//      the next); then "#tip" (localised) centred across the screen between
//      60 and 40 pixels above its bottom in (255, 128, 128), and the tip
//      centred between 40 and 4 pixels above the bottom in white, both in
//      the font "frank_12" (the skin's default font without it).
//
// Geometry goes through the drawing target (gui/script_drawing.h); the
// frame itself, the clock and the random draws through the virtual hooks,
// which tests replace. The loading screen runs on the thread that owns the
// video driver.
#pragma once

#include <irrString.h>

#include <cstdint>
#include <vector>

#include "core/random.h"

class LoadingScreen {
 public:
  static constexpr const char* kBackgroundPath = "Images/loading_background.png";
  // A tip is shown for more than this many seconds.
  static constexpr uint32_t kTipSeconds = 8;
  // Progress lines: the first at (2, 2), one every 14 pixels.
  static constexpr int32_t kLineStart = 2;
  static constexpr int32_t kLineHeight = 14;

  LoadingScreen();
  virtual ~LoadingScreen() = default;
  LoadingScreen(const LoadingScreen&) = delete;
  LoadingScreen& operator=(const LoadingScreen&) = delete;

  // Draws one frame; `text` (may be null) is added to the lines first.
  void show(const wchar_t* text);

  // Set by the first call.
  bool loaded = false;
  // The background texture's name in the video driver, empty when it could
  // not be loaded. Looked up again for every frame, so that a driver that
  // let it go leaves only the background out.
  irr::core::stringc backgroundName;
  std::vector<irr::core::stringw> tips;
  std::vector<irr::core::stringw> lines;
  // Clock seconds when the tip last changed, and the tip shown.
  uint32_t lastTipTime = 0;
  uint32_t currentTip = 0;

 protected:
  // The engine device asks to close: nothing is drawn.
  virtual bool deviceStopping();
  virtual void beginFrame();
  virtual void endFrame();
  // A clock in whole seconds.
  virtual uint32_t clockSeconds();
  // A random draw for the next tip; its own generator, so that the game's
  // seeded sequences stay as they are whenever the loading screen draws.
  virtual uint32_t drawRandom();

 private:
  void loadOnce();
  void drawBackground(int32_t width, int32_t height);
  void drawLines(int32_t width);
  void drawTip(int32_t width, int32_t height);

  MersenneTwister random_;
};

// The process's loading screen (made on first use, kept for the process).
LoadingScreen& processLoadingScreen();

// What scriptSetupSlots.showLoadingScreen runs: the process's loading screen.
void showLoadingScreen(const wchar_t* text);
