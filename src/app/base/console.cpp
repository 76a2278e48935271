#include "app/base/console.h"

#include <IGUIEditBox.h>
#include <IGUIElement.h>
#include <IGUIEnvironment.h>
#include <IGUIFont.h>
#include <IGUIScrollBar.h>
#include <IGUISkin.h>
#include <IGUIWindow.h>

#include <algorithm>
#include <vector>

#include "core/locks.h"
#include "core/names.h"
#include "core/utf8.h"
#include "gui/base/gui_callbacks.h"

using irr::core::rect;
using irr::core::stringw;
using irr::s32;

namespace {

// Window layout, in window coordinates.
constexpr s32 kLinesLeft = 4;
constexpr s32 kLinesRight = 578;
constexpr s32 kLinesBottom = 470;
constexpr s32 kTitleGap = 6;  // between the title bar (button width) and the lines

Mutex& consoleLock() {
  static Mutex lock;
  return lock;
}

ConsoleCommandTable& commandTable() {
  static ConsoleCommandTable table;
  return table;
}

Console* currentConsole = nullptr;

stringw lowerAscii(stringw text) {
  for (irr::u32 i = 0; i < text.size(); ++i) {
    if (text[i] >= L'A' && text[i] <= L'Z')
      text[i] = static_cast<wchar_t>(text[i] + (L'a' - L'A'));
  }
  return text;
}

bool endsWith(const stringw& text, wchar_t c) { return !text.empty() && text[text.size() - 1] == c; }

s32 lineHeightOf(irr::gui::IGUIFont* font) {
  const s32 height = font != nullptr ? static_cast<s32>(font->getDimension(L"A").Height) : 0;
  return height > 0 ? height : 1;
}

// ---------------------------------------------------------------------------
// Built-in commands

// `list`'s layout: the name on one line, the indented help on the next.
void showCommand(Console& target, const stringw& name, const ConsoleCommand& command) {
  target.write(name + L"\n");
  if (!command.help.empty()) {
    target.write(L"  ");
    target.print(command.help);
  }
}

void listCommands(const ConsoleArgs&) {
  Console* target = console();
  if (target == nullptr)
    return;
  for (const auto& entry : Console::commands())
    showCommand(*target, entry.first, entry.second);
}

// `find` shows commands whose name holds any argument, `find_all` those whose
// name holds all of them. The typed word's length tells the two apart.
void findCommands(const ConsoleArgs& args) {
  Console* target = console();
  if (target == nullptr)
    return;
  if (args.size() < 2) {
    target->printHelp(args);
    return;
  }
  const bool matchAny = args[0].size() == 4;
  bool shown = false;
  for (const auto& entry : Console::commands()) {
    const stringw& name = entry.first;
    bool show = !matchAny;
    for (irr::u32 i = 1; i < args.size(); ++i) {
      const bool contains = name.find(args[i].c_str()) >= 0;
      if (matchAny && contains) {
        show = true;
        break;
      }
      if (!matchAny && !contains) {
        show = false;
        break;
      }
    }
    if (show) {
      showCommand(*target, name, entry.second);
      shown = true;
    }
  }
  if (!shown)
    target->write(L"No functions found\n");
}

void clearConsole(const ConsoleArgs&) {
  if (Console* target = console())
    target->clear();
}

// ---------------------------------------------------------------------------
// GUI callbacks

// Closing the window only hides it, so the console is never destroyed.
bool onConsoleWindowEvent(const irr::SEvent& event) {
  Console* target = console();
  if (target == nullptr || event.GUIEvent.Caller != target->window() ||
      event.GUIEvent.EventType != irr::gui::EGET_ELEMENT_CLOSED)
    return false;
  target->toggleVisible();
  return true;
}

bool onConsoleInputEvent(const irr::SEvent& event) {
  Console* target = console();
  if (target == nullptr || event.GUIEvent.Caller != target->inputLine() ||
      event.GUIEvent.EventType != irr::gui::EGET_EDITBOX_ENTER)
    return false;
  const stringw line = target->inputLine()->getText();
  if (!line.empty()) {
    target->inputLine()->setText(L"");
    target->execute(line, true);
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The lines element: draws the buffer and turns wheel and keys into scrolling.

class ConsoleRenderLines : public irr::gui::IGUIElement {
 public:
  ConsoleRenderLines(irr::gui::IGUIEnvironment* gui, irr::gui::IGUIElement* parent,
                     const rect<s32>& area, Console* owner)
      : IGUIElement(irr::gui::EGUIET_ELEMENT, gui, parent, -1, area), owner_(owner) {}

  bool OnEvent(const irr::SEvent& event) override {
    irr::gui::IGUIScrollBar* bar = owner_->scrollBar_;
    if (event.EventType == irr::EET_MOUSE_INPUT_EVENT &&
        event.MouseInput.Event == irr::EMIE_MOUSE_WHEEL) {
      MutexGuard guard(consoleLock());
      bar->setPos(bar->getPos() - static_cast<s32>(3.0f * event.MouseInput.Wheel));
      return true;
    }
    if (event.EventType == irr::EET_KEY_INPUT_EVENT && event.KeyInput.PressedDown) {
      MutexGuard guard(consoleLock());
      const s32 page = RelativeRect.getHeight() / lineHeightOf(owner_->font());
      switch (event.KeyInput.Key) {
        case irr::KEY_PRIOR: bar->setPos(bar->getPos() - page); return true;
        case irr::KEY_NEXT: bar->setPos(bar->getPos() + page); return true;
        case irr::KEY_HOME: bar->setPos(0); return true;
        case irr::KEY_END: bar->setPos(bar->getMax()); return false;
        case irr::KEY_UP: bar->setPos(bar->getPos() - 1); return true;
        case irr::KEY_DOWN: bar->setPos(bar->getPos() + 1); return true;
        default: break;
      }
      if (event.KeyInput.Char != 0 && owner_->input_->OnEvent(event)) {
        Environment->setFocus(owner_->input_);
        return true;
      }
    }
    return IGUIElement::OnEvent(event);
  }

  // Newest line lowest; (maximum - position) newest lines are scrolled away.
  void draw() override {
    if (!IsVisible)
      return;
    irr::gui::IGUISkin* skin = Environment->getSkin();
    skin->draw3DSunkenPane(this, skin->getColor(irr::gui::EGDC_3D_SHADOW), false, true, AbsoluteRect,
                           &AbsoluteClippingRect);
    irr::gui::IGUIFont* font = owner_->font();
    if (font != nullptr) {
      MutexGuard guard(consoleLock());
      const s32 lineHeight = lineHeightOf(font);
      const irr::gui::IGUIScrollBar* bar = owner_->scrollBar_;
      const std::size_t skip = static_cast<std::size_t>(std::max(0, bar->getMax() - bar->getPos()));
      const auto& lines = owner_->lines_;
      s32 bottom = AbsoluteRect.LowerRightCorner.Y;
      for (std::size_t back = skip; back < lines.size(); ++back) {
        const s32 top = bottom - lineHeight;
        if (top < AbsoluteRect.UpperLeftCorner.Y)
          break;
        const rect<s32> area(AbsoluteRect.UpperLeftCorner.X + 2, top, AbsoluteRect.LowerRightCorner.X, bottom);
        font->draw(lines[lines.size() - 1 - back], area, skin->getColor(irr::gui::EGDC_HIGH_LIGHT_TEXT), false,
                   false, &AbsoluteClippingRect);
        bottom = top;
      }
    }
    IGUIElement::draw();
  }

 private:
  Console* owner_;
};

// ---------------------------------------------------------------------------
// Console

Console::Console(irr::gui::IGUIEnvironment* gui) : gui_(gui) {
  window_ = gui_->addWindow(rect<s32>(50, 50, 650, 550), false, L"Console", nullptr, kWindowId);
  window_->grab();
  const s32 titleHeight = gui_->getSkin()->getSize(irr::gui::EGDS_WINDOW_BUTTON_WIDTH);
  const s32 linesTop = titleHeight + kTitleGap;

  lineElement_ = new ConsoleRenderLines(gui_, window_, rect<s32>(kLinesLeft, linesTop, kLinesRight, kLinesBottom),
                                        this);
  lineElement_->drop();  // the window holds it
  lineWidth_ = kLinesRight - kLinesLeft;

  scrollBar_ = gui_->addScrollBar(false, rect<s32>(580, linesTop, 598, kLinesBottom), window_, -1);
  scrollBar_->setMax(0);
  scrollBar_->setPos(0);
  scrollBar_->setSmallStep(2);
  scrollBar_->setLargeStep(5);

  visibleLines_ = static_cast<std::size_t>((kLinesBottom - (titleHeight + 4)) / lineHeightOf(font()));

  input_ = gui_->addEditBox(L"", rect<s32>(4, 472, 596, 494), true, window_, kInputId);

  bindGuiCallbacks();
  toggleVisible();
}

Console::~Console() {
  window_->remove();
  window_->drop();
}

void Console::registerCommand(const stringw& name, ConsoleHandler handler, const stringw& help) {
  if (handler == nullptr || name.empty())
    return;
  ConsoleCommand& command = commandTable()[lowerAscii(name)];
  command.handler = handler;
  command.help = help;
}

ConsoleCommandTable::const_iterator Console::findCommand(const stringw& name) {
  return commandTable().find(name);
}

const ConsoleCommandTable& Console::commands() { return commandTable(); }

void Console::printHelp(const ConsoleArgs& args) {
  if (args.empty())
    return;
  const auto found = findCommand(lowerAscii(args[0]));
  if (found != commands().end() && !found->second.help.empty())
    print(found->second.help);
}

void Console::execute(const stringw& line, bool echo) {
  if (echo)
    print(stringw(L"> ") + line);

  ConsoleArgs pieces;
  if (splitQuoted(line, L' ', pieces, false) == 0)
    return;
  // A quoted piece keeps its opening quote, and its closing one when the
  // quote was never closed: drop both.
  for (irr::u32 i = 0; i < pieces.size(); ++i) {
    stringw& piece = pieces[i];
    if (piece.empty() || piece[0] != L'"')
      continue;
    if (endsWith(piece, L'"'))
      piece = piece.subString(0, piece.size() - 1);
    if (!piece.empty())
      piece = piece.subString(1, piece.size() - 1);
  }

  const auto found = findCommand(lowerAscii(pieces[0]));
  if (found == commands().end()) {
    print(stringw(L"Unrecognized console commmand \"") + pieces[0] + L"\"");
    return;
  }
  found->second.handler(pieces);
}

void Console::print(const stringw& text) { output(text, true); }

void Console::write(const stringw& text) { output(text, false); }

void Console::output(const stringw& text, bool ownLine) {
  struct Piece {
    stringw text;
    bool lineBreak;  // a "\n" ends it (rather than the width)
  };
  std::vector<Piece> pieces;
  irr::core::array<stringw> chunks;
  irr::u32 start = 0;
  while (start < text.size()) {
    s32 end = text.findNext(L'\n', start);
    if (end < 0)
      end = static_cast<s32>(text.size());
    wrapText(text.subString(start, static_cast<irr::u32>(end) - start), chunks);
    for (irr::u32 i = 0; i < chunks.size(); ++i)
      pieces.push_back({chunks[i], i + 1 == chunks.size()});
    start = static_cast<irr::u32>(end) + 1;
  }

  MutexGuard guard(consoleLock());
  if (startNewLine_)
    newLine(true);
  else if (lines_.empty())
    newLine(false);  // after `clear`, continue on a fresh line
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    appendToLastLine(pieces[i].text);
    if (i + 1 < pieces.size())
      newLine(pieces[i].lineBreak);
  }
  const bool endsLine = endsWith(text, L'\n');
  if (ownLine) {
    if (endsLine)
      newLine(true);
    startNewLine_ = true;
  } else {
    startNewLine_ = endsLine;
  }
  // The next text starts a line of its own: end the mirrored line now rather
  // than when that text arrives.
  if (startNewLine_ && !mirrorLineClosed_) {
    mirror(L"\n", 1);
    mirrorLineClosed_ = true;
  }
}

void Console::newLine(bool lineBreak) {
  if (lineBreak) {
    if (!mirrorLineClosed_)
      mirror(L"\n", 1);
    mirrorLineClosed_ = false;
  }
  lines_.emplace_back();
  const std::size_t count = lines_.size();
  if (count <= kMaxLines && count > visibleLines_) {
    scrollBar_->setMax(scrollBar_->getMax() + 1);
    scrollBar_->setPos(scrollBar_->getPos() + 1);
  }
  if (count > kMaxLines) {
    lines_.pop_front();
    if (scrollBar_->getPos() < scrollBar_->getMax())
      scrollBar_->setPos(std::max(0, scrollBar_->getPos() - 1));
  }
}

void Console::appendToLastLine(const stringw& text) {
  if (text.empty())
    return;
  lines_.back() += text;
  mirror(text.c_str(), text.size());
}

void Console::mirror(const wchar_t* text, std::size_t length) {
  if (mirror_ != nullptr)
    mirror_(text, length);
}

void Console::wrapText(const stringw& text, irr::core::array<stringw>& pieces) const {
  pieces.clear();
  irr::gui::IGUIFont* measure = font();
  irr::u32 start = 0;
  s32 width = 0;
  for (irr::u32 i = 0; i < text.size() && measure != nullptr; ++i) {
    const wchar_t one[2] = {text[i], L'\0'};
    const s32 charWidth = static_cast<s32>(measure->getDimension(one).Width);
    // A character wider than the whole element still goes on a line of its own.
    if (width + charWidth > lineWidth_ && i > start) {
      pieces.push_back(text.subString(start, i - start));
      start = i;
      width = 0;
    }
    width += charWidth;
  }
  pieces.push_back(text.subString(start, text.size() - start));
}

irr::gui::IGUIFont* Console::font() const {
  irr::gui::IGUISkin* skin = gui_->getSkin();
  irr::gui::IGUIFont* skinFont = skin != nullptr ? skin->getFont() : nullptr;
  return skinFont != nullptr ? skinFont : gui_->getBuiltInFont();
}

void Console::clear() {
  MutexGuard guard(consoleLock());
  lines_.clear();
}

void Console::toggleVisible() {
  const bool show = !window_->isVisible();
  window_->setVisible(show);
  if (show) {
    if (irr::gui::IGUIElement* parent = window_->getParent())
      parent->bringToFront(window_);
    gui_->setFocus(input_);
    return;
  }
  irr::gui::IGUIElement* focus = gui_->getFocus();
  if (focus != nullptr && (focus == window_ || window_->isMyChild(focus)))
    gui_->removeFocus(focus);
}

void Console::bindGuiCallbacks() {
  bindGuiCallbackFunction(onConsoleWindowEvent, kWindowId);
  bindGuiCallbackFunction(onConsoleInputEvent, kInputId);
}

void Console::setMirror(ConsoleMirror mirror) {
  MutexGuard guard(consoleLock());
  mirror_ = mirror;
}

std::deque<stringw> Console::lines() const {
  MutexGuard guard(consoleLock());
  return lines_;
}

// ---------------------------------------------------------------------------

Console* console() { return currentConsole; }

void setConsole(Console* next) {
  if (currentConsole != nullptr && currentConsole != next) {
    currentConsole->clear();
    delete currentConsole;
  }
  currentConsole = next;
}

Console* createConsole(irr::gui::IGUIEnvironment* gui) {
  setConsole(new Console(gui));
  Console::registerCommand(L"find", findCommands, L"find ... - Searches for all functions containing any of the arguments");
  Console::registerCommand(L"list", listCommands, L"list - Lists all functions available in the console");
  Console::registerCommand(L"find_all", findCommands,
                           L"find_all ... - Searches for all functions containing all of the arguments");
  Console::registerCommand(L"clear", clearConsole, L"clear - Erases all lines in the console's memory");
  return currentConsole;
}

void consoleLogSink(const char* text) {
  if (Console* target = console())
    target->write(stringw(utf8ToWide(text).c_str()));
}
