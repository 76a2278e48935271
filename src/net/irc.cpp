#include "net/irc.h"

#include <libircclient.h>

#include <sys/select.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>

#include "app/base/config.h"
#include "core/locale.h"
#include "core/locks.h"
#include "core/random.h"
#include "core/text_conversions.h"
#include "core/threads.h"
#include "core/utf8.h"
#include "platform/thread.h"

using irr::core::stringw;

const char* const kIrcUserName = "Unknown";

std::atomic<bool> ircLoading{true};
std::atomic<bool> whoRequested{false};
std::atomic<uint32_t> ircUserCount{0};

namespace {

constexpr int kLowestPort = 1;
// The connection loop's wait for its socket, as the library's own loop.
constexpr long kIrcSelectWaitMicroseconds = 250000;
constexpr int kHighestPort = 65535;

// Everything below but the atomics is taken under ircLock.
struct IrcState {
  std::deque<stringw> log;
  uint32_t lineCounter = 0;

  std::string server;
  std::string channel;
  int32_t port = 0;
  bool settingsRead = false;
  // The nick collisions number, and the nick in use.
  std::string baseNick;
  std::string nick;
  std::string collisionNick;
  bool collisionNickPending = false;

  stringw joinedText;
  stringw partedText;
  stringw nowKnownAsText;

  // The connect step: a missing server is said once per window; failures
  // at once are said once per run of them.
  bool settingsProblemShown = false;
  bool failing = false;
  uint32_t lastFailureMs = 0;
};

IrcState& state() {
  static IrcState* instance = new IrcState();  // lives for the process, as the session
  return *instance;
}

// The nick suffixes' own generator: the game's sequences stay untouched.
MersenneTwister& nickRandom() {
  static MersenneTwister* generator = new MersenneTwister(static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^
      std::chrono::system_clock::now().time_since_epoch().count()));
  return *generator;
}

// Names-list state, touched only by the IRC thread's handlers. The list
// outlives the process's static objects, as the thread does.
uint32_t countingUsers = 0;
stringw& ircUserList() {
  static stringw* list = new stringw();
  return *list;
}

std::atomic<irc_session_t*> session{nullptr};
std::atomic<bool> threadStarted{false};

uint32_t steadyClockMs() {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}
std::atomic<IrcClock> ircClock{steadyClockMs};

// Parameter `index`, or the empty text when the server sent fewer.
const char* param(const char** params, unsigned count, unsigned index) {
  return index < count && params[index] != nullptr ? params[index] : "";
}

stringw originNick(const char* origin) {
  if (origin == nullptr)
    return stringw();
  char nick[kIrcNickBuffer];
  irc_target_get_nick(origin, nick, sizeof nick);
  return ircToWide(nick);
}

stringw escaped(const char* text) { return escapeHashes(ircToWide(text)); }

stringw ircErrorText(irc_session_t* s) { return ircToWide(irc_strerror(irc_errno(s))); }

// --- Event handlers (IRC thread) ---

void onConnect(irc_session_t* s, const char*, const char*, const char**, unsigned) {
  std::string channel;
  {
    MutexGuard guard(ircLock());
    channel = state().channel;
  }
  if (irc_cmd_join(s, channel.c_str(), nullptr) != 0)
    appendIrcLine(stringw(L"Join: ") + ircErrorText(s) + L"\n");
}

void onNick(irc_session_t*, const char*, const char* origin, const char** params, unsigned count) {
  if (count < 1)
    return;
  MutexGuard guard(ircLock());
  appendIrcLine(stringw(L"#c:ddd##tab:10#* ") + originNick(origin) + state().nowKnownAsText +
                escaped(params[0]) + L"#c#\n");
}

void onQuitOrPart(irc_session_t*, const char*, const char* origin, const char** params, unsigned count) {
  MutexGuard guard(ircLock());
  stringw line = stringw(L"#c:e99##tab:10#* ") + originNick(origin) + state().partedText;
  if (count >= 2)
    line += stringw(L" (") + escaped(params[1]) + L")";
  appendIrcLine(line + L"#c#\n");
}

void onJoin(irc_session_t*, const char*, const char* origin, const char**, unsigned) {
  if (ircLoading.load())
    return;
  MutexGuard guard(ircLock());
  appendIrcLine(stringw(L"#c:9e9##tab:10#* ") + originNick(origin) + state().joinedText + L"#c#\n");
}

void onChannel(irc_session_t*, const char*, const char* origin, const char** params, unsigned count) {
  if (count < 1)
    return;
  appendIrcLine(stringw(L"#c:759ca6#") + originNick(origin) + L"#c##tab:100#" + escaped(param(params, count, 1)) +
                L"\n");
}

