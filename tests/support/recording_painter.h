// A draw target for interface tests that writes down every call that the
// drawing code makes, one line of text a call, instead of drawing:
//   "line X,Y X,Y AARRGGBB"
//   "image X,Y src L,T,R,B clip L,T,R,B|none AARRGGBB[ alpha]"
//   "scaled L,T,R,B src L,T,R,B clip ...[ plain| C0 C1 C2 C3][ alpha]"
//   "sprite BANK INDEX X,Y clip ..."
//   "text LENGTH L,T,R,B AARRGGBB[ h][ v] clip ..."
//   "measure LENGTH"  (text is 7 pixels a character, 11 high)
//   "skinRect AARRGGBB L,T,R,B clip ..."
//   "corners L,T,R,B UL UR LL LR clip ..."
//   "outline L,T,R,B AARRGGBB"
//   "pane AARRGGBB[ flat] L,T,R,B clip ..."
//   "fontText TEXT L,T,R,B AARRGGBB clip ..."  (TEXT: each unit's low byte)
// The face colour is 0xFF0000FF and the screen 1 x 2.
//
// `install` makes it the target of the drawing functions until it is
// destroyed (the engine's target comes back then).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "gui/script_drawing.h"

class RecordingPainter : public DrawTarget {
 public:
  RecordingPainter() = default;
  RecordingPainter(const RecordingPainter&) = delete;
  RecordingPainter& operator=(const RecordingPainter&) = delete;
  ~RecordingPainter() override {
    if (installed_)
      setDrawTarget(nullptr);
  }

  void install() {
    setDrawTarget(this);
    installed_ = true;
  }

  std::vector<std::string> calls;

  static std::string show(const irr::core::recti& r) {
    return std::to_string(r.UpperLeftCorner.X) + "," + std::to_string(r.UpperLeftCorner.Y) + "," +
           std::to_string(r.LowerRightCorner.X) + "," + std::to_string(r.LowerRightCorner.Y);
  }
  static std::string show(const irr::core::recti* clip) { return clip == nullptr ? "none" : show(*clip); }
  static std::string show(const irr::core::position2di& p) { return std::to_string(p.X) + "," + std::to_string(p.Y); }
  static std::string show(irr::video::SColor c) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", c.color);
    return hex;
  }

  void line(const irr::core::position2di& start, const irr::core::position2di& end,
            irr::video::SColor color) override {
    calls.push_back("line " + show(start) + " " + show(end) + " " + show(color));
  }
  void image(const irr::video::ITexture*, const irr::core::position2di& at, const irr::core::recti& source,
             const irr::core::recti* clip, irr::video::SColor color, bool useAlpha) override {
    calls.push_back("image " + show(at) + " src " + show(source) + " clip " + show(clip) + " " + show(color) +
                    (useAlpha ? " alpha" : ""));
  }
  void scaledImage(const irr::video::ITexture*, const irr::core::recti& destination, const irr::core::recti& source,
                   const irr::core::recti* clip, const irr::video::SColor* colors, bool useAlpha) override {
    calls.push_back("scaled " + show(destination) + " src " + show(source) + " clip " + show(clip) +
                    (colors == nullptr ? " plain"
                                       : " " + show(colors[0]) + " " + show(colors[1]) + " " + show(colors[2]) +
                                             " " + show(colors[3])) +
                    (useAlpha ? " alpha" : ""));
  }
  void sprite(const irr::core::stringc& bank, irr::u32 index, const irr::core::position2di& at,
              const irr::core::recti* clip) override {
    calls.push_back(std::string("sprite ") + bank.c_str() + " " + std::to_string(index) + " " + show(at) +
                    " clip " + show(clip));
  }
  void text(const irr::core::stringw& words, const irr::core::recti& area, irr::video::SColor color,
            bool centreHorizontally, bool centreVertically, const irr::core::recti* clip) override {
    calls.push_back("text " + std::to_string(words.size()) + " " + show(area) + " " + show(color) +
                    (centreHorizontally ? " h" : "") + (centreVertically ? " v" : "") + " clip " + show(clip));
  }
  irr::core::dimension2di textDimension(const irr::core::stringw& words) override {
    calls.push_back("measure " + std::to_string(words.size()));
    return irr::core::dimension2di(7 * static_cast<irr::s32>(words.size()), 11);
  }
  irr::video::SColor faceColor() override { return irr::video::SColor(0xFF0000FF); }
  void skinRect(irr::video::SColor color, const irr::core::recti& area, const irr::core::recti* clip) override {
    calls.push_back("skinRect " + show(color) + " " + show(area) + " clip " + show(clip));
  }
  void cornerRect(const irr::core::recti& area, irr::video::SColor ul, irr::video::SColor ur, irr::video::SColor ll,
                  irr::video::SColor lr, const irr::core::recti* clip) override {
    calls.push_back("corners " + show(area) + " " + show(ul) + " " + show(ur) + " " + show(ll) + " " + show(lr) +
                    " clip " + show(clip));
  }
  void rectOutline(const irr::core::recti& area, irr::video::SColor color) override {
    calls.push_back("outline " + show(area) + " " + show(color));
  }
  void sunkenPane(irr::video::SColor color, bool flat, const irr::core::recti& area,
                  const irr::core::recti* clip) override {
    calls.push_back("pane " + show(color) + (flat ? " flat " : " ") + show(area) + " clip " + show(clip));
  }
  irr::core::dimension2di screenSize() override { return irr::core::dimension2di(1, 2); }
  void fontText(irr::gui::IGUIFont*, const irr::core::stringw& words, const irr::core::recti& area,
                irr::video::SColor color, const irr::core::recti* clip) override {
    std::string narrow;
    for (irr::u32 i = 0; i < words.size(); ++i)
      narrow += static_cast<char>(words[i] & 0xFF);
    calls.push_back("fontText " + narrow + " " + show(area) + " " + show(color) + " clip " + show(clip));
  }

 private:
  bool installed_ = false;
};
