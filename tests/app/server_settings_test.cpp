#include "app/server_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "net/network_manager.h"

namespace server_settings_test {

namespace {

std::map<std::wstring, float> table;
float lookUp(const irr::core::stringw& name, float fallback) {
  const auto found = table.find(name.c_str());
  return found == table.end() ? fallback : found->second;
}

TEST(ServerSettings, GameSettingsWithTheirDefaults) {
  struct Case {
    std::map<std::wstring, float> settings;
    ServerSettings expected;
  };
  const Case cases[] = {
      {{}, {3, 12100, true, false, true, true, 0}},
      {{{L"AI_COUNT", 5.7f}}, {5, 12100, true, false, true, true, 0}},
      {{{L"AI_COUNT", 5}, {L"SV_MAX_PLAYERS", 8.9f}, {L"SV_PORT", 4000.5f}}, {8, 4000, true, false, true, true, 0}},
      {{{L"SV_PUBLIC", 0.49f}, {L"SV_AUTO_PAUSE", 0.5f}, {L"SV_NAG", 0}, {L"SV_ENABLE_VOTES", 0.2f}},
       {3, 12100, false, true, false, false, 0}},
      {{{L"SV_RESTART_INTERVAL", 90.9f}}, {3, 12100, true, false, true, true, 90 * 60000}},
      // Out of range: held within each field (the interval within 2^31 ms,
      // which the wrapping timer can still compare).
      {{{L"SV_MAX_PLAYERS", 300}, {L"SV_PORT", -5}, {L"SV_RESTART_INTERVAL", 1e12f}},
       {255, 0, true, false, true, true, 35791 * 60000u}},
      {{{L"SV_MAX_PLAYERS", NAN}, {L"SV_PORT", 1e9f}, {L"SV_RESTART_INTERVAL", -3}},
       {0, 65535, true, false, true, true, 0}},
  };
  for (const Case& c : cases) {
    table = c.settings;
    const ServerSettings got = readServerSettings(lookUp);
    const ServerSettings& want = c.expected;
    const auto row = &c - cases;
    EXPECT_EQ(got.maxPlayers, want.maxPlayers) << row;
    EXPECT_EQ(got.port, want.port) << row;
    EXPECT_EQ(got.isPublic, want.isPublic) << row;
    EXPECT_EQ(got.autoPause, want.autoPause) << row;
    EXPECT_EQ(got.welcomeMessage, want.welcomeMessage) << row;
    EXPECT_EQ(got.votesEnabled, want.votesEnabled) << row;
    EXPECT_EQ(got.restartIntervalMs, want.restartIntervalMs) << row;
  }
}

TEST(ServerSettings, GoIntoTheNetworkManager) {
  table = {{L"SV_RESTART_INTERVAL", 2}, {L"SV_PORT", 4000}};
  applyServerSettings(readServerSettings(lookUp), 1000, "Big Server", "");
  EXPECT_EQ(networkManager->serverName, irr::core::stringw(L"Big Server"));
  EXPECT_EQ(networkManager->port, 4000);
  EXPECT_EQ(publishedGamePort(), 4000);
  EXPECT_EQ(networkManager->restartInterval, 120000u);
  EXPECT_EQ(networkManager->restartTime, 121000u);
  EXPECT_TRUE(networkManager->isPublic);
  EXPECT_EQ(networkManager->nextHeartbeatTime, 9000u);
  EXPECT_TRUE(networkManager->isHosting);

  // An empty name keeps the one set before; the password is always taken.
  table = {{L"SV_PUBLIC", 0}};
  applyServerSettings(readServerSettings(lookUp), 5000, "", "secret");
  EXPECT_EQ(networkManager->serverName, irr::core::stringw(L"Big Server"));
  EXPECT_EQ(networkManager->consolePassword, irr::core::stringw(L"secret"));
  EXPECT_FALSE(networkManager->isPublic);
  EXPECT_EQ(networkManager->nextHeartbeatTime, 9000u);
  EXPECT_EQ(networkManager->restartTime, 5000u);
}

}  // namespace

}  // namespace server_settings_test
