// The empire record of saved games: its bytes, a round trip of three full
// empires with their post-load steps, records of older format versions, the
// steps' resolution of references to other empires, and damaged records.
#include "empire/empire_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's allocation hooks (the compiler ships no header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                        void (*onFree)(const volatile void*));
#endif

#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/post_load.h"
#include "design/build/build_rules.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/traits.h"
#include "scriptapi/empire_ai.h"
#include "scriptapi/script_session.h"
#include "support/save_bytes.h"

namespace empire_record_test {

using irr::core::stringw;

namespace {

std::string narrow(const stringw& text) { return irr::core::stringc(text).c_str(); }

// The records of `empires` after a common strings section of the whole pool.
struct SavedGame {
  Bytes section;
  std::vector<Bytes> records;

  Bytes body() const {
    Bytes all = section;
    for (const Bytes& record : records)
      all.insert(all.end(), record.begin(), record.end());
    return all;
  }
};

SavedGame saveGame(const std::vector<empire*>& empires) {
  auto stream = SaveStream::createInMemory();
  writeCommonStringsSection(*stream);
  const Bytes& all = stream->memoryBytes();
  SavedGame saved;
  saved.section.assign(all.begin() + 8, all.end());
  for (empire* emp : empires) {
    const size_t start = all.size();
    saveEmpire(*stream, emp);
    saved.records.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(start), all.end());
  }
  return saved;
}

// Reads `count` records from a file of `version` whose body is a common
// strings section and the records; the empires are not registered.
std::vector<std::unique_ptr<empire>> loadRecords(const Bytes& body, size_t count,
                                                 int32_t version = SaveStream::kVersion) {
  const Bytes file = withHeader(body, version);
  auto stream = readerOver(file);
  readCommonStringsSection(*stream);
  std::vector<std::unique_ptr<empire>> loaded;
  for (size_t i = 0; i < count; ++i)
    loaded.emplace_back(loadEmpire(*stream));
  EXPECT_EQ(stream->remaining(), 0u);
  return loaded;
}

// A hand-made common strings section: "Ore", "misc", "research" (references
// 00, 01 01 and 01 02 as packed numbers).
const char kSection[] =
    "03 00 00 00  03 00 00 4F 72 65  04 00 00 6D 69 73 63  08 00 00 72 65 73 65 61 72 63 68  EF BE AD DE";

// The record of the plainest empire, with each field beside its bytes: the
// fields up to the build lists, then the rest.
const char kPlainHead[] =
    "05 00 00 41 6C 70 68 61 "  // name "Alpha"
    "00 00 00 00 00 00 "        // race name, description, history
    "03 "                       // ID
    "02 "                       // flags: valid, AI-controlled
    "33 22 11 FF "              // colour
    "00 00 "                    // ship set
    "01 00 00 00 01 00 00 00 "  // own bit, visibility mask
    "00 00 00 00 00 00 00 00 00 00 FF "  // research web: rate 0, no items, no target
    "03 00 00 52 65 78 "        // emperor "Rex"
    "00 00 00 00 "              // stats, settings
    "00 00 00 00 "              // layouts, foreign layouts
    "00 00 ";                   // build lists
const char kNoMessages[] =
    "00 00 "                    // messages
    "00 00 00 00 00 00 00 00";  // last message time

std::string plainRecord(const std::string& messages = kNoMessages, const std::string& relations = "00 00",
                        const std::string& end = "FF 00") {  // end of treaties, no script AI
  return kPlainHead + messages + " " + relations + " 00 00 " /* traits */ + end;
}

Bytes handMade(const std::string& record) { return hexBytes((std::string(kSection) + " " + record).c_str()); }

class EmpireRecordTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    nextVisibilityBit = 1;
    clearPostObjectTreeSteps();
  }
  void TearDown() override {
    clearPostObjectTreeSteps();
    deleteAllEmpires();
    gameTime = 0.0;
  }
};

