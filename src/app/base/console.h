// The console: the server's command line.
//
// One global Console runs command lines (typed into its input line or on
// standard input, played from autoexec.ini, bound to keys, sent by remote
// clients) and keeps the last 500 printed lines. Every log line reaches it
// through its log sink. Its window lives on the engine's GUI environment
// (also on the null driver, where nothing is drawn); the buffer, the command
// table and the printing rules work the same either way.
//
// Commands live in one table shared by all consoles, keyed by the lower-case
// command name; `list` and `find` walk it in key order. A handler gets the
// pieces of the line: element 0 is the command word as typed, the rest are
// its arguments. Handlers run on the thread that hands in the line.
//
// Printing may come from any thread; one console lock serialises it. `print`
// puts its text on lines of its own; `write` continues the current line
// unless the text before it ended with a newline.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstddef>
#include <deque>
#include <map>

namespace irr {
namespace gui {
class IGUIEditBox;
class IGUIEnvironment;
class IGUIFont;
class IGUIScrollBar;
class IGUIWindow;
}  // namespace gui
}  // namespace irr

class ConsoleRenderLines;

using ConsoleArgs = irr::core::array<irr::core::stringw>;
using ConsoleHandler = void (*)(const ConsoleArgs& args);

struct ConsoleCommand {
  ConsoleHandler handler = nullptr;
  irr::core::stringw help;
};
using ConsoleCommandTable = std::map<irr::core::stringw, ConsoleCommand>;

// Receives a copy of everything the console prints, in order: the texts as
// they join the buffer and "\n" where a line ends. Called under the console
// lock. Headless servers mirror the console to standard output this way.
using ConsoleMirror = void (*)(const wchar_t* text, std::size_t length);

class Console {
 public:
  static constexpr int kWindowId = -25;
  static constexpr int kInputId = -24;
  static constexpr std::size_t kMaxLines = 500;

  // Builds the window (hidden) on `gui`, which must outlive the console.
  explicit Console(irr::gui::IGUIEnvironment* gui);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Adds or replaces a command under its name lower-cased (A-Z). Ignored for
  // an empty name or a null handler.
  static void registerCommand(const irr::core::stringw& name, ConsoleHandler handler,
                              const irr::core::stringw& help);
  // Looks a name up exactly as given; commands().end() when absent.
  static ConsoleCommandTable::const_iterator findCommand(const irr::core::stringw& name);
  static const ConsoleCommandTable& commands();

  // Prints the help of the command named by args[0] (any case), if it has one.
  void printHelp(const ConsoleArgs& args);
  // Runs one command line; with `echo`, prints "> " and the line first.
  void execute(const irr::core::stringw& line, bool echo);
  void print(const irr::core::stringw& text);
  void write(const irr::core::stringw& text);
  // Empties the line buffer.
  void clear();
  // Shows a hidden window (in front, input focused) or hides a shown one.
  void toggleVisible();
  // (Re)binds the window's and the input line's GUI callbacks.
  void bindGuiCallbacks();

  void setMirror(ConsoleMirror mirror);

  // The buffer, oldest line first (a copy, taken under the lock).
  std::deque<irr::core::stringw> lines() const;
  std::size_t visibleLines() const { return visibleLines_; }

  irr::gui::IGUIWindow* window() const { return window_; }
  irr::gui::IGUIEditBox* inputLine() const { return input_; }
  irr::gui::IGUIScrollBar* scrollBar() const { return scrollBar_; }

 private:
  friend class ConsoleRenderLines;

  // Both print and write; `ownLine` selects print's rules.
  void output(const irr::core::stringw& text, bool ownLine);
  // Appends an empty line; `lineBreak` is false for breaks made by wrapping,
  // which the mirror does not see.
  void newLine(bool lineBreak);
  void appendToLastLine(const irr::core::stringw& text);
  void mirror(const wchar_t* text, std::size_t length);
  // Breaks text at "\n" and where it grows wider than the lines element.
  void wrapText(const irr::core::stringw& text, irr::core::array<irr::core::stringw>& pieces) const;
  irr::gui::IGUIFont* font() const;

  irr::gui::IGUIEnvironment* gui_;
  irr::gui::IGUIWindow* window_ = nullptr;
  irr::gui::IGUIEditBox* input_ = nullptr;
  irr::gui::IGUIScrollBar* scrollBar_ = nullptr;
  ConsoleRenderLines* lineElement_ = nullptr;
  int lineWidth_ = 0;

  std::deque<irr::core::stringw> lines_;
  std::size_t visibleLines_ = 0;
  bool startNewLine_ = true;

  ConsoleMirror mirror_ = nullptr;
  bool mirrorLineClosed_ = true;  // the mirror has already ended the current line
};

// The installed console, or null.
Console* console();
// Installs `next`; a different console installed before is emptied and deleted.
void setConsole(Console* next);
// Builds a console on `gui`, installs it and registers the built-in commands.
Console* createConsole(irr::gui::IGUIEnvironment* gui);
// The console's log sink: the narrow (UTF-8) text is written to the console.
void consoleLogSink(const char* text);
