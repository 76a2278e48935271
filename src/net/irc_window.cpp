#include "net/irc_window.h"

#include <angelscript.h>
#include <libircclient.h>

#include <IGUIButton.h>
#include <IGUIEditBox.h>
#include <IGUIEnvironment.h>
#include <IGUIScrollBar.h>
#include <IGUIStaticText.h>
#include <IGUIWindow.h>
#include <IVideoDriver.h>

#include <string>

#include "app/base/engine.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/text_conversions.h"
#include "gui/extended_text.h"
#include "gui/gui_ids.h"
#include "gui/gui_panel.h"
#include "gui/window_buttons.h"
#include "net/irc.h"
#include "script/script_engine.h"
#include "script/script_registration.h"

using irr::core::dimension2du;
using irr::core::rect;
using irr::core::stringw;
using irr::s32;
using namespace irr::gui;

IRCWindow* ircWindow = nullptr;

const wchar_t* const kIrcHelpText =
    L"Supported commands:\n   /msg <target> <text>\n   /me <text>\n   /nick <nickname>\n   /who\n";

namespace {

constexpr s32 kWindowWidth = 500;
constexpr s32 kWindowHeight = 350;
const dimension2du kWindowMinimum(350, 100);
const dimension2du kNickBoxMaximum(320, 20);
// Places inside the window (the button's inside the nick box, the text's
// inside the panel).
const rect<s32> kNickLabelRect(12, 21, 82, 39);
const rect<s32> kNickBoxRect(92, 21, 412, 41);
const rect<s32> kChangeNickRect(324, 0, 394, 20);
const rect<s32> kPanelRect(10, 42, 490, 320);
const rect<s32> kTextRect(4, 4, 904, 904);
const rect<s32> kChatLabelRect(12, 324, 82, 342);
const rect<s32> kChatBoxRect(84, 324, 490, 344);

template <typename T>
T* held(T* element) {
  if (element != nullptr)
    element->grab();
  return element;
}

template <typename T>
void release(T*& element) {
  if (element != nullptr)
    element->drop();
  element = nullptr;
}

bool startsWith(const stringw& text, const wchar_t* prefix) {
  const irr::u32 length = static_cast<irr::u32>(std::wcslen(prefix));
  return text.size() >= length && text.equalsn(prefix, length);
}

bool isTrimmed(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n'; }

stringw trimInput(const stringw& text) {
  irr::u32 begin = 0;
  irr::u32 end = text.size();
  while (begin < end && isTrimmed(text[begin]))
    ++begin;
  while (end > begin && isTrimmed(text[end - 1]))
    --end;
  return text.subString(begin, end - begin);
}

}  // namespace

IRCWindow::IRCWindow() {
  IGUIEnvironment* gui = engine.gui;
  readIrcSettings();
  if (ircSession() == nullptr)
    startIrcThread();
  countAtBuild_ = ircLineCount();

  id_ = reserveGuiId();
  buttonsId_ = reserveGuiId();
  s32 screenWidth = 640;
  s32 screenHeight = 480;
  if (engine.driver != nullptr) {
    screenWidth = static_cast<s32>(engine.driver->getScreenSize().Width);
    screenHeight = static_cast<s32>(engine.driver->getScreenSize().Height);
  }
  const s32 top = (screenHeight - kWindowHeight) / 2;
  window_ = held(gui->addWindow(rect<s32>(screenWidth - kWindowWidth, top, screenWidth, top + kWindowHeight), false,
                                getLocalizedText(L"#IW_Title"), nullptr, id_));
  window_->setMinSize(kWindowMinimum);
  for (IGUIButton* button : {window_->getCloseButton(), window_->getMinimizeButton(), window_->getMaximizeButton()})
    if (button != nullptr)
      button->setID(buttonsId_);

  nickLabel_ = held(gui->addStaticText(getLocalizedText(L"#IW_NickLabel"), kNickLabelRect, false, false, window_, id_));
  nickBox_ = held(gui->addEditBox(ircToWide(ircNick().c_str()).c_str(), kNickBoxRect, true, window_, id_));
  nickBox_->setMaxSize(kNickBoxMaximum);
  changeNick_ = held(gui->addButton(kChangeNickRect, nickBox_, id_, getLocalizedText(L"#IW_ChangeNick")));

  panel_ = new CGUIPanel(gui, window_, id_, kPanelRect, false, SBM_Auto, SBM_Invisible);  // our reference
  panel_->setAlignment(EGUIA_UPPERLEFT, EGUIA_LOWERRIGHT, EGUIA_UPPERLEFT, EGUIA_LOWERRIGHT);
  text_ = held(addExtendedText(gui, kTextRect, panel_, id_));
  text_->setText(getLocalizedText(L"#IW_Loading"));
  panel_->fitChildren(true, false);

  chatLabel_ = held(gui->addStaticText(getLocalizedText(L"#LW_ChatLabel"), kChatLabelRect, false, false, window_, id_));
  chatLabel_->setAlignment(EGUIA_UPPERLEFT, EGUIA_UPPERLEFT, EGUIA_LOWERRIGHT, EGUIA_LOWERRIGHT);
  chatBox_ = held(gui->addEditBox(L"", kChatBoxRect, true, window_, id_));
  chatBox_->setAlignment(EGUIA_UPPERLEFT, EGUIA_LOWERRIGHT, EGUIA_LOWERRIGHT, EGUIA_LOWERRIGHT);

  width_ = window_->getRelativePosition().getWidth();
  height_ = window_->getRelativePosition().getHeight();
  bindCallbacks();
}

IRCWindow::~IRCWindow() {
  if (irc_session_t* session = ircSession())
    irc_cmd_quit(session, "Quit");
  // The map does not own us: take our entries out before we go.
  if (guiCallbackEntry(id_).object == this)
    removeGuiCallback(id_);
  removeGuiCallback(buttonsId_);
  window_->remove();
  release(text_);
  release(chatLabel_);
  release(chatBox_);
  release(panel_);
  release(changeNick_);
  release(nickBox_);
  release(nickLabel_);
  release(window_);
}

void IRCWindow::bindCallbacks() {
  bindGuiCallbackObject(this, id_);
  bindGuiCallbackFunction(windowButtonCallback, buttonsId_);
}

void IRCWindow::relayoutWhenResized() {
  const s32 width = window_->getRelativePosition().getWidth();
  const s32 height = window_->getRelativePosition().getHeight();
  if (width == width_ && height == height_)
    return;
  width_ = width;
  height_ = height;
  panel_->fitChildren(true, false);
}

void IRCWindow::showLog() {
  IGUIScrollBar* bar = panel_->verticalScrollBar();
  const bool atEnd = bar == nullptr || !bar->isVisible() || bar->getPos() + 1 >= bar->getMax();
  text_->setText(joinedIrcLog().c_str());
  panel_->fitChildren(true, false);
  if (atEnd && bar != nullptr && bar->isVisible()) {
    bar->setPos(bar->getMax());
    panel_->updateAbsolutePosition();
  }
}

void IRCWindow::updateUserList() {
  relayoutWhenResized();
  std::string collisionNick;
  if (takeCollisionNick(collisionNick))
    nickBox_->setText(ircToWide(collisionNick.c_str()).c_str());

  irc_session_t* session = ircSession();
  if (session == nullptr)
    return;
  const uint32_t counter = ircLineCount();
  if (!irc_is_connected(session)) {
    connectIrc();
    // Lines the connect step added (a missing server, a failure) show at
    // once; the log of an earlier window waits for the connection.
    const uint32_t now = ircLineCount();
    if (now != countAtBuild_ && static_cast<int64_t>(now) != lastShown_) {
      lastShown_ = now;
      showLog();
    }
    return;
  }
  if (static_cast<int64_t>(counter) == lastShown_)
    return;
  lastShown_ = counter;
  if (ircLogEmpty())
    irc_cmd_topic(session, ircChannel().c_str(), nullptr);
  stringw title = getLocalizedText(L"#IW_Title");
  title += L" - ";
  title += stringw(ircUserCount.load());
  title += getLocalizedText(L"#IW_Users");
  window_->setText(title.c_str());
  showLog();
}

void IRCWindow::submitNick() {
  const stringw nick = trimInput(nickBox_->getText());
  if (nick.empty())
    return;
  const std::string narrow = ircToNarrow(nick);
  if (irc_session_t* session = ircSession())
    irc_cmd_nick(session, narrow.c_str());
  setIrcNick(narrow);
}

void IRCWindow::submitChat() {
  const stringw text = trimInput(chatBox_->getText());
  chatBox_->setText(L"");
  if (text.empty())
    return;
  irc_session_t* session = ircSession();
  const std::string channel = ircChannel();
  const stringw ownNick = nickBox_->getText();

  if (startsWith(text, L"/nick ")) {
    const stringw rest = text.subString(6, text.size() - 6);
    const std::string narrow = ircToNarrow(rest);
    if (session != nullptr)
      irc_cmd_nick(session, narrow.c_str());
    nickBox_->setText(rest.c_str());
    setIrcNick(narrow);
  } else if (startsWith(text, L"/me ")) {
    const stringw rest = text.subString(4, text.size() - 4);
    if (session != nullptr)
      irc_cmd_me(session, channel.c_str(), ircToNarrow(rest).c_str());
    appendIrcLine(stringw(L"#c:99e##tab:10#* ") + ownNick + L" " + escapeHashes(rest) + L"#c#\n");
  } else if (startsWith(text, L"/msg ")) {
    const stringw rest = text.subString(5, text.size() - 5);
    const s32 space = rest.findFirst(L' ');
    const stringw message = space > 0 ? rest.subString(space + 1, rest.size() - space - 1) : stringw();
    // A target without text (or text without a target) sends nothing.
    if (space <= 0 || message.empty()) {
      appendIrcLine(kIrcHelpText);
      return;
    }
    const stringw target = rest.subString(0, space);
    if (session != nullptr)
      irc_cmd_msg(session, ircToNarrow(target).c_str(), ircToNarrow(message).c_str());
    // A channel as target carries "#": doubled, it shows as written.
    appendIrcLine(stringw(L"#c:ddd##tab:10# --> ") + escapeHashes(target) + L" (PRIVMSG)#tab:200#" +
                  escapeHashes(message) + L"#c#\n");
  } else if (startsWith(text, L"/who")) {
    whoRequested = true;
    if (session != nullptr)
      irc_cmd_names(session, channel.c_str());
  } else if (startsWith(text, L"/")) {
    appendIrcLine(kIrcHelpText);
  } else {
    if (session != nullptr)
      irc_cmd_msg(session, channel.c_str(), ircToNarrow(text).c_str());
    appendIrcLine(stringw(L"#c:f88#") + ownNick + L"#c##tab:100#" + escapeHashes(text) + L"\n");
  }
}

bool IRCWindow::OnEvent(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT)
    return false;
  const IGUIElement* caller = event.GUIEvent.Caller;
  switch (event.GUIEvent.EventType) {
    case EGET_ELEMENT_CLOSED:
      if (caller != window_)
        return false;
      ircWindow = nullptr;
      delete this;
      return true;
    case EGET_BUTTON_CLICKED:
      if (caller != changeNick_)
        return false;
      submitNick();
      return true;
    case EGET_EDITBOX_ENTER:
      if (caller == nickBox_) {
        submitNick();
        return true;
      }
      if (caller == chatBox_) {
        submitChat();
        return true;
      }
      return false;
    default:
      relayoutWhenResized();
      return false;
  }
}

void openIRC() {
  if (engine.gui == nullptr) {
    logError("openIRC: there is no GUI to open the chat window on\n");
    return;
  }
  closeIRC();
  ircWindow = new IRCWindow();
}

void closeIRC() {
  IRCWindow* window = ircWindow;
  ircWindow = nullptr;
  delete window;
}

bool hasIRC() { return ircWindow != nullptr; }

void registerIrcScriptFunctions() {
  using namespace AngelScript;
  if (clientScriptEngine == nullptr)
    return;
  checked(clientScriptEngine).RegisterGlobalFunction("void openIRC()", asFUNCTION(openIRC), asCALL_CDECL);
  checked(clientScriptEngine).RegisterGlobalFunction("bool hasIRC()", asFUNCTION(hasIRC), asCALL_CDECL);
  checked(clientScriptEngine).RegisterGlobalFunction("void closeIRC()", asFUNCTION(closeIRC), asCALL_CDECL);
}
