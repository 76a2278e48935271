// Chat votes on a server in the test's process, with the fake device timer:
// what starts a vote, how it is counted at each poll, and what a passed
// vote does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "chat_helpers.h"
#include "core/locale.h"
#include "net/votes.h"
#include "support/log_capture.h"
#include "support/network_child.h"

namespace votes_test {

namespace {

using namespace chattest;

std::wstring localized(const wchar_t* key) { return getLocalizedText(key); }

size_t countOf(Probe& probe, const std::wstring& text) {
  size_t count = 0;
  for (const std::wstring& got : chatTexts(probe))
    count += got == text ? 1 : 0;
  return count;
}

// Says `command` and polls until `probe` has heard `answer` once more.
bool sayAndHear(ServerFixture& server, Probe& speaker, const std::wstring& command, Probe& probe,
                const std::wstring& answer) {
  const size_t before = countOf(probe, answer);
  say(speaker, command);
  return server.pollUntil([&] { return countOf(probe, answer) > before; });
}

}  // namespace

// One player carries every vote alone, at the poll after it began.
TEST(Votes, OnePlayersVotesPassAtTheNextPoll) {
  struct Case {
    const wchar_t* command;
    const wchar_t* announcement;
    double speedBefore;
    double speedAfter;
  } const cases[] = {
      {L"!pause", L"#DS_Pause", 2.5, 0.0},
      {L"!unpause", L"#DS_UnPause", 0.0, 2.5},  // the exact speed of before the pause
      {L"!PAUSE ", L"#DS_Pause", 1.5, 0.0},
      {L"!pause", L"#DS_Pause", 0.0, 0.0},      // already paused: nothing changes
      {L"!unpause", L"#DS_UnPause", 0.0, 1.5},
      {L"!speed 25", L"#DS_Speed", 1.0, 10.0},
      {L"!speed -3", L"#DS_Speed", 1.0, 3.0},
      {L"!speed", L"#DS_Speed", 1.0, 0.0},      // no number reads as 0
      {L"!delay", L"#DS_Delay", 1.0, 1.0},
  };
  privatenet::runInPrivateNetwork([&cases] {
    LogCapture log;
    ServerFixture server;
    Probe a;
    attachAll(server, {&a});
    const uint32_t restartTime = server.manager.restartTime;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.command, c.command + std::wcslen(c.command)));
      if (c.speedBefore != 0.0 || gameSpeed > 0.0001) {
        gameSpeed = c.speedBefore;
        server.timer.speed = static_cast<float>(c.speedBefore);
      }
      ASSERT_TRUE(sayAndHear(server, a, c.command, a, localized(c.announcement)));
      ASSERT_TRUE(server.pollUntil([&] { return countOf(a, localized(L"#DS_VotePassed")) > 0; }));
      a.forget();
      EXPECT_DOUBLE_EQ(gameSpeed, c.speedAfter);
      EXPECT_FLOAT_EQ(server.timer.speed, static_cast<float>(c.speedAfter));
      EXPECT_EQ(server.manager.voteType, 0u);
    }
    EXPECT_EQ(server.manager.restartTime, restartTime);  // no restart interval: the delay changes nothing
    // The commands are chat lines too: logged as said.
    EXPECT_TRUE(contains(log.take(), "<Player 2> !PAUSE \n"));
  });
}

// Auto-pause would resume a game with a player: a pause vote holds it off
// until the unpause vote puts it back.
TEST(Votes, APauseVoteHoldsAutoPauseOff) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    server.manager.autoPause = true;
    gameSpeed = 2.0;
    Probe a;
    attachAll(server, {&a});
    ASSERT_TRUE(sayAndHear(server, a, L"!pause", a, localized(L"#DS_VotePassed")));
    EXPECT_FALSE(server.manager.autoPause);
    for (int i = 0; i < 5; ++i)
      server.poll();
    EXPECT_DOUBLE_EQ(gameSpeed, 0.0);
    ASSERT_TRUE(sayAndHear(server, a, L"!unpause", a, localized(L"#DS_VotePassed")));
    EXPECT_TRUE(server.manager.autoPause);
    EXPECT_DOUBLE_EQ(gameSpeed, 2.0);
    EXPECT_FLOAT_EQ(server.timer.speed, 2.0f);
  });
}

