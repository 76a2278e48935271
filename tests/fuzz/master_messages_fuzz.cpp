// Fuzz entry point: reads arbitrary bytes as the body of a server-list chunk
// (212) and as a remote-console message (144).
//
// Besides running clean under the sanitizers, every input checks: the list
// never passes its limit and holds only entries with an address and a name;
// a 144 runs (is queued) only when it carries exactly the console password,
// and otherwise is answered at most once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/net_encoders.h"
#include "net/master_server.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "net/remote_console.h"
#include "platform/bit_stream.h"
#include "platform/system_address_io.h"

using RakNet::BitStream;

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

constexpr wchar_t kPassword[] = L"s3cret";

void writeEntry(BitStream& stream, uint8_t lastOctet, bool wideName, const char* name) {
  RakNet::writeSystemAddress(stream, RakNet::SystemAddress::fromOctets(192, 0, 2, lastOctet, 12100));
  stream.Write(static_cast<uint8_t>(2));
  stream.Write(static_cast<uint8_t>(8));
  stream.Write(wideName);
  if (wideName)
    writeNetStringW(stream, irr::core::stringw(name), kMaxNetStringLength);
  else
    writeNetStringC(stream, name);
  writeNetStringC(stream, "Frontier");
}

}  // namespace

extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  BitStream chunk;
  writeEntry(chunk, 1, true, "Alpha");
  writeEntry(chunk, 2, false, "Beta");
  writeEntry(chunk, 3, true, "");
  seeds->emplace_back(chunk.GetData(), chunk.GetData() + chunk.GetNumberOfBytesUsed());
  BitStream remote;
  writeNetStringW(remote, kPassword, kMaxNetStringLength);
  writeNetStringW(remote, L"game_setting FOO 5", kMaxNetStringLength);
  seeds->emplace_back(remote.GetData(), remote.GetData() + remote.GetNumberOfBytesUsed());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    BitStream stream(data, size, false);
    std::vector<ServerListEntry> list;
    readServerListChunk(stream, list);
    check(list.size() <= kServerListLimit);
    for (const ServerListEntry& entry : list)
      check(entry.address != RakNet::UNASSIGNED_SYSTEM_ADDRESS && !entry.name.empty());
  }
  {
    NetworkManager& manager = *networkManager;
    manager.consolePassword = kPassword;
    unsigned answers = 0;
    manager.setSendObserver(
        [&answers](const BitStream&, uint8_t, RakNet::PacketReliability, const RakNet::SystemAddress&) { ++answers; });
    // A fresh guard each time: no input is dropped for earlier ones.
    remoteConsoleGuard().clear();
    BitStream stream(data, size, false);
    handleRemoteConsole(manager, RakNet::SystemAddress::fromOctets(127, 0, 0, 1, 40000), stream, 1000);
    manager.setSendObserver({});
    BitStream again(data, size, false);
    irr::core::stringw password;
    irr::core::stringw line;
    const bool whole = readNetStringW(again, password) && readNetStringW(again, line);
    // Unit by unit: irr's own comparison stops at a NUL unit.
    const std::wstring expected(kPassword);
    const bool runs = whole && std::wstring(password.c_str(), password.size()) == expected;
    check(queuedRemoteConsoleCommands() == (runs ? 1u : 0u));
    check(answers == (whole && !runs ? 1u : 0u));
    // The console does not exist here: the queue is emptied without running.
    (void)runRemoteConsoleCommands();
  }
  return 0;
}
