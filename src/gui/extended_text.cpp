#include "gui/extended_text.h"

#include <IGUIFont.h>
#include <IGUISkin.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "gui/richtext/gui_link.h"
#include "gui/richtext/text_tags.h"
#include "gui/script_drawing.h"

namespace irr {
namespace gui {

namespace {

s32 clampToS32(int64_t value) {
  return static_cast<s32>(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, value)));
}

// Sums of pixel sizes stop at the 32-bit limits instead of wrapping.
s32 add(s32 a, s32 b) { return clampToS32(static_cast<int64_t>(a) + b); }
s32 subtract(s32 a, s32 b) { return clampToS32(static_cast<int64_t>(a) - b); }

core::dimension2d<s32> measure(IGUIFont* font, const wchar_t* text) {
  if (font == nullptr)
    return core::dimension2d<s32>(0, 0);
  const core::dimension2d<u32> size = font->getDimension(text);
  return core::dimension2d<s32>(clampToS32(size.Width), clampToS32(size.Height));
}

core::rect<s32> pieceRect(int64_t x, int64_t y, core::dimension2d<s32> size) {
  return core::rect<s32>(clampToS32(x), clampToS32(y), clampToS32(x + size.Width), clampToS32(y + size.Height));
}

bool endsWord(wchar_t c) { return c == L'\0' || c == L'\n' || c == L'\r' || c == L' ' || c == L'#'; }

}  // namespace

video::SColor scaleAlpha(video::SColor color, f32 alpha) {
  if (alpha != 1.0f)
    color.setAlpha(static_cast<u32>(static_cast<f32>(color.getAlpha()) * alpha));
  return color;
}

void CPlainTextElement::draw(const core::rect<s32>& destination, const core::rect<s32>& clip, DrawTarget& painter,
                             f32 alpha, const video::SColor* shadow) {
  if (shadow != nullptr) {
    core::rect<s32> moved = destination;
    moved += core::position2d<s32>(1, 1);
    painter.fontText(font_, text_, moved, *shadow, &clip);
  }
  painter.fontText(font_, text_, destination, scaleAlpha(color_, alpha), &clip);
}

CGUIExtendedText::CGUIExtendedText(IGUIEnvironment* environment, IGUIElement* parent, s32 id,
                                   const core::rect<s32>& rectangle)
    : IGUIElement(EGUIET_ELEMENT, environment, parent, id, rectangle) {
  lines_.push_back(std::make_unique<SLine>());
}

CGUIExtendedText::~CGUIExtendedText() {
  clearLayout();
  for (ITextTag* tag : tags_)
    tag->drop();
}

void CGUIExtendedText::addTag(ITextTag* tag) {
  if (tag == nullptr)
    return;
  tag->grab();
  tags_.push_back(tag);
}

void CGUIExtendedText::setText(const wchar_t* text) {
  IGUIElement::setText(text);
  layoutText();
}

void CGUIExtendedText::updateAbsolutePosition() {
  IGUIElement::updateAbsolutePosition();
  if (!layingOut_ && (RelativeRect.getWidth() != lastLayoutRect_.getWidth() ||
                      RelativeRect.getHeight() != lastLayoutRect_.getHeight()))
    layoutText();
}

void CGUIExtendedText::clearLayout() {
  lines_.clear();
  anchored_.clear();
  for (CGUILink* link : links_) {
    link->remove();
    link->drop();
  }
  links_.clear();
  currentLink_ = nullptr;
}

