// Research on the network: a server's web read into a client's mirror
// through the take-over record, the all-items form and the state form; the
// client's target request and what the server makes of it; the per-player
// send; and a web whose items lost links to "RES_NO_DEAD_ENDS".
#include "empire/research/research_network.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/named_values.h"
#include "core/net_encoders.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "support/sent_messages.h"

namespace research_network_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;
using research::CNetworkedWeb;
using research::CWeb;
using research::CWebItem;
using research::IWeb;
using research::IWebItem;

// Beams starts known; its links lead to Shields, nowhere and Armor. Shields
// stays hidden behind its lock; Armor and Optics start unknown.
constexpr char kTechnologies[] =
    "Technology: Beams\n"
    "StartLevel: 1\n"
    "Cost: 2\n"
    "MaxLevel: 6\n"
    "Link: Shields [5]\n"
    "Link: Nowhere [3]\n"
    "Link: Armor [4]\n"
    "Technology: Shields\n"
    "Locks: Link\n"
    "Technology: Armor\n"
    "Cost: 3\n"
    "Link: Beams [2]\n"
    "Technology: Optics\n"
    "StartLevel: 2\n"
    "Cost: Level + 1\n";

enum class Role { Local, Server, Client };

struct Levels {
  float level, progress, cost, maxLevel;
};

Levels levelsOf(const IWebItem* item) {
  Levels out{};
  item->getLevels(out.level, out.progress, out.cost, out.maxLevel);
  return out;
}

Bytes netBytes(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return data == nullptr ? Bytes() : Bytes(data, data + stream.GetNumberOfBytesUsed());
}

std::string idOf(const IWebItem* item) {
  return item == nullptr ? std::string("-") : stringc(item->getDescriptor()->getId()).c_str();
}

class ResearchNetworkTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_[0] = networkManager->isServer;
    saved_[1] = networkManager->isNetworked;
    saved_[2] = networkManager->isConnected;
    savedActive_ = activeEmpire;
    setGameSetting(L"RES_RANDOMIZE_LINKS", 0);
    loadTechnologies(kTechnologies);
    captureSends(sent_);
  }
  void TearDown() override {
    stopCapturingSends();
    setRole(Role::Local);
    networkManager->isServer = saved_[0];
    networkManager->isNetworked = saved_[1];
    networkManager->isConnected = saved_[2];
    activeEmpire = savedActive_;
    client_.reset();
    deleteAllEmpires();  // before the descriptors their webs point at
    research::clearWebItemDescs();
    gameSettings.clear();
  }

  void loadTechnologies(const char* text) {
    const std::filesystem::path file = scratchDir() / "techs.txt";
    std::ofstream(file, std::ios::binary) << text;
    research::loadResearchFields(file.string().c_str());
  }

  static void setRole(Role role) {
    networkManager->isServer = role == Role::Server;
    networkManager->isNetworked = role == Role::Client;
    networkManager->isConnected = role == Role::Client;
  }

  // The server's empires 1 and 2, with their webs set up (the web of 1
  // also researched: see researchedServer).
  void makeServerEmpires() {
    setRole(Role::Server);
    nextEmpireID = 1;
    server_ = registerEmpire(new empire);
    other_ = registerEmpire(new empire);
    for (empire* emp : {server_, other_})
      emp->researchWeb->initialise(emp);
  }

  // A client's empire: its web is the mirror.
  empire* makeClientEmpire() {
    setRole(Role::Client);
    auto* emp = new empire;
    client_.reset(emp);
    EXPECT_NE(dynamic_cast<CNetworkedWeb*>(emp->researchWeb), nullptr);
    activeEmpire = emp;
    return emp;
  }

  static research::IWebItemDesc* desc(const wchar_t* id) { return research::getWebItemDesc(stringw(id)); }
  static IWebItem* itemOf(empire* emp, const wchar_t* id) { return emp->researchWeb->getItem(desc(id)); }

  // Beams: level 3 with progress, its link to Shields paid in full, its
  // link to Armor half paid; Armor seen; rate 7.5; target link 2 of Beams.
  void researchServer() {
    CWeb& web = dynamic_cast<CWeb&>(*server_->researchWeb);
    ASSERT_TRUE(web.addPoints(desc(L"Beams"), 5.0f, server_));  // 2 + 2, then 1 towards the next
    IWebItem* end = nullptr;
    IWebItem* beams = itemOf(server_, L"Beams");
    ASSERT_TRUE(beams->payLink(5.0f, 0, end));
    ASSERT_FALSE(beams->payLink(2.0f, 2, end));
    web.markAsVisible(itemOf(server_, L"Armor"));
    web.setResearchRate(7.5);
    web.setActiveTech(desc(L"Beams"), 2);
  }

  // Hands `bytes` (id byte first) to the receiver of 134.
  static void deliver(const Bytes& bytes, NetPlayer* from) {
    RakNet::BitStream stream(bytes.data(), bytes.size(), false);
    stream.IgnoreBits(8);
    research::ResearchMsg receiver;
    receiver.handle(research::kResearchMessageId, stream, from);
  }

  // What the server's per-player pass sends for empire 1's player.
  Bytes passFor(empire* emp, uint8_t expectedChannel) {
    NetPlayer player;
    player.emp = emp;
    sent_.clear();
    research::sendPlayerResearch(*networkManager, player);
    EXPECT_EQ(sent_.size(), 1u);
    if (sent_.empty())
      return {};
    EXPECT_EQ(sent_[0].channel, expectedChannel);
    EXPECT_EQ(sent_[0].reliability, RakNet::RELIABLE_SEQUENCED);
    return sent_[0].bytes;
  }

  // Every technology's levels, link levels and visibility, as the mirror
  // and the server's web must agree on them.
  void expectSameItems(empire* mirror, bool withMaxLevel, bool withPossibleEnds) {
    for (irr::u32 i = 0; i < research::getWebItemDescCount(); ++i) {
      research::IWebItemDesc* d = research::getWebItemDesc(i);
      SCOPED_TRACE(stringc(d->getId()).c_str());
      const IWebItem* theirs = server_->researchWeb->getItem(d);
      const IWebItem* ours = mirror->researchWeb->getItem(d);
      ASSERT_NE(ours, nullptr);
      const Levels a = levelsOf(theirs);
      const Levels b = levelsOf(ours);
      EXPECT_EQ(a.level, b.level);
      EXPECT_EQ(a.progress, b.progress);
      EXPECT_EQ(a.cost, b.cost);
      if (withMaxLevel) {
        EXPECT_EQ(a.maxLevel, b.maxLevel);
      }
      ASSERT_EQ(ours->getLinkCount(), d->getLinkCount());
      for (irr::u32 k = 0; k < theirs->getLinkCount(); ++k) {
        float paidA = -1, costA = -1, paidB = -2, costB = -2;
        theirs->getLinkLevels(k, paidA, costA);
        ours->getLinkLevels(k, paidB, costB);
        EXPECT_EQ(paidA, paidB) << k;
        EXPECT_EQ(costA, costB) << k;
        if (withPossibleEnds) {
          EXPECT_EQ(idOf(theirs->getPossibleLinkEnd(k)), idOf(ours->getPossibleLinkEnd(k))) << k;
        }
      }
      EXPECT_EQ(server_->researchWeb->isTechVisible(d), mirror->researchWeb->isTechVisible(d));
    }
  }

  // The "Level" that formulas of `emp` see for `id`.
  static float publishedLevel(empire* emp, const wchar_t* id) {
    NamedValues* techs = emp->spaces.findSpace(L"Techs");
    if (techs == nullptr || techs->getKind() != 2)
      return -1.0f;
    NamedValues* values = static_cast<NameSpaces*>(techs)->findSpace(stringw(id));
    float level = -1.0f;
    if (values != nullptr)
      values->get(L"Level", level);
    return level;
  }

  bool saved_[3] = {false, false, false};
  empire* savedActive_ = nullptr;
  std::vector<SentMessage> sent_;
  empire* server_ = nullptr;
  empire* other_ = nullptr;
  std::unique_ptr<empire> client_;
};

