// Build rules: a list tries its rules in order, and the build-list record
// of every rule (its bytes, round trips alone and inside the empire record,
// unknown definitions, and the records that fail).
#include "design/build/build_rules.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's allocation hooks (the compiler ships no header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));
#endif

#include "core/common_strings.h"
#include "core/post_load.h"
#include "design/build/build_fixture.h"
#include "design/build/constructible.h"
#include "empire/empire_record.h"
#include "support/save_bytes.h"
#include "universe/objects/game_object.h"

namespace build_rules_test {

namespace {

// A planet stand-in: a plain object, whose construction queue is what the
// rules read.
class PlainObject : public generic_object {
 public:
  PlainObject() : generic_object(nullptr, nullptr, nullptr) {}
};
struct HeldPlanet {
  HeldPlanet() : object(new PlainObject) {}
  ~HeldPlanet() { object->drop(); }
  HeldPlanet(const HeldPlanet&) = delete;
  HeldPlanet& operator=(const HeldPlanet&) = delete;
  objHabitation* planet() const { return reinterpret_cast<objHabitation*>(object); }
  generic_object* object;
};

class PlainItem : public constructible {
 public:
  void complete(generic_object*) override {}
};

// A rule with a fixed answer that counts how often it was asked.
class FixedRule : public build_priorities {
 public:
  FixedRule(bool answer, int& asked) : answer_(answer), asked_(asked) {}
  bool apply(objHabitation*) override {
    ++asked_;
    return answer_;
  }
  void write(SaveStream&) const override {}

