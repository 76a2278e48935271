// What the rich-text element is made of: the pieces of a laid-out line
// (ITextElement), the tags that drive the layout (ITextTag) and the layout
// operations the tags call while a text is laid out (IExtendedText).
//
// The element walks its text once per layout. Words, spaces and "##" become
// plain text runs; every other "#name:arg:arg#" is handed to the first tag
// whose `matches` accepts the name, and that tag's `apply` pushes colours,
// adds pieces (blanks, rules, images), floats images, starts lines or links.
// See gui/extended_text.h for the element and gui/richtext/text_tags.h for
// the tags.
#pragma once

#include <IGUIFont.h>
#include <IReferenceCounted.h>
#include <SColor.h>
#include <dimension2d.h>
#include <irrArray.h>
#include <irrString.h>
#include <rect.h>

class DrawTarget;

namespace irr {
namespace gui {

// One piece of a line, owned by the line (or floating record) holding it.
class ITextElement {
 public:
  virtual ~ITextElement() = default;
  // Width and height in pixels.
  virtual core::dimension2d<s32> getDimension() const = 0;
  // Draws into `destination` (its own size, top-aligned in the line),
  // clipped to `clip`. `alpha` scales the alpha of text and rule colours;
  // `shadow` is null when no shadow is drawn.
  virtual void draw(const core::rect<s32>& destination, const core::rect<s32>& clip, DrawTarget& painter, f32 alpha,
                    const video::SColor* shadow) = 0;
};

class IExtendedText;

// A tag of the rich-text language. Tags are shared between elements: each
// element holds one reference on every tag in its list.
class ITextTag : public virtual IReferenceCounted {
 public:
  virtual bool matches(const core::stringw& name) const = 0;
  virtual void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) = 0;
};

// The layout operations, for tags during a layout pass.
class IExtendedText {
 public:
  virtual ~IExtendedText() = default;

  // Colours: push makes the colour current and keeps the previous one; pop
  // goes back (to the default colour once the stack is empty); reset goes to
  // the default colour and empties the stack.
  virtual void pushColor(video::SColor color) = 0;
  virtual void popColor() = 0;
  virtual void resetColor() = 0;
  virtual void getColor(video::SColor& color) const = 0;
  virtual void getDefaultColor(video::SColor& color) const = 0;

  virtual void setFont(IGUIFont* font) = 0;
  virtual IGUIFont* getFont() const = 0;
  virtual IGUIFont* getDefaultFont() const = 0;

  // The line's width less the margins of floating images; the pixels left
  // on the current line; the current line's height.
  virtual s32 getAvailableWidth() const = 0;
  virtual s32 getRemainingWidth() const = 0;
  virtual s32 getLineHeight() const = 0;

  // Takes ownership of `piece`.
  virtual void addElement(ITextElement* piece) = 0;
  // Floats `piece` at the left or right edge; takes ownership (a piece wider
  // than the line is deleted unplaced).
  virtual void anchorElement(ITextElement* piece, bool left) = 0;
  virtual void newLine() = 0;
  // Measures `text` with the current font and adds it as a text run.
  virtual void addText(const core::stringw& text) = 0;

  // 0 left, 1 centre, 2 right.
  virtual s32 getAlignment() const = 0;
  virtual void setShadowColor(video::SColor color) = 0;
  // A different alignment on a line that already holds something starts a
  // new line first.
  virtual void setAlignment(s32 alignment) = 0;

  // Starts a link over the following pieces (texts may be null); endLink
  // lets the following pieces belong to no link.
  virtual void beginLink(s32 kind, u32 number, const core::stringw* first, const core::stringw* second) = 0;
  virtual void endLink() = 0;
};

// A run of text in one colour and font: the only piece the element makes
// itself.
class CPlainTextElement : public ITextElement {
 public:
  CPlainTextElement(const core::stringw& text, core::dimension2d<s32> dimension, video::SColor color, IGUIFont* font)
      : text_(text), dimension_(dimension), color_(color), font_(font) {}

  core::dimension2d<s32> getDimension() const override { return dimension_; }
  void draw(const core::rect<s32>& destination, const core::rect<s32>& clip, DrawTarget& painter, f32 alpha,
            const video::SColor* shadow) override;

  const core::stringw& getText() const { return text_; }
  video::SColor getColor() const { return color_; }
  IGUIFont* getFont() const { return font_; }

 private:
  core::stringw text_;
  core::dimension2d<s32> dimension_;
  video::SColor color_;
  IGUIFont* font_;  // not owned
};

// `color` with its alpha byte multiplied by `alpha` (truncated), unless
// `alpha` is 1.
video::SColor scaleAlpha(video::SColor color, f32 alpha);

}  // namespace gui
}  // namespace irr