TEST_F(ResearchNetworkTest, EveryFormBringsTheServersWebToTheMirror) {
  makeServerEmpires();
  researchServer();

  // The take-over record: everything the items hold, possible ends too.
  RakNet::BitStream takeOver;
  research::writeResearchWebFlags(takeOver, *server_->researchWeb);
  const Bytes record = netBytes(takeOver);
  empire* mirror = makeClientEmpire();
  {
    RakNet::BitStream stream(record.data(), record.size(), false);
    ASSERT_TRUE(research::readResearchWebMessage(stream, dynamic_cast<CNetworkedWeb&>(*mirror->researchWeb), mirror));
    EXPECT_LT(stream.GetNumberOfUnreadBits(), 8u);
  }
  expectSameItems(mirror, true, true);
  EXPECT_EQ(publishedLevel(mirror, L"Beams"), 3.0f);
  // A full record carries no link ends: only the all-items form does.
  EXPECT_EQ(itemOf(mirror, L"Beams")->getLinkEnd(0), nullptr);

  // The all-items form, into a fresh mirror: the completed link's end only.
  setRole(Role::Server);
  server_->researchChanged = true;
  const Bytes items = passFor(server_, research::kResearchItemsChannel);
  EXPECT_FALSE(server_->researchChanged);
  mirror = makeClientEmpire();
  deliver(items, nullptr);
  expectSameItems(mirror, false, false);
  EXPECT_EQ(itemOf(mirror, L"Beams")->getLinkEnd(0), itemOf(mirror, L"Shields"));
  EXPECT_EQ(itemOf(mirror, L"Beams")->getLinkEnd(1), nullptr);  // leads nowhere
  ASSERT_NE(itemOf(server_, L"Beams")->getLinkEnd(2), nullptr);   // known to the server,
  EXPECT_EQ(itemOf(mirror, L"Beams")->getLinkEnd(2), nullptr);    // but not paid yet
  EXPECT_EQ(publishedLevel(mirror, L"Optics"), 2.0f);

  // The state form: the rate and the target with its levels.
  setRole(Role::Server);
  const Bytes state = passFor(server_, research::kResearchStateChannel);
  mirror = makeClientEmpire();
  deliver(state, nullptr);
  IWeb& web = *mirror->researchWeb;
  EXPECT_EQ(web.getResearchRate(), 7.5);
  int link = -5;
  EXPECT_EQ(web.getActiveTech(link), itemOf(mirror, L"Beams"));
  EXPECT_EQ(link, 2);
  const Levels beams = levelsOf(itemOf(mirror, L"Beams"));
  EXPECT_EQ(beams.level, 3.0f);
  EXPECT_EQ(beams.progress, 1.0f);
  EXPECT_EQ(beams.cost, 2.0f);
  EXPECT_TRUE(web.isTechVisible(desc(L"Beams")));
  EXPECT_EQ(web.getVisibleCount(), 1u);
  float paid = 0, cost = 0;
  itemOf(mirror, L"Beams")->getLinkLevels(2, paid, cost);
  EXPECT_EQ(paid, 2.0f);
  EXPECT_EQ(cost, 4.0f);
}

TEST_F(ResearchNetworkTest, TheMirrorNeitherResearchesNorSaves) {
  makeServerEmpires();
  empire* mirror = makeClientEmpire();
  IWeb& web = *mirror->researchWeb;
  web.setResearchRate(3.0);
  web.modResearchRate(5.0);
  web.initialise(mirror);
  EXPECT_EQ(web.getResearchRate(), 3.0);
  EXPECT_FALSE(web.addPoints(desc(L"Beams"), 100.0f, mirror));
  EXPECT_FALSE(web.spendResearch(10.0, mirror));
  EXPECT_EQ(levelsOf(itemOf(mirror, L"Beams")).level, 0.0f);
  auto writer = SaveStream::createInMemory();
  web.write(*writer);
  EXPECT_TRUE(writtenBody(*writer).empty());
}

TEST_F(ResearchNetworkTest, AnIdLongerThan255CharactersIsCutOnTheWire) {
  const stringw longId(std::wstring(300, L'Q').c_str());
  research::registerWebItemDesc(new research::CWebItemDesc(longId));
  makeServerEmpires();
  server_->researchWeb->setActiveTech(desc(longId.c_str()));
  RakNet::BitStream stream;
  research::writeResearchWebState(stream, *server_->researchWeb);
  uint8_t kind = 0;
  bool allItems = true, hasActive = false;
  double rate = -1;
  stringw id;
  ASSERT_TRUE(stream.Read(kind) && stream.Read(allItems) && stream.Read(rate) && stream.Read(hasActive));
  EXPECT_EQ(kind, 3);
  EXPECT_FALSE(allItems);
  ASSERT_TRUE(hasActive);
  ASSERT_TRUE(readNetStringW(stream, id));
  EXPECT_EQ(id.size(), 255u);
  EXPECT_EQ(id, stringw(std::wstring(255, L'Q').c_str()));
}

