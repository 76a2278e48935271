// A plain coloured bar: a two-colour gradient across its rectangle, or a
// fill bar showing a fraction in the first colour and the rest in the
// second (progress, health, resources). A new bar is a horizontal fill bar
// at one half, green on the left and red on the right.
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>
#include <SColor.h>

namespace irr {
namespace gui {

// One rectangle of a bar with its four corner colours.
struct BarPiece {
  core::rect<s32> area;
  video::SColor upperLeft, upperRight, lowerLeft, lowerRight;
};

// What a bar over `area` draws: one piece or two (returned count).
//   gradient (fill clear): the whole area, `first` on the left corners and
//     `second` on the right (horizontal), or `first` on top and `second` at
//     the bottom (vertical);
//   fill: a fraction at or below 0 (or not a number) is all `second`, at or
//     above 1 all `first`; between, the area splits at x1 + width x
//     fraction (y1 + height x fraction when vertical), cut toward zero to a
//     whole pixel, `first` on the left (top) and `second` on the right
//     (bottom).
int barGeometry(const core::rect<s32>& area, bool fill, bool horizontal, f32 fraction, video::SColor first,
                video::SColor second, BarPiece (&pieces)[2]);

class CGUIBar : public IGUIElement {
 public:
  static constexpr u32 kDefaultFirst = 0xFF00FF00;
  static constexpr u32 kDefaultSecond = 0xFFFF0000;

  // A null parent means the environment's root element.
  CGUIBar(IGUIEnvironment* environment, const core::rect<s32>& rectangle, IGUIElement* parent, s32 id);

  // Paints the pieces of barGeometry over the absolute rectangle (clipped
  // to the clipping rectangle unless the element does not clip), then the
  // children.
  void draw() override;

  // Both colours, the orientation and the fraction; fill mode on.
  virtual void set(video::SColor first, video::SColor second, bool horizontal, f32 fraction);
  // Both colours; fill mode on.
  virtual void setColors(video::SColor first, video::SColor second);
  // One colour for the whole bar; fill mode off (a solid bar).
  virtual void setColor(video::SColor color);
  virtual void setPct(f32 fraction);
  virtual void setHoriz(bool horizontal);

  video::SColor getFirstColor() const { return first_; }
  video::SColor getSecondColor() const { return second_; }
  bool isFill() const { return fill_; }
  bool isHorizontal() const { return horizontal_; }
  f32 getPct() const { return fraction_; }

 private:
  video::SColor first_{kDefaultFirst};
  video::SColor second_{kDefaultSecond};
  bool fill_ = true;
  bool horizontal_ = true;
  f32 fraction_ = 0.5f;
};

}  // namespace gui
}  // namespace irr
