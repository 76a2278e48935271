// Hostile clients over the real peer layer: a server on the tiny map with
// its three AI empires, and connected to it player P (the first empire, in
// the game), spectator S (in the game), player N (connected, not yet in the
// game) and a watcher W. For every message id, each of P, S and N sends
// random bodies, every truncation of the well-formed messages of that id
// (made by the writers, tests/net/made_messages.h: the object requests also
// aimed at another empire's objects and at unowned ones), bit flips of them,
// counts at their maximum (a u8, u16 or u32 of all ones at every offset, over
// the rest and over nothing more), and for ids with strings over-long
// length bytes and text at the layer's limit. After each id the suite's
// invariants are checked:
//  - a fresh probe that asks for the galaxy receives all of it;
//  - the players are exactly the connected peers, with their names and
//    empires unchanged;
//  - nothing of the other empires (tests/net/hostile_state.h), nor of
//    objects that are not the first empire's, changed; the game speed is
//    unchanged and nothing is queued for the console;
//  - memory stays bounded: the heap in use stays within kHeapBound of what
//    it was before the first id (the chat log, the first empire's client
//    settings and its objects' build queues are capped, so what the senders
//    make the server keep cannot add up over the ids); no text from the wire
//    is added to the process-wide common strings; the first empire's
//    settings, setting names and its objects' build queues stay within their
//    caps;
//  - the sanitizers (the child checks for leaks when it ends).
//
// Each sender's messages of one id are followed by a chat line that W
// receives once the server has handled all of them (one connection's
// messages arrive in the order they were sent).
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/net_encoders.h"
#include "empire/empire.h"
#include "net/chat_log.h"
#include "net/galaxy_transfer.h"
#include "net/message_ids.h"
#include "net/object_details.h"
#include "net/remote_console.h"
#include "hostile_state.h"
#include "made_messages.h"
#include "net_fixture.h"
#include "platform/bit_stream.h"
#include "support/network_child.h"
#include "universe/galaxygen/net_object_records.h"
#include "universe/objects/galaxy.h"