TEST_F(ResearchNetworkTest, TheClientsRequestAndWhatTheServerMakesOfIt) {
  makeServerEmpires();
  // The mirror of empire 1 asks for the next level of Beams.
  CNetworkedWeb mirror(server_);
  mirror.setActiveTech(desc(L"Beams"));
  ASSERT_EQ(sent_.size(), 1u);
  const Bytes levelRequest = sent_[0].bytes;
  EXPECT_EQ(levelRequest, hexBytes("86 01 01 05 42 00 65 00 61 00 6D 00 73 00 FF FF"));
  int link = 0;
  EXPECT_EQ(mirror.getActiveTech(link), mirror.getItem(desc(L"Beams")));  // at once
  EXPECT_EQ(link, -1);
  sent_.clear();
  mirror.setActiveTech(desc(L"Beams"), 0);
  ASSERT_EQ(sent_.size(), 1u);
  const Bytes linkRequest = sent_[0].bytes;
  EXPECT_EQ(linkRequest, hexBytes("86 01 01 05 42 00 65 00 61 00 6D 00 73 00 00 00"));
  EXPECT_EQ(mirror.getActiveTech(link), mirror.getItem(desc(L"Beams")));
  EXPECT_EQ(link, 0);

  setRole(Role::Server);
  CWeb& web = dynamic_cast<CWeb&>(*server_->researchWeb);
  NetPlayer player;
  player.emp = server_;
  NetPlayer spectator;

  // What the server's target is after each request, from the start.
  const auto request = [](uint8_t empireId, const wchar_t* tech, int linkIndex) {
    RakNet::BitStream stream;
    stream.Write(research::kResearchMessageId);
    stream.Write(empireId);
    stream.Write(uint8_t{1});
    writeNetStringW(stream, stringw(tech), kMaxNetStringLength);
    stream.Write(static_cast<int16_t>(linkIndex));
    return netBytes(stream);
  };
  struct Case {
    const char* what;
    Bytes bytes;
    NetPlayer* from;
    const wchar_t* target;  // null: none
    int link;
  };
  const Case cases[] = {
      {"level", levelRequest, &player, L"Beams", -1},
      {"link", linkRequest, &player, L"Beams", 0},
      {"hidden technology", request(1, L"Shields", -1), &player, nullptr, -1},
      {"unknown technology", request(1, L"Lances", -1), &player, nullptr, -1},
      {"link beyond the item's", request(1, L"Beams", 3), &player, nullptr, -1},
      {"another empire", request(2, L"Beams", -1), &player, nullptr, -1},
      {"a spectator", levelRequest, &spectator, nullptr, -1},
      {"no player", levelRequest, nullptr, nullptr, -1},
      {"cut before the link", Bytes(levelRequest.begin(), levelRequest.end() - 1), &player, nullptr, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    web.active = research::SActiveTarget();
    for (empire* emp : {server_, other_})
      dynamic_cast<CWeb&>(*emp->researchWeb).active = research::SActiveTarget();
    deliver(c.bytes, c.from);
    IWebItem* active = web.getActiveTech(link);
    EXPECT_EQ(idOf(active), c.target == nullptr ? std::string("-") : std::string(stringc(c.target).c_str()));
    EXPECT_EQ(link, c.link);
    EXPECT_EQ(idOf(other_->researchWeb->getActiveTech(link)), "-");
  }

  // Link 0 is paid from then on.
  deliver(linkRequest, &player);
  web.setResearchRate(1.0);
  web.spendResearch(2.0, server_);
  float paid = 0, cost = 0;
  itemOf(server_, L"Beams")->getLinkLevels(0, paid, cost);
  EXPECT_EQ(paid, 2.0f);
}

TEST_F(ResearchNetworkTest, LinksLostToNoDeadEndsAreSentAsEmptyEntries) {
  setGameSetting(L"RES_NO_DEAD_ENDS", 1);
  makeServerEmpires();
  IWebItem* beams = itemOf(server_, L"Beams");
  ASSERT_EQ(beams->getLinkCount(), 2u);  // Nowhere went
  IWebItem* end = nullptr;
  beams->payLink(1.5f, 1, end);

  RakNet::BitStream flags;
  research::writeResearchWebFlags(flags, *server_->researchWeb);
  server_->researchChanged = true;
  const Bytes items = passFor(server_, research::kResearchItemsChannel);
  server_->researchWeb->setActiveTech(desc(L"Armor"));
  const Bytes state = passFor(server_, research::kResearchStateChannel);

  empire* mirror = makeClientEmpire();
  const Bytes record = netBytes(flags);
  RakNet::BitStream stream(record.data(), record.size(), false);
  ASSERT_TRUE(research::readResearchWebMessage(stream, dynamic_cast<CNetworkedWeb&>(*mirror->researchWeb), mirror));
  EXPECT_LT(stream.GetNumberOfUnreadBits(), 8u);
  IWebItem* mirrored = itemOf(mirror, L"Beams");
  ASSERT_EQ(mirrored->getLinkCount(), 3u);
  float paid = 0, cost = 0;
  mirrored->getLinkLevels(1, paid, cost);
  EXPECT_EQ(paid, 1.5f);
  EXPECT_EQ(cost, 4.0f);
  EXPECT_EQ(idOf(mirrored->getPossibleLinkEnd(0)), "Shields");
  EXPECT_EQ(idOf(mirrored->getPossibleLinkEnd(1)), "Armor");
  EXPECT_EQ(mirrored->getPossibleLinkEnd(2), nullptr);

  // The other forms keep in step past the missing link.
  deliver(items, nullptr);
  mirrored->getLinkLevels(2, paid, cost);
  EXPECT_EQ(paid, 0.0f);
  EXPECT_EQ(cost, 0.0f);
  EXPECT_EQ(publishedLevel(mirror, L"Optics"), 2.0f);  // the last item was reached
  deliver(state, nullptr);
  int link = 0;
  EXPECT_EQ(mirror->researchWeb->getActiveTech(link), itemOf(mirror, L"Armor"));
}

TEST_F(ResearchNetworkTest, CutMessagesApplyNothingTheyDidNotReadWhole) {
  makeServerEmpires();
  researchServer();
  server_->researchChanged = true;
  const Bytes items = passFor(server_, research::kResearchItemsChannel);
  const Bytes state = passFor(server_, research::kResearchStateChannel);
  RakNet::BitStream flags;
  research::writeResearchWebFlags(flags, *server_->researchWeb);
  const Bytes record = netBytes(flags);

  for (size_t length = 0; length < state.size(); ++length) {
    empire* mirror = makeClientEmpire();
    deliver(Bytes(state.begin(), state.begin() + length), nullptr);
    int link = 0;
    EXPECT_EQ(mirror->researchWeb->getActiveTech(link), nullptr) << length;
  }
  for (const Bytes* whole : {&items, &record}) {
    for (size_t length = 0; length < whole->size(); ++length) {
      empire* mirror = makeClientEmpire();
      if (whole == &items) {
        deliver(Bytes(whole->begin(), whole->begin() + length), nullptr);
      } else {
        RakNet::BitStream stream(whole->data(), length, false);
        EXPECT_FALSE(
            research::readResearchWebMessage(stream, dynamic_cast<CNetworkedWeb&>(*mirror->researchWeb), mirror));
      }
      // Each item holds what the server sent it, or what it had before.
      for (const wchar_t* id : {L"Armor", L"Beams", L"Optics", L"Shields"}) {
        const Levels got = levelsOf(itemOf(mirror, id));
        const Levels sent = levelsOf(itemOf(server_, id));
        const bool untouched = got.level == 0.0f && got.progress == 0.0f && got.cost == 1.0f;
        const bool whole = got.level == sent.level && got.progress == sent.progress && got.cost == sent.cost;
        EXPECT_TRUE(untouched || whole) << stringc(id).c_str() << " at " << length;
      }
    }
  }
}

}  // namespace

}  // namespace research_network_test