 private:
  bool answer_;
  int& asked_;
};

std::unique_ptr<build_list> loadList(const Bytes& body) {
  const Bytes file = withHeader(body);
  auto reader = readerOver(file);
  std::unique_ptr<build_list> list(build_list::load(*reader));
  EXPECT_EQ(reader->remaining(), 0u);
  return list;
}

SaveFileError loadError(const Bytes& body) {
  const Bytes file = withHeader(body);
  auto reader = readerOver(file);
  try {
    delete build_list::load(*reader);
  } catch (const SaveFileError& error) {
    return error;
  }
  return {0, "loaded"};
}

TEST(BuildRulesTest, WaitingHoldsTheListBackWhileTheQueueHoldsAnything) {
  HeldPlanet held;
  bp_wait_for_empty_queue wait;
  EXPECT_FALSE(wait.apply(held.planet()));
  EXPECT_FALSE(wait.apply(nullptr));

  held.object->buildQueue.push_back(new PlainItem);  // deleted with the object
  EXPECT_TRUE(wait.apply(held.planet()));

  build_list list;
  int asked = 0;
  list.rules.push_back(new bp_wait_for_empty_queue);
  list.rules.push_back(new FixedRule(true, asked));
  EXPECT_TRUE(list.apply(held.planet()));
  EXPECT_EQ(asked, 0) << "rules after the waiting one are not tried";
}

TEST(BuildRulesTest, AListAnswersAtItsFirstRuleThatActs) {
  struct Case {
    std::vector<bool> answers;
    bool result;
    std::vector<int> asked;
  };
  const Case cases[] = {
      {{}, false, {}},
      {{false, false}, false, {1, 1}},
      {{false, true, true}, true, {1, 1, 0}},
      {{true, false}, true, {1, 0}},
  };
  for (const Case& c : cases) {
    std::vector<int> asked(c.answers.size(), 0);
    build_list list;
    for (size_t i = 0; i < c.answers.size(); ++i)
      list.rules.push_back(new FixedRule(c.answers[i], asked[i]));
    EXPECT_EQ(list.apply(nullptr), c.result) << c.answers.size();
    EXPECT_EQ(asked, c.asked);
  }
}

TEST(BuildRulesTest, AListOfOneWaitingRuleWritesAndReadsBack) {
  build_list list;
  list.rules.push_back(new bp_wait_for_empty_queue);
  auto writer = SaveStream::createInMemory();
  list.write(*writer);
  EXPECT_EQ(hexText(writtenBody(*writer)), hex("01 00  00 00 00 00"));

  std::unique_ptr<build_list> loaded = loadList(writtenBody(*writer));
  ASSERT_EQ(loaded->rules.size(), 1u);
  EXPECT_NE(dynamic_cast<bp_wait_for_empty_queue*>(loaded->rules[0]), nullptr);

  EXPECT_EQ(loadList(hexBytes("00 00"))->rules.size(), 0u);
  EXPECT_EQ(loadList(hexBytes("02 00  00 00 00 00  00 00 00 00"))->rules.size(), 2u);
}

TEST(BuildRulesTest, TagsAboveTheScriptedRuleAreRefused) {
  const char* const records[] = {
      "01 00  0A 00 00 00", "01 00  FF FF FF FF",
      "02 00  00 00 00 00  0A 00 00 00  05 00 00 00",  // after a good rule
  };
  for (const char* record : records)
    EXPECT_EQ(loadError(hexBytes(record)), kSaveErrorInvalidBuildRuleTag) << record;
}

TEST(BuildRulesTest, AScriptedRuleOfALostFunctionKeepsItsPlace) {
  // Length 0: the function was gone when the list was saved. No engine is
  // asked and nothing is logged.
  const Bytes record = hexBytes("02 00  09 00 00 00 00 00  00 00 00 00");
  std::unique_ptr<build_list> loaded = loadList(record);
  ASSERT_EQ(loaded->rules.size(), 2u);
  auto* scripted = dynamic_cast<bp_scripted*>(loaded->rules[0]);
  ASSERT_NE(scripted, nullptr);
  EXPECT_LT(scripted->functionId, 0);
  EXPECT_FALSE(scripted->apply(nullptr));

  auto writer = SaveStream::createInMemory();
  loaded->write(*writer);
  EXPECT_EQ(hexText(writtenBody(*writer)), hexText(record));
}

TEST(BuildRulesTest, ACutRecordFailsAtEveryLength) {
  const Bytes whole = hexBytes("02 00  00 00 00 00  00 00 00 00");
  for (size_t length = 0; length < whole.size(); ++length)
    EXPECT_EQ(loadError(Bytes(whole.begin(), whole.begin() + length)), kSaveErrorEOF) << length;
}

// The largest single allocation since it was last set to 0.
std::atomic<size_t> largestAllocation{0};
void noteAllocation(const volatile void*, size_t size) {
  size_t seen = largestAllocation.load(std::memory_order_relaxed);
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
}
void noteFree(const volatile void*) {}

// An ID no definition has.
constexpr uint32_t kUnknownId = 0xFFFFFFF0u;

class BuildRulesRecordTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    ore = internCommonString(L"Ore");
    port = internCommonString(L"Port");
    mine = def(L"Mine");
    factory = def(L"Factory");
    dock = def(L"Dock");
    spaceport = def(L"Spaceport");
    ASSERT_TRUE(mine && factory && dock && spaceport);
  }

  // Streams that know the whole pool as their common strings.
  static std::unique_ptr<SaveStream> writer() {
    auto stream = SaveStream::createInMemory();
    stream->commonStrings() = commonStringList().snapshot();
    return stream;
  }
  static Bytes saved(const build_priorities& list) {
    auto stream = writer();
    list.write(*stream);
    return writtenBody(*stream);
  }
  static std::unique_ptr<build_list> load(const Bytes& body, uint64_t* left = nullptr) {
    const Bytes file = withHeader(body);
    auto reader = readerOver(file);
    reader->commonStrings() = commonStringList().snapshot();
    std::unique_ptr<build_list> list(readBuildList(*reader));
    if (left != nullptr)
      *left = reader->remaining();
    return list;
  }
  static SaveFileError errorOf(const Bytes& body) {
    return saveErrorOf([&] { load(body); });
  }