TEST_F(EmpireRecordTest, ThePlainestEmpireWritesEachFieldInTurn) {
  auto emp = std::make_unique<empire>();
  emp->name = L"Alpha";
  emp->ID = 3;
  emp->color = 0xFF112233;
  emp->emperor.name = L"Rex";
  emp->ownBit = 1;
  emp->visibility = 1;
  const SavedGame saved = saveGame({emp.get()});
  EXPECT_EQ(hexText(saved.records[0]), hex(plainRecord().c_str()));

  const auto loaded = loadRecords(handMade(plainRecord()), 1);
  const empire& back = *loaded[0];
  EXPECT_EQ(back.name, stringw(L"Alpha"));
  EXPECT_EQ(back.ID, 3);
  EXPECT_TRUE(back.valid);
  EXPECT_FALSE(back.playerControlled);
  EXPECT_FALSE(back.reserved);
  EXPECT_EQ(back.color, 0xFF112233u);
  EXPECT_EQ(back.emperor.name, stringw(L"Rex"));
  EXPECT_EQ(back.ownBit, 1u);
  EXPECT_EQ(back.aiObject, nullptr);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
}

// An empty layout record as each version holds it.
std::string layoutRecord(int version) {
  std::string record =
      "00 00 80 3F "               // scale 1
      "00 00 00 00 00 00 00 00 "   // mass
      "00 00 00 00 01 00 00 00 "   // metadata, revision 1
      "00 05 00 00 00 ";           // not obsolete, role 5
  if (version < 18)
    record += "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 01 00 ";  // old targeting block
  else
    record += "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 01 01 01 ";
  if (version >= 26)
    record += "00 01 00 ";  // deposit targets, fetch
  if (version >= 30)
    record += "00 00 ";  // exclusive ranges
  record += "00 00 00 00 ";  // orders, placed sub-systems
  if (version >= 10)
    record += "00 00 20 41 ";  // update threshold 10
  return record;
}

// A record of an older version with two layouts ("Scout" replaced by
// "Scout2"), a message and a relation to empire 5.
std::string oldRecord(int version) {
  const bool wideIds = version < 12;
  std::string r = "05 00 00 41 6C 70 68 61 ";  // "Alpha"
  r += wideIds ? "03 00 00 00 " : "03 ";
  r += "03 33 22 11 FF ";                    // flags, colour
  if (version >= 19)
    r += "05 00 00 53 68 69 70 73 ";  // ship set "Ships"
  r += "00 00 00 00 00 00 F0 3F 00 00 FF ";  // web, rate 1
  r += "03 00 00 52 65 78 ";                 // emperor "Rex"
  r += "01 00 00 00 00 20 40 00 00 ";        // stats {Ore: 2.5}, no settings
  r += "02 00 " + layoutRecord(version) + "05 00 00 53 63 6F 75 74 " + layoutRecord(version) +
       "06 00 00 53 63 6F 75 74 32 ";  // "Scout", "Scout2"
  if (version >= 10)
    r += "05 00 00 53 63 6F 75 74 01 06 00 00 53 63 6F 75 74 32 06 00 00 53 63 6F 75 74 32 00 ";
  if (version >= 29)
    r += "00 00 ";  // no foreign layouts
  r += "00 00 ";    // no build lists
  r += "01 00 02 00 00 48 69 ";  // one message, "Hi"
  if (version >= 33)
    r += "01 02 07 00 00 00 0C 00 00 00 ";  // "research", priority 7, time 12
  r += "00 00 00 00 00 00 45 40 ";       // last message at 42
  r += "01 00 ";
  r += wideIds ? "05 00 00 00 " : "05 ";
  r += "01 00 ";  // allied with empire 5
  r += "FF 00";
  return r;
}

