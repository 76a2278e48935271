// The master server, against a fake one of our own on 127.0.0.1:25000-25009:
// a public server's contacts and heartbeats on the manager's clock, the
// busy master, no contact without a host, the host name looked up aside,
// and the server list a client collects.
#include <gtest/gtest.h>

#include <ITimer.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/server_settings.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "core/random.h"
#include "core/user_folders.h"
#include "net/master_server.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"
#include "platform/system_address_io.h"
#include "support/fake_master.h"
#include "support/log_capture.h"
#include "support/net_probe.h"
#include "support/network_child.h"
#include "net_fixture.h"

namespace master_server_test {

namespace {

using fakemaster::FakeMaster;
using fakemaster::Heartbeat;
using netprobe::Probe;

constexpr int kSafetyMs = 60000;

bool waitUntil(const std::function<bool()>& done, const std::function<void()>& meanwhile) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSafetyMs);
  for (;;) {
    meanwhile();
    if (done())
      return true;
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The process's manager as a public server (or a client), on a clock the
// test moves, with "sMasterServer" naming the fake master's address.
class MasterContact {
 public:
  MasterContact() {
    savedTimer_ = engine.timer;
    engine.timer = &timer;
    sMasterServer = "127.0.0.1";
    currentModName = "Frontier";
    manager.maxPlayers = 6;
    manager.serverName = L"Remote Test Server";
    manager.isPublic = true;
    threadRandom().seed(7);
  }
  ~MasterContact() {
    manager.disconnect();
    engine.timer = savedTimer_;
    sMasterServer = kBuiltInMasterServer;
  }
  MasterContact(const MasterContact&) = delete;
  MasterContact& operator=(const MasterContact&) = delete;

  void poll() { manager.processPackets(); }
  std::function<void()> polling() {
    return [this] { poll(); };
  }

  // Makes the next contact due and polls once: the contact starts.
  void contactNow() {
    timer.realTime = manager.nextHeartbeatTime + 1;
    poll();
  }

  // Polls until the connection to the master is gone on our side too, so
  // that the next contact starts afresh.
  bool waitForMasterConnectionGone() {
    return waitUntil(
        [this] { return manager.peer->GetConnectionState(manager.masterAddress) >= RakNet::CONNECTION_GONE; },
        polling());
  }

  NetworkManager& manager = *networkManager;
  netfixture::FakeTimer timer;

 private:
  irr::ITimer* savedTimer_ = nullptr;
};

TEST(MasterServer, ThePortIsAlwaysOneOfTheMastersTen) {
  struct Case {
    int draw;
    uint16_t port;
  };
  // 25000 + ((draw >> 2) mod 10)
  const Case cases[] = {{0, 25000}, {3, 25000}, {4, 25001}, {39, 25009}, {40, 25000}, {32767, 25001}};
  for (const Case& c : cases)
    EXPECT_EQ(masterServerPort(c.draw), c.port) << c.draw;
  for (int draw = 0; draw <= 32767; ++draw) {
    const uint16_t port = masterServerPort(draw);
    ASSERT_TRUE(port >= kMasterServerFirstPort && port <= kMasterServerLastPort) << draw;
  }
}

// The first contact of a freshly hosting server: its heartbeat carries the
// details, and the connection closes 100 ms after it.
TEST(MasterServer, AHeartbeatWithDetailsThenTheCloseAHundredMillisecondsLater) {
  privatenet::runInPrivateNetwork([] {
    FakeMaster master;
    ASSERT_TRUE(master.started());
    MasterContact server;
    NetworkManager& manager = server.manager;
    ASSERT_TRUE(manager.startPeer(kDefaultGamePort));
    manager.heartbeatDetails = true;  // as `host` leaves it
    LogCapture log;

    server.contactNow();
    EXPECT_EQ(manager.nextHeartbeatTime, server.timer.realTime + kHeartbeatIntervalMs);
    ASSERT_TRUE(master.waitForCount(msgid::kMasterHeartbeat, 1, server.polling()));
    const Heartbeat beat = fakemaster::readHeartbeat(master.ofId(msgid::kMasterHeartbeat)[0]);
    EXPECT_TRUE(beat.complete);
    EXPECT_TRUE(beat.details);
    EXPECT_EQ(beat.serverName, L"Remote Test Server");
    EXPECT_EQ(beat.modName, "Frontier");
    EXPECT_EQ(beat.gamePort, kDefaultGamePort);
    EXPECT_EQ(beat.playerCount, 0);
    EXPECT_EQ(beat.maxPlayers, 6);
    EXPECT_EQ(countOccurrences(log.take(), "Heartbeat...\n"), 1u);
    EXPECT_GE(manager.masterAddress.port, kMasterServerFirstPort);
    EXPECT_LE(manager.masterAddress.port, kMasterServerLastPort);
    // Not from the game port: from the server's second socket.
    EXPECT_NE(master.ofId(msgid::kMasterHeartbeat)[0].from.port, kDefaultGamePort);

    // Open for 100 ms, then closed with notice.
    ASSERT_TRUE(manager.masterClosePending);
    server.timer.realTime += kMasterCloseDelayMs;
    server.poll();
    EXPECT_TRUE(manager.masterClosePending);
    EXPECT_EQ(master.count(RakNet::ID_DISCONNECTION_NOTIFICATION), 0u);
    server.timer.realTime += 1;
    server.poll();
    EXPECT_FALSE(manager.masterClosePending);
    EXPECT_TRUE(master.waitForCount(RakNet::ID_DISCONNECTION_NOTIFICATION, 1, server.polling()));
    // The master's goodbye changes nothing here.
    EXPECT_TRUE(manager.isServer);
    EXPECT_TRUE(manager.peerActive());
  });
}

// The dedicated start: a public server contacts the master at once, and
// next 8000 ms after the start; a server that is not public never does.
TEST(MasterServer, TheDedicatedStartContactsAPublicServersMasterAtOnce) {
  for (const bool isPublic : {true, false}) {
    SCOPED_TRACE(isPublic ? "public" : "not public");
    privatenet::runInPrivateNetwork([isPublic] {
      FakeMaster master;
      ASSERT_TRUE(master.started());
      MasterContact server;
      ServerSettings settings;
      settings.isPublic = isPublic;
      const uint32_t start = server.timer.realTime;
      ASSERT_TRUE(applyServerSettings(settings, start, "Remote Test Server", ""));
      startServerNetwork();
      EXPECT_EQ(masterConnectAttempts(), isPublic ? 1u : 0u);
      if (isPublic) {
        EXPECT_EQ(server.manager.nextHeartbeatTime, start + kHeartbeatIntervalMs);
        // The clock has not moved: the heartbeat is the start's.
        EXPECT_TRUE(master.waitForCount(msgid::kMasterHeartbeat, 1, server.polling()));
        EXPECT_EQ(server.timer.realTime, start);
      } else {
        for (int i = 0; i < 100; ++i) {
          server.timer.realTime += 100;
          server.poll();
        }
        EXPECT_EQ(masterConnectAttempts(), 0u);
      }
    });
  }
}

// Forty cycles of contact, heartbeat and close: about one heartbeat in four
// carries the details, and every one reaches the master whole.
TEST(MasterServer, FortyCyclesCarryTheDetailsAboutOneTimeInFour) {
  privatenet::runInPrivateNetwork([] {
    FakeMaster master;
    ASSERT_TRUE(master.started());
    MasterContact server;
    NetworkManager& manager = server.manager;
    ASSERT_TRUE(manager.startPeer(kDefaultGamePort));
    manager.heartbeatDetails = true;
    constexpr std::size_t kCycles = 40;
    std::size_t withDetails = 0;
    for (std::size_t cycle = 1; cycle <= kCycles; ++cycle) {
      SCOPED_TRACE(cycle);
      server.contactNow();
      ASSERT_TRUE(master.waitForCount(msgid::kMasterHeartbeat, cycle, server.polling()));
      const Heartbeat beat = fakemaster::readHeartbeat(master.ofId(msgid::kMasterHeartbeat)[cycle - 1]);
      EXPECT_TRUE(beat.complete);
      EXPECT_EQ(beat.maxPlayers, 6);
      if (beat.details) {
        ++withDetails;
        EXPECT_EQ(beat.serverName, L"Remote Test Server");
      }
      server.timer.realTime += kMasterCloseDelayMs + 1;
      server.poll();
      ASSERT_TRUE(master.waitForCount(RakNet::ID_DISCONNECTION_NOTIFICATION, cycle, server.polling()));
      ASSERT_TRUE(server.waitForMasterConnectionGone());
    }
    EXPECT_GE(withDetails, 4u);
    EXPECT_LE(withDetails, 20u);
  });
}

// A master without a free slot answers 20: the next contact comes 5000 ms
// after its usual time.
TEST(MasterServer, ABusyMasterPutsTheNextContactFiveSecondsLater) {
  privatenet::runInPrivateNetwork([] {
    FakeMaster master(0);
    ASSERT_TRUE(master.started());
    MasterContact server;
    NetworkManager& manager = server.manager;
    ASSERT_TRUE(manager.startPeer(kDefaultGamePort));
    server.contactNow();
    const uint32_t usual = server.timer.realTime + kHeartbeatIntervalMs;
    EXPECT_EQ(manager.nextHeartbeatTime, usual);
    EXPECT_TRUE(waitUntil([&] { return manager.nextHeartbeatTime == usual + kMasterBusyDelayMs; }, server.polling()));
    EXPECT_EQ(master.count(msgid::kMasterHeartbeat), 0u);
  });
}

// The built-in host is empty: a public server contacts nobody and looks
// nothing up, however long it runs.
TEST(MasterServer, WithoutAHostNothingIsAttempted) {
  privatenet::runInPrivateNetwork([] {
    MasterContact server;
    NetworkManager& manager = server.manager;
    sMasterServer = kBuiltInMasterServer;
    ASSERT_TRUE(manager.startPeer(kDefaultGamePort));
    manager.nextHeartbeatTime = server.timer.realTime;
    const uint32_t start = server.timer.realTime;
    while (server.timer.realTime - start <= 30000) {
      server.timer.realTime += 100;
      server.poll();
    }
    EXPECT_FALSE(manager.connectToMasterServer(true));
    EXPECT_FALSE(manager.connectToMasterServer(false));
    EXPECT_EQ(masterConnectAttempts(), 0u);
    EXPECT_EQ(masterNameLookups(), 0u);
    EXPECT_EQ(manager.peer->NumberOfConnections(), 0u);
    // The server kept hosting through it all.
    EXPECT_TRUE(manager.isServer);
  });
}

// A host name is looked up on a helper thread: contacts before the answer
// are skipped without waiting, later ones use the address found. A name
// that cannot be found leaves the schedule as it was.
TEST(MasterServer, AHostNameIsLookedUpAsideAndKept) {
  privatenet::runInPrivateNetwork([] {
    FakeMaster master;
    ASSERT_TRUE(master.started());
    MasterContact server;
    NetworkManager& manager = server.manager;
    ASSERT_TRUE(manager.startPeer(kDefaultGamePort));

    // Only the hosts file answers in the test's network.
    sMasterServer = "localhost";
    EXPECT_FALSE(manager.connectToMasterServer(true));
    EXPECT_EQ(masterNameLookups(), 1u);
    EXPECT_EQ(masterConnectAttempts(), 0u);
    bool contacted = false;
    EXPECT_TRUE(waitUntil([&] { return contacted; }, [&] { contacted = manager.connectToMasterServer(true); }));
    EXPECT_EQ(masterNameLookups(), 1u);
    EXPECT_TRUE(master.waitForCount(msgid::kMasterHeartbeat, 1, server.polling()));

    LogCapture log;
    forgetMasterServerAddress();
    manager.masterAddress = RakNet::UNASSIGNED_SYSTEM_ADDRESS;
    sMasterServer = "no-such-master.invalid";
    server.contactNow();
    const uint32_t next = manager.nextHeartbeatTime;
    EXPECT_EQ(next, server.timer.realTime + kHeartbeatIntervalMs);
    EXPECT_TRUE(waitUntil([&] { return log.take().find("Could not find the master server's address: "
                                                       "no-such-master.invalid\n") != std::string::npos; },
                          server.polling()));
    EXPECT_EQ(manager.nextHeartbeatTime, next);
    EXPECT_EQ(masterNameLookups(), 2u);
  });
}

// ---------------------------------------------------------------------------
// The server list

struct ListedServer {
  RakNet::SystemAddress address;
  uint8_t players;
  uint8_t maxPlayers;
  bool wideName;
  std::wstring name;  // narrow names hold only units below 256
  std::string modName;
};

void writeEntry(RakNet::BitStream& stream, const ListedServer& entry) {
  RakNet::writeSystemAddress(stream, entry.address);
  stream.Write(entry.players);
  stream.Write(entry.maxPlayers);
  stream.Write(entry.wideName);
  if (entry.wideName) {
    writeNetStringW(stream, entry.name.c_str(), kMaxNetStringLength);
  } else {
    irr::core::stringc narrow;
    for (wchar_t c : entry.name)
      narrow.append(static_cast<char>(c));
    writeNetStringC(stream, narrow);
  }
  writeNetStringC(stream, entry.modName.c_str());
}

// A chunk of `entries`, less its last `cutBytes`.
std::vector<uint8_t> chunkOf(const std::vector<ListedServer>& entries, std::size_t cutBytes = 0) {
  RakNet::BitStream stream;
  stream.Write(msgid::kMasterServerList);
  for (const ListedServer& entry : entries)
    writeEntry(stream, entry);
  std::vector<uint8_t> bytes = netprobe::bytesOf(stream);
  bytes.resize(bytes.size() - cutBytes);
  return bytes;
}

ListedServer listed(uint8_t lastOctet, const std::wstring& name, bool wideName = true) {
  return {RakNet::SystemAddress::fromOctets(192, 0, 2, lastOctet, 12100), 3, 8, wideName, name, "Frontier"};
}

// A chunk cut after any byte keeps exactly the entries that end before the
// cut.
TEST(ServerList, EveryCutKeepsTheEntriesBeforeIt) {
  const std::vector<ListedServer> entries{listed(1, L"Alpha"), listed(2, L"B", false), listed(3, L"Gamma Two"),
                                          listed(4, L"\u00C5sa", false)};
  RakNet::BitStream whole;
  std::vector<RakNet::BitSize> ends;
  for (const ListedServer& entry : entries) {
    writeEntry(whole, entry);
    ends.push_back(whole.GetNumberOfBitsUsed());
  }
  const std::vector<uint8_t> bytes = netprobe::bytesOf(whole);
  for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
    RakNet::BitStream stream(bytes.data(), cut, false);
    std::vector<ServerListEntry> list;
    readServerListChunk(stream, list);
    std::size_t expected = 0;
    while (expected < ends.size() && ends[expected] <= 8 * cut)
      ++expected;
    ASSERT_EQ(list.size(), expected) << "cut after " << cut << " bytes";
    for (std::size_t i = 0; i < list.size(); ++i)
      EXPECT_EQ(std::wstring(list[i].name.c_str(), list[i].name.size()), entries[i].name);
  }
}

TEST(ServerList, AClientKeepsTheMastersWholeEntriesOnly) {
  privatenet::runInPrivateNetwork([] {
    FakeMaster master;
    ASSERT_TRUE(master.started());
    MasterContact client;
    NetworkManager& manager = client.manager;
    logLevel = kLogLevelInfo;
    LogCapture log;

    // A client of a game server (a probe) that also asks the master.
    Probe gameServer;
    ASSERT_TRUE(gameServer.host());
    ASSERT_TRUE(manager.connect(gameServer.address().ToString(false).c_str(), kDefaultGamePort));
    ASSERT_TRUE(waitUntil([&] { return manager.isConnected.load(); }, client.polling()));
    ASSERT_TRUE(manager.connectToMasterServer(false));
    ASSERT_TRUE(master.waitForCount(msgid::kMasterServerList, 1, client.polling()));
    const netprobe::Got request = master.ofId(msgid::kMasterServerList)[0];
    EXPECT_EQ(request.bytes, std::vector<uint8_t>{msgid::kMasterServerList});
    EXPECT_NE(log.take().find("Fetching server list...\n"), std::string::npos);

    std::vector<ListedServer> many;
    for (int i = 0; i < 5000; ++i)
      many.push_back(listed(static_cast<uint8_t>(i % 250 + 1), L"Server " + std::to_wstring(i)));
    ListedServer unassigned = listed(1, L"Nowhere");
    unassigned.address = RakNet::UNASSIGNED_SYSTEM_ADDRESS;

    struct Case {
      const char* what;
      std::vector<uint8_t> chunk;
      bool fromMaster;
      std::vector<std::wstring> kept;  // names, in order
    };
    const std::vector<ListedServer> three{listed(1, L"Alpha"), listed(2, L"Beta"), listed(3, L"Gamma")};
    std::vector<std::wstring> first4096;
    for (int i = 0; i < 4096; ++i)
      first4096.push_back(L"Server " + std::to_wstring(i));
    const Case cases[] = {
        {"whole entries", chunkOf(three), true, {L"Alpha", L"Beta", L"Gamma"}},
        {"the last entry cut", chunkOf(three, 3), true, {L"Alpha", L"Beta"}},
        {"one entry cut in its name", chunkOf({listed(4, L"Delta")}, 12), true, {}},
        {"the unassigned address and an empty name dropped",
         chunkOf({listed(1, L"Alpha"), unassigned, listed(2, L""), listed(3, L"Gamma", false)}),
         true,
         {L"Alpha", L"Gamma"}},
        {"a narrow name widened", chunkOf({listed(5, L"Caf\u00E9 Nova", false)}), true, {L"Caf\u00E9 Nova"}},
        {"from the game server", chunkOf(three), false, {}},
        {"5000 entries", chunkOf(many), true, first4096},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      clearServerList();
      if (c.fromMaster) {
        master.forget();
        ASSERT_GT(master.peer()->Send(reinterpret_cast<const char*>(c.chunk.data()), static_cast<int>(c.chunk.size()),
                                      RakNet::MEDIUM_PRIORITY, RakNet::RELIABLE, 0, request.from, false),
                  0u);
        ASSERT_TRUE(waitUntil([&] { return log.take().find("Got server list chunk\n") != std::string::npos; },
                              client.polling()));
      } else {
        // Then a protocol version on the same connection: once it is read,
        // so was the chunk.
        manager.peerVersion = 0;
        ASSERT_TRUE(gameServer.has(RakNet::ID_NEW_INCOMING_CONNECTION));
        gameServer.send(c.chunk, RakNet::RELIABLE);
        RakNet::BitStream version;
        version.Write(msgid::kProtocolVersion);
        version.Write(kProtocolVersion);
        gameServer.send(version, RakNet::RELIABLE);
        ASSERT_TRUE(waitUntil([&] { return manager.peerVersion == kProtocolVersion; }, client.polling()));
        EXPECT_EQ(log.take().find("Got server list chunk"), std::string::npos);
      }
      const std::vector<ServerListEntry> list = serverList();
      std::vector<std::wstring> names;
      for (const ServerListEntry& entry : list)
        names.push_back(std::wstring(entry.name.c_str(), entry.name.size()));
      EXPECT_EQ(names, c.kept);
      for (const ServerListEntry& entry : list) {
        EXPECT_EQ(entry.playerCount, 3);
        EXPECT_EQ(entry.maxPlayers, 8);
        EXPECT_EQ(std::string(entry.modName.c_str()), "Frontier");
        EXPECT_EQ(entry.address.port, 12100);
      }
    }
    // More chunks add to the list, never past its limit.
    clearServerList();
    for (int round = 0; round < 2; ++round) {
      const std::vector<uint8_t> chunk = chunkOf(many);
      master.peer()->Send(reinterpret_cast<const char*>(chunk.data()), static_cast<int>(chunk.size()),
                          RakNet::MEDIUM_PRIORITY, RakNet::RELIABLE, 0, request.from, false);
      ASSERT_TRUE(waitUntil([&] { return log.take().find("Got server list chunk\n") != std::string::npos; },
                            client.polling()));
    }
    EXPECT_EQ(serverList().size(), kServerListLimit);
    clearServerList();
  });
}

// A server never asked for a list: the master's chunk is not taken.
TEST(ServerList, AServerTakesNoChunk) {
  privatenet::runInPrivateNetwork([] {
    FakeMaster master;
    ASSERT_TRUE(master.started());
    MasterContact server;
    NetworkManager& manager = server.manager;
    ASSERT_TRUE(manager.startPeer(kDefaultGamePort));
    server.contactNow();
    ASSERT_TRUE(master.waitForCount(msgid::kMasterHeartbeat, 1, server.polling()));
    const RakNet::SystemAddress to = master.ofId(msgid::kMasterHeartbeat)[0].from;
    const std::vector<uint8_t> chunk = chunkOf({listed(1, L"Alpha")});
    master.peer()->Send(reinterpret_cast<const char*>(chunk.data()), static_cast<int>(chunk.size()),
                        RakNet::MEDIUM_PRIORITY, RakNet::RELIABLE, 0, to, false);
    // The master's goodbye follows the chunk: once the server has taken it,
    // it has read the chunk.
    master.peer()->CloseConnection(to, true, 0, RakNet::LOW_PRIORITY);
    ASSERT_TRUE(waitUntil(
        [&] { return manager.peer->GetConnectionState(manager.masterAddress) == RakNet::CONNECTION_UNKNOWN; },
        server.polling()));
    EXPECT_FALSE(serverListRequested());
    EXPECT_TRUE(serverList().empty());
  });
}

}  // namespace

}  // namespace master_server_test
