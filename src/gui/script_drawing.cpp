#include "gui/script_drawing.h"

#include <IGUIEnvironment.h>
#include <IGUIFont.h>
#include <IGUISkin.h>
#include <IGUISpriteBank.h>
#include <ITexture.h>
#include <IVideoDriver.h>

#include "app/base/engine.h"
#include "platform/engine/engine_textures.h"
#include "script/script_registration.h"
#include "script/script_string.h"

using namespace AngelScript;
using irr::core::dimension2di;
using irr::core::position2di;
using irr::core::recti;
using irr::core::stringc;
using irr::core::stringw;
using irr::video::ITexture;
using irr::video::SColor;

bool drawingEnabled = false;
bool drawClipActive = false;
recti drawClipRect(0, 0, 0, 0);

namespace {

constexpr irr::u32 kWhite = 0xFFFFFFFF;

irr::gui::IGUISkin* skin() { return engine.gui == nullptr ? nullptr : engine.gui->getSkin(); }

irr::gui::IGUIFont* defaultFont() {
  irr::gui::IGUISkin* current = skin();
  return current == nullptr ? nullptr : current->getFont(irr::gui::EGDF_DEFAULT);
}

class EngineDrawTarget : public DrawTarget {
 public:
  void line(const position2di& start, const position2di& end, SColor color) override {
    if (engine.driver != nullptr)
      engine.driver->draw2DLine(start, end, color);
  }
  void image(const ITexture* texture, const position2di& at, const recti& source, const recti* clip, SColor color,
             bool useAlpha) override {
    if (engine.driver != nullptr)
      engine.driver->draw2DImage(texture, at, source, clip, color, useAlpha);
  }
  void scaledImage(const ITexture* texture, const recti& destination, const recti& source, const recti* clip,
                   const SColor* colors, bool useAlpha) override {
    if (engine.driver != nullptr)
      engine.driver->draw2DImage(texture, destination, source, clip, colors, useAlpha);
  }
  void sprite(const stringc& bank, irr::u32 index, const position2di& at, const recti* clip) override {
    if (engine.gui == nullptr)
      return;
    irr::gui::IGUISpriteBank* sprites = engine.gui->getSpriteBank(irr::io::path(bank));
    if (sprites != nullptr)
      sprites->draw2DSprite(index, at, clip, SColor(kWhite), 0, 0, true, false);
  }
  void text(const stringw& text, const recti& area, SColor color, bool centreHorizontally, bool centreVertically,
            const recti* clip) override {
    if (irr::gui::IGUIFont* font = defaultFont())
      font->draw(text, area, color, centreHorizontally, centreVertically, clip);
  }
  dimension2di textDimension(const stringw& text) override {
    irr::gui::IGUIFont* font = defaultFont();
    if (font == nullptr)
      return dimension2di(0, 0);
    const irr::core::dimension2du size = font->getDimension(text.c_str());
    return dimension2di(static_cast<irr::s32>(size.Width), static_cast<irr::s32>(size.Height));
  }
  SColor faceColor() override {
    irr::gui::IGUISkin* current = skin();
    return current == nullptr ? SColor(0) : current->getColor(irr::gui::EGDC_3D_FACE);
  }
  void skinRect(SColor color, const recti& area, const recti* clip) override {
    if (irr::gui::IGUISkin* current = skin())
      current->draw2DRectangle(nullptr, color, area, clip);
  }
  void cornerRect(const recti& area, SColor upperLeft, SColor upperRight, SColor lowerLeft, SColor lowerRight,
                  const recti* clip) override {
    if (engine.driver != nullptr)
      engine.driver->draw2DRectangle(area, upperLeft, upperRight, lowerLeft, lowerRight, clip);
  }
  void rectOutline(const recti& area, SColor color) override {
    if (engine.driver != nullptr)
      engine.driver->draw2DRectangleOutline(area, color);
  }
  void sunkenPane(SColor color, bool flat, const recti& area, const recti* clip) override {
    if (irr::gui::IGUISkin* current = skin())
      current->draw3DSunkenPane(nullptr, color, flat, true, area, clip);
  }
  dimension2di screenSize() override {
    if (engine.driver == nullptr)
      return dimension2di(0, 0);
    const irr::core::dimension2du size = engine.driver->getScreenSize();
    return dimension2di(static_cast<irr::s32>(size.Width), static_cast<irr::s32>(size.Height));
  }
};

DrawTarget* currentTarget = nullptr;

DrawTarget& target() { return currentTarget != nullptr ? *currentTarget : engineDrawTarget(); }

const recti* clip() { return drawClipActive ? &drawClipRect : nullptr; }

recti fullSource(const ITexture* texture) {
  const irr::core::dimension2du size = plat::textureSize(texture);
  return recti(0, 0, static_cast<irr::s32>(size.Width), static_cast<irr::s32>(size.Height));
}

stringw textOf(const ScriptString* text) { return text == nullptr ? stringw() : text->toStringw(); }

void drawLine(const position2di& start, const position2di& end, SColor color) {
  if (!drawingEnabled)
    return;
  target().line(start, end, color);
}

void drawTextureAt(const ITexture* texture, const position2di& at) {
  if (!drawingEnabled || texture == nullptr)
    return;
  target().image(texture, at, fullSource(texture), clip(), SColor(kWhite), false);
}

void drawTexturePart(const ITexture* texture, const position2di& at, const recti& source) {
  if (!drawingEnabled || texture == nullptr)
    return;
  target().image(texture, at, source, clip(), SColor(kWhite), false);
}

void drawTexturePartColoured(const ITexture* texture, const position2di& at, const recti& source, SColor color,
                             bool useAlpha) {
  if (!drawingEnabled || texture == nullptr)
    return;
  target().image(texture, at, source, clip(), color, useAlpha);
}

void drawTextureScaled(const ITexture* texture, const recti& destination, const recti& source) {
  if (!drawingEnabled || texture == nullptr)
    return;
  target().scaledImage(texture, destination, source, clip(), nullptr, false);
}

void drawTextureScaledColoured(const ITexture* texture, const recti& destination, const recti& source, SColor color,
                               bool useAlpha) {
  if (!drawingEnabled || texture == nullptr)
    return;
  const SColor corners[4] = {color, color, color, color};
  target().scaledImage(texture, destination, source, clip(), corners, useAlpha);
}

void drawSprite(const ScriptString* bank, irr::u32 index, const position2di& at) {
  if (!drawingEnabled)
    return;
  target().sprite(stringc(textOf(bank).c_str()), index, at, clip());
}

void drawText(const ScriptString* text, const recti& area) {
  if (!drawingEnabled)
    return;
  target().text(textOf(text), area, SColor(kWhite), false, false, clip());
}

void drawTextColoured(const ScriptString* text, const recti& area, const SColor& color, bool centreHorizontally,
                      bool centreVertically) {
  if (!drawingEnabled)
    return;
  target().text(textOf(text), area, color, centreHorizontally, centreVertically, clip());
}

dimension2di getTextDimension(const ScriptString* text) { return target().textDimension(textOf(text)); }

void drawFaceRect(const recti& area) {
  if (!drawingEnabled)
    return;
  target().skinRect(target().faceColor(), area, clip());
}

void drawColouredRect(const recti& area, SColor color) {
  if (!drawingEnabled)
    return;
  target().skinRect(color, area, clip());
}

void drawGradientRect(const recti& area, SColor first, SColor second, bool leftToRight) {
  if (!drawingEnabled)
    return;
  if (leftToRight)
    target().cornerRect(area, first, second, first, second, clip());
  else
    target().cornerRect(area, first, first, second, second, clip());
}

void drawCornerRect(const recti& area, SColor upperLeft, SColor upperRight, SColor lowerLeft, SColor lowerRight) {
  if (!drawingEnabled)
    return;
  target().cornerRect(area, upperLeft, upperRight, lowerLeft, lowerRight, clip());
}

void drawRectOutline(const recti& area, SColor color) {
  if (!drawingEnabled)
    return;
  target().rectOutline(area, color);
}

void drawFacePane(const recti& area) {
  if (!drawingEnabled)
    return;
  target().sunkenPane(target().faceColor(), false, area, clip());
}

void drawColouredPane(const recti& area, SColor color, bool flat) {
  if (!drawingEnabled)
    return;
  target().sunkenPane(color, flat, area, clip());
}

void setDrawClip(const recti& area) {
  drawClipRect = area;
  drawClipActive = true;
}

void clearDrawClip() { drawClipActive = false; }

int screenWidth() { return target().screenSize().Width; }
int screenHeight() { return target().screenSize().Height; }

}  // namespace