// Fields added in later versions are absent from older records, and the
// fields after them stay aligned.
TEST_F(EmpireRecordTest, RecordsOfOlderVersionsLoad) {
  const struct {
    int version;
    const char* shipSet;
    const char* category;
    int32_t priority;
    int32_t time;
    bool successorLinked;
  } cases[] = {
      {34, "Ships", "research", 7, 12, true},  // no race texts, no own bit, no traits
      {32, "Ships", "misc", 0, 77, true},      // messages without category, priority, time
      {28, "Ships", "misc", 0, 77, true},      // no foreign layouts
      {18, "", "misc", 0, 77, true},           // no ship set
      {11, "", "misc", 0, 77, true},           // empire IDs in 4 bytes
      {9, "", "misc", 0, 77, false},           // no obsolescence entries
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    deleteAllEmpires();
    nextEmpireID = 5;
    registerEmpire(new empire, true);
    nextVisibilityBit = 4;
    gameTime = 77.25;

    auto loaded = loadRecords(handMade(oldRecord(c.version)), 1, c.version);
    empire* emp = registerEmpire(loaded[0].release(), true);
    runPostObjectTreeSteps();

    EXPECT_EQ(emp->name, stringw(L"Alpha"));
    EXPECT_EQ(emp->raceName, stringw());
    EXPECT_EQ(emp->ID, 3);
    EXPECT_TRUE(emp->playerControlled && emp->valid);
    EXPECT_EQ(emp->shipSet, stringw(c.shipSet));
    // The next free own bit, as own bit and mask.
    EXPECT_EQ(emp->ownBit, 4u);
    EXPECT_EQ(emp->visibility.load(), 4u);
    EXPECT_EQ(nextVisibilityBit, 8u);
    EXPECT_EQ(emp->getStat(L"Ore"), 2.5f);
    ASSERT_EQ(emp->hulls.size(), 2u);
    hull_list* scout = emp->hulls[0].value;
    EXPECT_EQ(scout->name, stringw(L"Scout"));
    EXPECT_EQ(scout->role, 5u);
    EXPECT_EQ(scout->newer == emp->hulls[1].value, c.successorLinked);
    EXPECT_EQ(emp->hulls[1].value->newer, nullptr);
    ASSERT_EQ(emp->messages.size(), 1u);
    const EmpireMessage& message = emp->messages.front();
    EXPECT_EQ(message.text, stringw(L"Hi"));
    EXPECT_EQ(*message.category, stringw(c.category));
    EXPECT_EQ(message.priority, c.priority);
    EXPECT_EQ(message.time, c.time);
    EXPECT_EQ(emp->lastMessage, 42.0);
    EXPECT_TRUE(emp->isAllied(getEmpireByID(5)));
    EXPECT_TRUE(emp->traits.empty());
  }
}

// Saves before version 35 give each empire the next own bit; one more
// empire than there are bits fails the load rather than seeing nothing.
TEST_F(EmpireRecordTest, AnOldSaveWithMoreEmpiresThanBitsFails) {
  nextEmpireID = 5;
  registerEmpire(new empire, true);
  nextVisibilityBit = 1u << 31;
  const Bytes body = handMade(oldRecord(34) + " " + oldRecord(34));
  const Bytes file = withHeader(body, 34);
  auto stream = readerOver(file);
  readCommonStringsSection(*stream);
  const std::unique_ptr<empire> last(loadEmpire(*stream));
  EXPECT_EQ(last->ownBit, 1u << 31);
  EXPECT_EQ(saveErrorOf([&] { delete loadEmpire(*stream); }), kSaveErrorEmpiresList);
}

TEST_F(EmpireRecordTest, OwnBitsContinueAboveTheHighestLoadedBit) {
  const struct {
    std::vector<uint32_t> bits;
    uint32_t next;
  } cases[] = {
      {{}, 1},
      {{0}, 1},  // an empire without a bit (the spectator)
      {{1, 4, 0}, 8},
      {{8, 2}, 16},
      {{1u << 31, 1}, 0},  // every bit is given out
  };
  for (const auto& c : cases) {
    deleteAllEmpires();
    for (uint32_t bit : c.bits)
      registerEmpire(new empire, true)->ownBit = bit;
    nextVisibilityBit = 2;
    continueOwnBitsAfterLoad();
    EXPECT_EQ(nextVisibilityBit, c.next) << testing::PrintToString(c.bits);
  }
}

// Replaces the first `from` in `text` with `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos)
    text.replace(at, from.size(), to);
  return text;
}

#if defined(__SANITIZE_ADDRESS__)
std::atomic<size_t> largestAllocation{0};
void noteAllocation(const volatile void*, size_t size) {
  size_t seen = largestAllocation.load(std::memory_order_relaxed);
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
}
void noteFree(const volatile void*) {}
#endif

TEST_F(EmpireRecordTest, DamagedRecordsFailWithTheirErrors) {
  // AI data of 0xFFFFFFFF bytes (module "a", class "B") in a record of 200.
  Bytes hugeAI = hexBytes(plainRecord(kNoMessages, "00 00", "FF 01 01 00 61 01 00 42 FF FF FF FF").c_str());
  hugeAI.resize(200, 0);

  const struct {
    const char* what;
    std::string record;
    SaveFileError error;
  } cases[] = {
      {"empty name", replaced(plainRecord(), "05 00 00 41 6C 70 68 61", "00 00"), kSaveErrorInvalidEmpireName},
      {"treaty byte 7", plainRecord(kNoMessages, "00 00", "07 00"), kSaveErrorInvalidTreaty},
      // The marker 1 starts a treaty record, cut here after its ended byte.
      {"a cut treaty record", plainRecord(kNoMessages, "00 00", "01 00"), kSaveErrorEOF},
      {"AI data beyond the record", hexText(hugeAI), kSaveErrorMassDataEOF},
      // One message, "", in category 5 of 3.
      {"a category beyond the section",
       plainRecord("01 00  00 00 01 05  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00"),
       kSaveErrorInvalidCommonString},
  };
#if defined(__SANITIZE_ADDRESS__)
  static const bool hooked = __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteFree) != 0;
  ASSERT_TRUE(hooked);
