// The rich-text element: a static, multi-line text whose characters carry
// inline tags ("#c:f00#" starts a colour, "#c#" ends it, "#tab:100#" moves
// to a position, "##" stands for one "#"; gui/richtext/text_tags.h has the
// whole language).
//
// setText lays the text out into lines of pieces: words wrap at spaces,
// images may float at either edge with the text flowing beside them, and
// the element's height grows or shrinks to fit what it holds. Links become
// invisible child elements (CGUILink), one per line a link covers. A change
// of the element's size lays the text out again; nothing else does, and
// drawing only walks the lines (skipping those outside the clip).
//
// Texts come from scripts and, through chat, from other players: whatever
// the tags say, the layout reads nothing past the text's end, and sizes are
// kept within 32 bits (a rule is at most kMaxRuleThickness high, sums of
// heights stop at the largest 32-bit value).
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>

#include <list>
#include <memory>
#include <vector>

#include "gui/richtext/text_layout.h"

namespace irr {
namespace gui {

class CGUILink;

class CGUIExtendedText : public IGUIElement, public IExtendedText {
 public:
  // One laid-out line.
  struct SLine {
    s32 height = 8;
    s32 width = 0;  // pixels used by its pieces
    s32 leftMargin = 0;
    s32 rightMargin = 0;
    s32 alignment = 0;
    std::vector<std::unique_ptr<ITextElement>> pieces;
  };
  // An image floating at one edge.
  struct SAnchoredElement {
    s32 extent = 0;  // the margin on its side before it, plus its width
    s32 bottom = 0;  // in content coordinates
    bool left = true;
    std::unique_ptr<ITextElement> element;
  };

  CGUIExtendedText(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle);
  ~CGUIExtendedText() override;

  // Keeps the text and lays it out.
  void setText(const wchar_t* text) override;
  // Lays the text out again when the size changed since the last layout.
  void updateAbsolutePosition() override;
  void draw() override;
  // Scales the alpha of text and rule colours when drawing (the script
  // binding keeps it within 0 .. 1).
  virtual void setAlpha(f32 alpha) { alpha_ = alpha; }

  // Appends a tag to the list the layout asks, holding one reference.
  void addTag(ITextTag* tag);

  // IExtendedText
  void pushColor(video::SColor color) override;
  void popColor() override;
  void resetColor() override;
  void getColor(video::SColor& color) const override { color = color_; }
  void getDefaultColor(video::SColor& color) const override { color = defaultColor_; }
  // The colour every later layout starts from in place of the skin's text
  // colour; the current layout stays.
  void setDefaultColor(video::SColor color) {
    defaultColor_ = color;
    defaultColorSet_ = true;
  }
  void setFont(IGUIFont* font) override { font_ = font; }
  IGUIFont* getFont() const override { return font_; }
  IGUIFont* getDefaultFont() const override { return defaultFont_; }
  s32 getAvailableWidth() const override { return availableWidth_; }
  s32 getRemainingWidth() const override { return remainingWidth_; }
  s32 getLineHeight() const override;
  void addElement(ITextElement* piece) override;
  void anchorElement(ITextElement* piece, bool left) override;
  void newLine() override;
  void addText(const core::stringw& text) override;
  s32 getAlignment() const override;
  void setShadowColor(video::SColor color) override { shadow_ = color; }
  void setAlignment(s32 alignment) override;
  void beginLink(s32 kind, u32 number, const core::stringw* first, const core::stringw* second) override;
  void endLink() override { currentLink_ = nullptr; }

  // What the last layout made.
  const std::vector<std::unique_ptr<SLine>>& lines() const { return lines_; }
  const std::vector<SAnchoredElement>& anchoredElements() const { return anchored_; }
  const std::vector<CGUILink*>& links() const { return links_; }
  f32 getAlpha() const { return alpha_; }
  // The tags the layout asks, in order.
  const std::vector<ITextTag*>& tags() const { return tags_; }
  video::SColor getShadowColor() const { return shadow_; }

 private:
  void layoutText();
  void clearLayout();
  void addTextRun(const core::stringw& text, core::dimension2d<s32> dimension);
  void updateMargins();
  SLine& currentLine() { return *lines_[currentLine_]; }
  const SLine& currentLine() const { return *lines_[currentLine_]; }
  void drawPiece(ITextElement& piece, s32 x, s32 y, const core::rect<s32>& clip, DrawTarget& painter);

  video::SColor color_;
  video::SColor defaultColor_;
  bool defaultColorSet_ = false;
  video::SColor shadow_{0};
  IGUIFont* font_ = nullptr;
  IGUIFont* defaultFont_ = nullptr;
  f32 alpha_ = 1.0f;
  s32 lineWidth_ = 0;
  s32 availableWidth_ = 0;
  s32 remainingWidth_ = 0;
  u32 currentLine_ = 0;
  s32 leftMargin_ = 0;
  s32 rightMargin_ = 0;
  s32 currentY_ = 0;
  core::rect<s32> lastLayoutRect_;
  bool layingOut_ = false;
  std::vector<video::SColor> colorStack_;
  CGUILink* currentLink_ = nullptr;
  std::vector<CGUILink*> links_;  // each held (one reference) and a child
  std::vector<SAnchoredElement> anchored_;
  std::vector<ITextTag*> tags_;  // each held
  std::vector<std::unique_ptr<SLine>> lines_;
};

}  // namespace gui
}  // namespace irr

// A new rich-text element under `parent` (the GUI's root when null) with the
// shared tags (no image tag unless a script element made it). The parent
// holds the only reference, as with the engine's own factories.
irr::gui::CGUIExtendedText* addExtendedText(irr::gui::IGUIEnvironment* environment,
                                            const irr::core::rect<irr::s32>& rectangle, irr::gui::IGUIElement* parent,
                                            irr::s32 id);
