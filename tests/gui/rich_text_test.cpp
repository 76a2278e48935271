// The rich-text element on the null driver with a fixed-metrics font (10
// pixels a character, 16 a line): runs, wrapping, line breaks, floating
// images, every tag, drawing through a recording painter, and hostile texts
// (peers' chat reaches it) that must lay out within 32 bits and never read
// past the text.
#include "gui/extended_text.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gui/richtext/gui_link.h"
#include "gui/richtext/text_tags.h"
#include "platform/engine/engine_textures.h"
#include "support/fixed_font.h"
#include "support/null_device.h"
#include "support/recording_painter.h"

namespace rich_text_test {

using irr::core::rect;
using irr::gui::CGUIExtendedText;
using irr::s32;

namespace {

std::string narrow(const irr::core::stringw& text) {
  std::string out;
  for (irr::u32 i = 0; i < text.size(); ++i)
    out += static_cast<char>(text[i] & 0xFF);
  return out;
}

std::string hex(irr::video::SColor color) { return RecordingPainter::show(color); }

class RichTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    gui_ = device_->getGUIEnvironment();
    auto* font = new FixedFont(10, 16);
    gui_->getSkin()->setFont(font);
    font->drop();
  }
  void TearDown() override {
    for (irr::gui::ITextTag* tag : extraTags_)
      tag->drop();
    device_->drop();
    releaseTextTags();
  }

  CGUIExtendedText* make(s32 width, irr::gui::ITextTag* extra = nullptr) {
    CGUIExtendedText* text = addExtendedText(gui_, rect<s32>(0, 0, width, 100), nullptr, -1);
    if (extra != nullptr)
      text->addTag(extra);
    return text;
  }

  // An image tag with "pic" (w x h) on a texture of that size.
  irr::gui::CImageTextTag* imageTag(s32 width, s32 height) {
    irr::video::IVideoDriver* driver = device_->getVideoDriver();
    irr::video::IImage* image = driver->createImage(
        irr::video::ECF_A8R8G8B8, irr::core::dimension2du(static_cast<irr::u32>(width), static_cast<irr::u32>(height)));
    irr::video::ITexture* texture = plat::addImageTexture(driver, "pic", image);
    image->drop();
    auto* tag = new irr::gui::CImageTextTag;
    tag->addImage(L"pic", texture, irr::core::dimension2d<s32>(width, height));
    extraTags_.push_back(tag);
    return tag;
  }

  // Each line's pieces: a run as its text (with "@AARRGGBB" when
  // `colours`), a blank "_<width>", a rule "=<width>x<height>/<thickness>",
  // an image "[img]".
  static std::vector<std::vector<std::string>> layout(const CGUIExtendedText& text, bool colours = false) {
    std::vector<std::vector<std::string>> lines;
    for (const auto& line : text.lines()) {
      std::vector<std::string> pieces;
      for (const auto& piece : line->pieces) {
        if (auto* run = dynamic_cast<const irr::gui::CPlainTextElement*>(piece.get()))
          pieces.push_back(narrow(run->getText()) + (colours ? "@" + hex(run->getColor()) : ""));
        else if (auto* rule = dynamic_cast<const irr::gui::CHLineTextElement*>(piece.get()))
          pieces.push_back("=" + std::to_string(rule->getDimension().Width) + "x" +
                           std::to_string(rule->getDimension().Height) + "/" + std::to_string(rule->thickness()));
        else if (dynamic_cast<const irr::gui::CBlankTextElement*>(piece.get()))
          pieces.push_back("_" + std::to_string(piece->getDimension().Width));
        else
          pieces.push_back("[img]");
      }
      lines.push_back(pieces);
    }
    return lines;
  }

  static std::string defaultColour(const CGUIExtendedText& text) {
    irr::video::SColor colour;
    text.getDefaultColor(colour);
    return hex(colour);
  }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::gui::IGUIEnvironment* gui_ = nullptr;
  std::vector<irr::gui::ITextTag*> extraTags_;
};

using Lines = std::vector<std::vector<std::string>>;