namespace hostile_clients_test {

namespace {

using netfixture::ServerFixture;
using netprobe::bytesOf;
using netprobe::Got;
using netprobe::Probe;
using Bytes = std::vector<uint8_t>;

constexpr int kRandomBodies = 4;
constexpr size_t kRandomBodyLimit = 2000;
constexpr int kBitFlips = 200;
// The heap may hold this much more after any id than before the first: some
// 400,000 messages go out, so anything kept per message would pass it.
constexpr size_t kHeapBound = 16u * 1024 * 1024;

// The well-formed messages of each id that a client sends, made by the
// writers (tests/net/made_messages.h); other ids get the id and a short
// body.
std::map<uint8_t, std::vector<Bytes>> wellFormedMessages(NetworkManager& manager, empire* own, empire* other) {
  std::map<uint8_t, std::vector<Bytes>> messages;
  for (const madeMessages::Made& made : madeMessages::makeAll(manager, own, other))
    if (made.toServer)
      messages[made.id].push_back(made.bytes);
  for (unsigned id = 0; id < 256; ++id)
    if (messages.count(static_cast<uint8_t>(id)) == 0)
      messages[static_cast<uint8_t>(id)] = {{static_cast<uint8_t>(id), 0x00, 0x01, 0x02, 0x03}};
  return messages;
}

// Ids whose message starts with a wide string after the id byte.
const std::set<uint8_t> kStringIds = {msgid::kPlayerName, ID_EMPIRE_SETTING, msgid::kRemoteConsole};

// What a sender may send for `id`, from its well-formed `messages`.
std::vector<Bytes> hostileBodies(uint8_t id, const std::vector<Bytes>& messages, std::mt19937& rng) {
  std::vector<Bytes> out;
  for (int i = 0; i < kRandomBodies; ++i) {
    Bytes body(1 + rng() % (kRandomBodyLimit + 1));
    body[0] = id;
    for (size_t k = 1; k < body.size(); ++k)
      body[k] = static_cast<uint8_t>(rng());
    out.push_back(body);
  }
  for (size_t m = 0; m < messages.size(); ++m) {
    const Bytes& message = messages[m];
    for (size_t cut = 1; cut < message.size(); ++cut)
      out.emplace_back(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(cut));
    // The bit flips are shared out among the messages.
    const int flips = kBitFlips / static_cast<int>(messages.size()) + (m == 0 ? kBitFlips % static_cast<int>(messages.size()) : 0);
    if (message.size() > 1)
      for (int i = 0; i < flips; ++i) {
        Bytes flipped = message;
        const size_t bit = 8 + rng() % ((message.size() - 1) * 8);
        flipped[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        out.push_back(flipped);
      }
    // Counts at their maximum: at every offset, a u8, u16 or u32 of all
    // ones, over what follows it and over nothing more (a short body).
    for (size_t at = 1; at < message.size(); ++at)
      for (size_t width : {1u, 2u, 4u}) {
        Bytes counted = message;
        counted.resize(std::max(counted.size(), at + width));
        std::fill(counted.begin() + static_cast<std::ptrdiff_t>(at),
                  counted.begin() + static_cast<std::ptrdiff_t>(at + width), 0xFF);
        out.push_back(counted);
        counted.resize(at + width);
        out.push_back(counted);
      }
  }
  if (kStringIds.count(id) != 0) {
    // A length byte of 255 over a short text, and text at the layer's limit.
    out.push_back({id, 0xFF, 'a', 0, 'b', 0});
    Bytes longest{id, 0xFF};
    for (unsigned unit = 0; unit < kMaxNetStringLength; ++unit) {
      longest.push_back('x');
      longest.push_back(0);
    }
    out.push_back(longest);
  }
  return out;
}

// Every object the galaxy transfer walks.
void collectTree(generic_object* object, std::set<uint32_t>& uids) {
  for (irr::u32 i = 0; i < object->children.size(); ++i) {
    generic_object* child = object->children[i].get();
    uids.insert(child->uid);
    collectTree(child, uids);
  }
}

class Suite {
 public:
  Suite() {
    own_ = server_.aiEmpire(0);
    EXPECT_NE(own_, nullptr);
    p_ = server_.attach(probeP_, own_);
    s_ = server_.attach(probeS_);
    n_ = server_.attach(probeN_);
    w_ = server_.attach(probeW_);
    {
      std::lock_guard<std::mutex> guard(server_.manager.playersLock);
      if (s_ != nullptr)
        s_->hasGalaxy = 1;
      if (n_ != nullptr)
        n_->hasGalaxy = 0;
    }
    names_ = recordsNow();
    empires_ = hostilestate::empireStates();
    objects_ = hostilestate::objectStates(own_);
    speed_ = gameSpeed;
    if (own_ != nullptr)
      settingsBefore_ = own_->settings.size();
    commonStrings_ = hostilestate::commonStringCount();
    heapBefore_ = hostilestate::heapInUse();
  }

  bool ready() const { return p_ != nullptr && s_ != nullptr && n_ != nullptr && w_ != nullptr; }

  // Sends `messages` from `from` and waits until the server handled them.
  bool sendAll(Probe& from, const std::vector<Bytes>& messages) {
    for (const Bytes& message : messages)
      from.send(message);
    const std::wstring mark = L"mark " + std::to_wstring(++marks_);
    RakNet::BitStream chat;
    writeChatMessage(chat, irr::core::stringw(mark.c_str()));
    from.send(chat);
    return server_.pollUntil([&] {
      for (const Got& got : probeW_.ofId(msgid::kChat))
        if (netprobe::chatText(got).find(mark) != std::wstring::npos)
          return true;
      return false;
    });
  }

  // The invariants after `id`.
  void checkInvariants(unsigned id) {
    SCOPED_TRACE("after id " + std::to_string(id));
    EXPECT_TRUE(server_.manager.isConnected.load());
    if (id < 32) {
      // The layer's own ids never reach the dispatcher as user data: no
      // notice about P, S or N went out (W also hears of the fresh probes).
      for (const Got& got : probeW_.ofId(msgid::kChat))
        for (const NetPlayer* player : {p_, s_, n_}) {
          const std::wstring name = std::wstring(player->name.c_str()) + L" ";
          EXPECT_EQ(netprobe::chatText(got).find(name), std::wstring::npos)
              << "a notice about a player who stayed";
        }
      EXPECT_GT(server_.manager.peer->GetDropCount(RakNet::DropReason::ReservedId), reservedDrops_);
      reservedDrops_ = server_.manager.peer->GetDropCount(RakNet::DropReason::ReservedId);
    }
    EXPECT_EQ(recordsNow(), names_) << "the players changed";
    // What no sender here may change: every empire but the first, every
    // object that is not the first empire's, the game speed (no vote is
    // held) and the console (nothing queued for it).
    EXPECT_EQ(hostilestate::changedEmpires(empires_, hostilestate::empireStates(), own_), "");
    EXPECT_TRUE(hostilestate::objectStates(own_) == objects_) << "an object of another empire or of none changed";
    EXPECT_EQ(gameSpeed, speed_);
    EXPECT_EQ(queuedRemoteConsoleCommands(), 0u);
    // Memory: the common strings, the caps and the heap (the senders' own
    // answers, which this process keeps, dropped first).
    for (Probe* sender : {&probeP_, &probeS_, &probeN_})
      sender->forget();
    EXPECT_EQ(hostilestate::commonStringCount(), commonStrings_) << "text from the wire became a common string";
    EXPECT_EQ(hostilestate::overCaps(own_, settingsBefore_), "");
    const size_t heap = hostilestate::heapInUse();
    EXPECT_LT(heap > heapBefore_ ? heap - heapBefore_ : 0, kHeapBound)
        << "the heap grew from " << heapBefore_ << " to " << heap;
    // A fresh probe gets the whole galaxy.
    std::set<uint32_t> expected;
    collectTree(galaxy, expected);
    Probe fresh;
    ASSERT_NE(server_.attach(fresh), nullptr);
    fresh.forget();
    fresh.send(Bytes{msgid::kGalaxyRequest});
    const Bytes endMark{msgid::kGalaxyEnd, 0x3F, 0x80, 0x00, 0x00};
    ASSERT_TRUE(server_.pollUntil([&] {
      for (const Got& got : fresh.ofId(msgid::kGalaxyEnd))
        if (got.bytes == endMark)
          return true;
      return false;
    })) << "no whole galaxy";
    std::set<uint32_t> received;
    for (const Got& got : fresh.ofId(kMsgObjectRecord)) {
      RakNet::BitStream record(got.bytes.data(), got.bytes.size(), false);
      record.IgnoreBits(8);
      received.insert(readNetUInt(record));
    }
    EXPECT_EQ(received, expected);
    fresh.disconnect();
    ASSERT_TRUE(server_.pollUntil([&] { return server_.manager.playerCount() == names_.size(); }))
        << "the fresh probe's record stayed";
    probeW_.forget();
  }

  // A player who says it has the galaxy (121) is in the game by the rules:
  // N is put back out of it for the next id.
  void putNBackOutOfTheGame() {
    std::lock_guard<std::mutex> guard(server_.manager.playersLock);
    n_->hasGalaxy = 0;
  }

  ServerFixture& server() { return server_; }
  empire* own() { return own_; }
  Probe& p() { return probeP_; }
  Probe& s() { return probeS_; }
  Probe& n() { return probeN_; }

 private:
  // Each record: name, empire and in-game flag.
  std::map<uint64_t, std::wstring> recordsNow() {
    std::map<uint64_t, std::wstring> out;
    std::lock_guard<std::mutex> guard(server_.manager.playersLock);
    for (const auto& entry : server_.manager.players)
      out[entry.first] = std::wstring(entry.second.name.c_str()) + L"/" +
                         std::to_wstring(entry.second.emp == nullptr ? -1 : int(entry.second.emp->ID)) + L"/" +
                         std::to_wstring(entry.second.hasGalaxy);
    return out;
  }

  // Room for the four and a fresh probe.
  ServerFixture server_{[] {
    netfixture::ServerOptions options;
    options.maxPlayers = 6;
    return options;
  }()};
  Probe probeP_, probeS_, probeN_, probeW_;
  NetPlayer* p_ = nullptr;
  NetPlayer* s_ = nullptr;
  NetPlayer* n_ = nullptr;
  NetPlayer* w_ = nullptr;
  empire* own_ = nullptr;
  std::map<uint64_t, std::wstring> names_;
  std::map<const empire*, hostilestate::EmpireState> empires_;
  std::map<uint32_t, std::string> objects_;
  double speed_ = 0;
  size_t settingsBefore_ = 0;
  irr::u32 commonStrings_ = 0;
  size_t heapBefore_ = 0;
  unsigned marks_ = 0;
  uint64_t reservedDrops_ = 0;
};

// The ids that change a sender's own record or the game's state by their
// rules: skipped where the rules would let them (renames, play-as, votes in
// chat); their hostile forms are still sent by the senders they cannot
// affect here. (Filled as the suite's cases grow.)
bool changesOwnRecord(uint8_t id) { return id == msgid::kPlayerName || id == msgid::kPlayAs; }

}  // namespace

// Every id from each sender: nothing breaks the invariants.
TEST(net_hostile, EveryIdFromEachSender) {
  privatenet::runInPrivateNetwork(
      [] {
        Suite suite;
        ASSERT_TRUE(suite.ready());
        std::mt19937 rng(72);
        const std::map<uint8_t, std::vector<Bytes>> messages =
            wellFormedMessages(suite.server().manager, suite.own(), suite.server().aiEmpire(1));
        for (unsigned id = 0; id < 256; ++id) {
          const uint8_t messageId = static_cast<uint8_t>(id);
          // A well-formed rename or play-as would change the sender's own
          // record by the rules: only their damaged forms go out.
          for (Probe* from : {&suite.p(), &suite.s(), &suite.n()}) {
            std::vector<Bytes> bodies = hostileBodies(messageId, messages.at(messageId), rng);
            if (changesOwnRecord(messageId))
              continue;
            ASSERT_TRUE(suite.sendAll(*from, bodies)) << "id " << id << ": the server stopped handling a sender";
          }
          if (messageId == msgid::kGalaxyEnd)
            suite.putNBackOutOfTheGame();
          suite.checkInvariants(id);
          if (::testing::Test::HasFatalFailure())
            return;
        }
      },
      900);
}

}  // namespace hostile_clients_test
