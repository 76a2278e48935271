// Hostile bodies of the diplomacy and research messages (132, 133, 134):
// well-formed messages cut, damaged or replaced by noise, handed to the
// receivers on a server from a player and from a spectator, and on a
// client. Nothing may crash or leak (AddressSanitizer), and on the server
// nothing of an empire the sender does not control may change.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/locks.h"
#include "core/net_encoders.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_network.h"
#include "empire/research/research_registry.h"
#include "empire/treaty.h"
#include "empire/treaty_clause.h"
#include "empire/treaty_network.h"
#include "net/diplomacy_messages.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "support/sent_messages.h"

namespace diplomacy_hostile_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

constexpr int kBodiesPerSide = 10000;

constexpr char kTechnologies[] =
    "Technology: Beams\n"
    "StartLevel: 1\n"
    "Cost: 2\n"
    "Link: Shields [5]\n"
    "Link: Nowhere [3]\n"
    "Technology: Shields\n"
    "Locks: Link\n"
    "Technology: Armor\n"
    "StartLevel: 1\n"
    "Link: Beams [2]\n";

Bytes bytesOf(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return data == nullptr ? Bytes() : Bytes(data, data + stream.GetNumberOfBytesUsed());
}

// What of `emp` a sender who does not control it must leave alone: its
// relations, its treaties and proposals and its research, leaving out what
// it shares with `partner` (the sender's own empire, null for none).
std::string fingerprint(empire* emp, const empire* partner) {
  std::ostringstream out;
  for (empire* other : empireList) {
    if (other == emp || other == partner)
      continue;
    const EmpireRelation* relation = emp->getRelation(other);
    out << "r" << int(other->ID) << relation->allied << relation->enemy << " ";
  }
  const auto treaty = [&](const ITreaty* t) {
    if (t == nullptr || t->getFromEmpire() == partner || t->getToEmpire() == partner)
      return;
    out << "t" << t->getID() << "/" << int(t->getFromEmpire()->ID) << ">" << int(t->getToEmpire()->ID) << "/"
        << t->getState() << t->isEnded() << " ";
  };
  {
    ScopedReadLock guard(emp->locks[EA_Treaties]);
    for (irr::u32 i = 0; i < emp->treaties.size(); ++i)
      treaty(emp->treaties[i]);
    for (const auto& entry : emp->proposedTreaties)
      treaty(entry.second);
  }
  const research::IWeb& web = *emp->researchWeb;
  int link = 0;
  const research::IWebItem* active = web.getActiveTech(link);
  const std::string activeId = active != nullptr ? stringc(active->getDescriptor()->getId()).c_str() : "-";
  out << "w" << web.getResearchRate() << "/" << activeId << link << "/" << web.getVisibleCount();
  for (irr::u32 i = 0; i < research::getWebItemDescCount(); ++i) {
    const research::IWebItem* item = web.getItem(research::getWebItemDesc(i));
    float level = 0, progress = 0, cost = 0, maxLevel = 0;
    item->getLevels(level, progress, cost, maxLevel);
    out << " " << level << "," << progress << "," << cost;
    for (irr::u32 k = 0; k < item->getLinkCount(); ++k) {
      float paid = 0, linkCost = 0;
      item->getLinkLevels(k, paid, linkCost);
      out << "," << paid;
    }
  }
  return out.str();
}

class DiplomacyHostileTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_[0] = networkManager->isServer;
    saved_[1] = networkManager->isNetworked;
    saved_[2] = networkManager->isConnected;
    savedActive_ = activeEmpire;
    createNetworkManager();  // the receivers as the manager enters them
    captureSends(sent_);
    setGameSetting(L"RES_RANDOMIZE_LINKS", 0);
    const std::filesystem::path techs = scratchDir() / "techs.txt";
    std::ofstream(techs, std::ios::binary) << kTechnologies;
    research::loadResearchFields(techs.string().c_str());
    loadTreatyClauses(CORVANE_SOURCE_DIR "/data/Game Data/treaties.xml");

    setRole(false);
    nextEmpireID = 1;
    e1_ = registerEmpire(new empire);
    e2_ = registerEmpire(new empire);
    e3_ = registerEmpire(new empire);
    for (empire* emp : {e1_, e2_, e3_})
      emp->researchWeb->initialise(emp);
  }
  void TearDown() override {
    stopCapturingSends();
    networkManager->isServer = saved_[0];
    networkManager->isNetworked = saved_[1];
    networkManager->isConnected = saved_[2];
    activeEmpire = savedActive_;
    playingEmpire = nullptr;
    client_.reset();
    clearDiplomacyOffers();
    deleteAllEmpires();
    clearTreatyClauses();
    research::clearWebItemDescs();
    gameSettings.clear();
  }

  static void setRole(bool client) {
    networkManager->isServer = !client;
    networkManager->isNetworked = client;
    networkManager->isConnected = client;
  }

  // Well-formed messages of every kind and sub-kind, id byte first.
  std::vector<Bytes> seeds() {
    std::vector<Bytes> out;
    const auto diplomacy = [&](uint8_t from, uint8_t to, uint32_t topic, int answered) {
      RakNet::BitStream s;
      s.Write(ID_DIPLOMACY_MESSAGE);
      s.Write(from);
      s.Write(to);
      s.Write(topic);
      if (topic == DT_Peace || topic == DT_War)
        s.Write(answered >= 0);
      if (answered >= 0 || topic == DT_Accept || topic == DT_Reject) {
        s.Write(static_cast<uint32_t>(answered < 0 ? 0 : answered));
        s.Write1();
      }
      out.push_back(bytesOf(s));
    };
    for (uint8_t from : {1, 2})
      for (uint8_t to : {1, 2, 3}) {
        diplomacy(from, to, DT_War, -1);
        diplomacy(from, to, DT_Peace, DT_Peace);
        diplomacy(from, to, DT_Accept, DT_Peace);
        diplomacy(from, to, DT_Greetings, -1);
      }
    // The server's form, read by a client.
    out.push_back(hexBytes("84 02 00 00 00 05"));

    // Treaties: proposals of 1 and of 2, answers, a server's proposal and
    // list.
    const auto treatyOf = [](empire* from, empire* to, const wchar_t* kind) {
      ITreaty* treaty = createTreaty(from, to);
      IClause* clause = createClause(kind, false);
      treaty->addClause(clause);
      clause->release();
      return treaty;
    };
    for (const auto& pair : {std::make_pair(e1_, e2_), std::make_pair(e2_, e3_), std::make_pair(e3_, e1_)}) {
      for (const wchar_t* kind : {L"war", L"peace", L"ceasefire"}) {
        ITreaty* treaty = treatyOf(pair.first, pair.second, kind);
        RakNet::BitStream s;
        s.Write(kTreatyMessageId);
        s.Write(uint8_t{TMK_Proposal});
        writeTreaty(treaty, s);
        out.push_back(bytesOf(s));
        RakNet::BitStream fromServer;
        fromServer.Write(kTreatyMessageId);
        fromServer.Write(uint8_t{TMK_Proposal});
        fromServer.Write(uint32_t{30});
        writeTreaty(treaty, fromServer);
        fromServer.Write1();
        out.push_back(bytesOf(fromServer));
        treaty->release();
      }
    }
    out.push_back(hexBytes("85 01 00 00 00 02 02 01"));
    out.push_back(hexBytes("85 01 00 00 00 03 01 02"));
    {
      ITreaty* standing = treatyOf(e2_, e3_, L"peace");
      standing->setID(5);
      standing->addRef();
      e2_->treaties.push_back(standing);
      ITreaty* offered = treatyOf(e3_, e2_, L"pledge");
      offered->setID(6);
      EXPECT_TRUE(e3_->setProposedTreaty(e2_, offered) && e2_->setProposedTreaty(e3_, offered));
      sent_.clear();
      sendTreaty(e2_, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
      out.push_back(sent_.at(0).bytes);
      sent_.clear();
      standing->release();
      offered->release();
    }

    // Research: requests for 1 and 2, and the server's two forms.
    for (uint8_t emp : {1, 2})
      for (int16_t link : {-1, 0, 1}) {
        RakNet::BitStream s;
        s.Write(research::kResearchMessageId);
        s.Write(emp);
        s.Write(uint8_t{research::RMK_SetActive});
        writeNetStringW(s, L"Beams", kMaxNetStringLength);
        s.Write(link);
        out.push_back(bytesOf(s));
      }
    e2_->researchWeb->setActiveTech(research::getWebItemDesc(stringw(L"Beams")), 1);
    for (const bool all : {false, true}) {
      RakNet::BitStream s;
      s.Write(research::kResearchMessageId);
      if (all)
        research::writeResearchWebItems(s, *e2_->researchWeb);
      else
        research::writeResearchWebState(s, *e2_->researchWeb);
      out.push_back(bytesOf(s));
    }
    RakNet::BitStream setActive;
    setActive.Write(research::kResearchMessageId);
    setActive.Write(uint8_t{research::RMK_SetActive});
    writeNetStringW(setActive, L"Armor", kMaxNetStringLength);
    setActive.Write(int16_t{0});
    out.push_back(bytesOf(setActive));
    return out;
  }

  // Cut, damaged, noise, or cut and damaged.
  static Bytes mangle(const Bytes& seed, std::mt19937& random) {
    Bytes body = seed;
    const unsigned how = random() % 4;
    if (how == 2) {
      body.assign(1, seed[0]);
      const unsigned length = random() % 48;
      for (unsigned i = 0; i < length; ++i)
        body.push_back(static_cast<uint8_t>(random()));
      return body;
    }
    if (how == 0 || how == 3)
      body.resize(1 + random() % body.size());
    if ((how == 1 || how == 3) && body.size() > 1)
      for (unsigned n = 1 + random() % 3; n > 0; --n)
        body[1 + random() % (body.size() - 1)] = static_cast<uint8_t>(random());
    return body;
  }

  static void deliver(const Bytes& body, NetPlayer* from) {
    RakNet::BitStream stream(body.data(), body.size(), false);
    stream.IgnoreBits(8);
    const auto found = networkManager->receivers.find(body[0]);
    ASSERT_NE(found, networkManager->receivers.end()) << int(body[0]);
    found->second->handle(body[0], stream, from);
  }

  bool saved_[3] = {false, false, false};
  empire* savedActive_ = nullptr;
  std::vector<SentMessage> sent_;
  empire* e1_ = nullptr;
  empire* e2_ = nullptr;
  empire* e3_ = nullptr;
  std::unique_ptr<empire> client_;
};