TEST_F(RichTextTest, ColouredNameThenWordsAndSingleSpaces) {
  CGUIExtendedText* text = make(1000);
  text->setText(L"#c:red#Server#c#: Your name has been rejected");
  const std::string d = "@" + defaultColour(*text);
  EXPECT_EQ(layout(*text, true), (Lines{{"Server@FFFF0000", ":" + d, " " + d, "Your" + d, " " + d, "name" + d,
                                          " " + d, "has" + d, " " + d, "been" + d, " " + d, "rejected" + d}}));
  // The text stays as given.
  EXPECT_STREQ(text->getText(), L"#c:red#Server#c#: Your name has been rejected");
}

TEST_F(RichTextTest, HashesBreaksAndWrapping) {
  const struct {
    const wchar_t* text;
    s32 width;
    Lines lines;
    std::vector<s32> heights;  // empty: not checked
  } cases[] = {
      {L"##", 1000, {{"#"}}, {16}},
      {L"a###c#", 1000, {{"a", "#"}}, {}},
      {L"ab#", 1000, {{"ab"}}, {}},
      {L"end ", 1000, {{"end", " "}}, {}},
      {L"a\r\nb", 1000, {{"a"}, {"b"}}, {16, 16}},
      {L"a\n\nb", 1000, {{"a"}, {}, {"b"}}, {16, 8, 16}},
      {L"a\r\rb\n", 1000, {{"a"}, {}, {"b"}, {}}, {}},
      // 4 + 1 + 4 = 90 of 100: the space fits, the next word does not.
      {L"aaaa bbbb cccc", 100, {{"aaaa", " ", "bbbb", " "}, {"cccc"}}, {}},
      // A space that does not fit is dropped at the break.
      {L"aaaaa bbbbb ccc", 100, {{"aaaaa", " "}, {"bbbbb", " ", "ccc"}}, {}},
      {L"aaaaaaaaaa  b", 100, {{"aaaaaaaaaa"}, {"b"}}, {}},
      // A word wider than the element stands alone on its line.
      {L"a wordtoolongforit b", 50, {{"a", " "}, {"wordtoolongforit"}, {"b"}}, {}},
      {L"", 100, {{}}, {8}},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(narrow(item.text));
    CGUIExtendedText* text = make(item.width);
    text->setText(item.text);
    EXPECT_EQ(layout(*text), item.lines);
    for (size_t i = 1; i < text->lines().size(); ++i)
      if (!text->lines()[i]->pieces.empty()) {
        EXPECT_NE(layout(*text)[i][0], " ") << "a wrapped line starts with a space run";
      }
    if (!item.heights.empty()) {
      std::vector<s32> heights;
      s32 sum = 0;
      for (const auto& line : text->lines()) {
        heights.push_back(line->height);
        sum += line->height;
      }
      EXPECT_EQ(heights, item.heights);
      EXPECT_EQ(text->getRelativePosition().getHeight(), sum);  // grown to fit
    }
  }
}

TEST_F(RichTextTest, LeftFloatKeepsItsMarginUntilItsBottom) {
  CGUIExtendedText* text = make(200, imageTag(40, 40));
  text->setText(L"#img:pic:left#a\nb\nc\nd");
  ASSERT_EQ(text->lines().size(), 4u);
  std::vector<s32> margins;
  for (const auto& line : text->lines())
    margins.push_back(line->leftMargin);
  // Lines start at 0, 16, 32 and 48: the image's bottom (40) is above the
  // fourth.
  EXPECT_EQ(margins, (std::vector<s32>{40, 40, 40, 0}));
  ASSERT_EQ(text->anchoredElements().size(), 1u);
  EXPECT_EQ(text->anchoredElements()[0].bottom, 40);

  // Drawn: the runs beside the image, the image at the left edge.
  RecordingPainter painter;
  painter.install();
  text->draw();
  EXPECT_EQ(painter.calls, (std::vector<std::string>{
                               "fontText a 40,0,50,16 " + defaultColour(*text) + " clip 0,0,200,64",
                               "fontText b 40,16,50,32 " + defaultColour(*text) + " clip 0,0,200,64",
                               "fontText c 40,32,50,48 " + defaultColour(*text) + " clip 0,0,200,64",
                               "fontText d 0,48,10,64 " + defaultColour(*text) + " clip 0,0,200,64",
                               "scaled 0,0,40,40 src 0,0,40,40 clip none plain alpha",
                           }));
}