void CGUIExtendedText::layoutText() {
  IGUISkin* skin = Environment != nullptr ? Environment->getSkin() : nullptr;
  IGUIFont* font = skin != nullptr ? skin->getFont(EGDF_DEFAULT) : nullptr;
  if (font == nullptr || layingOut_)
    return;  // the previous layout stays
  layingOut_ = true;
  defaultFont_ = font_ = font;
  if (!defaultColorSet_)
    defaultColor_ = skin->getColor(isEnabled() ? EGDC_BUTTON_TEXT : EGDC_GRAY_TEXT);
  color_ = defaultColor_;

  leftMargin_ = rightMargin_ = currentY_ = 0;
  lineWidth_ = availableWidth_ = remainingWidth_ = RelativeRect.getWidth();
  currentLine_ = 0;
  clearLayout();
  lines_.push_back(std::make_unique<SLine>());

  const s32 spaceWidth = measure(font, L" ").Width;
  const core::dimension2d<s32> hashSize = measure(font, L"#");

  const wchar_t* at = Text.c_str();
  while (*at != L'\0') {
    // A word: everything up to a space, a line break, a tag or the end.
    const wchar_t* start = at;
    while (!endsWord(*at))
      ++at;
    if (at != start) {
      const core::stringw word(start, static_cast<u32>(at - start));
      addTextRun(word, measure(font_ != nullptr ? font_ : defaultFont_, word.c_str()));
    }

    // Spaces, dropped when they do not fit.
    const wchar_t* spaces = at;
    while (*at == L' ')
      ++at;
    if (at != spaces) {
      const int64_t count = at - spaces;
      const s32 width = clampToS32(count * spaceWidth);
      if (width > remainingWidth_)
        newLine();
      else
        addElement(new CPlainTextElement(core::stringw(spaces, static_cast<u32>(count)),
                                         core::dimension2d<s32>(width, 1), color_, font_));
    }

    // Line breaks: a CR LF pair is one, two LFs are two.
    u32 feeds = 0, returns = 0;
    for (; *at == L'\n' || *at == L'\r'; ++at)
      ++(*at == L'\n' ? feeds : returns);
    for (u32 i = std::max(feeds, returns); i > 0; --i)
      newLine();

    // A tag: "#name:argument:...#"; one without its closing "#" is dropped.
    if (*at != L'#')
      continue;
    ++at;
    const wchar_t* partStart = at;
    core::array<core::stringw> parts;
    for (; *at != L'\0' && *at != L'#'; ++at)
      if (*at == L':') {
        parts.push_back(core::stringw(partStart, static_cast<u32>(at - partStart)));
        partStart = at + 1;
      }
    if (*at != L'#')
      break;
    parts.push_back(core::stringw(partStart, static_cast<u32>(at - partStart)));
    ++at;

    const core::stringw name = parts[0];
    if (name.empty()) {
      addTextRun(L"#", hashSize);
      continue;
    }
    parts.erase(0);
    for (ITextTag* tag : tags_)
      if (tag->matches(name)) {
        tag->apply(*this, name, parts);
        break;
      }
  }

  // The element grows or shrinks to fit its lines.
  s32 height = 0;
  for (const auto& line : lines_)
    height = add(height, line->height);
  DesiredRect.LowerRightCorner.Y = add(DesiredRect.UpperLeftCorner.Y, height);
  IGUIElement::updateAbsolutePosition();
  lastLayoutRect_ = RelativeRect;
  colorStack_.clear();
  currentLink_ = nullptr;
  layingOut_ = false;
}

void CGUIExtendedText::addTextRun(const core::stringw& text, core::dimension2d<s32> dimension) {
  // A line that holds nothing yet takes the run however wide it is.
  if (dimension.Width > remainingWidth_ && !currentLine().pieces.empty())
    newLine();
  addElement(new CPlainTextElement(text, dimension, color_, font_));
}

void CGUIExtendedText::addText(const core::stringw& text) {
  addTextRun(text, measure(font_ != nullptr ? font_ : defaultFont_, text.c_str()));
}

void CGUIExtendedText::addElement(ITextElement* piece) {
  std::unique_ptr<ITextElement> owned(piece);
  if (!owned)
    return;
  const core::dimension2d<s32> size = owned->getDimension();
  const s32 width = std::max<s32>(size.Width, 0);
  if (remainingWidth_ < width && !currentLine().pieces.empty())
    newLine();
  remainingWidth_ = subtract(remainingWidth_, width);
  SLine& line = currentLine();
  if (size.Height > line.height) {
    line.height = size.Height;
    if (currentLink_ != nullptr)
      currentLink_->setLinkHeight(line.height);
  }
  line.pieces.push_back(std::move(owned));
  line.width = add(line.width, width);
  if (currentLink_ != nullptr)
    currentLink_->widen(width);
}

void CGUIExtendedText::anchorElement(ITextElement* piece, bool left) {
  std::unique_ptr<ITextElement> owned(piece);
  if (!owned)
    return;
  const core::dimension2d<s32> size = owned->getDimension();
  const s32 width = std::max<s32>(size.Width, 0);
  if (width > lineWidth_)
    return;
  while (remainingWidth_ < width) {
    const s32 before = currentY_;
    newLine();
    if (currentY_ == before)
      break;  // the content's height reached its limit
  }
  SAnchoredElement anchor;
  anchor.extent = add(left ? leftMargin_ : rightMargin_, width);
  anchor.bottom = add(currentY_, std::max<s32>(size.Height, 0));
  anchor.left = left;
  anchor.element = std::move(owned);
  anchored_.push_back(std::move(anchor));
  updateMargins();
  currentLine().leftMargin = leftMargin_;
  currentLine().rightMargin = rightMargin_;
  availableWidth_ = subtract(availableWidth_, width);
  remainingWidth_ = subtract(remainingWidth_, width);
}

void CGUIExtendedText::updateMargins() {
  leftMargin_ = rightMargin_ = 0;
  for (const SAnchoredElement& anchor : anchored_) {
    if (anchor.bottom < currentY_)
      continue;
    s32& margin = anchor.left ? leftMargin_ : rightMargin_;
    margin = std::max(margin, anchor.extent);
  }
}

