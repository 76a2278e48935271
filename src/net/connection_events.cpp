// What the manager does with the peer's connection events (16 to 24) on a
// server and on a client, and with the session messages: the game settings
// (142), the protocol version (143) and the session restart (145).
//
// A server is a process whose isServer is set, a client one whose
// isNetworked is set; a process that is neither ignores the events.
// Messages that only a server sends are ignored by a server: a client can
// neither restart nor reconfigure it.
#include <string>
#include <utility>
#include <vector>

#include "app/base/console.h"
#include "app/base/message_box.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "core/formula.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/named_values.h"
#include "core/net_encoders.h"
#include "core/user_folders.h"
#include "net/chat_log.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"

namespace {

// The fewest bits one named value of 142 takes: an empty name's length
// byte and the float.
constexpr RakNet::BitSize kMinNamedValueBits = 8 + 32;

using NamedFloats = std::vector<std::pair<irr::core::stringw, float>>;

std::string addressText(const RakNet::SystemAddress& address) { return address.ToString(true); }

void writeNamedFloats(RakNet::BitStream& stream, const NamedVar<float>::Registry& registry) {
  stream.Write(static_cast<uint32_t>(registry.size()));
  for (irr::u32 i = 0; i < registry.size(); ++i) {
    writeNetStringW(stream, registry[i].name, kMaxNetStringLength);
    stream.Write(registry[i].value);
  }
}

// Reads a count and its entries; false when the count cannot be true of the
// bits that remain, or a read fails.
bool readNamedFloats(RakNet::BitStream& stream, NamedFloats& out) {
  uint32_t count = 0;
  if (!stream.Read(count) || count > stream.GetNumberOfUnreadBits() / kMinNamedValueBits)
    return false;
  out.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    irr::core::stringw name;
    float value = 0.0f;
    if (!readNetStringW(stream, name) || !stream.Read(value))
      return false;
    out.emplace_back(std::move(name), value);
  }
  return true;
}

void applyNamedFloats(const NamedFloats& values, NamedVar<float>::Registry& registry) {
  for (const auto& entry : values)
    NamedVar<float>::getOrAdd(registry, entry.first).value = entry.second;
}

// A mod name from a server names a folder of the client's: the base game
// ("/"), or one plain folder name.
bool acceptableModName(const irr::core::stringc& name) {
  if (name == "/")
    return true;
  return !name.empty() && name.findFirst('/') < 0 && name.findFirst('\\') < 0 && name.find("..") < 0;
}

void printConsoleLine(const wchar_t* text) {
  if (Console* target = console())
    target->print(text);
}

// Connection reports leave the rest of the interface usable.
void showReport(const char* caption, const char* text) { showMessageBox(caption, text, false); }

}  // namespace

bool NetworkManager::isMasterServer(const RakNet::SystemAddress& address) const {
  return address.port >= kMasterServerFirstPort && address.port <= kMasterServerLastPort;
}

void NetworkManager::onConnectionAccepted(const RakNet::Packet& packet) {
  if (isMasterServer(packet.systemAddress)) {
    onMasterServerAccepted(packet);
    return;
  }
  if (!isNetworked)
    return;
  logPrint("Successfully connected to %s\n", addressText(packet.systemAddress).c_str());
  isConnected = true;
}

void NetworkManager::onConnectionAttemptFailed(const RakNet::Packet& packet) {
  if (!isNetworked)
    return;
  logPrint("Could not connect to %s\n", addressText(packet.systemAddress).c_str());
  showReport("Unable to connect",
             "Could not connect to server:\nThe server might have gone down or not have the appropriate ports "
             "forwarded.");
  isConnected = false;
}

void NetworkManager::onNewIncomingConnection(const RakNet::Packet& packet, RakNet::RakNetGUID guid) {
  const RakNet::SystemAddress address = packet.systemAddress;
  if (!isServer) {
    if (isNetworked) {
      peer->CloseConnection(address, true, 255, RakNet::LOW_PRIORITY);
      logPrint("Connection from %s rejected\n", addressText(address).c_str());
      playerListChanged = true;
    }
    return;
  }

  // 1.
  if (playerCount() >= maxPlayers || guid == RakNet::UNASSIGNED_GUID) {
    logPrint("Incoming connection from %s rejected: Max players reached\n", addressText(address).c_str());
    peer->CloseConnection(address, true, 0, RakNet::LOW_PRIORITY);
    playerListChanged = true;
    return;
  }

  // 2. The one place where a player's record is made.
  logPrint("New player connected from %s\n", addressText(address).c_str());
  {
    NetPlayer* player = getPlayer(guid);
    std::lock_guard<std::mutex> guard(playersLock);
    player->address = address;
  }

  // 3.
  sendServerNotice(L"New player joined", address);

  // 4.
  if (RakNet::BitStream* version = newBitStream()) {
    version->Write(msgid::kProtocolVersion);
    version->Write(kProtocolVersion);
    send(version, 0, RakNet::RELIABLE, address);
    deleteBitStream(version);
  }

  // 5.
  if (welcomeMessage) {
    irr::core::stringw text = getLocalizedText(L"#DS_Welcome");
    text += serverName;
    text += getLocalizedText(L"#DS_Join");
    if (autoPause)
      text += getLocalizedText(L"#DS_AutoPause");
    if (votesEnabled)
      text += getLocalizedText(L"#DS_Help");
    RakNet::BitStream welcome;
    writeChatMessage(welcome, text);
    send(&welcome, kChatChannel, RakNet::RELIABLE, address);
  }

  // 6. (While the game-setup screen is open, the player gets a row on it
  // instead of the settings.)

  // 7.
  if (RakNet::BitStream* settings = newBitStream()) {
    settings->Write(msgid::kGameSettings);
    writeNetStringC(*settings, currentModName);
    writeNamedFloats(*settings, gameSettings);
    writeNamedFloats(*settings, formulaConstants);
    send(settings, 0, RakNet::RELIABLE, address);
    deleteBitStream(settings);
  }
  playerListChanged = true;
}