TEST_F(RichTextTest, AlphaShadowAndAlignmentWhenDrawn) {
  CGUIExtendedText* text = make(200);
  text->setText(L"#c:red#ab#a:c#cd#a:right#e");
  text->setAlpha(0.5f);
  text->setShadowColor(irr::video::SColor(0x80000000));
  RecordingPainter painter;
  painter.install();
  text->draw();
  // Each run: its shadow one pixel down and right, unscaled, then the run
  // with alpha 255 x 0.5 = 127.
  EXPECT_EQ(painter.calls, (std::vector<std::string>{
                               "fontText ab 1,1,21,17 80000000 clip 0,0,200,48",
                               "fontText ab 0,0,20,16 7FFF0000 clip 0,0,200,48",
                               "fontText cd 91,17,111,33 80000000 clip 0,0,200,48",
                               "fontText cd 90,16,110,32 7FFF0000 clip 0,0,200,48",
                               "fontText e 191,33,201,49 80000000 clip 0,0,200,48",
                               "fontText e 190,32,200,48 7FFF0000 clip 0,0,200,48",
                           }));

  // Nothing at all for an empty text.
  painter.calls.clear();
  text->setText(L"");
  text->draw();
  EXPECT_TRUE(painter.calls.empty());
}

TEST_F(RichTextTest, EveryTag) {
  const std::string red = "@FFFF0000";
  const struct {
    const char* label;
    const wchar_t* text;
    s32 width;
    Lines lines;  // with colours; "@D" stands for the default colour
  } cases[] = {
      {"three hex digits", L"#c:f99#a#c:888#b", 300, {{"a@FFF09090", "b@FF808080"}}},
      {"two characters, no name", L"#c:zz#a", 300, {{"a@D"}}},
      {"five characters", L"#c:12345#a", 300, {{"a@D"}}},
      {"not hex", L"#c:xyz#a", 300, {{"a@D"}}},
      {"col and color", L"#col:red#a#color:blue#b", 300, {{"a" + red, "b@FF0000FF"}}},
      {"added names", L"#c:cyan#a#c:brown#b#c:silver#c#c:link#d", 300,
       {{"a@FF00FFFF", "b@FFA52A2A", "c@FFC0C0C0", "d@FF0099FF"}}},
      {"nesting and pop", L"#c:red#a#c:9f9#b#c#c#c#d#c#e", 300,
       {{"a" + red, "b@FF90F090", "c" + red, "d@D", "e@D"}}},
      {"reset", L"#c:red#a#r#b#c:red#c#reset#d", 300, {{"a" + red, "b@D", "c" + red, "d@D"}}},
      {"hline 0 is 1 thick", L"#hline:0#", 300, {{"=300x8/1"}}},
      {"hline after text takes the line's height", L"x#hline:5#y", 300, {{"x@D"}, {"=300x16/5"}, {"y@D"}}},
      {"hline not a number", L"#hline:thick#", 300, {{"=300x8/1"}}},
      {"tab at the start", L"#tab#a", 300, {{"_12", "a@D"}}},
      {"tab after 130 pixels", L"aaaaaaaaaaaaa#tab:100#b", 211, {{"aaaaaaaaaaaaa@D", "_70", "b@D"}}},
      {"tab without room breaks", L"aaaaaaaaaaaaa#tab:100#b", 200, {{"aaaaaaaaaaaaa@D"}, {"b@D"}}},
      {"tab step not above 0", L"a#tab:-4#b", 300, {{"a@D", "_2", "b@D"}}},
      {"unknown tag and font", L"#nope:1#a#font:nope#b#font#c", 300, {{"a@D", "b@D", "c@D"}}},
      {"unknown image", L"#img:nope#a#img#b", 300, {{"a@D", "b@D"}}},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(item.label);
    CGUIExtendedText* text = make(item.width);
    text->setText(item.text);
    Lines expected = item.lines;
    for (auto& line : expected)
      for (auto& piece : line)
        if (piece.size() > 2 && piece.compare(piece.size() - 2, 2, "@D") == 0)
          piece = piece.substr(0, piece.size() - 1) + defaultColour(*text);
    EXPECT_EQ(layout(*text, true), expected);
  }
}

