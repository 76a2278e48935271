// The IRC chat of the process: one IRC session, the thread that runs it, the
// event handlers that turn IRC events into rich-text lines, and the log of
// the last lines that the chat window shows.
//
// The session is made once, by the IRC thread that the first chat window
// starts, and lives for the rest of the process; closing the window only
// quits the server, and the next window connects again. The IRC thread runs
// the session's event loop while a connection exists and otherwise naps.
//
// Threads: the event handlers run on the IRC thread; the window, its input
// and the connect step run on the main thread. The log, the nick and the
// connect step are taken under ircLock(); the flags and counts below are
// atomics written by the IRC thread and read by the main thread.
//
// A server line longer than the library's input buffer would leave the
// session connected but deaf: the IRC thread drops such a connection (with a
// line that says so) and the window connects again.
//
// Lines are wide rich text ("#c:ddd#" colours, "#tab:10#" positions, "##"
// for "#"): text that comes from IRC goes through escapeHashes so that it
// cannot open tags of its own. IRC text is read and sent as UTF-8.
#pragma once

#include <irrString.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct irc_session_s;
class Mutex;

// Lines the log keeps; the oldest go first.
constexpr size_t kIrcLogLimit = 100;
// A connect that fails at once is tried again after this long.
constexpr uint32_t kIrcRetryMs = 5000;
// The IRC thread's nap while it has no connection.
constexpr unsigned kIrcIdleSleepMs = 1000;
// Bytes of the buffer a nick is taken into (with its terminator).
constexpr size_t kIrcNickBuffer = 20;
// A nick in use gets a number below this appended to the base nick.
constexpr uint32_t kIrcNickSuffixRange = 10000;
// Characters of nicks that one "/who" collects at most: a server that sends
// names replies without end cannot grow the list without end.
constexpr size_t kIrcUserListLimit = 4096;
// The IRC user name and real name the server is told.
extern const char* const kIrcUserName;

// Guards the log, the nicks, the settings and the connect step.
Mutex& ircLock();

// Appends `line` to the log (under ircLock), counts it, and drops the oldest
// lines beyond kIrcLogLimit.
void appendIrcLine(const irr::core::stringw& line);
// The log's lines, oldest first.
std::vector<irr::core::stringw> ircLogLines();
// The log's lines joined without separators, oldest first.
irr::core::stringw joinedIrcLog();
bool ircLogEmpty();
// ircLineCounter: lines appended since the process started.
uint32_t ircLineCount();

// Set by every connect; cleared when the channel's topic arrives. While set,
// joins, private messages and notices are not shown.
extern std::atomic<bool> ircLoading;
// Set by "/who": the next end of a names list adds the collected nicks.
extern std::atomic<bool> whoRequested;
// Users of the channel by the last complete names list.
extern std::atomic<uint32_t> ircUserCount;

// Takes the server, channel and port from the configuration, the nick too
// the first time, and the localised "#IW_Joined", "#IW_Parted" and
// "#IW_NowKnownAs" texts. Each new window calls it.
void readIrcSettings();
std::string ircChannel();
// The nick the next connect uses.
std::string ircNick();
// The player's own choice of nick: the base that collisions number, and
// the nick used from now on.
void setIrcNick(const std::string& nick);
// A nick the server made us take (after a collision) that the window has not
// shown yet: true once per such nick, which is stored in `nick`.
bool takeCollisionNick(std::string& nick);

// The session, once the IRC thread has made it (null before).
irc_session_s* ircSession();
// Starts the IRC thread unless it runs already; it makes the session.
void startIrcThread();
// The connect step: drops any connection and connects to the configured
// server with the current nick. With no server (or an impossible port)
// nothing is tried and one line says so; a connect that fails at once is
// logged ("Connect: ...") once per run of failures and retried only after
// kIrcRetryMs.
void connectIrc();
// True while the session connects or is connected.
bool ircConnected();

// Milliseconds of a monotonic clock; tests put their own in.
using IrcClock = uint32_t (*)();
void setIrcClock(IrcClock clock);

// Text helpers shared with the window.
irr::core::stringw ircToWide(const char* text);
std::string ircToNarrow(const irr::core::stringw& text);
