#include "app/server_settings.h"

#include <cmath>

#include "net/network_manager.h"
#include "net/upnp.h"

namespace {

// How long after start-up a public server first contacts the master server.
constexpr uint32_t kFirstHeartbeatDelayMs = 8000;

// A whole number from `value` truncated toward zero and held within
// [0, maximum]; NaN gives 0.
uint32_t truncatedWithin(float value, uint32_t maximum) {
  if (!(value > 0.0f))
    return 0;
  return value >= static_cast<float>(maximum) ? maximum : static_cast<uint32_t>(value);
}

}  // namespace

ServerSettings readServerSettings(GameSettingReader setting) {
  ServerSettings settings;
  const float aiCount = setting(L"AI_COUNT", 3.0f);
  settings.maxPlayers = static_cast<uint8_t>(truncatedWithin(setting(L"SV_MAX_PLAYERS", aiCount), 255));
  settings.port = static_cast<uint16_t>(truncatedWithin(setting(L"SV_PORT", 12100.0f), 65535));
  settings.isPublic = setting(L"SV_PUBLIC", 1.0f) >= 0.5f;
  settings.autoPause = setting(L"SV_AUTO_PAUSE", 0.0f) >= 0.5f;
  settings.welcomeMessage = setting(L"SV_NAG", 1.0f) >= 0.5f;
  settings.votesEnabled = setting(L"SV_ENABLE_VOTES", 1.0f) >= 0.5f;
  const float minutes = std::floor(setting(L"SV_RESTART_INTERVAL", 0.0f));
  // The restart's time is compared with the timer's through a signed 32-bit
  // difference: the interval stays below 2^31 ms (about 24 days).
  constexpr uint32_t kMaxMinutes = 0x7FFFFFFFu / 60000u;
  settings.restartIntervalMs = truncatedWithin(minutes, kMaxMinutes) * 60000u;
  return settings;
}

bool applyServerSettings(const ServerSettings& settings, uint32_t now, const std::string& serverName,
                         const std::string& serverPassword) {
  NetworkManager& manager = *networkManager;
  if (manager.peerActive())
    return false;  // a network game is running: its settings stay
  manager.autoPause = settings.autoPause;
  manager.welcomeMessage = settings.welcomeMessage;
  manager.votesEnabled = settings.votesEnabled;
  manager.restartInterval = settings.restartIntervalMs;
  manager.restartTime = now + settings.restartIntervalMs;
  manager.maxPlayers = settings.maxPlayers;
  if (!serverName.empty())
    manager.serverName = serverName.c_str();
  manager.port = settings.port;
  manager.consolePassword = serverPassword.c_str();
  manager.isPublic = settings.isPublic;
  if (settings.isPublic)
    manager.nextHeartbeatTime = now + kFirstHeartbeatDelayMs;
  // Here the server is marked as hosting and its port published; the peer
  // starts with startServerNetwork.
  manager.isHosting = true;
  publishGamePort(settings.port);
  return true;
}

void startServerNetwork() {
  NetworkManager& manager = *networkManager;
  if (!manager.peerActive()) {
    manager.startPeer(manager.port);
  } else if (!manager.isServer) {
    manager.disconnect();
    manager.startPeer(manager.port);
  }
  manager.isHosting = true;
  publishGamePort(manager.port);
  startUpnpPortMapping();
  // The first contact at once; the poll makes the later ones.
  if (manager.isPublic)
    manager.connectToMasterServer(true);
}