#endif
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
#if defined(__SANITIZE_ADDRESS__)
    largestAllocation = 0;
#endif
    EXPECT_EQ(saveErrorOf([&] { loadRecords(handMade(c.record), 1); }), c.error);
    clearPostObjectTreeSteps();
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(largestAllocation.load(), 100000u);
#endif
  }
}

// Relation bytes other than 0 and 1 are set flags; the flags themselves
// hold 1.
TEST_F(EmpireRecordTest, RelationBytesAreReadAsBytes) {
  nextEmpireID = 5;
  empire* other = registerEmpire(new empire, true);
  auto loaded = loadRecords(handMade(plainRecord(kNoMessages, "01 00 05 02 05")), 1);
  empire* emp = registerEmpire(loaded[0].release(), true);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 1u);
  runPostObjectTreeSteps();
  const EmpireRelation* relation = emp->getRelation(other);
  uint8_t stored[2];
  std::memcpy(&stored[0], &relation->allied, 1);
  std::memcpy(&stored[1], &relation->enemy, 1);
  EXPECT_EQ(stored[0], 1);
  EXPECT_EQ(stored[1], 1);
  EXPECT_TRUE(emp->isAllied(other));
  EXPECT_TRUE(emp->isEnemy(other));
}

TEST_F(EmpireRecordTest, AMessageWithoutTextIsSkipped) {
  const std::string record = plainRecord(
      "02 00 "
      "00 00 01 01 03 00 00 00 04 00 00 00 "           // "", "misc", 3, 4
      "02 00 00 48 69 01 02 05 00 00 00 06 00 00 00 "  // "Hi", "research", 5, 6
      "00 00 00 00 00 00 24 40");                      // last message at 10
  const auto loaded = loadRecords(handMade(record), 1);
  const empire& emp = *loaded[0];
  ASSERT_EQ(emp.messages.size(), 1u);
  EXPECT_EQ(emp.messages.front().text, stringw(L"Hi"));
  EXPECT_EQ(*emp.messages.front().category, stringw(L"research"));
  EXPECT_EQ(emp.messages.front().priority, 5);
  EXPECT_EQ(emp.messages.front().time, 6);
  EXPECT_EQ(emp.lastMessage, 10.0);
}

hull_list* addLayout(empire* emp, const wchar_t* key, const wchar_t* name) {
  auto* layout = new hull_list(name, emp);
  NamedVar<hull_list*>::getOrAdd(emp->hulls, key).value = layout;
  return layout;
}

TEST_F(EmpireRecordTest, LayoutsAreSavedUnderTheirOwnNames) {
  empire* emp = registerEmpire(new empire, true);
  emp->name = L"Alpha";
  addLayout(emp, L"Old", L"Renamed");  // read back under "Renamed": no clash
  hull_list* orphan = addLayout(emp, L"Orphan", L"Orphan");
  orphan->obsolete = true;  // obsolete without a successor
  orphan->newer = nullptr;
  const SavedGame saved = saveGame({emp});
  const std::string text = hexText(saved.records[0]);
  // The obsolescence entries: the own names, and an empty successor name.
  EXPECT_NE(text.find(hex("07 00 00 52 65 6E 61 6D 65 64 00  06 00 00 4F 72 70 68 61 6E 01 00 00")),
            std::string::npos);

  const auto loaded = loadRecords(saved.body(), 1);
  const empire& back = *loaded[0];
  ASSERT_EQ(back.hulls.size(), 2u);
  EXPECT_EQ(back.hulls[0].name, stringw(L"Orphan"));
  EXPECT_TRUE(back.hulls[0].value->obsolete);
  EXPECT_EQ(back.hulls[0].value->newer, nullptr);
  EXPECT_EQ(back.hulls[1].name, stringw(L"Renamed"));
  EXPECT_EQ(back.hulls[1].value->name, stringw(L"Renamed"));

  // A layout listed under a name other than its own while its own name is
  // listed too would replace that entry when read back.
  addLayout(emp, L"Twin", L"Orphan");
  EXPECT_EQ(saveErrorOf([&] { saveGame({emp}); }), kSaveErrorInvalidHullName);
}

