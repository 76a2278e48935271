// Fuzz entry point for the network manager's dispatcher: a sequence of
// messages from one sender, handed to processPackets through a stand-in peer
// (the peer interface's seam), over a server session of the tiny test map
// with its three AI empires and scripts set up.
//
// Input:
//   byte 0   bit 0: role (0 server, 1 client); bits 1-2: the sender
//            (0 player P of the first empire, 1 spectator S, 2 player N not
//            yet in the game, 3 a peer with no record)
//   then     messages, each a u16 length (little-endian) and that many bytes
//
// The stand-in peer treats user data as the real one does: an empty message
// is never delivered, and one whose first byte is below 32 arrives only as
// the peer's own one-byte connection event for that sender.
//
// After each input the session's network state is put back: the peer, the
// players (P, S and N), the role flags, the game speed, the vote and the
// remote-console guard; every empire gets back the layouts, settings,
// commands, colonisation sets and relations it had when the run began, the
// galaxy its gas, and the player's objects lose what the input queued on
// them: every input starts from the same state. Besides running clean under
// the sanitizers, every server input checks: a sender may not make another
// record, rename another player, take or change an empire that is not its
// own, change the game speed outside a vote, or change the orders, build
// queue, stance, parked state, planet settings or rally point of an object
// that is not its empire's.
//
// Seeds: the messages tests/net/made_messages.h makes with the game's
// writers (every id that has a handler: a run stops when one has none),
// from each sender, and the corpus kept in tests/fuzz/corpus/net_dispatch
// (one file per made input). After a writer changes, the corpus is written
// anew with
//   CORVANE_NET_CORPUS_UPDATE=1 build/asan/tests/net/fuzz_net_dispatch 0
//
// Long runs by hand (clang, libFuzzer): README.md, "Building by hand".
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

// AddressSanitizer as GCC and clang each announce it.
#if defined(__SANITIZE_ADDRESS__)
#define NET_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NET_FUZZ_ASAN 1
#endif
#endif
#if defined(NET_FUZZ_ASAN)
#include <sanitizer/lsan_interface.h>
#endif

#include "core/net_encoders.h"
#include "net/chat_log.h"
#include "net/empire_messages.h"
#include "net/galaxy_transfer.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "net/object_details.h"
#include "net/object_updates.h"
#include "net/remote_console.h"
#include "hostile_state.h"
#include "made_messages.h"
#include "net_fixture.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"
#include "design/hull_list.h"
#include "gfx/gas_sprites.h"
#include "gfx/gfx_effects.h"
#include "universe/objects/galaxy.h"

using RakNet::BitStream;

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "net dispatch fuzz: %s\n", what);
    std::abort();
  }
}

// Senders by the input's choice.
enum Sender : uint8_t { kPlayer = 0, kSpectator = 1, kNotInGame = 2, kStranger = 3 };
constexpr uint64_t kGuids[4] = {1001, 1002, 1003, 1004};

RakNet::SystemAddress addressOf(uint8_t sender) {
  return RakNet::SystemAddress::fromOctets(127, 0, 0, static_cast<uint8_t>(2 + sender), 40000);
}