DrawTarget& engineDrawTarget() {
  static EngineDrawTarget target;
  return target;
}

void setDrawTarget(DrawTarget* target) { currentTarget = target; }

DrawTarget& currentDrawTarget() { return target(); }

void DrawTarget::fontText(irr::gui::IGUIFont* font, const stringw& text, const recti& area, SColor color,
                          const recti* clip) {
  if (font != nullptr)
    font->draw(text, area, color, false, false, clip);
}

void registerScreenSizeFunctions(asIScriptEngine* engine) {
  checked(engine).RegisterGlobalFunction("int getScreenWidth()", asFUNCTION(screenWidth), asCALL_CDECL);
  checked(engine).RegisterGlobalFunction("int getScreenHeight()", asFUNCTION(screenHeight), asCALL_CDECL);
}

void registerDrawingBindings(asIScriptEngine* engine) {
  struct Function {
    const char* declaration;
    asSFuncPtr function;
  };
  const Function functions[] = {
      {"void drawLine(const pos2di&, const pos2di&, Color)", asFUNCTION(drawLine)},
      {"void drawTexture(const Texture@+, const pos2di&)", asFUNCTION(drawTextureAt)},
      {"void drawTexture(const Texture@+, const pos2di&, const recti&)", asFUNCTION(drawTexturePart)},
      {"void drawTexture(const Texture@+, const pos2di&, const recti&, Color, bool)",
       asFUNCTION(drawTexturePartColoured)},
      {"void drawTexture(const Texture@+, const recti&, const recti&)", asFUNCTION(drawTextureScaled)},
      {"void drawTexture(const Texture@+, const recti&, const recti&, Color, bool)",
       asFUNCTION(drawTextureScaledColoured)},
      {"void drawSprite(const string &, uint, const pos2di&)", asFUNCTION(drawSprite)},
      {"void drawText(const string &, const recti&)", asFUNCTION(drawText)},
      {"void drawText(const string &, const recti&, const Color&, bool, bool)", asFUNCTION(drawTextColoured)},
      {"dim2di getTextDimension(const string &)", asFUNCTION(getTextDimension)},
      {"void drawRect(const recti&)", asFUNCTION(drawFaceRect)},
      {"void drawRect(const recti&, Color)", asFUNCTION(drawColouredRect)},
      {"void drawRect(const recti&, Color, Color, bool)", asFUNCTION(drawGradientRect)},
      {"void drawRect(const recti&, Color, Color, Color, Color)", asFUNCTION(drawCornerRect)},
      {"void drawRectOutline(const recti&, Color)", asFUNCTION(drawRectOutline)},
      {"void drawPane(const recti&)", asFUNCTION(drawFacePane)},
      {"void drawPane(const recti&, Color, bool)", asFUNCTION(drawColouredPane)},
      {"void setDrawClip(const recti &)", asFUNCTION(setDrawClip)},
      {"void clearDrawClip()", asFUNCTION(clearDrawClip)},
  };
  for (const Function& function : functions)
    checked(engine).RegisterGlobalFunction(function.declaration, function.function, asCALL_CDECL);
}
