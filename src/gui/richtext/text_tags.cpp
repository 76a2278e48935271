#include "gui/richtext/text_tags.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>

#include "design/base/numbers.h"
#include "gfx/base/color.h"
#include "gfx/gfx_resources.h"
#include "gui/extended_text.h"
#include "gui/gui_handles.h"
#include "gui/script_drawing.h"
#include "platform/engine/engine_textures.h"

namespace irr {
namespace gui {

bool readTagNumber(const core::stringw& text, s32 limit, s32& value) {
  const wchar_t* at = text.c_str();
  const bool negative = *at == L'-';
  if (*at == L'-' || *at == L'+')
    ++at;
  if (*at < L'0' || *at > L'9')
    return false;
  int64_t magnitude = 0;
  for (; *at >= L'0' && *at <= L'9'; ++at)
    magnitude = std::min<int64_t>(magnitude * 10 + (*at - L'0'), limit);
  value = static_cast<s32>(negative ? -magnitude : magnitude);
  return true;
}

// --- pieces ---------------------------------------------------------------

void CHLineTextElement::draw(const core::rect<s32>& destination, const core::rect<s32>& clip, DrawTarget& painter,
                             f32 alpha, const video::SColor*) {
  const int64_t height = static_cast<int64_t>(destination.LowerRightCorner.Y) - destination.UpperLeftCorner.Y;
  const int64_t gap = height - thickness_;
  core::rect<s32> bar = destination;
  bar.UpperLeftCorner.Y = static_cast<s32>(destination.UpperLeftCorner.Y + gap / 2);
  bar.LowerRightCorner.Y = static_cast<s32>(destination.LowerRightCorner.Y - (gap + thickness_ % 2) / 2);
  const video::SColor color = scaleAlpha(color_, alpha);
  painter.cornerRect(bar, color, color, color, color, &clip);
}

void CImageTextElement::draw(const core::rect<s32>& destination, const core::rect<s32>& clip, DrawTarget& painter,
                             f32, const video::SColor*) {
  if (texture_ == nullptr)
    return;
  core::rect<s32> shown = destination;
  shown.clipAgainst(clip);
  if (shown.getWidth() <= 0 || shown.getHeight() <= 0)
    return;
  const core::dimension2du textureSize = plat::textureSize(texture_);
  const int64_t sourceWidth = textureSize.Width, sourceHeight = textureSize.Height;
  const int64_t width = std::max<int64_t>(destination.getWidth(), 1);
  const int64_t height = std::max<int64_t>(destination.getHeight(), 1);
  core::rect<s32> source(0, 0, static_cast<s32>(sourceWidth), static_cast<s32>(sourceHeight));
  source.UpperLeftCorner.X =
      static_cast<s32>((shown.UpperLeftCorner.X - destination.UpperLeftCorner.X) * sourceWidth / width);
  source.UpperLeftCorner.Y =
      static_cast<s32>((shown.UpperLeftCorner.Y - destination.UpperLeftCorner.Y) * sourceHeight / height);
  source.LowerRightCorner.X = static_cast<s32>(
      sourceWidth - (destination.LowerRightCorner.X - shown.LowerRightCorner.X) * sourceWidth / width);
  source.LowerRightCorner.Y = static_cast<s32>(
      sourceHeight - (destination.LowerRightCorner.Y - shown.LowerRightCorner.Y) * sourceHeight / height);
  painter.scaledImage(texture_, shown, source, nullptr, nullptr, true);
}

// --- tags -------------------------------------------------------------------

bool CColorTextTag::matches(const core::stringw& name) const {
  return name == L"c" || name == L"col" || name == L"color";
}

bool CColorTextTag::findColor(const core::stringw& name, video::SColor& color) const {
  const auto found = colors_.find(name);
  if (found == colors_.end())
    return false;
  color = found->second;
  return true;
}

void CColorTextTag::registerDefaultColors() {
  addColor(L"red", video::SColor(0xFFFF0000));
  addColor(L"green", video::SColor(0xFF00FF00));
  addColor(L"blue", video::SColor(0xFF0000FF));
  addColor(L"yellow", video::SColor(0xFFFFFF00));
  addColor(L"orange", video::SColor(0xFFFF8000));
  addColor(L"white", video::SColor(0xFFFFFFFF));
  addColor(L"black", video::SColor(0xFF000000));
  addColor(L"gray", video::SColor(0xFF808080));
}

void CColorTextTag::apply(IExtendedText& text, const core::stringw&, const core::array<core::stringw>& arguments) {
  if (arguments.empty()) {
    text.popColor();
    return;
  }
  const core::stringw& argument = arguments[0];
  video::SColor color;
  if (findColor(argument, color)) {
    text.pushColor(color);
  } else if (argument.size() >= 3) {
    try {
      text.pushColor(parseHexColor(argument));
    } catch (const std::exception&) {
      // Not a colour: nothing changes.
    }
  }
}

void CFontTextTag::addFont(const core::stringw& name, IGUIFont* font) {
  if (font != nullptr)
    fonts_.emplace(name, font);
}

void CFontTextTag::apply(IExtendedText& text, const core::stringw&, const core::array<core::stringw>& arguments) {
  if (arguments.empty()) {
    text.setFont(text.getDefaultFont());
    return;
  }
  const auto found = fonts_.find(arguments[0]);
  if (found != fonts_.end())
    text.setFont(found->second);
}

void CImageTextTag::apply(IExtendedText& text, const core::stringw&, const core::array<core::stringw>& arguments) {
  if (arguments.empty())
    return;
  const auto found = images_.find(arguments[0]);
  if (found == images_.end())
    return;
  auto* piece = new CImageTextElement(found->second.texture, found->second.size);
  if (arguments.size() > 1 && (arguments[1] == L"left" || arguments[1] == L"right"))
    text.anchorElement(piece, arguments[1] == L"left");
  else
    text.addElement(piece);
}

void CHLineTextTag::apply(IExtendedText& text, const core::stringw&, const core::array<core::stringw>& arguments) {
  s32 thickness = 1;
  if (arguments.empty() || !readTagNumber(arguments[0], kMaxRuleThickness, thickness) || thickness < 1)
    thickness = 1;
  video::SColor color;
  text.getColor(color);
  const core::dimension2d<s32> size(std::max<s32>(text.getAvailableWidth(), 0),
                                    std::max(text.getLineHeight(), thickness));
  text.addElement(new CHLineTextElement(size, color, thickness));
}

void CTabTextTag::apply(IExtendedText& text, const core::stringw&, const core::array<core::stringw>& arguments) {
  s32 step = defaultStep_;
  if (arguments.empty() || !readTagNumber(arguments[0], INT32_MAX, step) || step <= 0)
    step = defaultStep_;
  const int64_t remaining = text.getRemainingWidth();
  const int64_t used = std::max<int64_t>(static_cast<int64_t>(text.getAvailableWidth()) - remaining, 0);
  const int64_t gap = step - used % step;
  if (gap >= remaining)
    text.newLine();
  else
    text.addElement(new CBlankTextElement(core::dimension2d<s32>(static_cast<s32>(gap), 1)));
}

void CAlignTextTag::apply(IExtendedText& text, const core::stringw&, const core::array<core::stringw>& arguments) {
  s32 alignment = 0;
  if (!arguments.empty()) {
    const core::stringw& how = arguments[0];
    if (how == L"center" || how == L"c")
      alignment = 1;
    else if (how == L"right" || how == L"r")
      alignment = 2;
  }
  text.setAlignment(alignment);
}

void CResetTagsTag::apply(IExtendedText& text, const core::stringw&, const core::array<core::stringw>&) {
  text.endLink();
  text.resetColor();
  text.setAlignment(0);
  text.setFont(text.getDefaultFont());
}

void CGUILinkTag::apply(IExtendedText& text, const core::stringw&, const core::array<core::stringw>& arguments) {
  if (arguments.empty() || arguments[0].empty()) {
    text.endLink();
    return;
  }
  const core::stringw& code = arguments[0];
  s32 kind = 0;
  switch (code[0]) {
    case L'o': kind = 1; break;
    case L's': kind = 2; break;
    case L'r': kind = 3; break;
    case L'e': kind = 4; break;
    case L'h': kind = 5; break;
    default:
      text.endLink();
      return;
  }
  const core::stringw rest = code.subString(1, code.size() - 1);
  if (kind != 5)
    for (u32 i = 0; i < rest.size(); ++i)
      if (rest[i] < L'0' || rest[i] > L'9') {
        text.endLink();
        return;
      }
  const u32 number = parseWideInteger(rest);
  text.beginLink(kind, number, arguments.size() > 1 ? &arguments[1] : nullptr,
                 arguments.size() > 2 ? &arguments[2] : nullptr);
}

}  // namespace gui
}  // namespace irr

