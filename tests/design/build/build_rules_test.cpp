#include "design/build/build_rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "design/build/constructible.h"
#include "support/save_bytes.h"
#include "universe/objects/game_object.h"

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

TEST(BuildRulesTest, RulesThatCannotBeReadAreRefused) {
  const char* const records[] = {
      "01 00  09 00 00 00",
      "01 00  FF FF FF FF",
      "02 00  00 00 00 00  01 00 00 00  05 00 00 00  07 00 00 00",  // a rule that names a sub-system
      "02 00  00 00 00 00  08 00 00 00  00 00",
  };
  for (const char* record : records)
    EXPECT_EQ(loadError(hexBytes(record)), kSaveErrorInvalidBuildRuleTag) << record;
}

TEST(BuildRulesTest, ACutRecordFailsAtEveryLength) {
  const Bytes whole = hexBytes("02 00  00 00 00 00  00 00 00 00");
  for (size_t length = 0; length < whole.size(); ++length)
    EXPECT_EQ(loadError(Bytes(whole.begin(), whole.begin() + length)), kSaveErrorEOF) << length;
}

}  // namespace