// A peer that delivers queued packets and sends nowhere.
class StandInPeer : public RakNet::RakPeerInterface {
 public:
  RakNet::StartupResult Startup(unsigned, const RakNet::SocketDescriptor*, unsigned, int) override {
    active = true;
    return RakNet::PEER_STARTED;
  }
  bool IsActive() const override { return active; }
  void SetMaximumIncomingConnections(unsigned) override {}
  unsigned GetMaximumIncomingConnections() const override { return 5; }
  bool SetIncomingPassword(const char*, int) override { return true; }
  RakNet::ConnectResult Connect(const char*, uint16_t, const char*, int, const void*, unsigned, unsigned, unsigned,
                                unsigned) override {
    return RakNet::CONNECT_STARTED;
  }
  void CloseConnection(const RakNet::SystemAddress&, bool, uint8_t, RakNet::PacketPriority) override {}
  void Shutdown(unsigned, uint8_t, RakNet::PacketPriority) override { active = false; }
  uint32_t Send(const BitStream* stream, RakNet::PacketPriority, RakNet::PacketReliability, uint8_t,
                const RakNet::SystemAddress&, bool) override {
    sentBytes += stream->GetNumberOfBytesUsed();
    return 1;
  }
  uint32_t Send(const char*, int length, RakNet::PacketPriority, RakNet::PacketReliability, uint8_t,
                const RakNet::SystemAddress&, bool) override {
    sentBytes += static_cast<size_t>(length);
    return 1;
  }
  RakNet::Packet* Receive() override {
    if (queue.empty())
      return nullptr;
    RakNet::Packet* packet = queue.front().release();
    queue.pop_front();
    return packet;
  }
  void DeallocatePacket(RakNet::Packet* packet) override {
    if (packet == nullptr)
      return;
    delete[] packet->data;
    delete packet;
  }
  RakNet::PeerConnectionState GetConnectionState(const RakNet::SystemAddress&) override {
    return RakNet::CONNECTION_OPEN;
  }
  RakNet::PeerConnectionState GetConnectionState(const RakNet::RakNetGUID&) override {
    return RakNet::CONNECTION_OPEN;
  }
  RakNet::RakNetGUID GetGuidFromSystemAddress(const RakNet::SystemAddress& address) override {
    RakNet::RakNetGUID guid;
    for (uint8_t sender = 0; sender < 4; ++sender)
      if (addressOf(sender) == address)
        guid.g = kGuids[sender];
    return guid;
  }
  RakNet::RakNetGUID GetMyGUID() const override {
    RakNet::RakNetGUID guid;
    guid.g = 1;
    return guid;
  }
  RakNet::SystemAddress GetSystemAddressFromIndex(unsigned index) override {
    return index == 0 ? addressOf(0) : RakNet::UNASSIGNED_SYSTEM_ADDRESS;
  }
  unsigned NumberOfConnections() override { return 1; }
  void SetTimeoutTime(unsigned, const RakNet::SystemAddress&) override {}
  uint64_t GetDropCount(RakNet::DropReason) override { return 0; }
  bool AddToBanList(const char*, uint32_t) override { return true; }
  bool IsBanned(const char*) override { return false; }
  int GetLastPing(const RakNet::SystemAddress&) override { return 10; }
  bool GetStatistics(const RakNet::SystemAddress&, RakNet::RakNetStatistics&) override { return false; }
  void HoldService(bool) override {}
  unsigned TransportPeersInUse() override { return 0; }
  uint16_t GetBoundPort(unsigned) override { return 0; }
  void AdvanceClock(uint64_t) override {}
  void HoldClock(bool) override {}

  // Queues `bytes` from `sender` as the real peer would deliver them.
  void deliver(uint8_t sender, const uint8_t* bytes, size_t size) {
    if (size == 0)
      return;
    if (bytes[0] < 32)
      size = 1;  // only the peer's own events start so
    auto packet = std::make_unique<RakNet::Packet>();
    packet->systemAddress = addressOf(sender);
    packet->guid.g = kGuids[sender];
    packet->length = static_cast<unsigned>(size);
    packet->bitSize = size * 8;
    packet->data = new unsigned char[size];
    std::copy(bytes, bytes + size, packet->data);
    queue.push_back(std::move(packet));
  }

  void clear() {
    while (RakNet::Packet* packet = Receive())
      DeallocatePacket(packet);
  }

  bool active = true;
  size_t sentBytes = 0;
  std::deque<std::unique_ptr<RakNet::Packet>> queue;
};

// What an empire held when the run began, put back after every input: the
// layouts filed in its table (and each one's name, revision link and flags),
// its copies of foreign layouts, its settings, commands, colonisation sets
// and relations. Inputs add layouts and setting names up to their caps;
// kept, they would make every later input start from a fuller empire, and
// the per-input snapshots of the empires grow with them.
struct EmpireStart {
  struct Layout {
    hull_list* layout = nullptr;
    irr::core::stringw name;
    bool obsolete = false;
    hull_list* newer = nullptr;
    float updateThreshold = 0;
  };
  empire* emp = nullptr;
  irr::core::array<NamedVar<hull_list*>> hulls;
  std::vector<Layout> layouts;  // each held once more by the snapshot
  std::map<const hull_list*, hull_list*> foreignHulls;
  PtrNamedVar<float>::Registry settings;
  std::set<uint32_t> colonizeQueue;
  std::set<uint32_t> colonizing;
  std::map<const empire*, EmpireRelation> relations;

  explicit EmpireStart(empire* of) : emp(of) {
    hulls = emp->hulls;
    for (irr::u32 i = 0; i < hulls.size(); ++i)
      if (hull_list* layout = hulls[i].value) {
        layout->grab();
        layouts.push_back({layout, layout->name, layout->obsolete, layout->newer, layout->updateThreshold});
      }
    foreignHulls = emp->foreignHulls;
    settings = emp->settings;
    check(emp->settingNames.size() == 0, "an empire starts with names sent by a peer");
    // Commands run and are freed by the empire: only those an input adds
    // are taken back, so none may be there at the start.
    check(emp->commands.empty(), "an empire starts with commands");
    colonizeQueue = emp->colonizeQueue;
    colonizing = emp->colonizing;
    for (const auto& [other, relation] : emp->relations)
      if (relation != nullptr)
        relations[other] = *relation;
  }

