#include "net/galaxy_transfer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "app/base/session_state.h"
#include "core/locks.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/research/research_network.h"
#include "empire/research/research_web.h"
#include "gfx/gas_sprites.h"
#include "net/empire_messages.h"
#include "net/galaxy_join.h"
#include "net/message_ids.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "net/object_requests.h"
#include "platform/bit_stream.h"
#include "platform/thread.h"
#include "universe/galaxygen/net_object_records.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"
#include "universe/objects/system_threads.h"

std::atomic<int> galaxySendCount{0};

namespace {

using irr::core::stringw;

// A transfer waits this long between its looks for a loaded game.
constexpr unsigned kGameLoadedPollMs = 100;
// The last progress before the end mark stays below it.
constexpr float kTreeProgressShare = 0.99f;
constexpr float kTransferDone = 1.0f;
// Counts that travel in one byte or two.
constexpr size_t kMaxByteCount = 0xFF;
constexpr size_t kMaxShortCount = 0xFFFF;

// One request: the player (by its id) and where the galaxy goes.
struct TransferRequest {
  uint32_t playerId = 0;
  RakNet::SystemAddress address;
};

// The requests waiting and running. The state lives as long as the process:
// a transfer thread may still look at it while the program ends.
struct TransferQueue {
  std::mutex mutex;
  std::deque<TransferRequest> waiting;
  std::set<uint32_t> players;  // every player with a request waiting or running
  unsigned running = 0;
};

TransferQueue& transferQueue() {
  static TransferQueue* queue = new TransferQueue();
  return *queue;
}

// The thread's scratch stream, emptied; `fallback` when the thread has none.
RakNet::BitStream& scratchStream(RakNet::BitStream& fallback) {
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : fallback;
  stream.Reset();
  return stream;
}

// Holds the galaxy for a transfer: counted in `galaxySendCount` only while
// the game is loaded (a tear-down that cleared `gameLoaded` sees the count
// before it destroys the galaxy), with a pause of its threads.
class GalaxyHold {
 public:
  GalaxyHold() {
    galaxySendCount.fetch_add(1);
    if (!gameLoaded.load() || galaxy == nullptr) {
      galaxySendCount.fetch_sub(1);
      return;
    }
    held_ = true;
    pauseSystemThreads();
  }
  ~GalaxyHold() {
    if (!held_)
      return;
    resumeSystemThreads();
    galaxySendCount.fetch_sub(1);
  }
  GalaxyHold(const GalaxyHold&) = delete;
  GalaxyHold& operator=(const GalaxyHold&) = delete;
  bool held() const { return held_; }

