#include "app/base/console.h"

#include <IGUIEditBox.h>
#include <IGUIEnvironment.h>
#include <IGUIFont.h>
#include <IGUIScrollBar.h>
#include <IGUISkin.h>
#include <IGUIWindow.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "gui/base/gui_callbacks.h"
#include "support/null_device.h"

namespace console_test {

namespace {

using irr::core::stringw;

std::wstring mirrored;
void recordMirror(const wchar_t* text, std::size_t length) { mirrored.append(text, length); }

ConsoleArgs lastArgs;
int runs = 0;
void recordArgs(const ConsoleArgs& args) {
  lastArgs = args;
  ++runs;
}

std::vector<std::wstring> toStrings(const std::deque<stringw>& lines) {
  std::vector<std::wstring> out;
  for (const stringw& line : lines)
    out.emplace_back(line.c_str());
  return out;
}

std::vector<std::wstring> toStrings(const ConsoleArgs& args) {
  std::vector<std::wstring> out;
  for (irr::u32 i = 0; i < args.size(); ++i)
    out.emplace_back(args[i].c_str());
  return out;
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device = createTestDevice();
    ASSERT_NE(device, nullptr);
    gui = device->getGUIEnvironment();
    target = createConsole(gui);
    mirrored.clear();
    target->setMirror(recordMirror);
  }
  void TearDown() override {
    setConsole(nullptr);
    device->drop();
  }

  std::vector<std::wstring> lines() const { return toStrings(target->lines()); }