TEST_F(DiplomacyHostileTest, DamagedBodiesChangeNothingTheSenderDoesNotControl) {
  const std::vector<Bytes> all = seeds();
  std::mt19937 random(20261211);

  // A spectator controls nothing.
  const std::string before[] = {fingerprint(e1_, nullptr), fingerprint(e2_, nullptr), fingerprint(e3_, nullptr)};
  NetPlayer spectator;
  for (int i = 0; i < kBodiesPerSide; ++i)
    deliver(mangle(all[random() % all.size()], random), &spectator);
  EXPECT_EQ(fingerprint(e1_, nullptr), before[0]);
  EXPECT_EQ(fingerprint(e2_, nullptr), before[1]);
  EXPECT_EQ(fingerprint(e3_, nullptr), before[2]);

  // The player of empire 1 may change empire 1 and what it shares with the
  // others, nothing else.
  const std::string others[] = {fingerprint(e2_, e1_), fingerprint(e3_, e1_)};
  NetPlayer player;
  player.emp = e1_;
  for (int i = 0; i < kBodiesPerSide; ++i)
    deliver(mangle(all[random() % all.size()], random), &player);
  EXPECT_EQ(fingerprint(e2_, e1_), others[0]);
  EXPECT_EQ(fingerprint(e3_, e1_), others[1]);
  // The bodies reached far enough to change what the player may change.
  EXPECT_NE(fingerprint(e1_, nullptr), before[0]);

  // A client reads whatever its server sends without harm.
  setRole(true);
  client_.reset(new empire);
  activeEmpire = client_.get();
  playingEmpire = client_.get();
  for (int i = 0; i < kBodiesPerSide; ++i)
    deliver(mangle(all[random() % all.size()], random), nullptr);
  setRole(false);
  EXPECT_FALSE(client_->messages.empty());
  int link = 0;
  EXPECT_NE(client_->researchWeb->getActiveTech(link), nullptr);
}

}  // namespace

}  // namespace diplomacy_hostile_test