namespace {

using namespace irr::gui;

// The shared instances; each pointer holds one reference.
struct SharedTextTags {
  CColorTextTag* color = nullptr;
  CFontTextTag* font = nullptr;
  CImageTextTag* image = nullptr;
  CHLineTextTag* rule = nullptr;
  CTabTextTag* tab = nullptr;
  CAlignTextTag* align = nullptr;
  CGUILinkTag* link = nullptr;
  CResetTagsTag* reset = nullptr;
};
SharedTextTags sharedTags;

template <class Tag>
void dropTag(Tag*& tag) {
  if (tag != nullptr)
    tag->drop();
  tag = nullptr;
}

}  // namespace

void registerTextTags(bool withImages) {
  if (sharedTags.color == nullptr) {
    sharedTags.color = new CColorTextTag;
    sharedTags.color->registerDefaultColors();
    sharedTags.color->addColor(L"cyan", irr::video::SColor(0xFF00FFFF));
    sharedTags.color->addColor(L"brown", irr::video::SColor(0xFFA52A2A));
    sharedTags.color->addColor(L"silver", irr::video::SColor(0xFFC0C0C0));
    sharedTags.color->addColor(L"link", irr::video::SColor(0xFF0099FF));
    sharedTags.font = new CFontTextTag;
    for (const auto& entry : guiFontMap)
      sharedTags.font->addFont(entry.first, entry.second);
    sharedTags.rule = new CHLineTextTag;
    sharedTags.tab = new CTabTextTag;
    sharedTags.align = new CAlignTextTag;
    sharedTags.link = new CGUILinkTag;
    sharedTags.reset = new CResetTagsTag;
  }
  if (withImages && sharedTags.image == nullptr) {
    sharedTags.image = new CImageTextTag;
    for (irr::u32 i = 0; i < gfxResources.materials.size(); ++i) {
      const irr::video::SMaterial* material = gfxResources.materials[i].value;
      irr::video::ITexture* texture = material != nullptr ? material->getTexture(0) : nullptr;
      if (texture == nullptr)
        continue;
      const irr::core::dimension2du size = plat::textureSize(texture);
      sharedTags.image->addImage(gfxResources.materials[i].name, texture,
                                 irr::core::dimension2d<irr::s32>(static_cast<irr::s32>(size.Width),
                                                                  static_cast<irr::s32>(size.Height)));
    }
  }
}

void addSharedTextTags(CGUIExtendedText& text) {
  text.addTag(sharedTags.color);
  text.addTag(sharedTags.rule);
  text.addTag(sharedTags.tab);
  text.addTag(sharedTags.image);
  text.addTag(sharedTags.align);
  text.addTag(sharedTags.link);
  text.addTag(sharedTags.reset);
  text.addTag(sharedTags.font);
}

void releaseTextTags() {
  dropTag(sharedTags.color);
  dropTag(sharedTags.font);
  dropTag(sharedTags.image);
  dropTag(sharedTags.rule);
  dropTag(sharedTags.tab);
  dropTag(sharedTags.align);
  dropTag(sharedTags.link);
  dropTag(sharedTags.reset);
}

CColorTextTag* defaultColorTag() { return sharedTags.color; }

CImageTextTag* defaultImageTag() { return sharedTags.image; }

void releaseDefaultImageTag() { dropTag(sharedTags.image); }