TEST(Votes, ADelayVotePutsTheRestartOff) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    server.manager.restartInterval = 7200000;
    server.manager.restartTime = server.timer.realTime + 7200000;
    Probe a;
    attachAll(server, {&a});
    ASSERT_TRUE(sayAndHear(server, a, L"!delay", a, localized(L"#DS_VotePassed")));
    EXPECT_EQ(server.manager.restartTime, server.timer.realTime + 7200000 + 1800000);
  });
}

// A kick needs a third player, and a yes from all but one.
TEST(Votes, KickVotes) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    {
      ServerFixture server;
      Probe a;
      Probe b;
      attachAll(server, {&a, &b});
      ASSERT_TRUE(sayAndHear(server, a, L"!kick player 3", b, localized(L"#DS_Kick")));
      ASSERT_TRUE(sayAndHear(server, b, L"!yes", a, L"#c:ddd#Player 3#c#: !yes"));
      server.poll();
      EXPECT_EQ(server.manager.voteType, static_cast<uint32_t>(kKickVote));
      server.timer.realTime += kVoteTimeMs + 1;
      ASSERT_TRUE(server.pollUntil([&] { return hasChat(b, localized(L"#DS_VoteFailed")); }));
      EXPECT_EQ(server.manager.playerCount(), 2u);
      EXPECT_EQ(server.manager.voteType, 0u);
    }
    {
      ServerFixture server;
      Probe a;
      Probe b;
      Probe c;
      attachAll(server, {&a, &b, &c});
      // Names are matched in lower case.
      ASSERT_TRUE(sayAndHear(server, a, L"!kick PLAYER 5", b, localized(L"#DS_Kick")));
      EXPECT_EQ(server.manager.voteArgument, irr::core::stringw(L"player 5"));
      ASSERT_TRUE(sayAndHear(server, c, L"!yes", a, L"#c:ddd#Player 6#c#: !yes"));
      ASSERT_TRUE(b.waitFor(RakNet::ID_DISCONNECTION_NOTIFICATION, server.polling()).has_value());
      ASSERT_TRUE(waitForChat(server, a, L"Player 5 has been kicked"));
      EXPECT_TRUE(hasChat(a, localized(L"#DS_VotePassed")));
      EXPECT_EQ(server.manager.playerCount(), 2u);
    }
  });
}

// Short and odd commands, and blanks around them.
TEST(Votes, OddCommands) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    ServerFixture server;
    Probe a;
    Probe b;
    attachAll(server, {&a, &b});

    // Unknown: announced, and still a chat line.
    ASSERT_TRUE(sayAndHear(server, a, L"!", b, localized(L"#DS_UnknownVote")));
    ASSERT_TRUE(waitForChat(server, b, L"#c:ddd#Player 2#c#: !"));
    ASSERT_TRUE(sayAndHear(server, a, L"!vote", b, localized(L"#DS_UnknownVote")));
    // A leading blank makes a chat line only.
    ASSERT_TRUE(sayAndHear(server, a, L" !pause", b, L"#c:ddd#Player 2#c#:  !pause"));
    EXPECT_EQ(server.manager.voteType, 0u);

    // "!kick" alone: a kick of nobody, which cannot pass with two players.
    ASSERT_TRUE(sayAndHear(server, a, L"!kick", b, localized(L"#DS_Kick")));
    EXPECT_EQ(server.manager.voteArgument, irr::core::stringw());
    // Another vote meanwhile is refused.
    ASSERT_TRUE(sayAndHear(server, b, L"!speed", a, localized(L"#DS_VoteInProgress")));
    server.timer.realTime += kVoteTimeMs + 1;
    ASSERT_TRUE(server.pollUntil([&] { return hasChat(b, localized(L"#DS_VoteFailed")); }));
    EXPECT_EQ(server.manager.playerCount(), 2u);
  });
}