TEST_F(RichTextTest, RuleIsCentredInItsLine) {
  CGUIExtendedText* text = make(300);
  text->setText(L"x#hline:5#");
  RecordingPainter painter;
  painter.install();
  text->draw();
  ASSERT_EQ(painter.calls.size(), 2u);
  // The rule's line starts at 16 and is 16 high: the bar from 21 to 26.
  const std::string colour = defaultColour(*text);
  EXPECT_EQ(painter.calls[1],
            "corners 0,21,300,26 " + colour + " " + colour + " " + colour + " " + colour + " clip 0,0,300,32");
}

TEST_F(RichTextTest, AlignmentAndImages) {
  // Alignment set mid-line starts a line; later lines keep it; "#a#" goes
  // back to the left.
  CGUIExtendedText* text = make(300);
  text->setText(L"a#a:c#b\nc#a#d#align:r#e");
  std::vector<s32> alignments;
  for (const auto& line : text->lines())
    alignments.push_back(line->alignment);
  EXPECT_EQ(layout(*text), (Lines{{"a"}, {"b"}, {"c"}, {"d"}, {"e"}}));
  EXPECT_EQ(alignments, (std::vector<s32>{0, 1, 1, 0, 2}));

  // A floated image wider than the element places nothing; inline images
  // and "right" floats do place.
  CGUIExtendedText* narrowText = make(100, imageTag(300, 20));
  narrowText->setText(L"#img:pic:left#a");
  EXPECT_TRUE(narrowText->anchoredElements().empty());
  EXPECT_EQ(layout(*narrowText), (Lines{{"a"}}));

  CGUIExtendedText* wide = make(400, extraTags_.back());
  wide->setText(L"#img:pic:right#a#img:pic:middle#");
  ASSERT_EQ(wide->anchoredElements().size(), 1u);
  EXPECT_FALSE(wide->anchoredElements()[0].left);
  EXPECT_EQ(wide->lines()[0]->rightMargin, 300);
  EXPECT_EQ(layout(*wide), (Lines{{"a"}, {"[img]"}}));
}

TEST_F(RichTextTest, LinksCoverTheirPiecesLineByLine) {
  const struct {
    const char* label;
    const wchar_t* text;
    s32 width;
    // Per link: kind, number, rectangle in the element.
    std::vector<std::string> links;
  } cases[] = {
      {"object link", L"ab#link:o42#cd#link#ef", 300, {"1 42 20,0,40,16"}},
      {"reset inside a link closes it", L"#link:o5#ab#r#cd", 300, {"1 5 0,0,20,16"}},
      {"a malformed code ends the open link", L"#link:o5#a#link:o12x#b", 300, {"1 5 0,0,10,16"}},
      {"unknown kind starts nothing", L"#link:x1#a", 300, {}},
      {"hook with name and value", L"#link:h:open:7#go#link#", 300, {"5 0 0,0,20,16 open 7"}},
      {"empty code ends", L"#link:s1#a#link:#b", 300, {"2 1 0,0,10,16"}},
      {"a wrapping link is one element a line", L"#link:e9#aaaa bbbb#link#", 60,
       {"4 9 0,0,50,16", "4 9 0,16,40,32"}},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(item.label);
    CGUIExtendedText* text = make(item.width);
    text->setText(item.text);
    std::vector<std::string> links;
    for (irr::gui::CGUILink* link : text->links()) {
      EXPECT_EQ(link->getParent(), text);
      std::string shown = std::to_string(link->kind()) + " " + std::to_string(link->number()) + " " +
                          RecordingPainter::show(link->getRelativePosition());
      if (link->hasFirstText())
        shown += " " + narrow(link->firstText());
      if (link->hasSecondText())
        shown += " " + narrow(link->secondText());
      links.push_back(shown);
    }
    EXPECT_EQ(links, item.links);
  }

  // A new text lets the old links go.
  CGUIExtendedText* text = make(300);
  text->setText(L"#link:o1#a");
  ASSERT_EQ(text->links().size(), 1u);
  text->setText(L"b");
  EXPECT_TRUE(text->links().empty());
  EXPECT_TRUE(text->getChildren().empty());
}