void NetworkManager::onNoFreeIncomingConnections() {
  if (isServer) {
    // The master server is busy: ask it again later.
    nextHeartbeatTime += 5000;
  } else if (isNetworked) {
    showReport("Failed to connect", "Reason: Server has no open slots");
    isConnected = false;
  }
}

void NetworkManager::onDisconnection(const RakNet::Packet& packet, RakNet::RakNetGUID guid, bool lost) {
  const bool fromMaster = !lost && packet.systemAddress == masterAddress;
  if (isServer) {
    // Before the game is loaded, the record waits for the dead-connection
    // sweep.
    if (fromMaster || !gameLoaded)
      return;
    if (lost) {
      {
        std::lock_guard<std::mutex> guard(playersLock);
        const auto found = players.find(guid.g);
        if (found != players.end()) {
          found->second.emp = nullptr;
          found->second.hasGalaxy = 0;
        }
      }
      removePlayer(guid, "Lost connection to client '%ls' from %s\n", L" timed out");
    } else {
      removePlayer(guid, "Client '%ls' from %s disconnected\n", L" disconnected");
    }
    return;
  }
  if (!isNetworked || fromMaster)
    return;
  if (lost) {
    logPrint("Lost connection to server\n");
    showReport("Lost connection", "Reason: Connection to server timed out");
  } else {
    logPrint("Server shutting down\n");
    showReport("Lost connection", "Reason: Server shutting down");
    // (The game-setup screen is closed here.)
  }
  isConnected = false;
  isNetworked = false;
}

void NetworkManager::onBanned(const RakNet::Packet& packet) {
  if (!isNetworked || isServer)
    return;
  logPrint("You have been banned from %s\n", addressText(packet.systemAddress).c_str());
  showReport("Banned", "You are banned from the server");
  isNetworked = false;
}

void NetworkManager::onInvalidPassword() {
  if (!isServer && !isNetworked)
    return;
  printConsoleLine(L"Bad password");
  showReport("Failed to connect", "Reason: Bad password");
  isNetworked = false;
}

void NetworkManager::onGameSettings(RakNet::BitStream& stream) {
  if (!isNetworked || isServer)
    return;
  // Read whole before anything is applied: a short or lying message changes
  // nothing.
  irr::core::stringc modName;
  NamedFloats settings;
  NamedFloats constants;
  if (!readNetStringC(stream, modName) || !readNamedFloats(stream, settings) || !readNamedFloats(stream, constants))
    return;
  if (!acceptableModName(modName)) {
    logError("Refused the server's mod name \"%s\": not a mod folder's name\n", modName.c_str());
    disconnect();
    return;
  }
  currentModName = modName;
  applyNamedFloats(settings, gameSettings);
  applyNamedFloats(constants, formulaConstants);
  // The session ends; the next one plays the game the server described.
  gameRunning = false;
  sessionResult = kSessionRestart;
  // (The game-setup screen is deleted here.)
}

bool NetworkManager::onProtocolVersion(RakNet::BitStream& stream) {
  if (!isNetworked || isServer)
    return true;
  uint16_t version = 0;
  if (stream.Read(version) && (version == kProtocolVersion || version == kOldestProtocolVersion)) {
    peerVersion = version;
    return true;
  }
  showReport("Incompatible version", "The server you attempted to join uses an incompatible version of the game.");
  galaxyProgress = 1.0f;
  disconnect();
  if (gameLoaded)
    gameRunning = false;
  // (The game-setup screen is closed here.)
  return false;
}

void NetworkManager::onSessionRestart() {
  if (isServer)
    return;
  sessionStarted = false;
  gameRunning = false;
  sessionResult = kSessionRestart;
  // (The game-setup screen is closed here.)
}
