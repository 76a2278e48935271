// The tags of the rich-text language and the pieces they place.
//
//   "c", "col", "color"  no argument: back to the previous colour; a colour
//                        name, or 3, 4, 6 or 8 hex digits: that colour
//   "font"               no argument: the default font; a font name
//   "img"                an image name, inline; with "left" or "right" it
//                        floats at that edge
//   "hline"              a horizontal rule of the given thickness (1 when
//                        missing or below 1, at most kMaxRuleThickness)
//   "tab"                to the next multiple of the step (12 by default)
//                        from the line's left margin
//   "align", "a"         "center"/"c", "right"/"r", anything else left
//   "r", "reset"         ends a link; default colour, alignment and font
//   "link"               "o<uid>" an object, "h" a script hook (its name and
//                        value follow), "s", "r", "e" and digits links that
//                        do nothing; no code ends the open link
//
// A name, colour, font or image that matches nothing changes nothing and
// logs nothing. The tags are shared: registerTextTags makes one of each,
// and every element holds one reference on those in its list.
#pragma once

#include <ITexture.h>

#include <map>

#include "gui/richtext/text_layout.h"

namespace irr {
namespace gui {

class CGUIExtendedText;

// Thickest rule, in pixels: a peer's text cannot make line heights whose
// sums leave 32 bits.
constexpr s32 kMaxRuleThickness = 4096;

class CBlankTextElement : public ITextElement {
 public:
  explicit CBlankTextElement(core::dimension2d<s32> size) : size_(size) {}
  core::dimension2d<s32> getDimension() const override { return size_; }
  void draw(const core::rect<s32>&, const core::rect<s32>&, DrawTarget&, f32, const video::SColor*) override {}

 private:
  core::dimension2d<s32> size_;
};

class CHLineTextElement : public ITextElement {
 public:
  CHLineTextElement(core::dimension2d<s32> size, video::SColor color, s32 thickness)
      : size_(size), color_(color), thickness_(thickness) {}
  core::dimension2d<s32> getDimension() const override { return size_; }
  // The bar, `thickness` high, centred in the destination's height.
  void draw(const core::rect<s32>& destination, const core::rect<s32>& clip, DrawTarget& painter, f32 alpha,
            const video::SColor* shadow) override;
  s32 thickness() const { return thickness_; }
  video::SColor color() const { return color_; }

 private:
  core::dimension2d<s32> size_;
  video::SColor color_;
  s32 thickness_;
};

class CImageTextElement : public ITextElement {
 public:
  CImageTextElement(video::ITexture* texture, core::dimension2d<s32> size) : texture_(texture), size_(size) {}
  core::dimension2d<s32> getDimension() const override { return size_; }
  // The whole texture scaled into the destination; the parts clipped off
  // the destination are taken off the source in proportion.
  void draw(const core::rect<s32>& destination, const core::rect<s32>& clip, DrawTarget& painter, f32 alpha,
            const video::SColor* shadow) override;
  video::ITexture* texture() const { return texture_; }

 private:
  video::ITexture* texture_;  // not owned
  core::dimension2d<s32> size_;
};

class CColorTextTag : public ITextTag {
 public:
  bool matches(const core::stringw& name) const override;
  void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) override;
  // A name already present keeps its first colour.
  void addColor(const core::stringw& name, video::SColor color) { colors_.emplace(name, color); }
  // red, green, blue, yellow, orange, white, black, gray.
  void registerDefaultColors();
  bool findColor(const core::stringw& name, video::SColor& color) const;

 private:
  std::map<core::stringw, video::SColor> colors_;
};

class CFontTextTag : public ITextTag {
 public:
  bool matches(const core::stringw& name) const override { return name == L"font"; }
  void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) override;
  // A null font is not added.
  void addFont(const core::stringw& name, IGUIFont* font);

 private:
  std::map<core::stringw, IGUIFont*> fonts_;  // not owned
};

class CImageTextTag : public ITextTag {
 public:
  struct Image {
    video::ITexture* texture;  // not owned
    core::dimension2d<s32> size;
  };
  bool matches(const core::stringw& name) const override { return name == L"img"; }
  void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) override;
  void addImage(const core::stringw& name, video::ITexture* texture, core::dimension2d<s32> size) {
    images_.emplace(name, Image{texture, size});
  }
  // The image of a name; false when it has none.
  bool findImage(const core::stringw& name, Image& image) const {
    const auto found = images_.find(name);
    if (found == images_.end())
      return false;
    image = found->second;
    return true;
  }

 private:
  std::map<core::stringw, Image> images_;
};

class CHLineTextTag : public ITextTag {
 public:
  bool matches(const core::stringw& name) const override { return name == L"hline"; }
  void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) override;
};

class CTabTextTag : public ITextTag {
 public:
  bool matches(const core::stringw& name) const override { return name == name_; }
  void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) override;

 private:
  core::stringw name_ = L"tab";
  s32 defaultStep_ = 12;
};

class CAlignTextTag : public ITextTag {
 public:
  bool matches(const core::stringw& name) const override { return name == L"align" || name == L"a"; }
  void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) override;
};

class CResetTagsTag : public ITextTag {
 public:
  bool matches(const core::stringw& name) const override { return name == L"r" || name == L"reset"; }
  void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) override;
};

class CGUILinkTag : public ITextTag {
 public:
  bool matches(const core::stringw& name) const override { return name == L"link"; }
  void apply(IExtendedText& text, const core::stringw& name, const core::array<core::stringw>& arguments) override;
};

// A decimal number as the size tags read it: an optional sign, then digits
// up to the first other character, the value kept within [-limit, limit].
// False when no digit follows the sign.
bool readTagNumber(const core::stringw& text, s32 limit, s32& value);

}  // namespace gui
}  // namespace irr

// The registry of the shared tags. Makes them on the first call: the colours (the eight default
// names, then cyan, brown, silver and link), the GUI font table's fonts, the
// rule, tab, align, link and reset tags. With `withImages`, makes the image
// tag too when there is none, with every named material's first texture at
// the size of the image it was loaded from.
void registerTextTags(bool withImages);
// Appends the shared tags to the element's list: colour, rule, tab, image
// (when made), align, link, reset, font.
void addSharedTextTags(irr::gui::CGUIExtendedText& text);
// Lets go of the shared tags; elements keep the ones they hold, and the next
// registerTextTags makes new ones.
void releaseTextTags();
// The shared colour tag and image tag (null until made).
irr::gui::CColorTextTag* defaultColorTag();
irr::gui::CImageTextTag* defaultImageTag();
// Lets go of the image tag alone (session end: the materials it names go);
// the colour, font, rule, tab, align, link and reset tags stay for the
// process, and the next script-made rich text makes a new image tag from the
// materials of its time.
void releaseDefaultImageTag();
