#include "empire/empire_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "design/hull_list.h"
#include "empire/empire.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"

namespace empire_names_test {

namespace {

// A working folder with the given name and colour files.
class EmpireFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratchDir();
    std::filesystem::create_directories(folder_ / "Game Data");
    nextEmpireID = 1;
    reservedColors.clear();
    empireColors.clear();
    clearEmpireNames();
  }
  void TearDown() override {
    deleteAllEmpires();
    reservedColors.clear();
    empireColors.clear();
  }
  void write(const char* file, const char* text) { std::ofstream(folder_ / "Game Data" / file) << text; }

  std::filesystem::path folder_;
};

TEST_F(EmpireFilesTest, ColourLinesGiveReservedAndOrdinaryColours) {
  write("EmpireColors.txt",
        "FF FF 00 00\nFF 00 FF 00\nFF 00 00 FF\nFF 80 80 80\nff 8c 00 00\nFF 10 10\n\"FF\" 0G 1 20\n");
  WorkingFolder working(folder_);
  loadEmpireColors();
  EXPECT_EQ(reservedColors, (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}));
  // A three-word line is skipped; a word that is no byte counts as 0.
  EXPECT_EQ(empireColors, (std::set<uint32_t>{0xFF808080u, 0xFF8C0000u, 0xFF000020u}));
}

TEST_F(EmpireFilesTest, MissingFilesLeaveTheDefaults) {
  WorkingFolder working(folder_);
  loadEmpireColors();
  loadEmpireNames();
  EXPECT_EQ(reservedColors, (std::vector<uint32_t>{0xFFFFFFFFu, 0xFF8C0000u, 0xFFCCC5ABu}));
  EXPECT_EQ(empireColors, (std::set<uint32_t>{kWhite}));
  EXPECT_EQ(pickRandomEmpireName(), irr::core::stringw(L"---"));
  empire* first = registerEmpire(new empire, true);
  empire* second = registerEmpire(new empire, true);
  EXPECT_EQ(first->color, kWhite);
  EXPECT_EQ(second->color, kWhite) << "colours repeat once all are taken";
}

TEST_F(EmpireFilesTest, SpecialEmpiresThenOrdinaryOnes) {
  write("EmpireColors.txt", "FF FF 00 00\nFF 00 FF 00\nFF 00 00 FF\nFF 80 80 80\nFF 40 40 40\n");
  write("EmpireNames.txt", "Aldane\nBorrow\nCinder\nDusk\nEmber\n");
  WorkingFolder working(folder_);
  createSpecialEmpires();
  ASSERT_EQ(empireList.size(), 3u);
  empire* space = getEmpireByID(255);
  EXPECT_NE(space, defaultEmpire());
  EXPECT_FALSE(space->isValid());
  EXPECT_TRUE(space->isReserved());
  EXPECT_EQ(space->color, 0xFFFF0000u);
  EXPECT_EQ(getEmpireByID(254)->color, 0xFF00FF00u);
  EXPECT_EQ(getEmpireByID(253)->color, 0xFF0000FFu);
  EXPECT_TRUE(getEmpireByID(254)->isValid());

  // The space empire's placeholder layout, made once more on a second call.
  getUnknownHullLayout();
  ASSERT_EQ(space->hulls.size(), 1u);
  EXPECT_EQ(space->hulls[0].name, irr::core::stringw(L"Unknown Hull Layout"));
  EXPECT_EQ(space->hulls[0].value->role, HullRole_Combat);
  EXPECT_EQ(space->hulls[0].value->scale, 1.0f);

  // Ruler values of the special empires.
  EXPECT_EQ(space->emperor.values[2], 1e6f);
  EXPECT_EQ(space->emperor.values[4], 15000000512.0f);
  EXPECT_EQ(getEmpireByID(254)->emperor.values[4], 45.0f);
  EXPECT_EQ(getEmpireByID(253)->emperor.values[0], 0.0f);

  std::set<std::wstring> names;
  std::set<uint32_t> bits;
  for (EmpireID id = 1; id <= 6; ++id) {
    empire* emp = registerEmpire(new empire);
    ASSERT_TRUE(takeNextOwnBit(emp));
    EXPECT_EQ(emp->ID, id);
    names.insert(emp->name.c_str());
    bits.insert(emp->ownBit);
    EXPECT_EQ(emp->emperor.values[4], 30.0f);
    const std::wstring ruler = emp->emperor.name.c_str();
    const size_t blank = ruler.rfind(L' ');
    ASSERT_NE(blank, std::wstring::npos) << ruler;
    const std::set<std::wstring> titles{L"Emperor", L"Empress", L"Sir", L"High Priest"};
    const std::set<std::wstring> given{L"Amitor", L"Bailey", L"Cailan", L"Domanix", L"Elan'Dat", L"Fizkalo"};
    EXPECT_EQ(titles.count(ruler.substr(0, blank)), 1u) << ruler;
    EXPECT_EQ(given.count(ruler.substr(blank + 1)), 1u) << ruler;
  }
  EXPECT_EQ(empireList[3]->ownBit, 8u) << "after the three special empires";
  EXPECT_EQ(empireList[5]->ownBit, 32u);
  EXPECT_EQ(names.size(), 6u);
  EXPECT_EQ(names.count(L"---"), 1u) << "five names for six empires";
  EXPECT_EQ(empireList[3]->color == 0xFF808080u || empireList[3]->color == 0xFF404040u, true);
  EXPECT_EQ(getEmpireByID(7), defaultEmpire());
  EXPECT_EQ(getEmpireByID(7)->name, irr::core::stringw(L"INVALID"));
}

TEST_F(EmpireFilesTest, OwnBitsRunOutAfterThirtyTwo) {
  WorkingFolder working(folder_);
  deleteAllEmpires();
  LogCapture log;
  std::vector<empire*> made;
  for (int i = 0; i < 32; ++i) {
    made.push_back(new empire);
    ASSERT_TRUE(takeNextOwnBit(made.back()));
    EXPECT_EQ(made.back()->ownBit, 1u << i);
  }
  empire extra;
  EXPECT_FALSE(takeNextOwnBit(&extra));
  EXPECT_EQ(extra.ownBit, 0u);
  EXPECT_NE(log.take().find("visibility bits"), std::string::npos);
  for (empire* emp : made)
    delete emp;
  deleteAllEmpires();
  empire next;
  ASSERT_TRUE(takeNextOwnBit(&next));
  EXPECT_EQ(next.ownBit, 1u);
}

}  // namespace

}  // namespace empire_names_test