  irr::IrrlichtDevice* device = nullptr;
  irr::gui::IGUIEnvironment* gui = nullptr;
  Console* target = nullptr;
};

TEST_F(ConsoleTest, PrintStartsLinesAndWriteContinuesThem) {
  struct Step {
    bool print;
    const wchar_t* text;
  };
  struct Case {
    std::vector<Step> steps;
    std::vector<std::wstring> lines;
  };
  const Case cases[] = {
      {{{true, L"a"}, {true, L"b"}}, {L"a", L"b"}},
      {{{false, L"a"}, {false, L"b"}}, {L"ab"}},
      {{{false, L"a\n"}, {false, L"b"}}, {L"a", L"b"}},
      {{{false, L"a\nb\n"}, {false, L"c"}, {true, L"d"}, {true, L"e"}}, {L"a", L"b", L"cd", L"e"}},
      {{{true, L"abc\n"}, {true, L"x"}}, {L"abc", L"", L"x"}},
      {{{true, L""}, {false, L"x"}}, {L"", L"x"}},
      {{{false, L"a\n\nb"}}, {L"a", L"", L"b"}},
  };
  for (const Case& c : cases) {
    target->clear();
    target->print(L"");  // a fresh line, so each case starts alike
    target->clear();
    mirrored.clear();
    for (const Step& step : c.steps)
      step.print ? target->print(step.text) : target->write(step.text);
    EXPECT_EQ(lines(), c.lines) << "case " << (&c - cases);

    // The mirror shows the same lines.
    std::wstring expected;
    for (const std::wstring& line : c.lines)
      expected += line + L"\n";
    if (!mirrored.empty() && mirrored.back() != L'\n')
      mirrored += L"\n";
    EXPECT_EQ(mirrored, expected) << "case " << (&c - cases);
  }
}

TEST_F(ConsoleTest, LongTextWrapsToTheLinesWidthButNotInTheMirror) {
  const std::wstring text(400, L'W');
  target->print(text.c_str());
  const std::vector<std::wstring> wrapped = lines();
  ASSERT_GT(wrapped.size(), 1u);
  std::wstring joined;
  irr::gui::IGUIFont* font = gui->getSkin()->getFont();
  for (const std::wstring& line : wrapped) {
    EXPECT_LE(font->getDimension(line.c_str()).Width, 574u);
    joined += line;
  }
  EXPECT_EQ(joined, text);
  EXPECT_EQ(mirrored, text + L"\n");
}

TEST_F(ConsoleTest, KeepsTheNewest500Lines) {
  for (int i = 0; i < 600; ++i)
    target->print(stringw(i));
  const std::vector<std::wstring> kept = lines();
  ASSERT_EQ(kept.size(), Console::kMaxLines);
  EXPECT_EQ(kept.front(), L"100");
  EXPECT_EQ(kept.back(), L"599");
  // The view follows the newest line.
  EXPECT_EQ(target->scrollBar()->getPos(), target->scrollBar()->getMax());
}

TEST_F(ConsoleTest, ExecuteSplitsQuotedArgumentsAndIgnoresTheCommandCase) {
  Console::registerCommand(L"Say", recordArgs, L"say \"Text\" - test");
  struct Case {
    const wchar_t* line;
    std::vector<std::wstring> args;
  };
  const Case cases[] = {
      {L"say \"hello world\"", {L"say", L"hello world"}},
      {L"say \"hello", {L"say", L"hello"}},
      {L"SAY  a   b ", {L"SAY", L"a", L"b"}},
      {L"say \"a b\" c", {L"say", L"a b", L"c"}},
      {L"say \"\"", {L"say", L""}},
      {L"say \"", {L"say", L""}},
  };
  for (const Case& c : cases) {
    lastArgs.clear();
    target->execute(c.line, false);
    EXPECT_EQ(toStrings(lastArgs), c.args) << c.line;
  }
  runs = 0;
  target->execute(L"   ", true);  // nothing to run
  EXPECT_EQ(runs, 0);
}

TEST_F(ConsoleTest, EchoAndUnknownCommands) {
  target->execute(L"nosuch x", true);
  target->execute(L"NoSuch", false);
  EXPECT_EQ(lines(), (std::vector<std::wstring>{L"> nosuch x", L"Unrecognized console commmand \"nosuch\"",
                                                L"Unrecognized console commmand \"NoSuch\""}));
}

TEST_F(ConsoleTest, RegistrationNeedsANameAndAHandler) {
  const std::size_t before = Console::commands().size();
  Console::registerCommand(L"", recordArgs, L"help");
  Console::registerCommand(L"nohandler", nullptr, L"help");
  EXPECT_EQ(Console::commands().size(), before);
  EXPECT_EQ(Console::findCommand(L"nohandler"), Console::commands().end());

  Console::registerCommand(L"TWICE", recordArgs, L"first");
  Console::registerCommand(L"twice", recordArgs, L"second");
  EXPECT_EQ(Console::commands().size(), before + 1);
  EXPECT_EQ(Console::findCommand(L"twice")->second.help, stringw(L"second"));
  EXPECT_EQ(Console::findCommand(L"TWICE"), Console::commands().end());  // exact lookup
}

TEST_F(ConsoleTest, ListShowsEveryCommandSortedWithItsHelp) {
  Console::registerCommand(L"zeta", recordArgs, L"");
  Console::registerCommand(L"alpha", recordArgs, L"alpha - first");
  target->execute(L"LIST", false);
  std::vector<std::wstring> expected;
  for (const auto& entry : Console::commands()) {
    expected.emplace_back(entry.first.c_str());
    if (!entry.second.help.empty())
      expected.push_back(L"  " + std::wstring(entry.second.help.c_str()));
  }
  EXPECT_EQ(lines(), expected);
  EXPECT_EQ(lines().front(), L"alpha");
  EXPECT_EQ(lines().back(), L"zeta");
}

TEST_F(ConsoleTest, FindMatchesAnyOrAllArguments) {
  Console::registerCommand(L"formula_dump", recordArgs, L"");
  Console::registerCommand(L"callback_dump", recordArgs, L"");
  Console::registerCommand(L"layout_dump", recordArgs, L"");
  struct Case {
    const wchar_t* line;
    std::vector<std::wstring> lines;
  };
  const Case cases[] = {
      {L"find_all dump form", {L"formula_dump"}},
      {L"find dump", {L"callback_dump", L"formula_dump", L"layout_dump"}},
      {L"find form lay", {L"formula_dump", L"layout_dump"}},
      {L"find DUMP", {L"No functions found"}},  // names are matched as typed
      {L"find zzz", {L"No functions found"}},
      {L"find", {L"find ... - Searches for all functions containing any of the arguments"}},
      {L"FIND_ALL", {L"find_all ... - Searches for all functions containing all of the arguments"}},
  };
  for (const Case& c : cases) {
    target->clear();
    target->execute(c.line, false);
    EXPECT_EQ(lines(), c.lines) << c.line;
  }
}

TEST_F(ConsoleTest, ClearEmptiesTheBuffer) {
  target->write(L"partial");
  target->execute(L"clear", false);
  EXPECT_TRUE(lines().empty());
  target->write(L" more");  // continues on a fresh line
  EXPECT_EQ(lines(), (std::vector<std::wstring>{L" more"}));
}

TEST_F(ConsoleTest, LogLinesReachTheConsole) {
  addLogSink(consoleLogSink);
  logPrint("Loading config.cfg...\n");
  logPrint("caf\xc3\xa9 %d\n", 5);
  removeLogSink(consoleLogSink);
  EXPECT_EQ(lines(), (std::vector<std::wstring>{L"Loading config.cfg...", L"caf\u00e9 5"}));
}

TEST_F(ConsoleTest, PrintsFromManyThreadsStayWholeAndInOrder) {
  constexpr int kThreads = 4;
  constexpr int kLines = 100;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int n = 0; n < kLines; ++n)
        target->print(stringw(t) + L":" + stringw(n));
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  const std::vector<std::wstring> printed = lines();
  ASSERT_EQ(printed.size(), std::size_t(kThreads * kLines));
  int next[kThreads] = {};
  for (const std::wstring& line : printed) {
    const std::size_t colon = line.find(L':');
    ASSERT_NE(colon, std::wstring::npos) << line;
    const int t = std::stoi(line.substr(0, colon));
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(std::stoi(line.substr(colon + 1)), next[t]++) << line;
  }
}