  // A u32 as its record bytes, and a name's packed reference.
  static std::string le32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF,
                  value >> 24);
    return text;
  }
  static std::string id(const SubSystemDef* def) { return le32(def->id); }
  static std::string ref(const wchar_t* name) {
    auto stream = writer();
    saveCommonString(*stream, name);
    return hexText(writtenBody(*stream));
  }

  struct RuleCase {
    const char* label;
    std::function<build_priorities*()> make;
    std::string record;  // the rule's record, tag included
  };

  // One case per rule kind (and the forms with no definition or no items).
  std::vector<RuleCase> ruleCases() const {
    const SubSystemDef* lower = mine->id < factory->id ? mine : factory;
    const SubSystemDef* higher = lower == mine ? factory : mine;
    return {
        {"wait for an empty queue", [] { return new bp_wait_for_empty_queue(); }, "00 00 00 00"},
        {"build n", [&] { return new bp_build_n(mine, 3); }, "01 00 00 00 " + id(mine) + " 03 00 00 00"},
        {"build per n", [&] { return new bp_build_per_n(factory, 4); }, "02 00 00 00 " + id(factory) + " 04 00 00 00"},
        {"build when needed", [&] { return new bp_build_when_needed(true, 0.25f, dock, ore); },
         "03 00 00 00 " + id(dock) + " " + ref(L"Ore") + " 00 00 80 3E  01"},
        {"replace when useless", [&] { return new bp_replace_when_useless(factory, mine, ore, 0.5f, true, false); },
         "04 00 00 00 " + id(factory) + " " + id(mine) + " " + ref(L"Ore") + " 00 00 00 3F  01 00"},
        {"replace when useless, no definitions",
         [&] { return new bp_replace_when_useless(nullptr, nullptr, ore, 2.0f, false, true); },
         "04 00 00 00  00 00 00 00  00 00 00 00 " + ref(L"Ore") + " 00 00 00 40  00 01"},
        {"build at random",
         [&] {
           auto* rule = new bp_build_rand();
           rule->addItem(mine, 1);
           rule->addItem(factory, 3);
           return rule;
         },
         "05 00 00 00  02 00 00 00 " + id(mine) + " 01 00 00 00 " + id(factory) + " 03 00 00 00  04 00 00 00"},
        {"build at random, no items", [] { return new bp_build_rand(); }, "05 00 00 00  00 00 00 00  00 00 00 00"},
        {"rebuild at random", [] { return new bp_rebuild_rand(0.1f); }, "06 00 00 00  CD CC CC 3D"},
        {"build special", [&] { return new bp_build_special(spaceport, port); },
         "07 00 00 00 " + ref(L"Port") + " " + id(spaceport)},
        {"remove at random",
         [=] {
           auto* rule = new bp_remove_rand();
           rule->addDef(lower);
           rule->addDef(higher);
           return rule;
         },
         "08 00 00 00  02 00 " + id(lower) + " " + id(higher)},
        {"remove at random, none", [] { return new bp_remove_rand(); }, "08 00 00 00  00 00"},
    };
  }

  // A list of every case's rule.
  build_list* everyRule() const {
    auto* list = new build_list();
    for (const RuleCase& c : ruleCases())
      list->rules.push_back(c.make());
    return list;
  }

  const irr::core::stringw* ore = nullptr;
  const irr::core::stringw* port = nullptr;
  const SubSystemDef* mine = nullptr;
  const SubSystemDef* factory = nullptr;
  const SubSystemDef* dock = nullptr;
  const SubSystemDef* spaceport = nullptr;
};

TEST_F(BuildRulesRecordTest, EveryRuleIsWrittenFieldByFieldAndReadsBackToTheSameBytes) {
  std::string all;
  const std::vector<RuleCase> cases = ruleCases();
  ASSERT_EQ(cases.size(), 12u);
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.label);
    build_list list;
    list.rules.push_back(c.make());
    const Bytes body = saved(list);
    EXPECT_EQ(hexText(body), hex(("01 00 " + c.record).c_str()));
    uint64_t left = 1;
    std::unique_ptr<build_list> loaded = load(body, &left);
    EXPECT_EQ(left, 0u);
    ASSERT_EQ(loaded->rules.size(), 1u);
    EXPECT_EQ(hexText(saved(*loaded)), hexText(body));
    all += " " + c.record;
  }

  // All of them in one list.
  std::unique_ptr<build_list> list(everyRule());
  const Bytes body = saved(*list);
  EXPECT_EQ(hexText(body), hex(("0C 00" + all).c_str()));
  std::unique_ptr<build_list> loaded = load(body);
  ASSERT_EQ(loaded->rules.size(), cases.size());
  EXPECT_EQ(hexText(saved(*loaded)), hexText(body));

  // The fields come back as they were, definitions as the registered ones.
  auto* needed = dynamic_cast<bp_build_when_needed*>(loaded->rules[3]);
  ASSERT_NE(needed, nullptr);
  EXPECT_EQ(needed->def, dock);
  EXPECT_EQ(needed->resource, ore);
  EXPECT_EQ(needed->threshold, 0.25f);
  EXPECT_TRUE(needed->ratioMode);
  auto* rebuild = dynamic_cast<bp_rebuild_rand*>(loaded->rules[8]);
  ASSERT_NE(rebuild, nullptr);
  EXPECT_EQ(rebuild->levelThreshold, 0.1f);
  auto* special = dynamic_cast<bp_build_special*>(loaded->rules[9]);
  ASSERT_NE(special, nullptr);
  EXPECT_EQ(special->def, spaceport);
  EXPECT_EQ(special->tag, port);
}