  void restore() const {
    for (irr::u32 i = 0; i < emp->hulls.size(); ++i)
      if (emp->hulls[i].value != nullptr)
        emp->hulls[i].value->drop();
    emp->hulls = hulls;
    for (const Layout& entry : layouts) {
      entry.layout->grab();  // the table's reference
      if (entry.layout->name != entry.name)
        entry.layout->rename(entry.name);
      entry.layout->obsolete = entry.obsolete;
      entry.layout->newer = entry.newer;
      entry.layout->updateThreshold = entry.updateThreshold;
    }
    emp->foreignHulls = foreignHulls;
    emp->settings = settings;
    emp->settingNames = SettingNameStore();  // no setting names them any more
    for (empCommand* command : emp->commands)
      delete command;
    emp->commands.clear();
    emp->colonizeQueue = colonizeQueue;
    emp->colonizing = colonizing;
    for (const auto& [other, relation] : emp->relations)
      if (relation != nullptr) {
        const auto start = relations.find(other);
        *relation = start != relations.end() ? start->second : EmpireRelation();
      }
  }
};

struct Session {
  netfixture::ServerFixture server{[] {
    netfixture::ServerOptions options;
    options.startPeer = false;
    return options;
  }()};
  StandInPeer standIn;
  RakNet::RakPeerInterface* realPeer = nullptr;
  empire* own = nullptr;
  std::vector<std::pair<empire*, bool>> held;  // each listed empire and whether a player held it at the start
  std::vector<EmpireStart> empires;            // each listed empire as the run began
  std::vector<GasSpriteRecord> gasSprites;     // the galaxy's gas as the run began
};

Session* session = nullptr;

Session& prepared() {
  if (session == nullptr) {
    // The session lasts the whole run and ends with the process: what it
    // holds is no leak of an input.
#if defined(NET_FUZZ_ASAN)
    __lsan::ScopedDisabler keptForTheRun;
#endif
    session = new Session;
    session->realPeer = session->server.manager.peer;
    session->own = session->server.aiEmpire(0);
    check(session->own != nullptr, "the tiny map has no empire");
    session->own->playerControlled = true;
    for (empire* emp : empireList) {
      session->held.emplace_back(emp, emp->playerControlled);
      session->empires.emplace_back(emp);
    }
    session->gasSprites = galaxyGasSprites();
  }
  return *session;
}

// The players and flags every input starts from.
void resetNetwork(Session& s, bool server) {
  NetworkManager& manager = s.server.manager;
  s.standIn.clear();
  s.standIn.active = true;
  s.standIn.sentBytes = 0;
  manager.peer = &s.standIn;
  {
    std::lock_guard<std::mutex> guard(manager.playersLock);
    manager.players.clear();
    if (server) {
      for (uint8_t sender = kPlayer; sender <= kNotInGame; ++sender) {
        NetPlayer& player = manager.players[kGuids[sender]];
        player.address = addressOf(sender);
        player.name = sender == kPlayer ? L"P" : sender == kSpectator ? L"S" : L"N";
        player.hasGalaxy = sender == kNotInGame ? 0 : 1;
        player.emp = sender == kPlayer ? s.own : nullptr;
      }
    }
  }
  for (const auto& [emp, held] : s.held)
    emp->playerControlled = held;
  for (const EmpireStart& start : s.empires)
    start.restore();
  manager.isServer = server;
  manager.isNetworked = !server;
  manager.isConnected = true;
  manager.isHosting = server;
  manager.voteType = 0;
  manager.consolePassword = L"s3cret";
  remoteConsoleGuard().clear();
  // Each input starts from the same clock: a time an earlier input set
  // must not carry into the next.
  gameTime = 0.0;
  gameSpeed = 1.0;
}

// What a server input may not change.
struct Guarded {
  std::vector<std::pair<empire*, bool>> empires;  // each listed empire and whether a player holds it
  double speed = 0;
};

// Takes back what an input queued on `own`'s objects: their orders, build
// queues and rally points.
void clearOwnQueues(generic_object* root, const empire* own) {
  for (irr::u32 i = 0; i < root->children.size(); ++i) {
    generic_object* object = root->children[i].get();
    if (object->getOwner() == own) {
      object->lockContainer();
      if (object->ai != nullptr)
        object->ai->clearOrders(true);
      object->clearBuildQueue();
      object->setLinkedObject(nullptr);
      object->unlockContainer();
    }
    clearOwnQueues(object, own);
  }
}