// A record with a relation to `id` and a copy "Copy" of empire `id`'s
// layout "Scout".
std::string recordReferring(const char* name, uint8_t ownId, uint8_t id) {
  char ids[8];
  std::snprintf(ids, sizeof ids, "%02X", ownId);
  char other[8];
  std::snprintf(other, sizeof other, "%02X", id);
  std::string r = std::string(name) + " 00 00 00 00 00 00 " + ids + " 02 33 22 11 FF 00 00 01 00 00 00 01 00 00 00 ";
  r += "00 00 00 00 00 00 00 00 00 00 FF 03 00 00 52 65 78 00 00 00 00 ";
  r += "02 00 " + layoutRecord(35) + "05 00 00 53 63 6F 75 74 " + layoutRecord(35) + "04 00 00 43 6F 70 79 ";
  r += "05 00 00 53 63 6F 75 74 00 04 00 00 43 6F 70 79 00 ";  // obsolescence: none
  r += "01 00 " + std::string(other) + " 05 00 00 53 63 6F 75 74 04 00 00 43 6F 70 79 ";  // foreign copy
  r += "00 00 00 00 00 00 00 00 00 00 00 00 ";  // build lists, messages, last message time
  r += "01 00 " + std::string(other) + " 01 00 ";  // allied
  r += "00 00 FF 00";
  return r;
}

const char kAlpha[] = "05 00 00 41 6C 70 68 61";
const char kBeta[] = "04 00 00 42 65 74 61";

TEST_F(EmpireRecordTest, StepsResolveEmpiresReadAfterTheirOwner) {
  // Alpha (ID 1) refers to Beta (ID 2), read after it, and Beta to Alpha.
  const Bytes body = handMade(recordReferring(kAlpha, 1, 2) + " " + recordReferring(kBeta, 2, 1));
  auto loaded = loadRecords(body, 2);
  empire* alpha = registerEmpire(loaded[0].release(), true);
  empire* beta = registerEmpire(loaded[1].release(), true);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 4u);
  EXPECT_TRUE(alpha->foreignHulls.empty());
  runPostObjectTreeSteps();
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
  EXPECT_TRUE(alpha->isAllied(beta));
  EXPECT_TRUE(beta->isAllied(alpha));
  ASSERT_EQ(alpha->foreignHulls.size(), 1u);
  EXPECT_EQ(alpha->foreignHulls.begin()->first, beta->hulls[1].value);  // Beta's "Scout"
  EXPECT_EQ(alpha->foreignHulls.begin()->second, alpha->hulls[0].value);  // Alpha's "Copy"
}

TEST_F(EmpireRecordTest, AReferenceToAnAbsentEmpire) {
  // Empire 9 is in no record: the relation fails the load, and the foreign
  // copy (looked up in the default empire) adds nothing.
  auto loaded = loadRecords(handMade(recordReferring(kAlpha, 1, 9)), 1);
  empire* alpha = registerEmpire(loaded[0].release(), true);
  EXPECT_EQ(saveErrorOf(runPostObjectTreeSteps), kSaveErrorInvalidRelationEmpire);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
  EXPECT_TRUE(alpha->foreignHulls.empty());

  // The next load runs only its own steps.
  deleteAllEmpires();
  nextEmpireID = 9;
  empire* nine = registerEmpire(new empire, true);
  loaded = loadRecords(handMade(recordReferring(kBeta, 2, 9)), 1);
  empire* beta = registerEmpire(loaded[0].release(), true);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 2u);
  runPostObjectTreeSteps();
  EXPECT_TRUE(beta->isAllied(nine));
  EXPECT_TRUE(beta->foreignHulls.empty());  // empire 9 has no "Scout"
}

// ---------------------------------------------------------------------------
// Three full empires with a script AI

// The AI's state: its empire's name as made, with a "+" per tick; the XML
// factory takes it back from the saved XML.
const char kAIScript[] = R"(
class Keeper {
  string state;
  Keeper(Empire@ emp) { state = emp.getName(); }
  Keeper(Empire@ emp, XMLReader@ xml) {
    while (xml.advance())
      if (xml.getNodeType() == XN_Element)
        state = xml.getAttributeValue("state");
  }
  void save(XMLWriter@ xml) { xml.addElement("keeper", true, "state", state); }
  void tick(Empire@ emp, float seconds) { state += "+"; }
}
)";

