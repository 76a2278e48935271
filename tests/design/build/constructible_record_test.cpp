// Build-queue item records: the ship record's bytes, round trips of ship
// and structure items, the older forms (no retrofit flag before version
// 32, 4-byte empire IDs before version 12), the records that fail, and the
// rebuild item saved as none with a warning.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "core/common_strings.h"
#include "design/build/build_fixture.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"

namespace constructible_record_test {

using irr::core::stringw;

namespace {

constexpr SaveFileError kNoError{0, "no error"};

class ConstructRecordTest : public buildtest::BuildTest {
 protected:
  static Bytes saved(const constructible& item) {
    auto writer = SaveStream::createInMemory();
    writer->commonStrings() = commonStringList().snapshot();
    item.save(*writer);
    return writtenBody(*writer);
  }

  // The item read from `body` (saved at `version`); `left` gets the bytes
  // not read.
  static std::unique_ptr<constructible> load(const Bytes& body, int32_t version = SaveStream::kVersion,
                                             uint64_t* left = nullptr) {
    const Bytes file = withHeader(body, version);
    auto reader = readerOver(file);
    reader->commonStrings() = commonStringList().snapshot();
    std::unique_ptr<constructible> item(loadConstructible(*reader));
    if (left != nullptr)
      *left = reader->remaining();
    return item;
  }

  static SaveFileError errorOf(const Bytes& body, int32_t version = SaveStream::kVersion) {
    return saveErrorOf([&] { load(body, version); });
  }

  // Bytes written by `write` on a stream that knows the common strings.
  static Bytes written(const std::function<void(SaveStream&)>& write) {
    auto writer = SaveStream::createInMemory();
    writer->commonStrings() = commonStringList().snapshot();
    write(*writer);
    return writtenBody(*writer);
  }