TEST_F(BuildRulesRecordTest, EveryRuleComesBackInsideTheEmpireRecord) {
  const uint32_t bits = nextVisibilityBit;
  build_list* list = everyRule();
  const Bytes listBytes = saved(*list);
  red->setBuildList(L"default", list);

  auto record = [](empire* emp) {
    auto stream = SaveStream::createInMemory();
    writeCommonStringsSection(*stream);
    const size_t start = stream->memoryBytes().size();
    saveEmpire(*stream, emp);
    const Bytes& all = stream->memoryBytes();
    return std::make_pair(Bytes(all.begin() + 8, all.end()),
                          Bytes(all.begin() + static_cast<std::ptrdiff_t>(start), all.end()));
  };
  const auto [body, first] = record(red);
  // The list's record, then its name "default".
  EXPECT_NE(hexText(first).find(hexText(listBytes) + " " + hex("07 00 00 64 65 66 61 75 6C 74")), std::string::npos);

  const Bytes file = withHeader(body);
  auto reader = readerOver(file);
  readCommonStringsSection(*reader);
  std::unique_ptr<empire> loaded(loadEmpire(*reader));
  EXPECT_EQ(reader->remaining(), 0u);
  runPostObjectTreeSteps();
  clearPostObjectTreeSteps();
  nextVisibilityBit = bits;

  auto* loadedList = dynamic_cast<build_list*>(loaded->findBuildList(L"default"));
  ASSERT_NE(loadedList, nullptr);
  EXPECT_EQ(loadedList->rules.size(), list->rules.size());
  EXPECT_EQ(hexText(record(loaded.get()).second), hexText(first));
}

TEST_F(BuildRulesRecordTest, UnknownDefinitionsAreKeptAsNoneOrSkippedByKind) {
  const std::string unknown = le32(kUnknownId);
  const Bytes body = hexBytes(("03 00 "
                               "04 00 00 00 " +
                               unknown + " " + id(mine) + " " + ref(L"Ore") +
                               " 00 00 80 3F 01 01 "
                               // weights 0 and 2, and a total of 9 that the items do not add up to
                               "05 00 00 00  02 00 00 00 " +
                               unknown + " 00 00 00 00 " + id(mine) +
                               " 02 00 00 00  09 00 00 00 "
                               "08 00 00 00  02 00 " +
                               unknown + " " + id(mine))
                                  .c_str());
  uint64_t left = 1;
  std::unique_ptr<build_list> loaded = load(body, &left);
  EXPECT_EQ(left, 0u);
  ASSERT_EQ(loaded->rules.size(), 3u);

  auto* replace = dynamic_cast<bp_replace_when_useless*>(loaded->rules[0]);
  ASSERT_NE(replace, nullptr);
  EXPECT_EQ(replace->newDef, nullptr);
  EXPECT_EQ(replace->oldDef, mine);
  auto* random = dynamic_cast<bp_build_rand*>(loaded->rules[1]);
  ASSERT_NE(random, nullptr);
  ASSERT_EQ(random->items.size(), 2u);
  EXPECT_EQ(random->items[0].def, nullptr);
  EXPECT_EQ(random->items[0].weight, 1u) << "a weight of 0 counts as 1";
  EXPECT_EQ(random->items[1].def, mine);
  EXPECT_EQ(random->items[1].weight, 2u);
  EXPECT_EQ(random->totalWeight, 9u) << "the stored total stands";
  auto* remove = dynamic_cast<bp_remove_rand*>(loaded->rules[2]);
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove->defs, std::vector<const SubSystemDef*>{mine});

  // Written again: the unknown definitions as 0 (tag 8 without them), the
  // weight as 1.
  EXPECT_EQ(hexText(saved(*loaded)), hex(("03 00 "
                                          "04 00 00 00  00 00 00 00 " +
                                          id(mine) + " " + ref(L"Ore") +
                                          " 00 00 80 3F 01 01 "
                                          "05 00 00 00  02 00 00 00  00 00 00 00  01 00 00 00 " +
                                          id(mine) +
                                          " 02 00 00 00  09 00 00 00 "
                                          "08 00 00 00  01 00 " +
                                          id(mine))
                                             .c_str()));
}

