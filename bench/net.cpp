// The network on loopback. The peer layer: reliable ordered messages a
// second on one connection, for small and large messages. The game server
// (the default map, hosted by the process's network manager, clients joined
// as the tests' probes join): the galaxy transfer to one joining client and
// to two at once, the replication's bytes a second to each in-game player,
// the bytes of one update entry, the packets of one broadcast pass for each
// packet limit and the CPU time of one replication step.
//
// The process moves into a network namespace of its own before anything
// else runs, so that nothing it sends can leave the machine; without one
// the benchmarks refuse to run.
#include <benchmark/benchmark.h>

#include <irrlicht.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/base/config.h"
#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/engine_start.h"
#include "app/new_game.h"
#include "core/post_load.h"
#include "core/random.h"
#include "empire/empire.h"
#include "empire/empire_names.h"
#include "gfx/gas_sprites.h"
#include "net/galaxy_transfer.h"
#include "net/network_manager.h"
#include "net/object_updates.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"
#include "universe/galaxygen/net_object_records.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/system_threads.h"
#include "universe/ships/ship.h"
#include "shipped_session.h"
#include "support/manual_timer.h"
// The tests' tools: the probe that joins a server as the game does, the
// galaxy workers' stepping and the reading of update batches.
#include "net/object_updates_helpers.h"
#include "support/net_probe.h"
#include "support/private_network.h"
#include "universe/worker_steps.h"