Guarded guardedState() {
  Guarded state;
  for (empire* emp : empireList)
    state.empires.emplace_back(emp, emp->playerControlled);
  state.speed = gameSpeed;
  return state;
}

void writeBody(std::vector<uint8_t>& input, const BitStream& stream) {
  const size_t size = stream.GetNumberOfBytesUsed();
  input.push_back(static_cast<uint8_t>(size));
  input.push_back(static_cast<uint8_t>(size >> 8));
  input.insert(input.end(), stream.GetData(), stream.GetData() + size);
}

// Ids with a handler but no made message here: the game-settings message
// (142) is sent only while a server accepts a connection.
const std::set<uint8_t> kNoMadeMessage = {msgid::kGameSettings};

// An input of one message `stream` from `sender` in `role`.
std::vector<uint8_t> inputOf(uint8_t role, uint8_t sender, const BitStream& stream) {
  std::vector<uint8_t> input{static_cast<uint8_t>(role | (sender << 1))};
  writeBody(input, stream);
  return input;
}

// The inputs made from the writers' messages: each message from each sender
// in its role.
std::vector<std::vector<uint8_t>> madeInputs(Session& s) {
  resetNetwork(s, true);
  empire* other = s.server.aiEmpire(1);
  check(other != nullptr, "the tiny map has no second empire");
  std::vector<std::vector<uint8_t>> inputs;
  std::set<uint8_t> covered;
  for (const madeMessages::Made& made : madeMessages::makeAll(s.server.manager, s.own, other)) {
    covered.insert(made.id);
    BitStream stream(const_cast<uint8_t*>(made.bytes.data()), made.bytes.size(), false);
    for (uint8_t sender = kPlayer; sender <= kStranger; ++sender)
      inputs.push_back(inputOf(made.toServer ? 0 : 1, sender, stream));
  }
  // Every id with a handler has a made message.
  std::set<uint8_t> handled = {msgid::kChat, msgid::kPlayerName, msgid::kGameSettings, msgid::kRemoteConsole};
  for (const auto& entry : s.server.manager.receivers)
    handled.insert(static_cast<uint8_t>(entry.first));
  bool whole = true;
  for (uint8_t id : handled)
    if (covered.count(id) == 0 && kNoMadeMessage.count(id) == 0) {
      std::fprintf(stderr, "net dispatch fuzz: no made message of id %u\n", id);
      whole = false;
    }
  check(whole, "the made messages miss ids that have a handler");
  s.server.manager.peer = s.realPeer;
  return inputs;
}

// The corpus kept in the source tree: one file per made input.
std::filesystem::path sourceCorpus() { return std::filesystem::path(CORVANE_SOURCE_DIR) / "tests/fuzz/corpus/net_dispatch"; }

// Writes `inputs` into `folder`, one file each, named by their role, sender
// and message id.
void writeCorpus(const std::filesystem::path& folder, const std::vector<std::vector<uint8_t>>& inputs) {
  std::filesystem::create_directories(folder);
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::vector<uint8_t>& input = inputs[i];
    char name[64];
    std::snprintf(name, sizeof name, "id%03u_%s_%u_%03zu", input.size() > 3 ? input[3] : 0u,
                  (input[0] & 1) == 0 ? "server" : "client", (input[0] >> 1) & 3u, i);
    std::ofstream file(folder / name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
  }
}

}  // namespace

extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  Session& s = prepared();
  *seeds = madeInputs(s);
  // With CORVANE_NET_CORPUS_UPDATE set, the corpus in the source tree is
  // written anew from the writers.
  if (std::getenv("CORVANE_NET_CORPUS_UPDATE") != nullptr) {
    std::filesystem::remove_all(sourceCorpus());
    writeCorpus(sourceCorpus(), *seeds);
  }
  // The kept corpus too (inputs that an older writer made stay useful).
  std::set<std::vector<uint8_t>> known(seeds->begin(), seeds->end());
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(sourceCorpus(), error)) {
    std::ifstream file(entry.path(), std::ios::binary);
    std::vector<uint8_t> input{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (known.insert(input).second)
      seeds->push_back(std::move(input));
  }

  // Every id, with a short body, from each sender and in each role: the
  // mutations grow real bodies from these.
  for (unsigned id = 0; id < 256; ++id)
    for (uint8_t role = 0; role < 2; ++role) {
      BitStream bare;
      bare.Write(static_cast<uint8_t>(id));
      bare.Write(uint32_t{0x01020304});
      seeds->push_back(inputOf(role, static_cast<uint8_t>((id + role) % 4), bare));
    }
}

