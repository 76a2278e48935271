// The IRC chat window against a real IRC server (ngircd on loopback) and a
// scripted one: joining, the lines IRC events become, the chat box's
// commands, nick collisions, closing and opening again, and a server that
// sends what it should not.
#include <gtest/gtest.h>

#include <IGUIEditBox.h>
#include <IGUIWindow.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/random.h"
#include "irc_support.h"
#include "support/network_child.h"

namespace irc_window_test {

namespace {

using namespace irctest;

constexpr int kPort = 16667;
// "VOZerara" and one number of 1 to 4 digits.
bool isNumberedNick(const std::string& nick) {
  const std::string base = "VOZerara";
  if (nick.compare(0, base.size(), base) != 0)
    return false;
  const std::string digits = nick.substr(base.size());
  return !digits.empty() && digits.size() <= 4 && digits.find_first_not_of("0123456789") == std::string::npos;
}

void configure(const char* server, int port) {
  sServer = server;
  iPort = port;
  sChannel = "#corvane";
  sNickname = "VOZerara";
}

std::string joinedEvents(TestIrcClient& client) {
  std::string text;
  for (const std::string& event : client.events())
    text += event + "\n";
  return text;
}

// A client of the test's own in "#corvane".
void joinChannel(TestIrcClient& client, const std::string& nick) {
  ASSERT_TRUE(client.waitFor([](const std::string& e) { return e.rfind("CONNECT", 0) == 0; }))
      << joinedEvents(client);
  client.send([](irc_session_t* s) { irc_cmd_join(s, "#corvane", nullptr); });
  ASSERT_TRUE(client.waitFor("JOIN " + nick + "|#corvane")) << joinedEvents(client);
}

// The window joined: our JOIN seen by `witness` and the topic line shown.
void openAndJoin(WindowEnvironment& env, TestIrcClient& witness) {
  const uint32_t before = ircLineCount();
  env.openIRC();
  ASSERT_TRUE(env.hasIRC());
  ASSERT_TRUE(witness.waitFor("JOIN VOZerara|#corvane")) << joinedEvents(witness);
  // Loading ends just before the topic line is added: wait for the line too,
  // so that it cannot land among a test's own lines.
  const std::string topicLine = "#c:afa#Fleet talk ##c:f00## only#c#\n";
  ASSERT_TRUE(pumpUntil([&] {
    if (ircLoading.load())
      return false;
    const std::vector<irr::core::stringw> lines = ircLogLines();
    const size_t added = std::min<size_t>(ircLineCount() - before, lines.size());
    for (size_t i = lines.size() - added; i < lines.size(); ++i)
      if (narrow(lines[i]) == topicLine)
        return true;
    return false;
  }));
}

std::string lastLine() {
  const std::vector<irr::core::stringw> lines = ircLogLines();
  return lines.empty() ? std::string() : narrow(lines.back());
}

}  // namespace

// Joining, the lines of the events other users cause, and what the chat box
// sends and shows.
TEST(IrcWindowTest, JoinsShowsEventLinesAndTakesInput) {
  privatenet::runInPrivateNetwork([] {
    NgircdServer server(kPort);
    ASSERT_TRUE(server.ready()) << server.log();
    WindowEnvironment env;
    configure("127.0.0.1", kPort);
    TestIrcClient tester("Tester", kPort);
    joinChannel(tester, "Tester");

    // "openIRC()" from the client engine: the server sees us join, the
    // topic (its "#" doubled) ends the loading state.
    env.openIRC();
    ASSERT_TRUE(env.hasIRC());
    EXPECT_EQ(windowText(), localized(L"#IW_Loading"));
    ASSERT_TRUE(tester.waitFor("JOIN VOZerara|#corvane")) << joinedEvents(tester);
    const std::string topicLine = "#c:afa#Fleet talk ##c:f00## only#c#\n";
    ASSERT_TRUE(pumpUntil([&] { return logHas(topicLine); }));
    EXPECT_FALSE(ircLoading.load());

    // What the test's clients do, and the line each gives.
    TestIrcClient visitor("Visitor", kPort);
    ASSERT_TRUE(visitor.waitFor([](const std::string& e) { return e.rfind("CONNECT", 0) == 0; }));
    const std::string joined = localized(L"#IW_Joined");
    const std::string parted = localized(L"#IW_Parted");
    const std::string nowKnownAs = localized(L"#IW_NowKnownAs");
    const struct {
      TestIrcClient* client;
      std::function<void(irc_session_t*)> act;
      std::string line;
    } cases[] = {
        {&tester, [](irc_session_t* s) { irc_cmd_msg(s, "#corvane", "hello #c:f00# there"); },
         "#c:759ca6#Tester#c##tab:100#hello ##c:f00## there\n"},
        // The action's text, not its target.
        {&tester, [](irc_session_t* s) { irc_cmd_me(s, "#corvane", "waves"); }, "#c:99e##tab:10#* Tester waves#c#\n"},
        {&tester, [](irc_session_t* s) { irc_cmd_msg(s, "VOZerara", "psst"); },
         "#c:ddd##tab:10#Tester (PRIVMSG)#tab:200#psst#c#\n"},
        {&visitor, [](irc_session_t* s) { irc_cmd_join(s, "#corvane", nullptr); },
         "#c:9e9##tab:10#* Visitor" + joined + "#c#\n"},
        {&visitor, [](irc_session_t* s) { irc_cmd_nick(s, "Guest"); },
         "#c:ddd##tab:10#* Visitor" + nowKnownAs + "Guest#c#\n"},
        {&visitor, [](irc_session_t* s) { irc_send_raw(s, "PART #corvane :gone fishing"); },
         "#c:e99##tab:10#* Guest" + parted + " (gone fishing)#c#\n"},
        {&visitor, [](irc_session_t* s) { irc_cmd_join(s, "#corvane", nullptr); },
         "#c:9e9##tab:10#* Guest" + joined + "#c#\n"},
        // The server's QUIT carries its reason as the only parameter.
        {&visitor, [](irc_session_t* s) { irc_cmd_quit(s, "bye"); }, "#c:e99##tab:10#* Guest" + parted + "#c#\n"},
    };
    for (const auto& row : cases) {
      row.client->send(row.act);
      EXPECT_TRUE(pumpUntil([&] { return logHas(row.line); })) << row.line;
    }
    // Two users: the title counts them.
    EXPECT_EQ(narrow(ircWindow->window()->getText()),
              localized(L"#IW_Title") + " - 2" + localized(L"#IW_Users"));

    // The chat box: what the server gets and the line shown.
    const struct {
      const wchar_t* typed;
      std::string testerSees;
      std::string line;
    } typed[] = {
        {L"/me waves", "ACTION VOZerara|#corvane|waves", "#c:99e##tab:10#* VOZerara waves#c#\n"},
        {L"/msg Tester hi", "PRIVMSG VOZerara|Tester|hi", "#c:ddd##tab:10# --> Tester (PRIVMSG)#tab:200#hi#c#\n"},
        {L"  good evening \t", "CHANNEL VOZerara|#corvane|good evening",
         "#c:f88#VOZerara#c##tab:100#good evening\n"},
    };
    for (const auto& row : typed) {
      typeAndEnter(ircWindow->chatBox(), row.typed);
      EXPECT_EQ(lastLine(), row.line);
      EXPECT_TRUE(tester.waitFor(row.testerSees)) << joinedEvents(tester);
      EXPECT_EQ(narrow(ircWindow->chatBox()->getText()), "");
    }

    // Unknown and incomplete commands: the help text alone, nothing sent.
    for (const wchar_t* text : {L"/", L"/x", L"/msg Tester", L"/msg Tester   "}) {
      const uint32_t before = ircLineCount();
      typeAndEnter(ircWindow->chatBox(), text);
      EXPECT_EQ(ircLineCount(), before + 1);
      EXPECT_EQ(lastLine(), narrow(kIrcHelpText));
    }
    typeAndEnter(ircWindow->chatBox(), L"after the help");
    ASSERT_TRUE(tester.waitFor("CHANNEL VOZerara|#corvane|after the help"));
    int privateMessages = 0;
    for (const std::string& event : tester.events())
      privateMessages += event.rfind("PRIVMSG VOZerara|", 0) == 0 ? 1 : 0;
    EXPECT_EQ(privateMessages, 1) << joinedEvents(tester);

    // "/who" (more letters still count): one line with every nick.
    const uint32_t before = ircLineCount();
    typeAndEnter(ircWindow->chatBox(), L"/whois");
    ASSERT_TRUE(pumpUntil([&] { return ircLineCount() == before + 1; }));
    const std::string who = lastLine();
    EXPECT_NE(who.find("Tester"), std::string::npos) << who;
    EXPECT_NE(who.find("VOZerara"), std::string::npos) << who;
    EXPECT_EQ(who.back(), '\n');
    EXPECT_FALSE(whoRequested.load());
    EXPECT_EQ(ircUserCount.load(), 2u);

    // The window shows the log as it is.
    ASSERT_TRUE(pumpUntil([] { return windowText() == narrow(joinedIrcLog()); }));
  });
}

// A nick in use gets the base nick and one number, again and again; the
// game's random sequence does not notice.
TEST(IrcWindowTest, NickCollisionsNumberTheBaseNickAndLeaveTheGameSequence) {
  privatenet::runInPrivateNetwork([] {
    NgircdServer server(kPort);
    ASSERT_TRUE(server.ready()) << server.log();
    WindowEnvironment env;
    configure("127.0.0.1", kPort);
    TestIrcClient tester("VOZerara", kPort);
    joinChannel(tester, "VOZerara");

    constexpr uint32_t kSeed = 4242;
    seedProcessRandom(kSeed);
    std::vector<int> expected;
    for (int i = 0; i < 16; ++i)
      expected.push_back(processRandom());
    seedProcessRandom(kSeed);

    std::string first;
    const auto joinedNumbered = [&](std::string& nick, const std::string& not_) {
      return tester.waitFor([&](const std::string& e) {
        const std::string prefix = "JOIN ";
        const std::string suffix = "|#corvane";
        if (e.size() <= prefix.size() + suffix.size() || e.compare(0, prefix.size(), prefix) != 0 ||
            e.compare(e.size() - suffix.size(), suffix.size(), suffix) != 0)
          return false;
        const std::string joined = e.substr(prefix.size(), e.size() - prefix.size() - suffix.size());
        if (joined == not_ || joined == "VOZerara")
          return false;
        nick = joined;
        return true;
      });
    };
    env.openIRC();
    ASSERT_TRUE(joinedNumbered(first, "")) << joinedEvents(tester);
    EXPECT_TRUE(isNumberedNick(first)) << first;
    EXPECT_TRUE(pumpUntil([&] { return narrow(ircWindow->nickBox()->getText()) == first; }));

    // Our numbered nick taken while we were away: the next number replaces
    // the old one.
    env.closeIRC();
    ASSERT_TRUE(tester.waitFor("QUIT " + first + "|\"Quit\""));
    ASSERT_TRUE(pumpUntil([] { return !ircConnected(); }));
    TestIrcClient blocker(first.c_str(), kPort);
    ASSERT_TRUE(blocker.waitFor([](const std::string& e) { return e.rfind("CONNECT", 0) == 0; }));
    env.openIRC();
    std::string second;
    ASSERT_TRUE(joinedNumbered(second, first)) << joinedEvents(tester);
    EXPECT_TRUE(isNumberedNick(second)) << second;
    EXPECT_LE(ircNick().size(), std::string("VOZerara").size() + 4);

    std::vector<int> drawn;
    for (int i = 0; i < 16; ++i)
      drawn.push_back(processRandom());
    EXPECT_EQ(drawn, expected);
  });
}

// The 101st line drops the oldest and the window shows it; closing quits the
// server; opening again reconnects and shows the loading text first.
TEST(IrcWindowTest, LogLimitCloseAndOpenAgain) {
  privatenet::runInPrivateNetwork([] {
    NgircdServer server(kPort);
    ASSERT_TRUE(server.ready()) << server.log();
    WindowEnvironment env;
    configure("127.0.0.1", kPort);
    TestIrcClient tester("Tester", kPort);
    joinChannel(tester, "Tester");
    openAndJoin(env, tester);

    const uint32_t counter = ircLineCount();
    for (int i = 0; i < 101; ++i)
      appendIrcLine(irr::core::stringw(L"line ") + irr::core::stringw(i) + L"\n");
    const std::vector<irr::core::stringw> lines = ircLogLines();
    ASSERT_EQ(lines.size(), kIrcLogLimit);
    EXPECT_EQ(narrow(lines.front()), "line 1\n");
    EXPECT_EQ(narrow(lines.back()), "line 100\n");
    EXPECT_EQ(ircLineCount(), counter + 101);
    frame();
    EXPECT_EQ(windowText(), narrow(joinedIrcLog()));

    env.closeIRC();
    EXPECT_FALSE(env.hasIRC());
    ASSERT_TRUE(tester.waitFor("QUIT VOZerara|\"Quit\"")) << joinedEvents(tester);
    ASSERT_TRUE(pumpUntil([&] {
      return server.log().find("User \"VOZerara!~Unknown@127.0.0.1\" unregistered") != std::string::npos;
    })) << server.log();
    ASSERT_TRUE(pumpUntil([] { return !ircConnected(); }));

    env.openIRC();
    EXPECT_EQ(windowText(), localized(L"#IW_Loading"));
    frame();  // connects
    EXPECT_TRUE(ircConnected());
    EXPECT_EQ(windowText(), localized(L"#IW_Loading"));
    ASSERT_TRUE(pumpUntil([&] {
      int joins = 0;
      for (const std::string& seen : tester.events())
        joins += seen == "JOIN VOZerara|#corvane" ? 1 : 0;
      return joins == 2;
    }));
    const std::string topicLine = "#c:afa#Fleet talk ##c:f00## only#c#\n";
    ASSERT_TRUE(pumpUntil([&] { return windowText().rfind(topicLine) + topicLine.size() == windowText().size(); }));
  });
}

// A server that sends short replies, collision after collision and a
// topic longer than any line: nothing breaks and the nick stays bounded.
// Private messages wait for the topic.
TEST(IrcWindowTest, HostileServerRepliesAreSurvived) {
  privatenet::runInPrivateNetwork([] {
    WindowEnvironment env;
    ScriptedIrcServer server(kPort);
    configure("127.0.0.1", kPort);
    env.openIRC();
    ASSERT_TRUE(server.accept());
    ASSERT_FALSE(server.waitForLine("NICK VOZerara").empty());
    server.send(":srv 001 VOZerara :welcome\r\n");
    ASSERT_EQ(server.waitForLine("JOIN"), "JOIN #corvane");

    server.send(":Tester!t@h PRIVMSG VOZerara :too early\r\n");
    server.send(":srv 353 VOZerara = #corvane\r\n");
    server.send(":srv 366 VOZerara #corvane :End of names\r\n");
    server.send(":srv 332 VOZerara #corvane :the topic\r\n");
    server.send(":Tester!t@h PRIVMSG VOZerara :in time\r\n");
    ASSERT_TRUE(pumpUntil([] { return logHas("#c:ddd##tab:10#Tester (PRIVMSG)#tab:200#in time#c#\n"); }));
    EXPECT_FALSE(logHas("#c:ddd##tab:10#Tester (PRIVMSG)#tab:200#too early#c#\n"));
    EXPECT_EQ(ircUserCount.load(), 0u);  // the short names reply counted nobody

    // Names replies without end while "/who" collects: the line stays
    // bounded.
    typeAndEnter(ircWindow->chatBox(), L"/who");
    ASSERT_EQ(server.waitForLine("NAMES"), "NAMES #corvane");
    std::string names;
    for (int i = 0; i < 100; ++i)
      names += " Nick" + std::to_string(i);
    for (int i = 0; i < 200; ++i)
      server.send(":srv 353 VOZerara = #corvane :" + names.substr(1) + "\r\n");
    const uint32_t beforeWho = ircLineCount();
    server.send(":srv 366 VOZerara #corvane :End of names\r\n");
    ASSERT_TRUE(pumpUntil([&] { return ircLineCount() == beforeWho + 1; }));
    EXPECT_LE(lastLine().size(), kIrcUserListLimit + 1);
    EXPECT_EQ(lastLine().rfind("Nick0 Nick1 ", 0), 0u);
    EXPECT_EQ(ircUserCount.load(), 200u * 100u);

    for (int i = 0; i < 20; ++i) {
      server.send(":srv 433 VOZerara VOZerara :Nickname already in use\r\n");
      const std::string nick = server.waitForLine("NICK ");
      ASSERT_FALSE(nick.empty()) << "collision " << i;
      EXPECT_TRUE(isNumberedNick(nick.substr(5))) << nick;
    }
    EXPECT_TRUE(pumpUntil([] { return isNumberedNick(narrow(ircWindow->nickBox()->getText())); }));

    // A line longer than the library's buffer: the connection is dropped
    // and made again, the nick still the base and one number.
    server.send(":srv 332 VOZerara #corvane :" + std::string(10000, 'x') + "\r\n");
    ASSERT_TRUE(server.accept());
    const std::string nick = server.waitForLine("NICK ");
    EXPECT_TRUE(isNumberedNick(nick.substr(5))) << nick;
    EXPECT_TRUE(logHas("The IRC server sent a line too long to read: connecting again.\n"));
    EXPECT_TRUE(env.hasIRC());
  });
}

// Without a server nothing is tried and one line says so.
TEST(IrcWindowTest, NoServerConfiguredSaysSoOnce) {
  privatenet::runInPrivateNetwork([] {
    WindowEnvironment env;
    configure("", kPort);
    env.openIRC();
    ASSERT_TRUE(pumpUntil([] { return ircSession() != nullptr; }));
    const uint32_t before = ircLineCount();
    for (int i = 0; i < 1000; ++i)
      frame();
    EXPECT_EQ(ircLineCount(), before + 1);
    EXPECT_EQ(lastLine(), "No IRC server is configured (config.cfg, section \"irc\", key \"sServer\").\n");
    EXPECT_FALSE(ircConnected());
    EXPECT_EQ(windowText(), lastLine());

    // The nick box and its button give the nick the next connect uses.
    typeAndEnter(ircWindow->nickBox(), L" Skipper ");
    EXPECT_EQ(ircNick(), "Skipper");
    ircWindow->nickBox()->setText(L"Navigator");
    irr::SEvent click{};
    click.EventType = irr::EET_GUI_EVENT;
    click.GUIEvent.Caller = ircWindow->changeNickButton();
    click.GUIEvent.EventType = irr::gui::EGET_BUTTON_CLICKED;
    EXPECT_TRUE(dispatchGuiCallback(click));
    EXPECT_EQ(ircNick(), "Navigator");

    // The window's own close event ends it.
    irr::SEvent closed{};
    closed.EventType = irr::EET_GUI_EVENT;
    closed.GUIEvent.Caller = ircWindow->window();
    closed.GUIEvent.EventType = irr::gui::EGET_ELEMENT_CLOSED;
    EXPECT_TRUE(dispatchGuiCallback(closed));
    EXPECT_FALSE(env.hasIRC());
  });
}

std::atomic<uint32_t> fakeNow{0};

// A connect that fails at once is said once and tried again only after
// five seconds.
TEST(IrcWindowTest, ImmediateConnectFailuresAreThrottled) {
  privatenet::runInPrivateNetwork([] {
    setIrcClock([] { return fakeNow.load(); });
    fakeNow = 1000;
    WindowEnvironment env;
    // A host beginning with "#" asks for an encrypted link, which the
    // library refuses at once.
    configure("#secure.invalid", kPort);
    env.openIRC();
    ASSERT_TRUE(pumpUntil([] { return ircSession() != nullptr; }));
    const uint32_t before = ircLineCount();
    for (int i = 0; i < 100; ++i)
      frame();
    ASSERT_EQ(ircLineCount(), before + 1);
    EXPECT_EQ(lastLine().rfind("Connect: ", 0), 0u) << lastLine();

    // A working server now, but the retry waits for its time.
    ScriptedIrcServer server(kPort);
    configure("127.0.0.1", kPort);
    readIrcSettings();
    fakeNow = 1000 + kIrcRetryMs - 1;
    for (int i = 0; i < 100; ++i)
      frame();
    EXPECT_FALSE(ircConnected());
    fakeNow = 1000 + kIrcRetryMs;
    frame();
    EXPECT_TRUE(ircConnected());
    EXPECT_TRUE(server.accept());
    setIrcClock(nullptr);
  });
}

}  // namespace irc_window_test