TEST_F(BuildRulesRecordTest, DamagedRecordsFailAndLeaveNothing) {
  const std::string unknown = le32(kUnknownId);
  const std::string beyondPool = [] {
    auto stream = writer();
    stream->writePackedUInt(static_cast<uint32_t>(stream->commonStrings().size()));
    return hexText(writtenBody(*stream));
  }();
  Bytes hugeItemCount = hexBytes("01 00  05 00 00 00  FF FF FF FF");
  hugeItemCount.resize(40, 0);
  Bytes hugeDefCount = hexBytes("01 00  08 00 00 00  FF FF");
  hugeDefCount.resize(40, 0);
  const struct {
    const char* label;
    Bytes body;
    SaveFileError error;
  } cases[] = {
      {"build n of an unknown definition", hexBytes(("01 00 01 00 00 00 " + unknown + " 01 00 00 00").c_str()),
       kSaveErrorInvalidSubSystemId},
      {"build per n of an unknown definition", hexBytes(("01 00 02 00 00 00 " + unknown + " 04 00 00 00").c_str()),
       kSaveErrorInvalidSubSystemId},
      {"build when needed of an unknown definition",
       hexBytes(("01 00 03 00 00 00 " + unknown + " " + ref(L"Ore") + " 00 00 80 3E 01").c_str()),
       kSaveErrorInvalidSubSystemId},
      {"build special of an unknown definition",
       hexBytes(("01 00 07 00 00 00 " + ref(L"Port") + " " + unknown).c_str()), kSaveErrorInvalidSubSystemId},
      {"an unknown definition after good rules",
       hexBytes(("02 00 00 00 00 00 01 00 00 00 " + unknown + " 01 00 00 00").c_str()), kSaveErrorInvalidSubSystemId},
      {"tag 10", hexBytes("01 00 0A 00 00 00"), kSaveErrorInvalidBuildRuleTag},
      {"a resource beyond the pool",
       hexBytes(("01 00 03 00 00 00 " + id(dock) + " " + beyondPool + " 00 00 80 3E 01").c_str()),
       kSaveErrorInvalidCommonString},
      {"a tag name beyond the pool", hexBytes(("01 00 07 00 00 00 " + beyondPool + " " + id(dock)).c_str()),
       kSaveErrorInvalidCommonString},
      {"4 billion random items in 40 bytes", hugeItemCount, kSaveErrorEOF},
      {"65,535 definitions to remove in 40 bytes", hugeDefCount, kSaveErrorEOF},
      {"65,535 rules in 40 bytes",
       [] {
         Bytes body = hexBytes("FF FF");
         body.resize(40, 0);
         return body;
       }(),
       kSaveErrorEOF},
  };
#if defined(__SANITIZE_ADDRESS__)
  static const bool hooked = __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteFree) != 0;
  ASSERT_TRUE(hooked);
#endif
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    largestAllocation = 0;
    EXPECT_EQ(errorOf(c.body), c.error);  // LeakSanitizer: nothing kept
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(largestAllocation.load(), 100000u) << "room made for a count the record cannot hold";
#endif
  }

  // Every cut of a list of every rule.
  std::unique_ptr<build_list> list(everyRule());
  const Bytes whole = saved(*list);
  for (size_t length = 0; length < whole.size(); ++length)
    EXPECT_EQ(errorOf(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length))), kSaveErrorEOF)
        << length;
}

}  // namespace

}  // namespace build_rules_test