// libFuzzer only: with CORVANE_NET_CORPUS naming a folder, the seed inputs
// are written there first, one file each, to start the corpus from.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* folder = std::getenv("CORVANE_NET_CORPUS");
  if (folder == nullptr)
    return 0;
  std::vector<std::vector<uint8_t>> seeds;
  corvaneFuzzSeeds(&seeds);
  writeCorpus(folder, seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;
  Session& s = prepared();
  const bool server = (data[0] & 1) == 0;
  const uint8_t sender = static_cast<uint8_t>((data[0] >> 1) & 3);
  resetNetwork(s, server);
  const Guarded before = guardedState();
  const std::map<uint32_t, std::string> othersBefore =
      server ? hostilestate::objectStates(s.own) : std::map<uint32_t, std::string>();
  const std::map<const empire*, hostilestate::EmpireState> empiresBefore = hostilestate::empireStates();

  size_t at = 1;
  bool playsAs = false;  // the input asks for an empire
  while (at + 2 <= size) {
    size_t length = data[at] | (static_cast<size_t>(data[at + 1]) << 8);
    at += 2;
    if (length > size - at)
      length = size - at;
    playsAs = playsAs || (length > 0 && data[at] == msgid::kPlayAs);
    s.standIn.deliver(sender, data + at, length);
    at += length;
  }
  s.server.manager.processPackets();
  // A galaxy request runs its transfer on threads of its own.
  waitForGalaxyTransfers();

  if (server) {
    NetworkManager& manager = s.server.manager;
    {
      std::lock_guard<std::mutex> guard(manager.playersLock);
      for (const auto& entry : manager.players) {
        const bool known = entry.first == kGuids[kPlayer] || entry.first == kGuids[kSpectator] ||
                           entry.first == kGuids[kNotInGame] || (sender == kStranger && entry.first == kGuids[kStranger]);
        check(known, "a record was made for a peer that did not connect");
        if (entry.first != kGuids[sender]) {
          const wchar_t* expected = entry.first == kGuids[kPlayer] ? L"P" : entry.first == kGuids[kSpectator] ? L"S" : L"N";
          check(entry.second.name == expected, "another player was renamed");
        }
        if (entry.first != kGuids[sender])
          check(entry.second.emp == (entry.first == kGuids[kPlayer] ? s.own : nullptr),
                "another player's empire changed");
      }
    }
    // Only the sender may have taken a free empire (play-as); no empire
    // that a player held was let go by another's message.
    for (const auto& [emp, held] : before.empires)
      if (held && emp != s.own)
        check(emp->playerControlled, "an empire a player held changed hands");
    // The speed changes only by a passed vote, never within one poll.
    check(gameSpeed == before.speed, "the game speed changed outside a vote");
    // Orders and build queues of objects that are not the player's.
    // An empire the sender took by play-as is its own from then on.
    empire* taken = nullptr;
    {
      std::lock_guard<std::mutex> guard(manager.playersLock);
      const auto found = manager.players.find(kGuids[sender]);
      if (found != manager.players.end() && found->second.emp != s.own)
        taken = found->second.emp;
    }
    const std::map<const empire*, hostilestate::EmpireState> empiresAfter = hostilestate::empireStates();
    // A sender that took a free empire and left again within the input (a
    // lost connection leaves the empire held for its return) has no record
    // any more: the one free empire that changed is the one it took.
    if (taken == nullptr && playsAs)
      for (const auto& [emp, held] : before.empires)
        if (!held && emp != s.own && empiresBefore.count(emp) != 0 && empiresAfter.count(emp) != 0 &&
            !(empiresBefore.at(emp) == empiresAfter.at(emp))) {
          taken = emp;
          break;
        }
    const std::string changed = hostilestate::changedEmpires(empiresBefore, empiresAfter, s.own, taken);
    if (!changed.empty()) {
      std::fprintf(stderr, "%s", changed.c_str());
      check(false, "another empire changed");
    }
    check(hostilestate::objectStates(s.own) == othersBefore, "an object of another empire or of none was changed");
  }
  if (galaxy != nullptr)
    clearOwnQueues(galaxy, s.own);
  // A client input adds gas to the galaxy (and its billboards): the galaxy
  // gets back the gas it had.
  if (galaxyGasSprites().size() != s.gasSprites.size()) {
    clearGalaxyGasSprites();
    clearActiveGfxEffects();
    for (const GasSpriteRecord& sprite : s.gasSprites)
      createGalaxyGasSprite(sprite.material, sprite.size, sprite.position, sprite.color, sprite.fadeDistance);
  }
  s.standIn.clear();
  s.server.manager.peer = s.realPeer;
  return 0;
}
