#include "net/remote_console.h"

#include <deque>
#include <mutex>
#include <utility>

#include "app/base/console.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "net/chat_log.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"

namespace {

// True when `nowMs` is past `deadline` on the wrapping clock.
bool isPast(uint32_t nowMs, uint32_t deadline) { return static_cast<int32_t>(nowMs - deadline) > 0; }

// The lines received and not yet run. Filled by the polling thread (the
// network-poll thread while a session loads), emptied by the main thread.
std::mutex queueLock;
std::deque<irr::core::stringw> queuedLines;

}  // namespace

void writeRemoteConsoleMessage(RakNet::BitStream& stream, const irr::core::stringw& password,
                               const irr::core::stringw& command) {
  stream.Write(msgid::kRemoteConsole);
  writeNetStringW(stream, password, kRemoteConsoleMaxUnits);
  writeNetStringW(stream, command, kRemoteConsoleMaxUnits);
}

bool remoteConsolePasswordsMatch(const irr::core::stringw& received, const irr::core::stringw& expected) {
  // Every unit of the longer text is looked at, whatever differs first.
  const irr::u32 longest = received.size() > expected.size() ? received.size() : expected.size();
  uint32_t difference = received.size() ^ expected.size();
  for (irr::u32 i = 0; i < longest; ++i) {
    const uint32_t a = i < received.size() ? static_cast<uint32_t>(received[i]) : 0u;
    const uint32_t b = i < expected.size() ? static_cast<uint32_t>(expected[i]) : 0u;
    difference |= a ^ b;
  }
  return difference == 0;
}

bool RemoteConsoleGuard::lockedOut(const RakNet::SystemAddress& address, uint32_t nowMs) {
  const auto found = records_.find(address.binaryAddress);
  if (found == records_.end() || !found->second.locked)
    return false;
  if (!isPast(nowMs, found->second.lockedUntil))
    return true;
  // Over: the address starts afresh.
  records_.erase(found);
  return false;
}

void RemoteConsoleGuard::dropOldRefusals(Record& record, uint32_t nowMs) {
  unsigned old = 0;
  while (old < record.count && isPast(nowMs, record.refusals[old] + kRemoteConsoleFailureWindowMs))
    ++old;
  for (unsigned i = old; i < record.count; ++i)
    record.refusals[i - old] = record.refusals[i];
  record.count -= old;
}

bool RemoteConsoleGuard::countRefusal(const RakNet::SystemAddress& address, uint32_t nowMs) {
  prune(nowMs);
  Record& record = records_[address.binaryAddress];
  dropOldRefusals(record, nowMs);
  if (record.count == kRemoteConsoleMaxFailures) {
    for (unsigned i = 1; i < record.count; ++i)
      record.refusals[i - 1] = record.refusals[i];
    --record.count;
  }
  record.refusals[record.count++] = nowMs;
  if (record.locked || record.count < kRemoteConsoleMaxFailures)
    return false;
  record.locked = true;
  record.lockedUntil = nowMs + kRemoteConsoleLockoutMs;
  record.count = 0;
  return true;
}

void RemoteConsoleGuard::prune(uint32_t nowMs) {
  for (auto it = records_.begin(); it != records_.end();) {
    Record& record = it->second;
    dropOldRefusals(record, nowMs);
    const bool lockOver = !record.locked || isPast(nowMs, record.lockedUntil);
    it = record.count == 0 && lockOver ? records_.erase(it) : std::next(it);
  }
}

RemoteConsoleGuard& remoteConsoleGuard() {
  static RemoteConsoleGuard guard;
  return guard;
}

void handleRemoteConsole(NetworkManager& manager, const RakNet::SystemAddress& sender, RakNet::BitStream& stream,
                         uint32_t nowMs) {
  RemoteConsoleGuard& guard = remoteConsoleGuard();
  if (guard.lockedOut(sender, nowMs))
    return;
  irr::core::stringw password;
  irr::core::stringw line;
  // A cut message says nothing: it is neither run nor answered.
  if (!readNetStringW(stream, password) || !readNetStringW(stream, line))
    return;

  const bool accepted = !password.empty() && !manager.consolePassword.empty() &&
                        remoteConsolePasswordsMatch(password, manager.consolePassword);
  if (accepted) {
    std::lock_guard<std::mutex> lock(queueLock);
    if (queuedLines.size() >= kRemoteConsoleQueueLimit) {
      logError("Remote console: %zu commands already waiting, one from %s dropped\n", queuedLines.size(),
               sender.ToString().c_str());
      return;
    }
    queuedLines.push_back(std::move(line));
    return;
  }

  RakNet::BitStream refusal;
  writeChatMessage(refusal, kRemoteConsoleRefusal);
  manager.send(&refusal, kChatChannel, RakNet::RELIABLE, sender);
  if (guard.countRefusal(sender, nowMs))
    logPrint("Remote console: %u wrong passwords from %s, its commands are ignored for %u s\n",
             kRemoteConsoleMaxFailures, sender.ToString(false).c_str(), kRemoteConsoleLockoutMs / 1000);
}

int runRemoteConsoleCommands() {
  std::deque<irr::core::stringw> lines;
  {
    std::lock_guard<std::mutex> lock(queueLock);
    lines.swap(queuedLines);
  }
  int ran = 0;
  for (const irr::core::stringw& line : lines) {
    if (Console* target = console())
      target->execute(line, true);
    ++ran;
  }
  return ran;
}

std::size_t queuedRemoteConsoleCommands() {
  std::lock_guard<std::mutex> lock(queueLock);
  return queuedLines.size();
}