// The running vote's own command is a yes that goes no further.
TEST(Votes, RepeatingTheRunningVoteIsAYes) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    ServerFixture server;
    gameSpeed = 1.0;
    Probe a;
    Probe b;
    attachAll(server, {&a, &b});
    ASSERT_TRUE(sayAndHear(server, a, L"!pause", b, localized(L"#DS_Pause")));
    server.poll();
    EXPECT_DOUBLE_EQ(gameSpeed, 1.0);  // one yes of two
    const uint32_t linesBefore = lastChatId();
    ASSERT_TRUE(sayAndHear(server, b, L"!pause", a, localized(L"#DS_VotePassed")));
    EXPECT_DOUBLE_EQ(gameSpeed, 0.0);
    EXPECT_EQ(lastChatId(), linesBefore);
    EXPECT_FALSE(hasChat(a, L"#c:ddd#Player 3#c#: !pause"));
    EXPECT_FALSE(contains(log.take(), "<Player 3>"));
  });
}

// With nobody left, a vote cannot pass: it fails at its deadline.
TEST(Votes, AVoteWhosePlayersLeftFails) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    gameSpeed = 1.0;
    std::vector<std::wstring> announced;
    server.manager.setSendObserver(
        [&](const RakNet::BitStream& stream, uint8_t, RakNet::PacketReliability, const RakNet::SystemAddress&) {
          const std::vector<uint8_t> bytes = netprobe::bytesOf(stream);
          if (!bytes.empty() && bytes[0] == msgid::kChat) {
            Got got;
            got.bytes = bytes;
            announced.push_back(chatText(got));
          }
        });
    {
      Probe a;
      Probe b;
      attachAll(server, {&a, &b});
      ASSERT_TRUE(sayAndHear(server, a, L"!restart", b, localized(L"#DS_RestartVote")));
      // The voter leaves first: left alone, the other player's silence
      // would not pass the vote, whereas the voter alone would.
      a.disconnect();
      ASSERT_TRUE(server.pollUntil([&] { return server.manager.playerCount() == 1; }));
      b.disconnect();
      ASSERT_TRUE(server.pollUntil([&] { return server.manager.playerCount() == 0; }));
    }
    server.poll();
    EXPECT_EQ(server.manager.voteType, static_cast<uint32_t>(kRestartVote));
    EXPECT_TRUE(gameRunning);
    server.timer.realTime += kVoteTimeMs + 1;
    server.poll();
    EXPECT_EQ(server.manager.voteType, 0u);
    ASSERT_FALSE(announced.empty());
    EXPECT_EQ(announced.back(), localized(L"#DS_VoteFailed"));
    EXPECT_TRUE(gameRunning);
    EXPECT_EQ(sessionResult, 0);
    server.manager.setSendObserver(nullptr);
  });
}

// A passed restart vote restarts the session at once: the clients are told
// and everybody becomes a spectator.
TEST(Votes, ARestartVoteRestartsTheSession) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    server.manager.restartInterval = 7200000;
    server.manager.restartTime = server.timer.realTime + 7200000;
    // An announcement just made: none is due meanwhile.
    const uint32_t notice = server.timer.realTime;
    server.manager.lastRestartNotice = notice;
    Probe a;
    NetPlayer* record = server.attach(a, server.aiEmpire(0));
    ASSERT_NE(record, nullptr);
    a.forget();
    say(a, L"!restart");
    ASSERT_TRUE(a.waitFor(msgid::kSessionRestart, server.polling()).has_value());
    EXPECT_TRUE(hasChat(a, localized(L"#DS_VotePassed")));
    EXPECT_FALSE(gameRunning);
    EXPECT_EQ(sessionResult, kSessionRestart);
    EXPECT_EQ(record->emp, nullptr);
    EXPECT_EQ(record->hasGalaxy, 0);
    EXPECT_EQ(server.manager.restartTime, server.timer.realTime + 7200000);
    EXPECT_EQ(server.manager.lastRestartNotice, notice);
  });
}

}  // namespace votes_test
