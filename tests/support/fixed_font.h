// A GUI font with fixed metrics for interface tests: every character is
// `width` pixels wide and every line `height` pixels high, so element
// layouts (menu rows, text widths) come out at known pixels. It draws
// nothing; each draw call is written down in `drawn`.
//
// Install it as the skin's font with InterfaceHarness::useFixedFont (the
// skin then holds a reference) or hand it to code that takes a font.
#pragma once

#include <IGUIFont.h>

#include <cwchar>
#include <string>
#include <vector>

class FixedFont : public irr::gui::IGUIFont {
 public:
  struct Drawn {
    std::wstring text;
    irr::core::recti area;
    irr::video::SColor color;
    bool centreHorizontally;
    bool centreVertically;
  };

  explicit FixedFont(irr::u32 width = 8, irr::u32 height = 14) : width_(width), height_(height) {}

  void draw(const irr::core::stringw& text, const irr::core::recti& area, irr::video::SColor color,
            bool centreHorizontally, bool centreVertically, const irr::core::recti*) override {
    drawn.push_back({text.c_str(), area, color, centreHorizontally, centreVertically});
  }

  // The widest line times the character width; the line count times the
  // line height (one line for empty text).
  irr::core::dimension2d<irr::u32> getDimension(const wchar_t* text) const override {
    irr::u32 lines = 1, column = 0, widest = 0;
    for (; text != nullptr && *text != L'\0'; ++text) {
      if (*text == L'\n') {
        ++lines;
        column = 0;
      } else if (++column > widest) {
        widest = column;
      }
    }
    return {widest * width_, lines * height_};
  }

  // The index of the character under the pixel `x` from the text's start,
  // or -1 past its end.
  irr::s32 getCharacterFromPos(const wchar_t* text, irr::s32 x) const override {
    if (text == nullptr || x < 0)
      return -1;
    const irr::s32 index = x / static_cast<irr::s32>(width_);
    return index < static_cast<irr::s32>(std::wcslen(text)) ? index : -1;
  }

  void setKerningWidth(irr::s32) override {}
  void setKerningHeight(irr::s32) override {}
  irr::s32 getKerningWidth(const wchar_t* = nullptr, const wchar_t* = nullptr) const override { return 0; }
  irr::s32 getKerningHeight() const override { return 0; }
  void setInvisibleCharacters(const wchar_t*) override {}

  irr::u32 charWidth() const { return width_; }
  irr::u32 lineHeight() const { return height_; }

  std::vector<Drawn> drawn;

 private:
  irr::u32 width_;
  irr::u32 height_;
};
