// The drawing functions of GUI scripts (client engine only) and the screen
// size (both engines).
//
// Every drawing function but getTextDimension, setDrawClip and clearDrawClip
// first tests the gate `drawingEnabled`, which nothing in the program opens:
// while it is closed the call returns without touching the video driver,
// the GUI skin or the sprite banks. Past the gate a null texture draws
// nothing, and the clip handed on is `drawClipRect` while `drawClipActive`
// is set (drawLine and drawRectOutline take no clip). getTextDimension
// measures with the GUI skin's default font whatever the gate.
//
// The engine calls go through a DrawTarget: the engine's own by default.
#pragma once

#include <SColor.h>
#include <angelscript.h>
#include <dimension2d.h>
#include <irrString.h>
#include <position2d.h>
#include <rect.h>

namespace irr::video {
class ITexture;
}
namespace irr::gui {
class IGUIFont;
}

// The process-wide drawing state.
extern bool drawingEnabled;
extern bool drawClipActive;
extern irr::core::recti drawClipRect;

// What the drawing functions ask of the engine, one call each.
class DrawTarget {
 public:
  virtual ~DrawTarget() = default;
  virtual void line(const irr::core::position2di& start, const irr::core::position2di& end,
                    irr::video::SColor color) = 0;
  virtual void image(const irr::video::ITexture* texture, const irr::core::position2di& at,
                     const irr::core::recti& source, const irr::core::recti* clip, irr::video::SColor color,
                     bool useAlpha) = 0;
  // `colors`: the four corner colours, or null for none.
  virtual void scaledImage(const irr::video::ITexture* texture, const irr::core::recti& destination,
                           const irr::core::recti& source, const irr::core::recti* clip,
                           const irr::video::SColor* colors, bool useAlpha) = 0;
  virtual void sprite(const irr::core::stringc& bank, irr::u32 index, const irr::core::position2di& at,
                      const irr::core::recti* clip) = 0;
  virtual void text(const irr::core::stringw& text, const irr::core::recti& area, irr::video::SColor color,
                    bool centreHorizontally, bool centreVertically, const irr::core::recti* clip) = 0;
  virtual irr::core::dimension2di textDimension(const irr::core::stringw& text) = 0;
  // The skin's colour of 3D faces.
  virtual irr::video::SColor faceColor() = 0;
  virtual void skinRect(irr::video::SColor color, const irr::core::recti& area, const irr::core::recti* clip) = 0;
  virtual void cornerRect(const irr::core::recti& area, irr::video::SColor upperLeft, irr::video::SColor upperRight,
                          irr::video::SColor lowerLeft, irr::video::SColor lowerRight,
                          const irr::core::recti* clip) = 0;
  virtual void rectOutline(const irr::core::recti& area, irr::video::SColor color) = 0;
  virtual void sunkenPane(irr::video::SColor color, bool flat, const irr::core::recti& area,
                          const irr::core::recti* clip) = 0;
  virtual irr::core::dimension2di screenSize() = 0;
  // Text in a font of its own (the rich-text element's runs); null draws
  // nothing.
  virtual void fontText(irr::gui::IGUIFont* font, const irr::core::stringw& text, const irr::core::recti& area,
                        irr::video::SColor color, const irr::core::recti* clip);
};

// The engine's video driver and GUI environment (engine globals); sizes are
// 0 x 0 while there is no device.
DrawTarget& engineDrawTarget();
// The target the functions use; null restores the engine's.
void setDrawTarget(DrawTarget* target);
// The target in use (the engine's unless one was set).
DrawTarget& currentDrawTarget();

// "int getScreenWidth()" and "int getScreenHeight()".
void registerScreenSizeFunctions(AngelScript::asIScriptEngine* engine);
// The drawing functions, the clip functions and getTextDimension.
void registerDrawingBindings(AngelScript::asIScriptEngine* engine);
