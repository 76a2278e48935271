// The server settings applied before every game session: the game settings
// "SV_..." (each with its default when absent) and the command line's server
// name and password go into the network manager.
#pragma once

#include <irrString.h>

#include <cstdint>
#include <string>

struct ServerSettings {
  uint8_t maxPlayers = 3;
  uint16_t port = 12100;
  bool isPublic = true;
  bool autoPause = false;
  bool welcomeMessage = true;
  bool votesEnabled = true;
  uint32_t restartIntervalMs = 0;
};

// Reads a game setting by name; `fallback` when the table lacks it.
using GameSettingReader = float (*)(const irr::core::stringw& name, float fallback);

// The settings as the game settings give them: "SV_MAX_PLAYERS" (else
// "AI_COUNT", else 3) and "SV_PORT" truncated to whole numbers, the switches
// "SV_PUBLIC", "SV_AUTO_PAUSE", "SV_NAG" and "SV_ENABLE_VOTES" on from 0.5,
// and "SV_RESTART_INTERVAL" in whole minutes (at most 35791, just under
// 2^31 ms). Values beyond a field's range are clamped to it.
ServerSettings readServerSettings(GameSettingReader setting);

// Puts `settings` into the network manager with the server name (when not
// empty) and password; `now` is the engine timer's real time in ms. A
// running network game (an active peer) keeps its settings: false, and
// nothing changes.
bool applyServerSettings(const ServerSettings& settings, uint32_t now, const std::string& serverName,
                         const std::string& serverPassword);

// Starts the server's peer on the manager's port: a stopped peer is started,
// a client peer is disconnected and started as a server, a server peer is
// kept. The manager hosts and its port is published.
void startServerNetwork();