  // A ship record without costs: empire ID (4 bytes with `wideId`), layout
  // name, and the retrofit flag when `flag` is not negative.
  static Bytes shipRecord(uint32_t empireId, const wchar_t* layoutName, bool wideId, int flag) {
    return written([&](SaveStream& s) {
      s.writeU8(CRT_Ship);
      s.writeU16(0);
      if (wideId)
        s.writeU32(empireId);
      else
        s.writeU8(static_cast<uint8_t>(empireId));
      s.writeString(layoutName);
      if (flag >= 0)
        s.writeU8(static_cast<uint8_t>(flag));
    });
  }
};

TEST_F(ConstructRecordTest, AShipItemIsWrittenFieldByFieldAndReadBackWhole) {
  hull_list* layout = layoutOf(red, L"Scout", {L"Ballast"});  // Metals 300
  auto item = std::unique_ptr<ShipConstructible>(makeRetrofitConstructible(layout, nullptr, 0.5f));
  item->costs[0].value.paid = 12.5f;

  const Bytes metals = written([](SaveStream& s) { saveCommonString(s, L"Metals"); });
  const Bytes expected = hexBytes(("04 01 00 " + hexText(metals) +
                                   " 00 00 96 43  00 00 48 41"  // amount 300, paid 12.5
                                   " 01"                         // red's ID
                                   " 05 00 00 53 63 6F 75 74"  // "Scout" (length, one byte a character)
                                   " 01")                                  // a retrofit
                                      .c_str());
  const Bytes body = saved(*item);
  EXPECT_EQ(hexText(body), hexText(expected));

  uint64_t left = 1;
  std::unique_ptr<constructible> read = load(body, SaveStream::kVersion, &left);
  EXPECT_EQ(left, 0u);
  auto* ship = dynamic_cast<ShipConstructible*>(read.get());
  ASSERT_NE(ship, nullptr);
  EXPECT_EQ(ship->layout, layout);
  EXPECT_EQ(ship->retrofitFlag, 1);
  EXPECT_EQ(costOf(*ship, L"Metals"), 300.0f);
  EXPECT_EQ(ship->costs[0].value.paid, 12.5f);
  EXPECT_EQ(hexText(saved(*ship)), hexText(body));
}

TEST_F(ConstructRecordTest, AStructureItemRoundTripsByteForByte) {
  objHabitation* planet = planetOf(red);
  setTech(3.0f);
  StructureConstructible item(def(L"Mine"), planet);
  item.costs[0].value.paid = 7.25f;

  const Bytes body = saved(item);
  ASSERT_FALSE(body.empty());
  EXPECT_EQ(body[0], CRT_Structure);
  uint64_t left = 1;
  std::unique_ptr<constructible> read = load(body, SaveStream::kVersion, &left);
  EXPECT_EQ(left, 0u);
  auto* structure = dynamic_cast<StructureConstructible*>(read.get());
  ASSERT_NE(structure, nullptr);
  EXPECT_EQ(structure->def, def(L"Mine"));
  EXPECT_EQ(structure->planet, nullptr) << "known again only when it completes";
  ASSERT_NE(structure->structure, nullptr);
  EXPECT_EQ(structure->structure->getLevel(), 3.0f);
  EXPECT_EQ(costOf(*structure, L"Metals"), 30.0f);
  EXPECT_EQ(structure->getName(), stringw(L"Mine"));
  EXPECT_EQ(hexText(saved(*structure)), hexText(body));
}

TEST_F(ConstructRecordTest, OlderShipRecordsAndTheEmptyItem) {
  hull_list* layout = layoutOf(red, L"Scout", {L"Frame"});
  const struct {
    const char* label;
    int32_t version;
    bool wideId;
    int flag;  // -1: none in the record
    uint8_t retrofit;
  } cases[] = {
      {"version 32 holds the flag", 32, false, 1, 1},
      {"version 31 has none", 31, false, -1, 0},
      {"version 12 takes a one-byte ID", 12, false, -1, 0},
      {"version 11 takes a 4-byte ID", 11, true, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    uint64_t left = 1;
    std::unique_ptr<constructible> read = load(shipRecord(red->ID, L"Scout", c.wideId, c.flag), c.version, &left);
    EXPECT_EQ(left, 0u);
    auto* ship = dynamic_cast<ShipConstructible*>(read.get());
    ASSERT_NE(ship, nullptr);
    EXPECT_EQ(ship->layout, layout);
    EXPECT_EQ(ship->retrofitFlag, c.retrofit);
  }

  // Type 0: no item, and nothing more is read.
  uint64_t left = 0;
  EXPECT_EQ(load(hexBytes("00 04 01 00"), SaveStream::kVersion, &left), nullptr);
  EXPECT_EQ(left, 3u);
}

TEST_F(ConstructRecordTest, DamagedRecordsFailAndLeaveNothing) {
  layoutOf(red, L"Scout", {L"Frame"});
  const Bytes good = shipRecord(red->ID, L"Scout", false, 0);
  const Bytes metals = written([](SaveStream& s) { saveCommonString(s, L"Metals"); });
  const Bytes beyondPool =
      written([](SaveStream& s) { s.writePackedUInt(static_cast<uint32_t>(commonStringList().snapshot().size())); });
  const Bytes wrongDefinition = written([](SaveStream& s) {
    s.writeU8(CRT_Structure);
    s.writeU16(0);
    s.writeU32(0xFFFFFFF0u);  // no definition has this ID
  });
  const struct {
    const char* label;
    Bytes body;
    SaveFileError error;
  } cases[] = {
      {"type byte 2", hexBytes("02"), kSaveErrorInvalidBuildItem},
      {"type byte 255", hexBytes("FF 00 00"), kSaveErrorInvalidBuildItem},
      {"an unknown layout", shipRecord(red->ID, L"Nope", false, 0), kSaveErrorInvalidItemLayout},
      {"an empty layout name", shipRecord(red->ID, L"", false, 0), kSaveErrorInvalidItemLayout},
      {"the layout of another empire", shipRecord(blue->ID, L"Scout", false, 0), kSaveErrorInvalidItemLayout},
      {"an empire that is not there", shipRecord(77, L"Scout", false, 0), kSaveErrorInvalidItemLayout},
      {"a cost name beyond the pool", hexBytes(("04 01 00 " + hexText(beyondPool)).c_str()),
       {5, "Invalid Common String reference"}},
      {"a cut cost list", hexBytes(("04 02 00 " + hexText(metals) + " 00 00 80 3F 00 00").c_str()), kSaveErrorEOF},
      {"a cut ship record", Bytes(good.begin(), good.end() - 1), kSaveErrorEOF},
      {"a structure of an unknown definition", wrongDefinition, kSaveErrorSubSystemID},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(errorOf(c.body), c.error);  // LeakSanitizer: nothing kept
  }
  EXPECT_EQ(errorOf(good), kNoError);
}

TEST_F(ConstructRecordTest, ARebuildItemIsSavedAsNoneWithAWarning) {
  objHabitation* planet = planetOf(red);
  planet->name = L"Vega II";
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Mine")));
  setTech(2.0f);
  RebuildStructureConstructible rebuild(planet->structures[0].system, planet);

  LogCapture log;
  EXPECT_EQ(hexText(saved(rebuild)), "00");
  const std::string warning = log.take();
  EXPECT_NE(warning.find(irr::core::stringc(rebuild.getName()).c_str()), std::string::npos) << warning;
  EXPECT_NE(warning.find("Vega II"), std::string::npos) << warning;

  // The empty items of the other kinds: saved as none, without a word.
  ShipConstructible noLayout(nullptr);
  EXPECT_EQ(hexText(saved(noLayout)), "00");
  EXPECT_EQ(log.take(), "");
}

}  // namespace

}  // namespace constructible_record_test