 private:
  bool held_ = false;
};

void sendToClient(NetworkManager& manager, RakNet::BitStream& stream, const RakNet::SystemAddress& address) {
  manager.send(&stream, kGalaxyChannel, RakNet::RELIABLE_ORDERED, address);
}

void sendProgress(NetworkManager& manager, const RakNet::SystemAddress& address, float progress) {
  RakNet::BitStream stream;
  stream.Write(msgid::kGalaxyEnd);
  stream.Write(progress);
  sendToClient(manager, stream, address);
}

// One transfer, steps 2 to 10. False when it ended without a galaxy.
bool runTransfer(NetworkManager& manager, const RakNet::SystemAddress& address) {
  // 2. Until the game is loaded; a hold taken while a tear-down clears the
  // flag is let go again, and the wait goes on for the next game.
  for (;;) {
    while (!gameLoaded.load())
      plat::sleepMs(kGameLoadedPollMs);
    GalaxyHold hold;
    if (!hold.held()) {
      // 3.
      if (gameLoaded.load() && galaxy == nullptr)
        return false;
      continue;
    }
    // 5.
    const auto start = std::chrono::steady_clock::now();
    logPrint("Sending galaxy...\n");
    // 6.
    {
      RakNet::BitStream header;
      writeGalaxyHeader(header);
      sendToClient(manager, header, address);
    }
    // 7.
    if (!sendObjectTree(manager, address))
      return true;  // the session ends: no end mark for a galaxy that goes
    // 8.
    sendProgress(manager, address, kTransferDone);
    // 9.
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    logPrint("Done sending galaxy...(%ums)\n", static_cast<unsigned>(elapsed));
    return true;
  }
}

// The body of a transfer thread: its first request, then each one that
// waits for a free slot.
void transferThread(TransferRequest request) {
  NetworkManager* manager = networkManager;
  initThreadLocals();
  for (;;) {
    if (manager != nullptr)
      runTransfer(*manager, request.address);
    TransferQueue& queue = transferQueue();
    std::lock_guard<std::mutex> guard(queue.mutex);
    queue.players.erase(request.playerId);
    if (queue.waiting.empty()) {
      --queue.running;
      break;
    }
    request = queue.waiting.front();
    queue.waiting.pop_front();
  }
  freeThreadLocals();
}

// -- 119 ----------------------------------------------------------------------

// A listed empire with exactly this ID, or null.
empire* listedEmpire(uint8_t id) {
  empire* emp = getEmpireByID(id);
  return emp != nullptr && emp != defaultEmpire() && emp->ID == id ? emp : nullptr;
}

void writePlayAs(RakNet::BitStream& stream, empire* emp) {
  stream.Write(msgid::kPlayAs);
  stream.Write(static_cast<uint8_t>(emp->ID));
  {
    ScopedReadLock guard(emp->locks[EA_ResearchWeb]);
    if (const auto* web = dynamic_cast<const research::CWeb*>(emp->researchWeb))
      research::writeResearchWebFlags(stream, *web);
  }
  writeEmpireSettingsAndRelations(stream, emp);
}

void onPlayAsRequest(NetworkManager& manager, RakNet::BitStream& stream, NetPlayer* sender) {
  // Empires change hands only in a running game: while it loads, the
  // scripts and empires are still being set up on another thread.
  if (sender == nullptr || !gameLoaded.load())
    return;
  {
    std::lock_guard<std::mutex> guard(manager.playersLock);
    if (sender->emp != nullptr)
      return;
  }
  uint8_t id = 0;
  if (!stream.Read(id))
    return;
  empire* emp = listedEmpire(id);
  if (emp == nullptr || !emp->isValid() || emp->isReserved() || !emp->isAI())
    return;
  assignPlayerEmpire(manager, *sender, emp);
}

// -- 121 ----------------------------------------------------------------------

void onGalaxyReceived(NetworkManager& manager, NetPlayer* sender) {
  if (sender == nullptr)
    return;
  empire* emp = nullptr;
  RakNet::SystemAddress address;
  {
    std::lock_guard<std::mutex> guard(manager.playersLock);
    sender->hasGalaxy = 1;
    emp = sender->emp;
    address = sender->address;
  }
  RakNet::BitStream* stream = newBitStream();
  if (stream != nullptr) {
    writeGameTime(*stream, true, false);
    manager.send(stream, kGalaxyChannel, RakNet::RELIABLE_ORDERED, address);
    deleteBitStream(stream);
  }
  // A player who loads the galaxy anew gets its empire's state again.
  if (emp != nullptr && gameLoaded.load())
    assignPlayerEmpire(manager, *sender, emp);
}

class JoiningReceiver : public MessageReceiver {
 public:
  explicit JoiningReceiver(NetworkManager& manager) : manager_(manager) {}
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override {
    if (manager_.isServer) {
      switch (messageId) {
        case msgid::kGalaxyRequest:
          if (from != nullptr)
            requestGalaxyTransfer(manager_, *from);
          break;
        case msgid::kPlayAs:
          onPlayAsRequest(manager_, stream, from);
          break;
        case msgid::kGalaxyEnd:
          onGalaxyReceived(manager_, from);
          break;
        default:
          break;  // a server takes no galaxy, clock or sprites
      }
      return;
    }
    switch (messageId) {
      case ID_GALAXY_BEGIN:
        handleGalaxyHeader(stream);
        break;
      case msgid::kGalaxyEnd:
        handleGalaxyProgress(stream);
        break;
      case msgid::kGameTime:
        handleGameTime(stream);
        break;
      case msgid::kPlayAs:
        handlePlayAs(stream);
        break;
      case ID_GALAXY_GAS_SPRITES:
        readGalaxyGasSprites(stream);
        break;
      default:
        break;
    }
  }

