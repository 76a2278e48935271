// Material descriptor files: the named materials that models, effects and
// icons draw with, and the named GUI sprite banks that the interface cuts its
// images from.
//
// Each "Material" block sets an engine material's render mode (a
// fixed-function mode or a shader material type), textures, colours and
// flags; each "SpriteBank" block loads textures into a GUI sprite bank and
// tiles them into sprites. A small preprocessor of "#" lines adapts a file to
// the shader quality ("#if", "#elif", "#else", "#end"), includes other files
// ("#include") and switches the texture limit ("#forceHighQTextures") and
// mip-map creation ("#makeMipMaps") for the rest of the file.
//
// Faulty lines are logged as "<file>(<line>) error M<code>: ..." and skipped;
// the file goes on. Reading runs on the session's loading thread (the main
// thread); textures with a defer priority are filled in later by the texture
// loader.
#pragma once

#include <irrlicht.h>

#include "gfx/gfx_resources.h"

// The loading screen that "#include" and "LoadModels" lines are shown on:
// points at the script set-up's slot (which may itself be null: nothing is
// shown then). Null until the session start links it.
extern void (*const* descriptorLoadingScreen)(const wchar_t* text);

// Shows `text` on the loading screen, when there is one.
void showDescriptorLoadingText(const irr::core::stringw& text);

// Includes nested deeper than this are skipped with an error.
constexpr irr::u32 kMaxDescriptorIncludeDepth = 16;

// Reads one material descriptor file into the materials registry and the GUI
// environment's sprite banks.
void loadMaterialDescriptors(const irr::core::stringc& path);

// Empties the sprite banks that material descriptors made; each stays in the
// GUI environment (which cannot drop a bank) and is taken up again by the
// next session's bank of its name.
void releaseSessionSpriteBanks();

// A tile size of an "AutoTile" line: "<n>x" (any case) is n tiles across the
// texture's `side`, else a size in pixels. False for anything that gives no
// tile (no number, a count of 0, a size of 0, more tiles than pixels).
bool parseAutoTileSize(const irr::core::stringw& text, irr::u32 side, irr::u32& tileSize);

// The files a descriptor reader is inside of, outermost first, so that an
// include that would read one of them again, or go deeper than
// kMaxDescriptorIncludeDepth, is refused instead of recursing without end.
// Loading runs on one thread; each reader keeps its own stack.
class DescriptorIncludeStack {
 public:
  // True, with `path` pushed, when it may be read; false when it is already
  // open or the stack is full (then nothing is pushed).
  bool enter(const irr::core::stringc& path);
  void leave();
  irr::u32 depth() const { return files_.size(); }

 private:
  irr::core::array<irr::core::stringc> files_;
};

// The key under which a descriptor file sits on an include stack: its
// absolute path, lower-cased.
irr::core::stringc descriptorFileKey(const irr::core::stringc& path);