namespace {

using RakNet::RakPeerInterface;

// Before main and before any thread: unshare needs a single-threaded process.
const privatenet::Isolation kIsolation = privatenet::enterPrivateNetwork();

constexpr uint16_t kPort = 12100;
constexpr char kPassword[] = "bench-net-pass";
// Only a safety net: every wait ends on its event long before.
constexpr auto kSafety = std::chrono::seconds(60);

struct PeerDeleter {
  void operator()(RakPeerInterface* peer) const { RakPeerInterface::DestroyInstance(peer); }
};
using PeerPtr = std::unique_ptr<RakPeerInterface, PeerDeleter>;

// Waits for a packet whose first byte is `id`, dropping the others; false
// at the safety limit.
bool waitForId(RakPeerInterface& peer, uint8_t id) {
  const auto deadline = std::chrono::steady_clock::now() + kSafety;
  while (std::chrono::steady_clock::now() < deadline) {
    if (RakNet::Packet* packet = peer.Receive()) {
      const bool found = packet->length > 0 && packet->data[0] == id;
      peer.DeallocatePacket(packet);
      if (found)
        return true;
      continue;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return false;
}

// A server and a client connected over 127.0.0.1.
struct Pair {
  PeerPtr server{RakPeerInterface::GetInstance()};
  PeerPtr client{RakPeerInterface::GetInstance()};
  RakNet::SystemAddress serverAddress = RakNet::SystemAddress::fromOctets(127, 0, 0, 1, kPort);
  bool ready = false;

  Pair() {
    RakNet::SocketDescriptor listen(kPort, "");
    RakNet::SocketDescriptor any;
    if (server->Startup(4, &listen, 1, 0) != RakNet::PEER_STARTED || client->Startup(2, &any, 1, 0) != RakNet::PEER_STARTED)
      return;
    server->SetMaximumIncomingConnections(2);
    server->SetIncomingPassword(kPassword, static_cast<int>(std::strlen(kPassword)));
    if (client->Connect("127.0.0.1", kPort, kPassword, static_cast<int>(std::strlen(kPassword)), nullptr, 0, 12, 500,
                        0) != RakNet::CONNECT_STARTED)
      return;
    ready = waitForId(*client, RakNet::ID_CONNECTION_REQUEST_ACCEPTED) &&
            waitForId(*server, RakNet::ID_NEW_INCOMING_CONNECTION);
  }
  ~Pair() {
    client->Shutdown(100, 0, RakNet::LOW_PRIORITY);
    server->Shutdown(100, 0, RakNet::LOW_PRIORITY);
  }
};

// Reliable ordered messages of range(1) bytes on one channel, client to
// server, in batches of range(0); each iteration ends when the server has
// taken the whole batch.
void BM_ReliableOrderedThroughput(benchmark::State& state) {
  if (kIsolation == privatenet::Isolation::None) {
    state.SkipWithError("no private network namespace");
    return;
  }
  Pair pair;
  if (!pair.ready) {
    state.SkipWithError("the peers did not connect");
    return;
  }
  const int batch = static_cast<int>(state.range(0));
  std::vector<char> message(static_cast<size_t>(state.range(1)), 'x');
  message[0] = static_cast<char>(RakNet::kFirstUserMessageId + 100);
  uint64_t received = 0;
  uint64_t bytes = 0;
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i)
      pair.client->Send(message.data(), static_cast<int>(message.size()), RakNet::MEDIUM_PRIORITY,
                        RakNet::RELIABLE_ORDERED, 0, pair.serverAddress, false);
    int taken = 0;
    const auto deadline = std::chrono::steady_clock::now() + kSafety;
    while (taken < batch) {
      if (RakNet::Packet* packet = pair.server->Receive()) {
        if (packet->length == message.size()) {
          ++taken;
          bytes += packet->length;
        }
        pair.server->DeallocatePacket(packet);
      } else if (std::chrono::steady_clock::now() > deadline) {
        state.SkipWithError("messages were lost");
        return;
      } else {
        std::this_thread::yield();
      }
    }
    received += static_cast<uint64_t>(taken);
  }
  state.SetItemsProcessed(static_cast<int64_t>(received));
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ReliableOrderedThroughput)
    ->Args({1000, 64})
    ->Args({1000, 512})
    ->Args({200, 4096})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// ---------------------------------------------------------------------------
// The game server. The session's data, device and network manager are made
// once for the program, in a scratch user folder; each benchmark then makes
// its game afresh (the default map with the systems and AI empires it asks
// for, the galaxy's processing threads running), hosts it on kGamePort, and
// ends both when it is done. The device timer is one the benchmarks move,
// so that the replication step runs when they say.

using netprobe::Got;
using netprobe::Probe;

constexpr uint16_t kGamePort = 12200;
constexpr uint8_t kGalaxyRequest = 115;
constexpr uint8_t kProgress = 121;
constexpr uint8_t kGameSettings = 142;
constexpr uint8_t kWorkers = 4;
constexpr int kDefaultSystems = 150;

using BenchTimer = ManualTimer;

struct GameServer {
  BenchTimer timer;
  bool ready = false;