void onPrivateMessage(irc_session_t*, const char*, const char* origin, const char** params, unsigned count) {
  if (count < 1 || ircLoading.load())
    return;
  appendIrcLine(stringw(L"#c:ddd##tab:10#") + originNick(origin) + L" (PRIVMSG)#tab:200#" +
                escaped(param(params, count, 1)) + L"#c#\n");
}

// The action's first parameter is its target (channel or nick), the text
// is the last.
void onAction(irc_session_t*, const char*, const char* origin, const char** params, unsigned count) {
  if (count < 1)
    return;
  appendIrcLine(stringw(L"#c:99e##tab:10#* ") + originNick(origin) + L" " + escaped(params[count - 1]) + L"#c#\n");
}

// A new nick after a collision: the base nick and one number, so repeated
// collisions never make it longer.
void onNickTaken(irc_session_t* s) {
  MutexGuard guard(ircLock());
  IrcState& st = state();
  st.nick = st.baseNick + std::to_string(nickRandom().nextUInt32() % kIrcNickSuffixRange);
  st.collisionNick = st.nick;
  st.collisionNickPending = true;
  if (irc_is_connected(s))
    irc_cmd_nick(s, st.nick.c_str());
  else
    connectIrc();
}

constexpr unsigned kTopicReply = 332;
constexpr unsigned kNamesReply = 353;
constexpr unsigned kEndOfNames = 366;
constexpr unsigned kNickInUse = 433;
constexpr unsigned kNickCollision = 436;

void onNumeric(irc_session_t* s, unsigned event, const char*, const char** params, unsigned count) {
  switch (event) {
    case kTopicReply:
      if (count >= 3) {
        // Loading ends before the line shows, so whoever sees the topic sees
        // the private messages that follow it.
        ircLoading = false;
        appendIrcLine(stringw(L"#c:afa#") + escaped(params[2]) + L"#c#\n");
      }
      break;
    case kNamesReply:
      // Nick, "=", channel, names: a shorter reply counts nobody.
      if (count >= 4) {
        const stringw names = escaped(params[3]);
        uint32_t spaces = 0;
        for (irr::u32 i = 0; i < names.size(); ++i)
          spaces += names[i] == L' ' ? 1 : 0;
        countingUsers += 1 + spaces;
        stringw& list = ircUserList();
        if (whoRequested.load() && list.size() + 1 + names.size() <= kIrcUserListLimit) {
          if (!list.empty())
            list += L" ";
          list += names;
        }
      }
      break;
    case kEndOfNames:
      if (whoRequested.load()) {
        appendIrcLine(ircUserList() + L"\n");
        ircUserList() = L"";
        whoRequested = false;
      }
      ircUserCount = countingUsers;
      countingUsers = 0;
      break;
    case kNickInUse:
    case kNickCollision:
      onNickTaken(s);
      break;
    default:
      break;
  }
}

irc_session_t* createSession() {
  static irc_callbacks_t callbacks{};
  callbacks.event_connect = onConnect;
  callbacks.event_nick = onNick;
  callbacks.event_quit = onQuitOrPart;
  callbacks.event_part = onQuitOrPart;
  callbacks.event_join = onJoin;
  callbacks.event_channel = onChannel;
  callbacks.event_privmsg = onPrivateMessage;
  callbacks.event_notice = onPrivateMessage;
  callbacks.event_ctcp_action = onAction;
  callbacks.event_numeric = onNumeric;
  return irc_create_session(&callbacks);
}

// One connection's event loop, as the library's own irc_run, with one more
// check: the library stops reading while its input buffer holds no line end,
// so a server line longer than the buffer would leave the session connected
// and deaf for good. A session that waits for nothing is dropped instead, and
// the window connects again.
void runConnection(irc_session_t* s) {
  while (irc_is_connected(s)) {
    fd_set in;
    fd_set out;
    FD_ZERO(&in);
    FD_ZERO(&out);
    int maxfd = 0;
    if (irc_add_select_descriptors(s, &in, &out, &maxfd) != 0)
      return;
    if (maxfd == 0) {
      irc_disconnect(s);
      appendIrcLine(L"The IRC server sent a line too long to read: connecting again.\n");
      return;
    }
    timeval wait{0, kIrcSelectWaitMicroseconds};
    if (::select(maxfd + 1, &in, &out, nullptr, &wait) < 0) {
      if (errno == EINTR)
        continue;
      irc_disconnect(s);
      return;
    }
    if (irc_process_select_descriptors(s, &in, &out) != 0) {
      // The connection failed or ended; what is left of it goes too.
      if (irc_is_connected(s))
        irc_disconnect(s);
      return;
    }
  }
}