 private:
  NetworkManager& manager_;
};

}  // namespace

float galaxyTransferProgress(uint32_t index, uint32_t count) {
  if (count == 0)
    return 0.0f;
  const float quotient = static_cast<float>(index) / static_cast<float>(count);
  return quotient * kTreeProgressShare;
}

void writeGalaxyHeader(RakNet::BitStream& stream) {
  stream.Write(ID_GALAXY_BEGIN);
  stream.Write(gameTime.load());
  stream.Write(gameSpeed);
  const size_t count = std::min(empireList.size(), kMaxByteCount);
  stream.Write(static_cast<uint8_t>(count));
  for (size_t i = 0; i < count; ++i) {
    empire* emp = empireList[i];
    stream.Write(static_cast<uint8_t>(emp->ID));
    uint8_t flags = 0;
    if (emp->isValid())
      flags |= kGalaxyEmpireValid;
    if (emp->isAI())
      flags |= kGalaxyEmpireAI;
    if (emp->isReserved())
      flags |= kGalaxyEmpireReserved;
    stream.Write(flags);
    stream.Write(emp->color);
    stream.Write(emp->visibility.load());
    writeNetStringW(stream, emp->name, kMaxNetStringLength);
    writeNetStringW(stream, emp->emperor.name, kMaxNetStringLength);
    writeNetStringW(stream, emp->getPlayerName(), kMaxNetStringLength);
    writeNetStringW(stream, emp->shipSet, kMaxNetStringLength);
    writeNetStringW(stream, emp->raceName, kMaxNetStringLength);
    writeNetStringW(stream, emp->raceDescription, kMaxNetStringLength);
    writeNetStringW(stream, emp->raceHistory, kMaxNetStringLength);
    std::vector<stringw> traits;
    {
      ScopedReadLock guard(emp->locks[EA_Traits]);
      for (const auto& entry : emp->traits) {
        if (traits.size() == kMaxShortCount)
          break;
        traits.push_back(entry.first);
      }
    }
    stream.Write(static_cast<uint16_t>(traits.size()));
    for (const stringw& trait : traits)
      writeNetStringW(stream, trait, kMaxNetStringLength);
  }
  stream.Write(kGalaxyVersion);
}

bool sendObjectTree(NetworkManager& manager, const RakNet::SystemAddress& address) {
  objGalaxy* tree = galaxy;
  if (tree == nullptr)
    return false;
  {
    RakNet::BitStream sprites;
    sprites.Write(ID_GALAXY_GAS_SPRITES);
    writeGalaxyGasSprites(sprites);
    sendToClient(manager, sprites, address);
  }
  lockSolarSystem(tree);
  const uint32_t count = tree->children.size();
  unlockSolarSystem(tree);

  RakNet::BitStream records;
  for (uint32_t i = 0; i < count; ++i) {
    // The session is ending: its galaxy is about to go.
    if (!gameLoaded.load())
      return false;
    // The child is taken under the galaxy's lock and written under its own
    // system's lock (the galaxy's for an object in open space): the main
    // thread's scripts and empires still make and destroy objects.
    lockSolarSystem(tree);
    heldPointer<generic_object> child;
    if (i < tree->children.size())
      child = tree->children[i].get();
    unlockSolarSystem(tree);
    if (child.get() != nullptr && child->isValid()) {
      solarSystem* lock = child->getType() == OT_System ? static_cast<solarSystem*>(child.get()) : tree;
      lockSolarSystem(lock);
      if (child->isValid())
        writeObjectRecord(*child, address, records);
      unlockSolarSystem(lock);
    }
    sendProgress(manager, address, galaxyTransferProgress(i, count));
  }
  return true;
}

