// The IRC chat window: the channel's log, its user count in the title, a
// nick box with its button, and a chat box that takes text and the slash
// commands "/msg <target> <text>", "/me <text>", "/nick <nickname>" and
// "/who".
//
// Scripts open and close it ("void openIRC()", "void closeIRC()", "bool
// hasIRC()"); at most one exists. The game session refreshes it every frame
// (updateUserList), which also connects when there is no connection, and
// binds its GUI callbacks when it builds and tears down its GUI. Everything
// here runs on the main thread.
#pragma once

#include <irrString.h>

#include <cstdint>

#include "gui/base/gui_callbacks.h"

namespace irr {
namespace gui {
class CGUIExtendedText;
class CGUIPanel;
class IGUIButton;
class IGUIEditBox;
class IGUIStaticText;
class IGUIWindow;
}  // namespace gui
}  // namespace irr

class IRCWindow : public GuiCallback {
 public:
  // Builds the window on the engine's GUI and starts the IRC thread when
  // none runs yet.
  IRCWindow();
  // Quits the server ("Quit"), takes the window off the GUI and lets go of
  // its elements. The session and its thread stay for the next window.
  ~IRCWindow() override;
  IRCWindow(const IRCWindow&) = delete;
  IRCWindow& operator=(const IRCWindow&) = delete;

  bool OnEvent(const irr::SEvent& event) override;

  // Binds the window's id to this window and its title-bar buttons' id to
  // windowButtonCallback in the GUI callback map.
  void bindCallbacks();
  // The per-frame step: connects when not connected; otherwise, when lines
  // were added since the last frame, shows the log and the user count.
  void updateUserList();

  irr::gui::IGUIWindow* window() const { return window_; }
  irr::gui::IGUIEditBox* nickBox() const { return nickBox_; }
  irr::gui::IGUIEditBox* chatBox() const { return chatBox_; }
  irr::gui::IGUIButton* changeNickButton() const { return changeNick_; }
  irr::gui::CGUIPanel* panel() const { return panel_; }
  irr::gui::CGUIExtendedText* text() const { return text_; }
  int32_t id() const { return id_; }
  int32_t buttonsId() const { return buttonsId_; }

 private:
  void submitNick();
  void submitChat();
  void showLog();
  void relayoutWhenResized();

  irr::gui::IGUIWindow* window_ = nullptr;
  irr::gui::IGUIStaticText* nickLabel_ = nullptr;
  irr::gui::IGUIButton* changeNick_ = nullptr;
  irr::gui::IGUIEditBox* nickBox_ = nullptr;
  irr::gui::IGUIEditBox* chatBox_ = nullptr;
  irr::gui::CGUIPanel* panel_ = nullptr;
  irr::gui::IGUIStaticText* chatLabel_ = nullptr;
  irr::gui::CGUIExtendedText* text_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t id_ = -1;
  int32_t buttonsId_ = -1;
  // ircLineCounter as last shown (-1: nothing shown yet), and as it was when
  // the window was built.
  int64_t lastShown_ = -1;
  uint32_t countAtBuild_ = 0;
};

// The one window, or null.
extern IRCWindow* ircWindow;

// Replaces any window by a new one (nothing without a GUI).
void openIRC();
// Deletes the window, if any.
void closeIRC();
bool hasIRC();

// "void openIRC()", "bool hasIRC()" and "void closeIRC()" on the client
// engine.
void registerIrcScriptFunctions();

// The help text that an unknown or incomplete command shows.
extern const wchar_t* const kIrcHelpText;