// Huge rules (the thickness is read without overflow and capped), then a
// word: every line and the element stay within 32 bits.
TEST_F(RichTextTest, HugeRulesKeepHeightsPositive) {
  CGUIExtendedText* text = make(300);
  text->setText(L"#hline:99999999999##hline:99999999999#word");
  int64_t y = 0;
  for (const auto& line : text->lines()) {
    EXPECT_GT(line->height, 0);
    y += line->height;
    EXPECT_GT(y, 0);
    EXPECT_LE(y, INT32_MAX);
  }
  EXPECT_EQ(layout(*text), (Lines{{"=300x4096/4096"}, {"=300x4096/4096"}, {"word"}}));
  EXPECT_GT(text->getRelativePosition().getHeight(), 0);
  EXPECT_EQ(text->getRelativePosition().getHeight(), y);
}

// Malformed and hostile texts as peers may send them, laid out in several
// widths and drawn: what the layout keeps is well formed, whatever came in.
TEST_F(RichTextTest, MalformedTagsNeverBreakTheLayout) {
  std::vector<std::wstring> texts = {
      L"#", L"##", L"###", L"#####", L"a#", L"#c:red", L"#c:red#unclosed#c", L"#:#", L"#::::#", L"#:x#y",
      L"#link#", L"#link:#", L"#link:h#", L"#link:o#x", L"#link:o99999999999999999999#x#link#",
      L"#link:h:a:b:c:d#x", L"#img#", L"#img:#", L"#img::left#", L"#tab:-5#", L"#tab:0#x",
      L"#tab:99999999999999999999#x", L"#hline:-99999999999#", L"#hline:+#", L"#hline:4096#", L"#c:#",
      L"#c:##", L"#font:#", L"#a:zzz#x", L"#align:c:r#x", L"#r:1:2#", L"\r\n\r\n\n#", L"\t\x1b\x7f",
      L"#c:ffffffffffffffffffff#x", L"#c:#fff#x", L"    ", L"#zz" + std::wstring(5000, L':') + L"#"};
  std::wstring many;
  for (int i = 0; i < 2000; ++i)
    many += L"#c:red##link:o1#a ";
  texts.push_back(many);
  texts.push_back(std::wstring(4000, L'#'));
  texts.push_back(std::wstring(3999, L'#'));
  texts.push_back(L"#" + std::wstring(20000, L'x'));
  // Random texts over the tag alphabet, the same every run.
  std::mt19937 random(98);
  const std::wstring alphabet = L"#:##:c red9f0ohlinkabtgr\r\n -4096";
  for (int i = 0; i < 300; ++i) {
    std::wstring text;
    const int length = static_cast<int>(random() % 120);
    for (int j = 0; j < length; ++j)
      text += alphabet[random() % alphabet.size()];
    texts.push_back(text);
  }

  RecordingPainter painter;
  painter.install();
  for (const s32 width : {0, 1, 37, 500}) {
    CGUIExtendedText* text = make(width);
    for (const std::wstring& input : texts) {
      SCOPED_TRACE(narrow(input.substr(0, 60).c_str()));
      text->setText(input.c_str());
      int64_t y = 0;
      for (const auto& line : text->lines()) {
        ASSERT_GE(line->height, 8);
        y += line->height;
      }
      ASSERT_LE(y, INT32_MAX);
      EXPECT_EQ(text->getRelativePosition().getHeight(), y);
      for (irr::gui::CGUILink* link : text->links()) {
        EXPECT_GE(link->getRelativePosition().getWidth(), 0);
        EXPECT_GE(link->getRelativePosition().getHeight(), 0);
      }
      painter.calls.clear();
      text->draw();
    }
  }
}

TEST(RichTextNumbers, TagNumbersAreReadWithoutOverflow) {
  const struct {
    const wchar_t* text;
    bool read;
    s32 value;
  } cases[] = {{L"12", true, 12},          {L"-7", true, -7},         {L"+3", true, 3},
               {L"5px", true, 5},          {L"99999999999", true, 4096}, {L"-99999999999", true, -4096},
               {L"", false, 0},            {L"-", false, 0},          {L"x1", false, 0}};
  for (const auto& item : cases) {
    SCOPED_TRACE(narrow(item.text));
    s32 value = 0;
    EXPECT_EQ(irr::gui::readTagNumber(item.text, irr::gui::kMaxRuleThickness, value), item.read);
    if (item.read) {
      EXPECT_EQ(value, item.value);
    }
  }
}

}  // namespace
}  // namespace rich_text_test