unsigned ircThreadMain(void*) {
  if (session.load() == nullptr) {
    irc_session_t* made = createSession();
    if (made == nullptr) {
      appendIrcLine(L"The IRC session could not be made.\n");
      return 1;
    }
    session = made;
  }
  irc_session_t* s = session.load();
  for (;;) {
    if (irc_is_connected(s))
      runConnection(s);
    else
      plat::sleepMs(kIrcIdleSleepMs);
  }
}

}  // namespace

Mutex& ircLock() {
  static Mutex* lock = new Mutex();
  return *lock;
}

void appendIrcLine(const stringw& line) {
  MutexGuard guard(ircLock());
  IrcState& st = state();
  st.log.push_back(line);
  ++st.lineCounter;
  while (st.log.size() > kIrcLogLimit)
    st.log.pop_front();
}

std::vector<stringw> ircLogLines() {
  MutexGuard guard(ircLock());
  return std::vector<stringw>(state().log.begin(), state().log.end());
}

stringw joinedIrcLog() {
  MutexGuard guard(ircLock());
  stringw text;
  for (const stringw& line : state().log)
    text += line;
  return text;
}

bool ircLogEmpty() {
  MutexGuard guard(ircLock());
  return state().log.empty();
}

uint32_t ircLineCount() {
  MutexGuard guard(ircLock());
  return state().lineCounter;
}

void readIrcSettings() {
  const stringw joined = getLocalizedText(L"#IW_Joined");
  const stringw parted = getLocalizedText(L"#IW_Parted");
  const stringw nowKnownAs = getLocalizedText(L"#IW_NowKnownAs");
  MutexGuard guard(ircLock());
  IrcState& st = state();
  st.server = sServer.c_str();
  st.channel = sChannel.c_str();
  st.port = iPort;
  if (!st.settingsRead) {
    st.baseNick = st.nick = sNickname.c_str();
    st.settingsRead = true;
  }
  st.joinedText = joined;
  st.partedText = parted;
  st.nowKnownAsText = nowKnownAs;
  st.settingsProblemShown = false;
}

std::string ircChannel() {
  MutexGuard guard(ircLock());
  return state().channel;
}

std::string ircNick() {
  MutexGuard guard(ircLock());
  return state().nick;
}

void setIrcNick(const std::string& nick) {
  MutexGuard guard(ircLock());
  state().baseNick = state().nick = nick;
}

bool takeCollisionNick(std::string& nick) {
  MutexGuard guard(ircLock());
  if (!state().collisionNickPending)
    return false;
  state().collisionNickPending = false;
  nick = state().collisionNick;
  return true;
}

irc_session_s* ircSession() { return session.load(); }

void startIrcThread() {
  if (threadStarted.exchange(true))
    return;
  Thread thread;
  if (!thread.start(ircThreadMain, nullptr, true)) {
    threadStarted = false;
    appendIrcLine(L"The IRC thread could not be started.\n");
  }
}

bool ircConnected() {
  irc_session_t* s = session.load();
  return s != nullptr && irc_is_connected(s) != 0;
}

void connectIrc() {
  irc_session_t* s = session.load();
  if (s == nullptr)
    return;
  MutexGuard guard(ircLock());
  IrcState& st = state();
  if (st.server.empty() || st.port < kLowestPort || st.port > kHighestPort) {
    if (!st.settingsProblemShown) {
      st.settingsProblemShown = true;
      if (st.server.empty()) {
        appendIrcLine(L"No IRC server is configured (config.cfg, section \"irc\", key \"sServer\").\n");
      } else {
        char text[96];
        std::snprintf(text, sizeof text, "The IRC port %d is out of range (1 to 65535).\n", static_cast<int>(st.port));
        appendIrcLine(ircToWide(text));
      }
    }
    return;
  }
  const uint32_t now = ircClock.load()();
  if (st.failing && now - st.lastFailureMs < kIrcRetryMs)
    return;
  irc_disconnect(s);
  if (irc_connect(s, st.server.c_str(), static_cast<unsigned short>(st.port), nullptr, st.nick.c_str(),
                  kIrcUserName, kIrcUserName) != 0) {
    st.lastFailureMs = now;
    if (!st.failing) {
      st.failing = true;
      appendIrcLine(stringw(L"Connect: ") + ircErrorText(s) + L"\n");
    }
  } else {
    st.failing = false;
  }
  ircLoading = true;
}

void setIrcClock(IrcClock clock) { ircClock = clock != nullptr ? clock : steadyClockMs; }

stringw ircToWide(const char* text) {
  if (text == nullptr)
    return stringw();
  const std::wstring wide = utf8ToWide(text);
  return stringw(wide.c_str());
}

std::string ircToNarrow(const stringw& text) { return wideToUtf8(std::wstring(text.c_str(), text.size())); }
