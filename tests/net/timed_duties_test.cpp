// The server's timed duties, on a device timer the test moves: the scheduled
// restart with its announcements, auto-pause, and the replication cycle.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "core/locale.h"
#include "net/message_ids.h"
#include "net_fixture.h"
#include "support/network_child.h"

namespace timed_duties_test {

namespace {

using netfixture::ServerFixture;
using netfixture::ServerOptions;
using netprobe::chatText;
using netprobe::Got;
using netprobe::Probe;

constexpr uint32_t kMinute = 60000;

// The count an announcement gives, with "h" or "m" for its unit; empty when
// the text is not a restart announcement.
std::string announced(const std::wstring& text) {
  const std::wstring prefix = getLocalizedText(L"#DS_Restart");
  const std::wstring help = getLocalizedText(L"#DS_RestartHelp");
  if (text.compare(0, prefix.size(), prefix) != 0 || text.size() < prefix.size() + help.size() ||
      text.compare(text.size() - help.size(), help.size(), help) != 0)
    return "";
  std::wstring middle = text.substr(prefix.size(), text.size() - prefix.size() - help.size());
  for (const auto& unit : {std::make_pair(std::wstring(getLocalizedText(L"#DS_RestartHours")), "h"),
                           std::make_pair(std::wstring(getLocalizedText(L"#DS_RestartMinutes")), "m")}) {
    if (middle.size() > unit.first.size() &&
        middle.compare(middle.size() - unit.first.size(), unit.first.size(), unit.first) == 0)
      return std::string(middle.begin(), middle.end() - unit.first.size()) + unit.second;
  }
  return "";
}

// A 90-minute schedule that begins at `start` on the timer: the server is
// polled every 5 s of timer time until the restart, and no more (the next
// schedule would begin with an announcement). What `watcher` heard, once
// every probe has the restart.
std::vector<std::string> runNinetyMinutes(ServerFixture& server, Probe& watcher, const std::vector<Probe*>& probes,
                                          uint32_t start) {
  NetworkManager& manager = server.manager;
  manager.restartInterval = 90 * kMinute;
  manager.restartTime = start + manager.restartInterval;
  manager.lastRestartNotice = 0;
  server.timer.realTime = start;
  for (uint32_t elapsed = 0; elapsed <= 91 * kMinute && gameRunning; elapsed += 5000) {
    server.timer.realTime = start + elapsed;
    server.poll();
  }
  for (Probe* probe : probes)
    EXPECT_TRUE(probe->waitFor(145).has_value());
  std::vector<std::string> heard;
  for (const Got& got : watcher.ofId(113))
    heard.push_back(announced(chatText(got)));
  return heard;
}

// From 90 minutes: hourly, every 15 minutes within the hour, every minute
// within the last 10; then every player loses its empire and the session
// ends for a restart, which every client is told. A timer that wraps past
// 2^32 on the way changes nothing.
TEST(ScheduledRestart, AnnouncesCountsDownAndRestarts) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    empire* emp = server.aiEmpire(0);
    Probe player;
    Probe spectator;
    NetPlayer* playing = server.attach(player, emp);
    NetPlayer* watching = server.attach(spectator);
    ASSERT_NE(playing, nullptr);
    ASSERT_NE(watching, nullptr);
    const std::vector<std::string> expected = {"2h",  "60m", "45m", "30m", "15m", "10m", "9m", "8m",
                                               "7m",  "6m",  "5m",  "4m",  "3m",  "2m",  "1m"};
    for (uint32_t start : {5000000u, 0xFFFFFFFFu - 45 * kMinute}) {
      SCOPED_TRACE(start);
      player.forget();
      spectator.forget();
      {
        std::lock_guard<std::mutex> guard(server.manager.playersLock);
        playing->emp = emp;
        playing->hasGalaxy = 1;
        watching->hasGalaxy = 1;
      }
      gameRunning = true;
      sessionResult = 0;
      EXPECT_EQ(runNinetyMinutes(server, spectator, {&player, &spectator}, start), expected);
      EXPECT_FALSE(gameRunning);
      EXPECT_EQ(sessionResult, kSessionRestart);
      for (Probe* probe : {&player, &spectator}) {
        const std::vector<Got> restarts = probe->ofId(145);
        ASSERT_EQ(restarts.size(), 1u);
        EXPECT_EQ(restarts[0].bytes, std::vector<uint8_t>{145});
      }
      EXPECT_EQ(playing->emp, nullptr);
      EXPECT_EQ(playing->hasGalaxy, 0);
      EXPECT_EQ(watching->hasGalaxy, 0);
      // The next restart is one interval on, its announcements anew.
      EXPECT_EQ(server.manager.restartTime, server.timer.realTime + 90 * kMinute);
      EXPECT_EQ(server.manager.lastRestartNotice, 0u);
    }
  });
}

