// The server operator's work on the players: the console's list, kicking and
// banning, the player of an empire, and the connection statistics rows that
// a client's "Network Profiling" window shows.
#include <IGUITable.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/base/console.h"
#include "core/log.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "platform/peer.h"

using irr::core::stringw;

namespace {

// How long a kicked player's address is refused; 0 refuses it while the
// peer runs.
constexpr uint32_t kKickBanMs = 60000;
constexpr uint32_t kPermanentBan = 0;

constexpr const wchar_t* kStatisticsLabels[] = {
    L"Ping (ms)",         L"Congestion limit bps", L"Bandwidth limit bps",
    L"Send messages",     L"Send buffer bytes",    L"Resend messages",
    L"Resend buffer bytes", L"Packet Loss %",      L"Packet Loss Avg%",
};
constexpr irr::u32 kStatisticsRows = sizeof kStatisticsLabels / sizeof kStatisticsLabels[0];

void printLine(const stringw& text) {
  if (Console* target = console())
    target->print(text);
}

stringw decimal(unsigned long long value) {
  wchar_t text[32];
  std::swprintf(text, sizeof text / sizeof text[0], L"%llu", value);
  return text;
}

stringw formatted(const wchar_t* format, double value) {
  wchar_t text[64];
  std::swprintf(text, sizeof text / sizeof text[0], format, value);
  return text;
}

stringw pingText(int ping) {
  wchar_t text[32];
  std::swprintf(text, sizeof text / sizeof text[0], L"%d", ping);
  return text;
}

}  // namespace

void NetworkManager::listPlayers() {
  if (!isServer) {
    const RakNet::SystemAddress server = peerActive() ? peer->GetSystemAddressFromIndex(0)
                                                      : RakNet::UNASSIGNED_SYSTEM_ADDRESS;
    printLine(stringw(L"Ping: ") + pingText(peer->GetLastPing(server)) + L"ms");
    return;
  }
  std::vector<stringw> lines;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    for (const auto& entry : players) {
      const NetPlayer& player = entry.second;
      stringw line = decimal(player.id);
      line += L": ";
      line += player.name;
      line += L" (";
      line += pingText(peer->GetLastPing(player.address));
      if (player.emp != nullptr) {
        line += L"ms) as ";
        line += player.emp->name;
      } else {
        line += L"ms) (spectating)";
      }
      lines.push_back(line);
    }
  }
  for (const stringw& line : lines)
    printLine(line);
}

void NetworkManager::kickPlayer(uint32_t id) {
  uint64_t guid = 0;
  if (findPlayerById(id, guid))
    expelPlayer(guid, kKickBanMs, "%ls has been kicked (and banned for 60 seconds)\n", L" has been kicked");
}

void NetworkManager::kickPlayer(const NetPlayer* player) {
  if (player == nullptr)
    return;
  uint64_t guid = 0;
  bool found = false;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    for (const auto& entry : players)
      if (&entry.second == player) {
        guid = entry.first;
        found = true;
        break;
      }
  }
  if (found)
    expelPlayer(guid, kKickBanMs, "%ls has been kicked (and banned for 60 seconds)\n", L" has been kicked");
}

void NetworkManager::banPlayer(uint32_t id) {
  uint64_t guid = 0;
  if (findPlayerById(id, guid))
    expelPlayer(guid, kPermanentBan, "%ls has been kicked and banned\n", L" has been kicked and banned");
}

bool NetworkManager::findPlayerById(uint32_t id, uint64_t& guid) {
  std::lock_guard<std::mutex> guard(playersLock);
  for (const auto& entry : players)
    if (entry.second.id == id) {
      guid = entry.first;
      return true;
    }
  return false;
}

void NetworkManager::expelPlayer(uint64_t guid, uint32_t banMs, const char* logFormat, const wchar_t* suffix) {
  stringw name;
  RakNet::SystemAddress address;
  empire* emp = nullptr;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    const auto found = players.find(guid);
    if (found == players.end())
      return;
    name = found->second.name;
    address = found->second.address;
    emp = found->second.emp;
  }
  if (address != RakNet::UNASSIGNED_SYSTEM_ADDRESS && peerActive()) {
    peer->AddToBanList(address.ToString(false).c_str(), banMs);
    peer->CloseConnection(address, true, 0, RakNet::LOW_PRIORITY);
  }
  // The empire goes back to its AI, as when its player leaves.
  if (emp != nullptr)
    releaseEmpire(emp);
  logPrint(logFormat, name.c_str());
  sendServerNotice(name + suffix);
  // (The player's rows on the game-setup screen are released here.)
  {
    std::lock_guard<std::mutex> guard(playersLock);
    players.erase(guid);
  }
  playerListChanged = true;
}

RakNet::SystemAddress NetworkManager::getEmpirePlayerAddress(const empire* emp) {
  std::lock_guard<std::mutex> guard(playersLock);
  for (const auto& entry : players)
    if (entry.second.emp == emp)
      return entry.second.address;
  return RakNet::UNASSIGNED_SYSTEM_ADDRESS;
}

void NetworkManager::updateStatsText(irr::gui::IGUITable& table) {
  if (!peerActive())
    return;
  const RakNet::SystemAddress remote = peer->GetSystemAddressFromIndex(0);
  RakNet::RakNetStatistics statistics;
  if (remote == RakNet::UNASSIGNED_SYSTEM_ADDRESS || !peer->GetStatistics(remote, statistics))
    return;
  if (table.getRowCount() == 0)
    for (irr::u32 row = 0; row < kStatisticsRows; ++row) {
      table.addRow(row);
      table.setCellText(row, 0, kStatisticsLabels[row]);
    }
  if (static_cast<irr::u32>(table.getRowCount()) < kStatisticsRows)
    return;

  unsigned long long sendMessages = 0;
  double sendBytes = 0.0;
  for (size_t priority = 0; priority < statistics.messagesInSendBuffer.size(); ++priority) {
    sendMessages += statistics.messagesInSendBuffer[priority];
    sendBytes += static_cast<double>(statistics.bytesInSendBuffer[priority]);
  }
  const stringw values[kStatisticsRows] = {
      pingText(peer->GetLastPing(remote)),
      statistics.isLimitedByCongestionControl ? decimal(statistics.congestionControlLimitBps) : stringw(L"n/a"),
      statistics.isLimitedByOutgoingBandwidthLimit ? decimal(statistics.outgoingBandwidthLimitBps) : stringw(L"n/a"),
      decimal(sendMessages),
      formatted(L"%0.0f", sendBytes),
      decimal(statistics.messagesInResendBuffer),
      formatted(L"%0.0f", static_cast<double>(statistics.bytesInResendBuffer)),
      formatted(L"%0.0f%%", statistics.packetLossLastSecond * 100.0),
      formatted(L"%0.0f%%", statistics.packetLossTotal * 100.0),
  };
  for (irr::u32 row = 0; row < kStatisticsRows; ++row)
    table.setCellText(row, 1, values[row]);
}