void CGUIExtendedText::newLine() {
  const SLine& previous = currentLine();
  auto line = std::make_unique<SLine>();
  line->alignment = previous.alignment;
  currentY_ = add(currentY_, previous.height);
  lines_.push_back(std::move(line));
  currentLine_ = static_cast<u32>(lines_.size() - 1);
  updateMargins();
  currentLine().leftMargin = leftMargin_;
  currentLine().rightMargin = rightMargin_;
  availableWidth_ = remainingWidth_ = subtract(subtract(lineWidth_, leftMargin_), rightMargin_);
  // A link that wraps goes on with an element of its own on this line.
  if (currentLink_ != nullptr) {
    const CGUILink& open = *currentLink_;
    const core::stringw first = open.firstText(), second = open.secondText();
    beginLink(open.kind(), open.number(), open.hasFirstText() ? &first : nullptr,
              open.hasSecondText() ? &second : nullptr);
  }
}

s32 CGUIExtendedText::getLineHeight() const { return currentLine().height; }

s32 CGUIExtendedText::getAlignment() const { return currentLine().alignment; }

void CGUIExtendedText::setAlignment(s32 alignment) {
  if (alignment == currentLine().alignment)
    return;
  if (currentLine().width > 0)
    newLine();
  currentLine().alignment = alignment;
}

void CGUIExtendedText::pushColor(video::SColor color) {
  colorStack_.push_back(color_);
  color_ = color;
}

void CGUIExtendedText::popColor() {
  if (colorStack_.empty()) {
    color_ = defaultColor_;
    return;
  }
  color_ = colorStack_.back();
  colorStack_.pop_back();
}

void CGUIExtendedText::resetColor() {
  color_ = defaultColor_;
  colorStack_.clear();
}

void CGUIExtendedText::beginLink(s32 kind, u32 number, const core::stringw* first, const core::stringw* second) {
  const SLine& line = currentLine();
  auto* link = new CGUILink(kind, number, Environment, this, first, second, add(line.leftMargin, line.width),
                            currentY_);
  link->setLinkHeight(line.height);
  links_.push_back(link);  // the creation reference is the element's
  currentLink_ = link;
}

void CGUIExtendedText::drawPiece(ITextElement& piece, s32 x, s32 y, const core::rect<s32>& clip,
                                 DrawTarget& painter) {
  const video::SColor* shadow = shadow_.getAlpha() != 0 ? &shadow_ : nullptr;
  piece.draw(pieceRect(x, y, piece.getDimension()), clip, painter, alpha_, shadow);
}

void CGUIExtendedText::draw() {
  if (!IsVisible || Text.empty())
    return;
  DrawTarget& painter = currentDrawTarget();
  const core::rect<s32>& clip = AbsoluteClippingRect;

  int64_t y = AbsoluteRect.UpperLeftCorner.Y;
  for (const auto& line : lines_) {
    if (y > clip.LowerRightCorner.Y)
      break;  // this line and the ones below it are past the clip
    if (y + line->height >= clip.UpperLeftCorner.Y) {
      const int64_t x0 = static_cast<int64_t>(AbsoluteRect.UpperLeftCorner.X) + line->leftMargin;
      const int64_t free = static_cast<int64_t>(AbsoluteRect.LowerRightCorner.X) - line->rightMargin - x0;
      int64_t x = x0;
      if (line->alignment == 1)
        x = x0 + (free - line->width) / 2;
      else if (line->alignment == 2)
        x = x0 + free - line->width;
      for (const auto& piece : line->pieces) {
        drawPiece(*piece, clampToS32(x), clampToS32(y), clip, painter);
        x += std::max<s32>(piece->getDimension().Width, 0);
      }
    }
    y += line->height;
  }

  for (const SAnchoredElement& anchor : anchored_) {
    const core::dimension2d<s32> size = anchor.element->getDimension();
    const int64_t top = static_cast<int64_t>(AbsoluteRect.UpperLeftCorner.Y) + anchor.bottom - size.Height;
    const int64_t x = anchor.left ? AbsoluteRect.UpperLeftCorner.X
                                  : static_cast<int64_t>(AbsoluteRect.LowerRightCorner.X) - size.Width;
    drawPiece(*anchor.element, clampToS32(x), clampToS32(top), clip, painter);
  }

  IGUIElement::draw();
}

}  // namespace gui
}  // namespace irr

irr::gui::CGUIExtendedText* addExtendedText(irr::gui::IGUIEnvironment* environment,
                                            const irr::core::rect<irr::s32>& rectangle, irr::gui::IGUIElement* parent,
                                            irr::s32 id) {
  if (environment == nullptr)
    return nullptr;
  registerTextTags(false);
  if (parent == nullptr)
    parent = environment->getRootGUIElement();
  auto* text = new irr::gui::CGUIExtendedText(environment, parent, id, rectangle);
  addSharedTextTags(*text);
  text->drop();  // the parent's reference keeps it
  return text;
}