irr::SEvent guiEvent(irr::gui::IGUIElement* caller, irr::gui::EGUI_EVENT_TYPE type) {
  irr::SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = caller;
  event.GUIEvent.EventType = type;
  return event;
}

TEST_F(ConsoleTest, WindowStartsHiddenAndClosingOnlyHidesIt) {
  irr::gui::IGUIWindow* window = target->window();
  EXPECT_EQ(window->getID(), Console::kWindowId);
  EXPECT_EQ(target->inputLine()->getID(), Console::kInputId);
  EXPECT_FALSE(window->isVisible());

  target->toggleVisible();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(gui->getFocus(), target->inputLine());

  EXPECT_TRUE(dispatchGuiCallback(guiEvent(window, irr::gui::EGET_ELEMENT_CLOSED)));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(gui->getFocus(), nullptr);
  EXPECT_EQ(window->getParent(), gui->getRootGUIElement());  // not removed
  EXPECT_FALSE(dispatchGuiCallback(guiEvent(window, irr::gui::EGET_ELEMENT_FOCUSED)));
}

TEST_F(ConsoleTest, EnterRunsTheInputLineWithEcho) {
  Console::registerCommand(L"say", recordArgs, L"");
  irr::gui::IGUIEditBox* input = target->inputLine();
  input->setText(L"say \"hi there\"");
  EXPECT_TRUE(dispatchGuiCallback(guiEvent(input, irr::gui::EGET_EDITBOX_ENTER)));
  EXPECT_EQ(toStrings(lastArgs), (std::vector<std::wstring>{L"say", L"hi there"}));
  EXPECT_EQ(lines(), (std::vector<std::wstring>{L"> say \"hi there\""}));
  EXPECT_EQ(stringw(input->getText()), stringw(L""));

  runs = 0;
  EXPECT_TRUE(dispatchGuiCallback(guiEvent(input, irr::gui::EGET_EDITBOX_ENTER)));  // empty: nothing runs
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(lines().size(), 1u);
}

TEST_F(ConsoleTest, LinesElementScrollsWithKeysAndDraws) {
  for (int i = 0; i < 200; ++i)
    target->print(stringw(i));
  irr::gui::IGUIScrollBar* bar = target->scrollBar();
  const irr::s32 newest = bar->getMax();
  ASSERT_GT(newest, 0);
  EXPECT_EQ(static_cast<std::size_t>(newest), 200 - target->visibleLines());

  irr::gui::IGUIElement* linesElement = nullptr;
  for (irr::gui::IGUIElement* child : target->window()->getChildren()) {
    if (child->getType() == irr::gui::EGUIET_ELEMENT)
      linesElement = child;
  }
  ASSERT_NE(linesElement, nullptr);
  auto key = [&](irr::EKEY_CODE code) {
    irr::SEvent event{};
    event.EventType = irr::EET_KEY_INPUT_EVENT;
    event.KeyInput.Key = code;
    event.KeyInput.PressedDown = true;
    return linesElement->OnEvent(event);
  };
  EXPECT_TRUE(key(irr::KEY_HOME));
  EXPECT_EQ(bar->getPos(), 0);
  EXPECT_TRUE(key(irr::KEY_DOWN));
  EXPECT_EQ(bar->getPos(), 1);
  EXPECT_FALSE(key(irr::KEY_END));  // moves, but is not consumed
  EXPECT_EQ(bar->getPos(), newest);

  target->toggleVisible();
  device->getVideoDriver()->beginScene();
  gui->drawAll();
  device->getVideoDriver()->endScene();
}

}  // namespace

}  // namespace console_test
