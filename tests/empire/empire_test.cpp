#include "empire/empire.h"

#include <gtest/gtest.h>

#include "core/net_encoders.h"
#include "platform/bit_stream.h"

namespace {

class EmpireListTest : public testing::Test {
 protected:
  void SetUp() override { nextEmpireID = 1; }
  void TearDown() override { deleteAllEmpires(); }
};

TEST_F(EmpireListTest, EmpiresTakeIDsInTurnAndAreFoundByID) {
  empire* first = registerEmpire(new empire);
  empire* second = registerEmpire(new empire);
  empire* third = registerEmpire(new empire);
  EXPECT_EQ(first->ID, 1);
  EXPECT_EQ(second->ID, 2);
  EXPECT_EQ(third->ID, 3);
  EXPECT_TRUE(second->isValid());
  EXPECT_EQ(getEmpireByID(2), second);

  // An ID that no empire has gives the default empire.
  empire* none = getEmpireByID(9);
  EXPECT_EQ(none, &defaultEmpire);
  EXPECT_EQ(none->name, irr::core::stringw(L"INVALID"));
  EXPECT_FALSE(none->isValid());
  EXPECT_EQ(none->ID, kInvalidEmpireID);

  // A second empire of a listed ID is not added; the caller keeps it.
  nextEmpireID = 2;
  empire twin;
  EXPECT_EQ(registerEmpire(&twin), second);
  EXPECT_EQ(empireList.size(), 3u);

  deleteAllEmpires();
  EXPECT_TRUE(empireList.empty());
  EXPECT_EQ(getEmpireByID(1), &defaultEmpire);
}

TEST_F(EmpireListTest, NetEmpireIsTheListedEmpireOrNone) {
  empire* one = registerEmpire(new empire);
  nextEmpireID = kInvalidEmpireID;
  registerEmpire(new empire);  // carries the reserved ID: still no empire
  nextEmpireID = 0;
  registerEmpire(new empire);

  const struct {
    uint8_t id;
    empire* expected;
  } cases[] = {
      {1, one},
      {0, empireList[2]},
      {7, nullptr},  // unknown: the default empire, which means none
      {kInvalidEmpireID, nullptr},
  };
  RakNet::BitStream s;
  for (const auto& c : cases)
    s.Write(c.id);
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.id));
    EXPECT_EQ(readNetEmpire(s), c.expected);
  }
  EXPECT_EQ(readNetEmpire(s), nullptr);  // short stream
}

// Before any game has set up its empires, the default empire already carries
// the reserved ID, so no ID read from a packet can name it.
TEST_F(EmpireListTest, DefaultEmpireIsNoEmpireFromTheStart) {
  RakNet::BitStream s;
  s.Write(uint8_t{0});
  EXPECT_EQ(getEmpireByID(0), &defaultEmpire);
  EXPECT_EQ(readNetEmpire(s), nullptr);
}

}  // namespace
