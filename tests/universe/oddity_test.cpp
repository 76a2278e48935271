// Comets and asteroids: their owner and their own part of the save record.
#include "universe/objects/oddity.h"

#include <gtest/gtest.h>

#include <string>

#include "support/space_empire.h"
#include "support/save_bytes.h"
#include "universe_fixture.h"

namespace oddity_test {

namespace {

class OddityTest : public UniverseTest {
 protected:
  void TearDown() override {
    for (objOddity* oddity : made_)
      oddity->destroyNow(true);
    UniverseTest::TearDown();
  }

  objOddity* make(uint32_t type, const wchar_t* objectName = L"") {
    auto* oddity = new objOddity(nullptr, type);
    oddity->name = objectName;
    made_.push_back(oddity);
    return oddity;
  }

  std::vector<objOddity*> made_;
};

TEST_F(OddityTest, BelongsToSpaceOrElseTheDefaultEmpire) {
  objOddity* noSpace = make(ODT_Comet);
  EXPECT_EQ(noSpace->owner, defaultEmpire());
  EXPECT_EQ(noSpace->getType(), OT_Oddity);
  EXPECT_EQ(noSpace->getOddityType(), ODT_Comet);

  auto* space = registerSpaceEmpire();
  objOddity* oddity = make(ODT_Asteroid);
  EXPECT_EQ(oddity->owner, space);
  EXPECT_EQ(space->objects.count(oddity), 1u);  // registered with its owner
}

TEST_F(OddityTest, TheTypeRoundTrips) {
  for (uint32_t type : {ODT_Asteroid, ODT_Comet}) {
    std::unique_ptr<SaveStream> out = SaveStream::createInMemory();
    make(type)->writeOwnFields(*out);
    const Bytes body = writtenBody(*out);
    EXPECT_EQ(hexText(body), type == ODT_Comet ? hex("01 00 00 00") : hex("00 00 00 00"));

    const Bytes file = withHeader(body, 35);
    std::unique_ptr<SaveStream> in = readerOver(file);
    objOddity* loaded = make(type == ODT_Comet ? ODT_Asteroid : ODT_Comet);
    loaded->readOwnFields(*in);
    EXPECT_EQ(loaded->oddityType, type);
    EXPECT_EQ(in->remaining(), 0u);
  }
}

// Before version 28 the record holds no type: the name gives it, and nothing
// is read.
TEST_F(OddityTest, OldRecordsTakeTheTypeFromTheName) {
  const struct {
    const wchar_t* name;
    int32_t version;
    uint32_t type;
  } cases[] = {
      {L"comet", 27, ODT_Comet}, {L"asteroid", 27, ODT_Asteroid}, {L"rock", 27, ODT_Asteroid},
      {L"Comet", 7, ODT_Asteroid}, {L"", 20, ODT_Asteroid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.version));
    const Bytes file = withHeader(hexBytes("01 00 00 00"), c.version);  // the next record's bytes
    std::unique_ptr<SaveStream> in = readerOver(file);
    objOddity* loaded = make(c.type == ODT_Comet ? ODT_Asteroid : ODT_Comet, c.name);
    loaded->readOwnFields(*in);
    EXPECT_EQ(loaded->oddityType, c.type);
    EXPECT_EQ(in->remaining(), 4u);
  }
}

TEST_F(OddityTest, ARecordCutBeforeItsTypeFails) {
  for (const char* body : {"", "01 00"}) {
    SCOPED_TRACE(body);
    const Bytes file = withHeader(hexBytes(body), 28);
    std::unique_ptr<SaveStream> in = readerOver(file);
    objOddity* loaded = make(ODT_Asteroid, L"comet");
    EXPECT_EQ(saveErrorOf([&] { loaded->readOwnFields(*in); }), kSaveErrorEOF);
  }
}

}  // namespace

}  // namespace oddity_test