// Every saved field of an empire, as text.
std::string describe(empire* emp) {
  std::ostringstream out;
  out << narrow(emp->name) << "|" << narrow(emp->raceName) << "|" << narrow(emp->raceDescription) << "|"
      << narrow(emp->raceHistory) << "|id " << int(emp->ID) << "|" << emp->playerControlled << emp->valid
      << emp->reserved << "|" << std::hex << emp->color << std::dec << "|" << narrow(emp->shipSet) << "|bits "
      << emp->ownBit << " " << emp->visibility.load() << "|" << narrow(emp->emperor.name) << "\nstats";
  for (irr::u32 i = 0; i < emp->stats.size(); ++i)
    out << " " << narrow(emp->stats[i].entryName()) << "=" << emp->stats[i].value;
  out << "\nsettings";
  for (irr::u32 i = 0; i < emp->settings.size(); ++i)
    out << " " << narrow(emp->settings[i].entryName()) << "=" << emp->settings[i].value;
  out << "\nlayouts";
  for (irr::u32 i = 0; i < emp->hulls.size(); ++i) {
    const hull_list* layout = emp->hulls[i].value;
    out << " " << narrow(emp->hulls[i].name) << ":" << narrow(layout->name) << " role " << layout->role << " rev "
        << layout->revision << " obsolete " << layout->obsolete << " newer "
        << (layout->newer ? narrow(layout->newer->name) : "-");
  }
  // Maps keyed by address, listed in a fixed order.
  std::vector<std::string> foreign;
  for (const auto& entry : emp->foreignHulls)
    foreign.push_back(std::to_string(entry.first->owner->ID) + ":" + narrow(entry.first->name) + "=" +
                      narrow(entry.second->name));
  std::sort(foreign.begin(), foreign.end());
  out << "\nforeign";
  for (const std::string& entry : foreign)
    out << " " << entry;
  out << "\nbuild lists";
  for (irr::u32 i = 0; i < emp->buildLists.size(); ++i)
    out << " " << narrow(emp->buildLists[i].entryName()) << ":"
        << dynamic_cast<build_list*>(emp->buildLists[i].value)->rules.size();
  out << "\nmessages";
  for (const EmpireMessage& message : emp->messages)
    out << " " << narrow(message.text) << "/" << narrow(*message.category) << "/" << message.priority << "/"
        << message.time;
  out << " last " << emp->lastMessage;
  std::vector<std::string> relations;
  for (const auto& entry : emp->relations)
    relations.push_back(std::to_string(entry.first->ID) + ":" + std::to_string(entry.second->allied) +
                        std::to_string(entry.second->enemy));
  std::sort(relations.begin(), relations.end());
  out << "\nrelations";
  for (const std::string& entry : relations)
    out << " " << entry;
  out << "\ntraits";
  for (const auto& entry : emp->traits)
    out << " " << narrow(entry.first);
  float fast = 0;
  emp->traitVars.get(L"Fast", fast);
  out << " Fast=" << fast << "\nAI " << (emp->aiObject ? emp->aiObject->GetObjectType()->GetName() : "none");
  return out.str();
}

class EmpireRecordSessionTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({{"keepers", kAIScript}});
    clearPostObjectTreeSteps();
    auto* agile = new ITrait();
    agile->id = L"Agile";
    agile->tags = {L"Fast"};
    traitRegistry[L"Agile"] = agile;
  }
  void TearDown() override {
    clearPostObjectTreeSteps();
    ScriptSessionTest::TearDown();
    clearTraits();
  }

  // Alpha (ID 3), Beta (1) and Gamma (2), in that list order.
  void makeEmpires() {
    nextEmpireID = 3;
    empire* alpha = registerEmpire(new empire, true);
    nextEmpireID = 1;
    empire* beta = registerEmpire(new empire, true);
    empire* gamma = registerEmpire(new empire, true);

    alpha->name = L"Alpha";
    alpha->raceName = L"Alphans";
    alpha->raceDescription = L"Tall";
    alpha->raceHistory = L"Long";
    alpha->playerControlled = true;
    alpha->color = 0xFF336699;
    alpha->shipSet = L"Gevron";
    alpha->ownBit = 4;
    alpha->visibility = 5;
    alpha->emperor.name = L"Rex";
    alpha->modStat(L"Ore", ESO_Set, 2.5f);
    alpha->setSetting(L"Difficulty", 2.0f);
    postEmpireMessage(alpha, L"Welcome", L"misc", 0, 12);
    postEmpireMessage(alpha, L"Lasers", L"research", 5, 40);
    alpha->lastMessage = 41.5;
    alpha->getRelation(beta)->allied = true;
    alpha->getRelation(gamma)->enemy = true;
    hull_list* scout = addLayout(alpha, L"Scout", L"Scout");
    hull_list* scout2 = addLayout(alpha, L"Scout2", L"Scout2");
    scout->obsolete = true;
    scout->newer = scout2;
    scout2->role = HullRole_Combat;
    scout2->revision = 2;
    auto* list = new build_list();
    list->rules.push_back(new bp_wait_for_empty_queue());
    alpha->setBuildList(L"default", list);
    alpha->traits[L"Agile"] = traitRegistry[L"Agile"];
    alpha->updateTraitVariables();
    registerEmpireAI(L"keepers", alpha, L"Keeper", nullptr);
    alpha->tick(1.0f);

    beta->name = L"Beta";
    beta->ownBit = 1;
    beta->visibility = 1;
    beta->emperor.name = L"Ada";
    hull_list* copy = addLayout(beta, L"Alpha Scout2", L"Alpha Scout2");
    beta->foreignHulls[scout2] = copy;
    beta->getRelation(alpha)->allied = true;
    registerEmpireAI(L"keepers", beta, L"Keeper", nullptr);

    gamma->name = L"Gamma";
    gamma->ownBit = 2;
    gamma->visibility = 2;
    gamma->emperor.name = L"Ivo";
    gamma->getRelation(alpha)->enemy = true;
  }

  std::vector<std::string> describeAll() {
    std::vector<std::string> out;
    for (empire* emp : empireList)
      out.push_back(describe(emp));
    return out;
  }
};

TEST_F(EmpireRecordSessionTest, EmpiresComeBackWholeAndSaveAgainAlike) {
  makeEmpires();
  const std::vector<std::string> before = describeAll();
  const SavedGame first = saveGame(empireList);
  // Gamma has no AI and no treaty.
  EXPECT_EQ(hexText(Bytes(first.records[2].end() - 2, first.records[2].end())), "FF 00");
  // Alpha's AI state, as its XML writes it (UTF-16).
  EXPECT_NE(hexText(first.records[0]).find(hexText(Bytes{'A', 0, 'l', 0, 'p', 0, 'h', 0, 'a', 0, '+', 0, '"', 0})),
            std::string::npos);

  deleteAllEmpires();
  auto loaded = loadRecords(first.body(), 3);
  for (auto& emp : loaded)
    registerEmpire(emp.release(), true);
  // Five relations, Beta's foreign copy, and the two AIs with their XML.
  EXPECT_EQ(queuedPostObjectTreeSteps(), 5u + 1u + 2u);
  EXPECT_EQ(empireList[0]->aiObject, nullptr);
  runPostObjectTreeSteps();
  continueOwnBitsAfterLoad();
  EXPECT_EQ(nextVisibilityBit, 8u);

  EXPECT_EQ(describeAll(), before);
  // The AIs' states came back through their XML, or they would have lost
  // their ticks.
  const SavedGame second = saveGame(empireList);
  ASSERT_EQ(second.records.size(), 3u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(hexText(second.records[i]), hexText(first.records[i])) << i;
}

TEST_F(EmpireRecordSessionTest, TheRecordsCutAnywhereFailWithCode4) {
  makeEmpires();
  const SavedGame saved = saveGame(empireList);
  const Bytes body = saved.body();
  deleteAllEmpires();
  for (size_t length = saved.section.size(); length < body.size(); ++length) {
    const Bytes file = withHeader(Bytes(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(length)));
    auto stream = readerOver(file);
    readCommonStringsSection(*stream);
    std::vector<std::unique_ptr<empire>> loaded;
    const SaveFileError error = saveErrorOf([&] {
      for (int i = 0; i < 3; ++i)
        loaded.emplace_back(loadEmpire(*stream));
    });
    ASSERT_EQ(error.code, 4) << length << " " << error.message;
    clearPostObjectTreeSteps();
  }
}

}  // namespace

}  // namespace empire_record_test