  NetworkManager& manager() { return *networkManager; }
  void poll() { manager().processPackets(); }
  // Polls until `done` holds; false at the safety limit.
  bool pollUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kSafety;
    for (;;) {
      poll();
      if (done())
        return true;
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

GameServer& gameServer() {
  static GameServer* server = [] {
    auto* made = new GameServer;
    benchsession::startShippedSession("net", 3, kDefaultSystems);
    irr::IrrlichtDevice* device = createNullDevice(640, 480, &logOnlyReceiver);
    if (device == nullptr)
      return made;
    initDeviceGlobals(device, nullptr);
    createConsole(engine.gui);
    engine.timer = &made->timer;
    createNetworkManager();
    NetworkManager& manager = *networkManager;
    manager.maxPlayers = 10;
    manager.serverName = L"Benchmark Server";
    manager.autoPause = false;
    manager.welcomeMessage = true;
    manager.votesEnabled = true;
    manager.restartInterval = 0;
    made->ready = true;
    return made;
  }();
  return *server;
}

// One benchmark's game: the default map with `systems` systems and
// `empires` AI empires, hosted; its end stops the peer and ends the game.
class Game {
 public:
  Game(benchmark::State& state, int systems, int empires) : server(gameServer()) {
    if (kIsolation == privatenet::Isolation::None) {
      state.SkipWithError("no private network namespace");
      return;
    }
    if (!server.ready) {
      state.SkipWithError("no device");
      return;
    }
    setGameSetting(L"AI_COUNT", static_cast<float>(empires));
    setGameSetting(L"SYSTEM_COUNT", static_cast<float>(systems));
    seedProcessRandom(1);
    threadRandom().seed(1);
    setupNewGame(sessionDataFiles.mapScriptPath);
    gameRunning = true;
    gameLoaded = true;
    gameSpeed = 1.0;
    if (galaxy == nullptr || galaxy->getSystemCount() != static_cast<unsigned>(systems)) {
      state.SkipWithError("the game does not have its systems");
      return;
    }
    startSystemThreads(kWorkers);
    if (!workersteps::waitForWorkersRunning()) {
      state.SkipWithError("the processing threads did not start");
      return;
    }
    if (!server.manager().startPeer(kGamePort)) {
      state.SkipWithError("the server did not start");
      return;
    }
    ok = true;
  }
  ~Game() {
    server.manager().setSendObserver({});
    server.manager().disconnect();
    server.manager().forgetPlayerEmpires();
    gameLoaded = false;
    gameRunning = false;
    gameRulesActive = false;
    clearPostObjectTreeSteps();
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
    clearGalaxyGasSprites();
    clearObjectRegistry();
    uidHighWater = 1;
  }
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  GameServer& server;
  bool ok = false;
};

// The listed AI empire `index` of the game.
empire* aiEmpire(size_t index) {
  size_t seen = 0;
  for (empire* emp : empireList)
    if (!emp->reserved && emp->valid && seen++ == index)
      return emp;
  return nullptr;
}

// Probes joined to the game server, each on a loopback address of its own;
// they leave (with notice, and the server drops their records) when the set
// goes.
class Clients {
 public:
  explicit Clients(GameServer& server) : server_(server) {}
  ~Clients() {
    for (auto& probe : probes_)
      probe->disconnect();
    server_.pollUntil([this] { return server_.manager().playerCount() == 0; });
  }
  Clients(const Clients&) = delete;
  Clients& operator=(const Clients&) = delete;

  // Joins `count` probes, each once it has its settings (142). As players
  // they take the AI empires in turn and have the galaxy; else they are
  // spectators who have yet to ask for it.
  bool join(int count, bool asPlayers) {
    for (int i = 0; i < count; ++i) {
      auto probe = std::make_unique<Probe>();
      if (probe->startConnect(kGamePort) != RakNet::CONNECT_STARTED ||
          !probe->waitFor(kGameSettings, [this] { server_.poll(); }).has_value())
        return false;
      NetPlayer* record = server_.manager().findPlayer(probe->peer()->GetMyGUID());
      if (record == nullptr)
        return false;
      if (asPlayers) {
        empire* emp = aiEmpire(static_cast<size_t>(i));
        if (emp == nullptr)
          return false;
        std::lock_guard<std::mutex> guard(server_.manager().playersLock);
        record->emp = emp;
        record->hasGalaxy = 1;
        emp->playerControlled = true;
        emp->playerName = record->name;
      }
      probes_.push_back(std::move(probe));
      records_.push_back(record);
    }
    return true;
  }

  // Every system becomes visible to the players' empires.
  void seeEverything() {
    for (irr::u32 i = 0; i < galaxy->children.size(); ++i) {
      generic_object* child = galaxy->children[i].get();
      if (child == nullptr || child->getType() != OT_System)
        continue;
      for (NetPlayer* record : records_)
        if (record->emp != nullptr)
          static_cast<solarSystem*>(child)->visibilityMask |= record->emp->ownBit;
    }
  }

  // Drops what the probes received.
  void drain() {
    for (auto& probe : probes_)
      probe->forget();
  }

  std::vector<std::unique_ptr<Probe>>& probes() { return probes_; }
  const std::vector<NetPlayer*>& records() const { return records_; }

 private:
  GameServer& server_;
  std::vector<std::unique_ptr<Probe>> probes_;
  std::vector<NetPlayer*> records_;
};

// `perSystem` ships of the first AI empire in every system, each moving
// (5 units a second); false when there is no such empire.
bool addMovingShips(int perSystem) {
  empire* owner = aiEmpire(0);
  if (owner == nullptr)
    return false;
  for (irr::u32 i = 0; i < galaxy->children.size(); ++i) {
    generic_object* child = galaxy->children[i].get();
    if (child == nullptr || child->getType() != OT_System)
      continue;
    for (int k = 0; k < perSystem; ++k) {
      auto* ship = new objHulled(owner, getUnknownHullLayout(), new MobileMover());
      ship->position.set(300.0f + static_cast<float>(k) * 40.0f, 0.0f, 300.0f);
      ship->velocity.set(0.0f, 0.0f, 5.0f);
      ship->setContainer(child);
    }
  }
  return true;
}

// The scenes of the replication benchmarks: what the players' empires see
// at the start of the game (0), every system seen (1), and every system
// seen with ten moving ships in each (2).
bool setScene(Clients& joined, int64_t scene) {
  if (scene >= 1)
    joined.seeEverything();
  return scene < 2 || addMovingShips(10);
}

// Joins `players` clients and sets the scene of range(1); on failure marks
// the benchmark skipped and answers false.
bool joinWithScene(Clients& joined, benchmark::State& state, int players) {
  if (!joined.join(players, true)) {
    state.SkipWithError(players == 1 ? "the player did not join" : "a player did not join");
    return false;
  }
  if (!setScene(joined, state.range(1))) {
    state.SkipWithError("no ships");
    return false;
  }
  return true;
}

uint64_t addressKey(const RakNet::SystemAddress& address) {
  return (uint64_t{address.binaryAddress} << 16) | address.port;
}

// Measures how long the galaxy's processing threads stay paused while it
// lives, sampling the pause flag every 20 us.
class PauseClock {
 public:
  PauseClock()
      : thread_([this] {
          auto last = std::chrono::steady_clock::now();
          bool wasPaused = systemsPaused.load();
          while (!stop_.load()) {
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            const auto now = std::chrono::steady_clock::now();
            const bool paused = systemsPaused.load();
            if (wasPaused || paused)
              paused_ += now - last;
            wasPaused = paused;
            last = now;
          }
        }) {}
  // Stops the clock; the paused time in seconds.
  double stop() {
    stop_.store(true);
    if (thread_.joinable())
      thread_.join();
    return std::chrono::duration<double>(paused_).count();
  }
  ~PauseClock() { stop(); }
  PauseClock(const PauseClock&) = delete;
  PauseClock& operator=(const PauseClock&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::chrono::steady_clock::duration paused_{};
  std::thread thread_;
};

bool hasEndMark(Probe& probe) {
  for (const Got& got : probe.ofId(kProgress))
    if (got.bytes == std::vector<uint8_t>{kProgress, 0x3F, 0x80, 0x00, 0x00})
      return true;
  return false;
}

bool isTransferMessage(uint8_t id) {
  return id == ID_GALAXY_BEGIN || id == ID_GALAXY_GAS_SPRITES || id == kMsgObjectRecord || id == kProgress;
}

// The galaxy transfer: range(0) systems, range(1) spectators who ask at
// once. Each iteration joins the clients (untimed), sends their requests and
// ends when every one has the end mark; the time is the wall time from the
// requests to the last end mark. Per client: the bytes and messages of the
// transfer (header, gas sprites, records and progress marks); per iteration:
// the time the processing threads stayed paused.
void BM_GalaxyTransfer(benchmark::State& state) {
  const int systems = static_cast<int>(state.range(0));
  const int clients = static_cast<int>(state.range(1));
  Game game(state, systems, 3);
  if (!game.ok)
    return;
  GameServer& server = game.server;
  double bytes = 0.0;
  double messages = 0.0;
  double paused = 0.0;
  double records = 0.0;
  for (auto _ : state) {
    Clients joined(server);
    if (!joined.join(clients, false)) {
      state.SkipWithError("a client did not join");
      return;
    }
    joined.drain();
    PauseClock pauses;
    const auto start = std::chrono::steady_clock::now();
    for (auto& probe : joined.probes())
      probe->send({kGalaxyRequest});
    const bool done = server.pollUntil([&] {
      for (auto& probe : joined.probes())
        if (!hasEndMark(*probe))
          return false;
      return true;
    });
    const auto end = std::chrono::steady_clock::now();
    if (!done || !server.pollUntil([] { return runningGalaxyTransfers() == 0; })) {
      state.SkipWithError("a transfer never ended");
      return;
    }
    paused += pauses.stop();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    for (auto& probe : joined.probes())
      for (const Got& got : probe->received())
        if (isTransferMessage(got.id())) {
          bytes += static_cast<double>(got.bytes.size());
          messages += 1.0;
          records += got.id() == kMsgObjectRecord ? 1.0 : 0.0;
        }
  }
  const double perClient = static_cast<double>(state.iterations()) * clients;
  state.counters["bytes"] = bytes / perClient;
  state.counters["messages"] = messages / perClient;
  state.counters["records"] = records / perClient;
  state.counters["paused_ms"] = paused * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_GalaxyTransfer)
    ->ArgNames({"systems", "clients"})
    ->Args({150, 1})
    ->Args({150, 2})
    ->Args({500, 1})
    ->Args({500, 2})
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// What the server sends, per target, and the update batches it sends.
struct SentCount {
  std::mutex lock;
  std::map<uint64_t, uint64_t> bytes;
  std::vector<std::vector<uint8_t>> batches;  // each 125, once (the first target's copy)
  uint64_t firstTarget = 0;

  NetworkManager::SendObserver observer() {
    return [this](const RakNet::BitStream& stream, uint8_t, RakNet::PacketReliability,
                  const RakNet::SystemAddress& target) {
      const uint8_t* data = stream.GetData();
      const size_t size = stream.GetNumberOfBytesUsed();
      std::lock_guard<std::mutex> guard(lock);
      bytes[addressKey(target)] += size;
      if (size > 0 && data[0] == ID_OBJECT_UPDATES && addressKey(target) == firstTarget)
        batches.emplace_back(data, data + size);
    };
  }
};

// Entries of the kept batches: all of them and the moving ones.
void countEntries(const std::vector<std::vector<uint8_t>>& batches, uint64_t& entries, uint64_t& moving) {
  for (const std::vector<uint8_t>& bytes : batches) {
    const updatetest::Packet packet = updatetest::readPacket(bytes);
    entries += packet.entries.size();
    for (const updatetest::Entry& entry : packet.entries)
      moving += entry.moving ? 1 : 0;
  }
}

constexpr int kReplicationSteps = 119;  // 10 s of game, a step every 84 ms
constexpr double kStepSeconds = kUpdateIntervalMs / 1000.0;

// Replication bandwidth: range(0) players, each playing one of eight AI
// empires of the default map, over 10 s of game: each 84 ms step the
// processing threads simulate 84 ms of game time, then the server's poll
// runs its replication step. range(1) is the scene (setScene). Counters: bytes a
// second sent to each player (their mean, the least and the most), and the
// update entries a second the first player receives, all and moving ones
// (the broadcast passes' and the per-player pass's). Scene 1 is left out:
// the simulation sets the systems' visibility again at once.
void BM_ReplicationBandwidth(benchmark::State& state) {
  const int players = static_cast<int>(state.range(0));
  Game game(state, kDefaultSystems, 8);
  if (!game.ok)
    return;
  GameServer& server = game.server;
  Clients joined(server);
  if (!joinWithScene(joined, state, players))
    return;
  SentCount sent;
  sent.firstTarget = addressKey(joined.records().front()->address);
  uint64_t entries = 0;
  uint64_t moving = 0;
  for (auto _ : state) {
    server.manager().setSendObserver(sent.observer());
    for (int step = 0; step < kReplicationSteps; ++step) {
      if (!workersteps::stepWorkers(kStepSeconds)) {
        state.SkipWithError("the processing threads did not step");
        break;
      }
      server.timer.realTime += kUpdateIntervalMs;
      server.poll();
      joined.drain();
      std::lock_guard<std::mutex> guard(sent.lock);
      countEntries(sent.batches, entries, moving);
      sent.batches.clear();
    }
    server.manager().setSendObserver({});
  }
  const double seconds = kReplicationSteps * kStepSeconds * static_cast<double>(state.iterations());
  double least = 0.0;
  double most = 0.0;
  double sum = 0.0;
  for (size_t i = 0; i < joined.records().size(); ++i) {
    const double perSecond = static_cast<double>(sent.bytes[addressKey(joined.records()[i]->address)]) / seconds;
    least = i == 0 ? perSecond : std::min(least, perSecond);
    most = std::max(most, perSecond);
    sum += perSecond;
  }
  state.counters["bytes_per_s"] = sum / static_cast<double>(players);
  state.counters["least_per_s"] = least;
  state.counters["most_per_s"] = most;
  state.counters["entries_per_s"] = static_cast<double>(entries) / seconds;
  state.counters["moving_per_s"] = static_cast<double>(moving) / seconds;
}
BENCHMARK(BM_ReplicationBandwidth)
    ->ArgNames({"players", "scene"})
    ->ArgsProduct({{1, 4, 8}, {0, 2}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Bytes of one update entry: 64 ships of the first empire in one system,
// moving (range(0) 1) or still, with UIDs below 32768 (range(1) 0) or above.
// Each iteration writes the 64 entries into a new stream. Counters: bytes
// per entry over the 64 (the first names the container, the others share
// it) and of the first entry alone.
void BM_UpdateEntryBytes(benchmark::State& state) {
  const bool moving = state.range(0) != 0;
  const bool highUids = state.range(1) != 0;
  Game game(state, kDefaultSystems, 3);
  if (!game.ok)
    return;
  solarSystem* system = nullptr;
  for (irr::u32 i = 0; i < galaxy->children.size() && system == nullptr; ++i)
    if (galaxy->children[i]->getType() == OT_System)
      system = static_cast<solarSystem*>(galaxy->children[i].get());
  empire* owner = aiEmpire(0);
  if (system == nullptr || owner == nullptr) {
    state.SkipWithError("no system or no empire");
    return;
  }
  // The next UIDs lie past 32768.
  if (highUids && nextUid.load() < 40000)
    nextUid = 40000;
  std::vector<generic_object*> ships;
  for (int i = 0; i < 64; ++i) {
    auto* ship = new objHulled(owner, getUnknownHullLayout(), new MobileMover());
    ship->position.set(static_cast<float>(i) * 20.0f, 0.0f, 300.0f);
    if (moving)
      ship->velocity.set(5.0f, 0.0f, 0.0f);
    ship->setContainer(system);
    ships.push_back(ship);
    if ((ship->uid >= 32768) != highUids) {
      state.SkipWithError("a ship's UID is on the wrong side of 32768");
      return;
    }
  }
  size_t bits = 0;
  size_t firstBits = 0;
  for (auto _ : state) {
    RakNet::BitStream stream;
    uint32_t lastContainer = 0;
    for (size_t i = 0; i < ships.size(); ++i) {
      writeObjectUpdate(stream, *ships[i], lastContainer);
      if (i == 0)
        firstBits = stream.GetNumberOfBitsUsed();
    }
    bits = stream.GetNumberOfBitsUsed();
    benchmark::DoNotOptimize(bits);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(ships.size()));
  state.counters["bytes_per_entry"] = static_cast<double>(bits) / 8.0 / static_cast<double>(ships.size());
  state.counters["first_entry_bytes"] = static_cast<double>(firstBits) / 8.0;
}
BENCHMARK(BM_UpdateEntryBytes)->ArgNames({"moving", "high_uid"})->ArgsProduct({{0, 1}, {0, 1}});

// Packets of one broadcast pass to one player who sees every system of the
// default map, for each packet limit (range(0): 750, 1250, 1650 bytes), with
// the systems as made (scene 1) and with ten moving ships in each (scene
// 2). The passes alternate between the two halves of the systems.
void BM_BroadcastPassPackets(benchmark::State& state) {
  const uint32_t limit = static_cast<uint32_t>(state.range(0));
  Game game(state, kDefaultSystems, 3);
  if (!game.ok)
    return;
  GameServer& server = game.server;
  Clients joined(server);
  if (!joinWithScene(joined, state, 1))
    return;
  const bool small = bSmallPackets;
  const bool large = bLargePackets;
  bSmallPackets = limit == kSmallUpdatePacketBytes;
  bLargePackets = limit == kLargeUpdatePacketBytes;
  if (updatePacketLimit() != limit) {
    state.SkipWithError("no such packet limit");
    return;
  }
  SentCount sent;
  sent.firstTarget = addressKey(joined.records().front()->address);
  server.manager().setSendObserver(sent.observer());
  bool firstPass = true;
  uint64_t packets = 0;
  uint64_t largest = 0;
  for (auto _ : state) {
    runBroadcastPass(server.manager(), firstPass);
    firstPass = !firstPass;
    state.PauseTiming();
    joined.drain();
    {
      std::lock_guard<std::mutex> guard(sent.lock);
      packets += sent.batches.size();
      for (const std::vector<uint8_t>& batch : sent.batches)
        largest = std::max<uint64_t>(largest, batch.size());
      sent.batches.clear();
    }
    state.ResumeTiming();
  }
  server.manager().setSendObserver({});
  bSmallPackets = small;
  bLargePackets = large;
  const double passes = static_cast<double>(state.iterations());
  state.counters["packets_per_pass"] = static_cast<double>(packets) / passes;
  state.counters["bytes_per_pass"] = static_cast<double>(sent.bytes[sent.firstTarget]) / passes;
  state.counters["largest_packet"] = static_cast<double>(largest);
}
BENCHMARK(BM_BroadcastPassPackets)
    ->ArgNames({"limit", "scene"})
    ->ArgsProduct({{kSmallUpdatePacketBytes, kUpdatePacketBytes, kLargeUpdatePacketBytes}, {1, 2}})
    ->Unit(benchmark::kMicrosecond);

// CPU time of one replication step, the server's poll with the step due:
// range(0) players of the default map's eight AI empires, range(1) the
// scene (setScene). The steps go round the per-player pass and
// the two broadcast passes, so the time is the mean of the three; the
// probes take what arrived between steps, untimed.
void BM_ReplicationStep(benchmark::State& state) {
  const int players = static_cast<int>(state.range(0));
  Game game(state, kDefaultSystems, 8);
  if (!game.ok)
    return;
  GameServer& server = game.server;
  Clients joined(server);
  if (!joinWithScene(joined, state, players))
    return;
  for (auto _ : state) {
    server.timer.realTime += kUpdateIntervalMs;
    server.poll();
    state.PauseTiming();
    joined.drain();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ReplicationStep)
    ->ArgNames({"players", "scene"})
    ->ArgsProduct({{1, 8}, {0, 2}})
    ->Iterations(900)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
