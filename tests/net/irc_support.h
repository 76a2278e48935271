// What the chat window's tests talk to: an ngircd server on loopback, a
// plain libircclient client of the test's own, a scripted server that sends
// exactly the lines a test gives it, and the engine, locale and client
// script engine the window needs.
//
// Everything here runs inside runInPrivateNetwork (support/network_child.h):
// only loopback exists, and each test's child has the IRC state of the
// process to itself.
#pragma once

#include <gtest/gtest.h>

#include <angelscript.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <libircclient.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <irrlicht.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "core/locale.h"
#include "gui/extended_text.h"
#include "net/irc.h"
#include "net/irc_window.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_string.h"
#include "script/server_modules.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"

namespace irctest {

using Clock = std::chrono::steady_clock;
// Only a safety net: every wait ends on its condition long before.
constexpr auto kPatience = std::chrono::seconds(60);

inline std::string narrow(const irr::core::stringw& text) { return ircToNarrow(text); }
inline std::string localized(const wchar_t* key) { return narrow(getLocalizedText(key)); }

// One frame of the session loop as far as the window goes.
inline void frame() {
  if (ircWindow != nullptr)
    ircWindow->updateUserList();
}

// Runs frames until `done` holds; false when the patience ran out.
inline bool pumpUntil(const std::function<bool()>& done) {
  const auto end = Clock::now() + kPatience;
  while (!done()) {
    if (Clock::now() > end)
      return false;
    frame();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

inline bool logHas(const std::string& line) {
  for (const irr::core::stringw& entry : ircLogLines())
    if (narrow(entry) == line)
      return true;
  return false;
}

inline std::string windowText() {
  return ircWindow != nullptr ? narrow(ircWindow->text()->getText()) : std::string("(no window)");
}

// The engine on the null driver, the English texts, and the client engine
// with the string type and the chat window's script functions.
class WindowEnvironment {
 public:
  WindowEnvironment() {
    device_ = createTestDevice();
    setEngineDevice(device_);
    loadLocaleFile(CORVANE_SOURCE_DIR "/data/Locales/english.txt", true);
    createScriptEngines();
    registerScriptString(clientScriptEngine);
    registerIrcScriptFunctions();
    AngelScript::asIScriptModule* module =
        clientScriptEngine->GetModule("irc", AngelScript::asGM_ALWAYS_CREATE);
    const char code[] =
        "void open() { openIRC(); }\n"
        "void close() { closeIRC(); }\n"
        "bool has() { return hasIRC(); }\n";
    module->AddScriptSection("irc.as", code, sizeof code - 1);
    built_ = module->Build() >= 0;
    EXPECT_TRUE(built_);
  }
  ~WindowEnvironment() {
    closeIRC();
    discardScriptModules();
    releaseScriptEngines();
    setEngineDevice(nullptr);
    device_->drop();
  }

  // Runs one of the module's functions on the client engine.
  bool call(const char* declaration) {
    if (!built_)
      return false;
    AngelScript::asIScriptFunction* function =
        clientScriptEngine->GetModule("irc")->GetFunctionByDecl(declaration);
    AngelScript::asIScriptContext* context = createScriptContext(clientScriptEngine);
    context->Prepare(function);
    const int state = context->Execute();
    bool result = false;
    if (function->GetReturnTypeId() == AngelScript::asTYPEID_BOOL)
      result = context->GetReturnByte() != 0;
    context->Release();
    EXPECT_EQ(state, AngelScript::asEXECUTION_FINISHED) << declaration;
    return result;
  }
  void openIRC() { call("void open()"); }
  void closeIRC() { call("void close()"); }
  bool hasIRC() { return call("bool has()"); }

 private:
  irr::IrrlichtDevice* device_ = nullptr;
  bool built_ = false;
};

// Enter pressed in one of the window's edit boxes, after typing `text`.
inline void typeAndEnter(irr::gui::IGUIEditBox* box, const wchar_t* text) {
  box->setText(text);
  irr::SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = box;
  event.GUIEvent.EventType = irr::gui::EGET_EDITBOX_ENTER;
  EXPECT_TRUE(dispatchGuiCallback(event));
}

// Connects to 127.0.0.1:`port`; true once a connect went through.
inline bool portAccepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return open;
}

// ngircd on 127.0.0.1:`port`, with the channel "#corvane" and its topic.
// The server runs in a user namespace of its own in which it is the user
// "nobody" (65534), which it takes itself for when started as root.
class NgircdServer {
 public:
  static constexpr const char* kTopic = "Fleet talk #c:f00# only";

  explicit NgircdServer(int port) : port_(port) {
    folder_ = scratchDir().string();
    const std::string config = folder_ + "/ngircd.conf";
    logPath_ = folder_ + "/ngircd.log";
    std::ofstream(config) << "[Global]\nName = irc.test\nInfo = chat window tests\nListen = 127.0.0.1\n"
                          << "Ports = " << port << "\nPidFile = " << folder_ << "/ngircd.pid\n"
                          << "ServerUID = 65534\nServerGID = 65534\n"
                          << "[Limits]\nMaxNickLength = 30\n"
                          << "[Options]\nPAM = no\nDNS = no\nIdent = no\n"
                          << "[Channel]\nName = #corvane\nTopic = " << kTopic << "\n";
    const char* binary = ::access("/usr/sbin/ngircd", X_OK) == 0 ? "/usr/sbin/ngircd" : "ngircd";
    const std::string uidMap = "65534 " + std::to_string(::geteuid()) + " 1\n";
    const std::string gidMap = "65534 " + std::to_string(::getegid()) + " 1\n";
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
      }
      if (::unshare(CLONE_NEWUSER) == 0) {
        writeOwn("/proc/self/setgroups", "deny");
        writeOwn("/proc/self/uid_map", uidMap);
        writeOwn("/proc/self/gid_map", gidMap);
      }
      ::execlp(binary, binary, "-n", "-f", config.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto end = Clock::now() + kPatience;
    while (!(ready_ = portAccepts(port_)) && Clock::now() < end && running())
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~NgircdServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool ready() const { return ready_; }
  std::string log() const {
    std::ifstream in(logPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  static void writeOwn(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY);
    if (fd >= 0) {
      (void)!::write(fd, text.data(), text.size());
      ::close(fd);
    }
  }
  bool running() const { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }

  int port_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string folder_;
  std::string logPath_;
};

// A plain libircclient client that records every event as a line
// "<EVENT> <origin nick>|<param>|<param>...", driven by a thread of its own.
class TestIrcClient {
 public:
  TestIrcClient(const char* nick, int port) {
    irc_callbacks_t callbacks{};
    callbacks.event_connect = record;
    callbacks.event_nick = record;
    callbacks.event_quit = record;
    callbacks.event_join = record;
    callbacks.event_part = record;
    callbacks.event_channel = record;
    callbacks.event_privmsg = record;
    callbacks.event_ctcp_action = record;
    callbacks.event_numeric = recordNumeric;
    session_ = irc_create_session(&callbacks);
    irc_set_ctx(session_, this);
    irc_option_set(session_, LIBIRC_OPTION_STRIPNICKS);
    EXPECT_EQ(irc_connect(session_, "127.0.0.1", static_cast<unsigned short>(port), nullptr, nick, "tester", "Tester"),
              0);
    thread_ = std::thread([this] { loop(); });
  }
  ~TestIrcClient() {
    stop_ = true;
    thread_.join();
    irc_destroy_session(session_);
  }

  // Runs `command` on the session, between two turns of the client's loop.
  void send(const std::function<void(irc_session_t*)>& command) {
    std::lock_guard<std::mutex> guard(lock_);
    command(session_);
  }
  std::vector<std::string> events() {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
  }
  bool saw(const std::string& event) {
    for (const std::string& seen : events())
      if (seen == event)
        return true;
    return false;
  }
  // Waits (running the window's frames meanwhile) for an event.
  bool waitFor(const std::string& event) {
    return pumpUntil([&] { return saw(event); });
  }
  bool waitFor(const std::function<bool(const std::string&)>& match) {
    return pumpUntil([&] {
      for (const std::string& seen : events())
        if (match(seen))
          return true;
      return false;
    });
  }

 private:
  static void note(irc_session_t* session, const std::string& event, const char* origin, const char** params,
                   unsigned count) {
    auto* self = static_cast<TestIrcClient*>(irc_get_ctx(session));
    std::string line = event + " " + (origin != nullptr ? origin : "");
    for (unsigned i = 0; i < count; ++i)
      line += std::string("|") + params[i];
    self->events_.push_back(line);  // the loop holds lock_
  }
  static void record(irc_session_t* session, const char* event, const char* origin, const char** params,
                     unsigned count) {
    note(session, event, origin, params, count);
  }
  static void recordNumeric(irc_session_t* session, unsigned event, const char* origin, const char** params,
                            unsigned count) {
    note(session, std::to_string(event), origin, params, count);
  }
  void loop() {
    while (!stop_) {
      fd_set in;
      fd_set out;
      FD_ZERO(&in);
      FD_ZERO(&out);
      int maxfd = 0;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (!irc_is_connected(session_))
          break;
        irc_add_select_descriptors(session_, &in, &out, &maxfd);
      }
      timeval wait{0, 20000};
      if (::select(maxfd + 1, &in, &out, nullptr, &wait) < 0)
        continue;
      std::lock_guard<std::mutex> guard(lock_);
      if (irc_process_select_descriptors(session_, &in, &out) != 0)
        break;
    }
  }

  irc_session_t* session_ = nullptr;
  std::mutex lock_;
  std::vector<std::string> events_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A server that sends exactly what the test says: it listens on
// 127.0.0.1:`port`, takes connections one by one and reads their lines.
class ScriptedIrcServer {
 public:
  explicit ScriptedIrcServer(int port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 4), 0);
  }
  ~ScriptedIrcServer() {
    if (client_ >= 0)
      ::close(client_);
    ::close(listener_);
  }

  // Waits (running frames) for the next connection; the previous one is
  // closed.
  bool accept() {
    if (client_ >= 0)
      ::close(client_);
    client_ = -1;
    closed_ = false;
    buffer_.clear();
    lines_.clear();
    return pumpUntil([&] {
      pollfd wait{listener_, POLLIN, 0};
      if (::poll(&wait, 1, 0) <= 0)
        return false;
      client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      return client_ >= 0;
    });
  }
  void send(const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
      const ssize_t n = ::send(client_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
      if (n <= 0)
        return;
      sent += static_cast<size_t>(n);
    }
  }
  // Waits (running frames) for a line from the client that begins with
  // `prefix`; the lines before it are skipped. Empty when none came.
  std::string waitForLine(const std::string& prefix) {
    std::string found;
    pumpUntil([&] {
      readAvailable();
      while (!lines_.empty()) {
        const std::string line = lines_.front();
        lines_.erase(lines_.begin());
        if (line.compare(0, prefix.size(), prefix) == 0) {
          found = line;
          return true;
        }
      }
      return closed_;
    });
    return found;
  }
  bool closed() {
    readAvailable();
    return closed_;
  }

 private:
  void readAvailable() {
    if (client_ < 0)
      return;
    char chunk[4096];
    for (;;) {
      pollfd wait{client_, POLLIN, 0};
      if (::poll(&wait, 1, 0) <= 0)
        break;
      const ssize_t n = ::recv(client_, chunk, sizeof chunk, 0);
      if (n <= 0) {
        closed_ = true;
        break;
      }
      buffer_.append(chunk, static_cast<size_t>(n));
    }
    size_t end;
    while ((end = buffer_.find("\r\n")) != std::string::npos) {
      lines_.push_back(buffer_.substr(0, end));
      buffer_.erase(0, end + 2);
    }
  }

  int listener_ = -1;
  int client_ = -1;
  bool closed_ = false;
  std::string buffer_;
  std::vector<std::string> lines_;
};

}  // namespace irctest