// The whole announcement, as the players read it.
TEST(ScheduledRestart, AnnouncementReadsAsOneLine) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    Probe probe;
    ASSERT_NE(server.attach(probe), nullptr);
    probe.forget();
    server.manager.restartInterval = 5 * kMinute;
    server.manager.restartTime = server.timer.realTime + 5 * kMinute - 1;
    server.poll();
    ASSERT_TRUE(probe.waitFor(113, server.polling()).has_value());
    std::wstring line = getLocalizedText(L"#DS_Restart");
    line += L"5";
    line += getLocalizedText(L"#DS_RestartMinutes");
    line += getLocalizedText(L"#DS_RestartHelp");
    EXPECT_EQ(chatText(probe.ofId(113)[0]), line);
    // A minute has not passed: no second one.
    server.timer.realTime += kMinute;
    server.pollUntil([] { return false; }, 200);
    EXPECT_EQ(probe.ofId(113).size(), 1u);
  });
}

// The last player leaving pauses the game; the next one joining restores
// the very speed it had, on the device timer too.
TEST(AutoPause, PausesWhileNobodyIsConnected) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    server.manager.autoPause = true;
    const double speed = 0.37;
    gameSpeed = speed;
    server.timer.speed = static_cast<float>(speed);

    server.poll();
    EXPECT_EQ(gameSpeed, 0.0);
    EXPECT_EQ(server.timer.speed, 0.0f);
    EXPECT_EQ(speedBeforePause, speed);

    for (int round = 0; round < 2; ++round) {
      Probe probe;
      ASSERT_NE(server.attach(probe), nullptr);
      server.poll();
      EXPECT_EQ(gameSpeed, speed);
      EXPECT_EQ(server.timer.speed, static_cast<float>(speed));
      probe.disconnect();
      ASSERT_TRUE(server.pollUntil([&] { return server.manager.playerCount() == 0; }));
      server.poll();
      EXPECT_EQ(gameSpeed, 0.0);
      EXPECT_EQ(server.timer.speed, 0.0f);
    }

    // Off, or before the game is loaded, nothing pauses.
    gameSpeed = speed;
    server.manager.autoPause = false;
    server.poll();
    server.manager.autoPause = true;
    gameLoaded = false;
    server.poll();
    EXPECT_EQ(gameSpeed, speed);
  });
}

// With the game loaded and a player connected, a replication step runs every
// 84 ms: two broadcast passes, then the full per-player pass, which also
// clears the changed player list.
TEST(Replication, StepsCycleThroughTheirModesEvery84Ms) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    NetworkManager& manager = server.manager;
    Probe probe;
    ASSERT_NE(server.attach(probe), nullptr);
    const uint32_t first = manager.updateMode;
    manager.playerListChanged = true;
    std::vector<uint32_t> modes;
    for (int step = 0; step < 6; ++step) {
      server.timer.realTime += 50;  // not yet
      server.poll();
      EXPECT_EQ(manager.updateMode, modes.empty() ? first : modes.back());
      server.timer.realTime += 40;
      server.poll();
      modes.push_back(manager.updateMode);
      if (manager.updateMode == 1) {
        EXPECT_FALSE(manager.playerListChanged);
      }
    }
    // From whichever mode: 1, 2, 0, 1, ...
    for (size_t i = 0; i < modes.size(); ++i) {
      const uint32_t previous = i == 0 ? first : modes[i - 1];
      EXPECT_EQ(modes[i], previous == 0 ? 1u : previous == 1 ? 2u : 0u) << i;
    }

    // A timer that wraps keeps the rhythm.
    server.timer.realTime = 0xFFFFFFFFu - 20;
    server.poll();
    const uint32_t beforeWrap = manager.updateMode;
    server.timer.realTime += 90;  // wrapped
    server.poll();
    EXPECT_NE(manager.updateMode, beforeWrap);

    // With nobody connected nothing is replicated.
    probe.disconnect();
    ASSERT_TRUE(server.pollUntil([&] { return manager.playerCount() == 0; }));
    const uint32_t idle = manager.updateMode;
    for (int step = 0; step < 3; ++step) {
      server.timer.realTime += 100;
      server.poll();
    }
    EXPECT_EQ(manager.updateMode, idle);
  });
}

}  // namespace

}  // namespace timed_duties_test