bool requestGalaxyTransfer(NetworkManager& manager, const NetPlayer& player) {
  TransferRequest request;
  {
    std::lock_guard<std::mutex> guard(manager.playersLock);
    request.playerId = player.id;
    request.address = player.address;
  }
  if (request.address == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    return false;
  TransferQueue& queue = transferQueue();
  std::lock_guard<std::mutex> guard(queue.mutex);
  if (!queue.players.insert(request.playerId).second)
    return false;
  if (queue.running >= kMaxConcurrentGalaxyTransfers) {
    queue.waiting.push_back(request);
    return true;
  }
  try {
    std::thread(transferThread, request).detach();
  } catch (const std::system_error& error) {
    logError("The galaxy transfer could not be started: %s\n", error.what());
    queue.players.erase(request.playerId);
    return false;
  }
  ++queue.running;
  return true;
}

unsigned runningGalaxyTransfers() {
  TransferQueue& queue = transferQueue();
  std::lock_guard<std::mutex> guard(queue.mutex);
  return queue.running;
}

unsigned waitingGalaxyTransfers() {
  TransferQueue& queue = transferQueue();
  std::lock_guard<std::mutex> guard(queue.mutex);
  return static_cast<unsigned>(queue.waiting.size());
}

void waitForGalaxyTransfers() {
  while (galaxySendCount.load() != 0)
    plat::sleepMs(1);
}

void assignPlayerEmpire(NetworkManager& manager, NetPlayer& player, empire* emp) {
  // 1. The empire's AI lets go; its registration runs as the active empire.
  emp->playerControlled = true;
  {
    empire* previous = activeEmpire;
    activeEmpire = emp;
    runRegisterEmpireData(emp);
    activeEmpire = previous;
  }
  // 2.
  stringw playerName;
  RakNet::SystemAddress address;
  {
    std::lock_guard<std::mutex> guard(manager.playersLock);
    playerName = player.name;
    address = player.address;
    player.emp = emp;
  }
  emp->setPlayerName(playerName);
  manager.playerListChanged = true;
  // 3.
  {
    RakNet::BitStream fallback;
    RakNet::BitStream& stream = scratchStream(fallback);
    writePlayAs(stream, emp);
    manager.sendDirect(&stream, RakNet::MEDIUM_PRIORITY, RakNet::RELIABLE, kPlayAsChannel, address, false);
  }
  // 4.
  manager.sendServerNotice(playerName + L" is now playing as the " + emp->name + L" empire.");
  // 5.
  {
    ScopedReadLock guard(emp->locks[EA_HullLayouts]);
    for (irr::u32 i = 0; i < emp->hulls.size(); ++i)
      if (const hull_list* layout = emp->hulls[i].value)
        sendHullLayout(layout);
  }
  // 6.
  {
    ScopedReadLock guard(emp->locks[EA_BuildLists]);
    for (irr::u32 i = 0; i < emp->buildLists.size(); ++i)
      sendBuildList(manager, emp->buildLists[i].entryName(), address);
  }
}

void writeGameTime(RakNet::BitStream& stream, bool setHard, bool cheats) {
  stream.Write(msgid::kGameTime);
  stream.Write(setHard);
  stream.Write(gameTime.load());
  stream.Write(gameSpeed);
  stream.Write(cheats);
}

void sendPeriodicGameTime(NetworkManager& manager, const NetPlayer& player) {
  RakNet::SystemAddress address;
  {
    std::lock_guard<std::mutex> guard(manager.playersLock);
    address = player.address;
  }
  if (address == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    return;
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = scratchStream(fallback);
  writeGameTime(stream, false, svCheats.load());
  manager.sendDirect(&stream, RakNet::HIGH_PRIORITY, RakNet::UNRELIABLE_SEQUENCED, kGameTimeChannel, address, false);
}

void registerJoiningReceivers(NetworkManager& manager) {
  static JoiningReceiver receiver(manager);
  for (uint8_t id : {msgid::kGalaxyRequest, msgid::kPlayAs, ID_GALAXY_BEGIN, msgid::kGalaxyEnd, msgid::kGameTime,
                     ID_GALAXY_GAS_SPRITES})
    manager.registerReceiver(id, &receiver);
}
