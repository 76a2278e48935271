#include "core/save_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"

namespace save_stream_test {

namespace fs = std::filesystem;

namespace {

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string asText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The names of the files in `dir` that end in ".tmp", sorted.
std::vector<std::string> temporaryFiles(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

irr::core::stringw wide(std::initializer_list<uint32_t> codes) {
  irr::core::stringw text;
  for (uint32_t c : codes)
    text.append(static_cast<wchar_t>(c));
  return text;
}

bool sameText(const irr::core::stringw& a, const irr::core::stringw& b) {
  return a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size() * sizeof(wchar_t)) == 0;
}

// ---------------------------------------------------------------------------
// Byte layouts

TEST(SaveStreamBytes, PackedUnsignedIntegers) {
  const struct {
    uint32_t value;
    const char* bytes;
  } cases[] = {
      {0, "00"},
      {255, "01 FF"},
      {256, "02 01"},
      {0x00012300, "06 23 01"},
      {0x01000000, "08 01"},
      {0xFFFFFFFF, "0F FF FF FF FF"},
      {0x80000001, "09 01 80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    auto out = SaveStream::createInMemory();
    out->writePackedUInt(c.value);
    EXPECT_EQ(hexText(writtenBody(*out)), hex(c.bytes));
    const Bytes file = withHeader(hexBytes(c.bytes));
    auto in = readerOver(file);
    EXPECT_EQ(in->readPackedUInt(), c.value);
    EXPECT_EQ(in->remaining(), 0u);
  }
  // The high four bits of the mask are not read as bytes.
  const Bytes file = withHeader(hexBytes("F1 07"));
  EXPECT_EQ(readerOver(file)->readPackedUInt(), 7u);
}

TEST(SaveStreamBytes, WideStrings) {
  irr::core::stringw withZero = wide({'a', 0, 0x100});  // wide unit after a zero unit
  const struct {
    irr::core::stringw text;
    const char* bytes;
  } cases[] = {
      {L"abc", "03 00 00 61 62 63"},
      {L"", "00 00"},
      {wide({0x100}), "01 00 01 00 01"},
      {wide({0xE9}), "01 00 00 E9"},
      {wide({'S', 0x1F680}), "03 00 01 53 00 3D D8 80 DE"},
      {withZero, "03 00 01 61 00 00 00 00 01"},
      {wide({0xDC00, 'x'}), "02 00 01 00 DC 78 00"},  // a lone surrogate stays as it is
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    auto out = SaveStream::createInMemory();
    out->writeString(c.text);
    EXPECT_EQ(hexText(writtenBody(*out)), hex(c.bytes));
    const Bytes file = withHeader(hexBytes(c.bytes));
    auto in = readerOver(file);
    irr::core::stringw back;
    in->readString(back);
    EXPECT_TRUE(sameText(back, c.text));
    EXPECT_EQ(in->remaining(), 0u);
  }
}

TEST(SaveStreamBytes, ReadingStringsKeepsOrReplacesTheTarget) {
  const Bytes file = withHeader(hexBytes("00 00  02 00 00 68 69  02 00 68 69"));
  auto in = readerOver(file);
  irr::core::stringw wideText = L"kept";
  in->readString(wideText);
  EXPECT_TRUE(wideText == L"kept");
  in->readString(wideText);
  EXPECT_TRUE(wideText == L"hi");
  irr::core::stringc narrow = "old";
  in->readNarrowString(narrow);
  EXPECT_EQ(std::string(narrow.c_str()), "hi");

  const Bytes empty = withHeader(hexBytes("00 00"));
  irr::core::stringc keep = "kept";
  readerOver(empty)->readNarrowString(keep);
  EXPECT_EQ(std::string(keep.c_str()), "kept");

  auto out = SaveStream::createInMemory();
  out->writeNarrowString("mod");
  EXPECT_EQ(hexText(writtenBody(*out)), hex("03 00 6D 6F 64"));
}

TEST(SaveStreamBytes, LongStringsAreCutWithoutSplittingAPair) {
  const std::wstring xs(65535, L'x');
  const irr::core::stringw exact(xs.c_str(), static_cast<irr::u32>(xs.size()));
  irr::core::stringw tooLong = exact + L"y";
  irr::core::stringw pairAtTheEdge = exact.subString(0, 65534);
  pairAtTheEdge.append(static_cast<wchar_t>(0x1F680));  // units 65535 and 65536

  const struct {
    const char* name;
    const irr::core::stringw& text;
    uint16_t storedLength;
    bool cut;
  } cases[] = {
      {"65535 units fit", exact, 65535, false},
      {"65536 units", tooLong, 65535, true},
      {"pair across the limit", pairAtTheEdge, 65534, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    auto out = SaveStream::createInMemory();
    out->writeString(c.text);
    const Bytes body = writtenBody(*out);
    EXPECT_EQ(body[0] | (body[1] << 8), c.storedLength);
    EXPECT_EQ(body[2], 0);  // every unit kept is 'x'
    EXPECT_EQ(body.size(), 3u + c.storedLength);
    const std::string logged = log.take();
    EXPECT_EQ(!logged.empty(), c.cut) << logged;

    const Bytes file = withHeader(body);
    irr::core::stringw back;
    readerOver(file)->readString(back);
    EXPECT_TRUE(sameText(back, c.text.subString(0, c.storedLength)));
  }
}

TEST(SaveStreamBytes, FixedWidthValuesAreLittleEndian) {
  auto out = SaveStream::createInMemory();
  out->writeU8(0xAB);
  out->writeI8(-2);
  out->writeU16(0x1234);
  out->writeI16(-2);
  out->writeU32(0x12345678);
  out->writeI32(-2);
  out->writeU64(0x0102030405060708ull);
  out->writeFloat(1.5f);
  out->writeDouble(1.0);
  const char* expected =
      "AB FE 34 12 FE FF 78 56 34 12 FE FF FF FF 08 07 06 05 04 03 02 01 00 00 C0 3F 00 00 00 00 00 00 F0 3F";
  EXPECT_EQ(hexText(writtenBody(*out)), hex(expected));

  const Bytes file = out->memoryBytes();
  auto in = readerOver(file);
  EXPECT_EQ(in->readU8(), 0xAB);
  EXPECT_EQ(in->readI8(), -2);
  EXPECT_EQ(in->readU16(), 0x1234);
  EXPECT_EQ(in->readI16(), -2);
  EXPECT_EQ(in->readU32(), 0x12345678u);
  EXPECT_EQ(in->readI32(), -2);
  EXPECT_EQ(in->readU64(), 0x0102030405060708ull);
  EXPECT_EQ(in->readFloat(), 1.5f);
  EXPECT_EQ(in->readDouble(), 1.0);
}

TEST(SaveStreamBytes, PackedFloatGroups) {
  auto out = SaveStream::createInMemory();
  out->writePackedFloats4({0.0f, 1.5f, 0.0f, 0.0f});
  out->writePackedFloats4({-0.0f, NAN, 0.0f, -2.0f});
  out->writePackedFloats8({0, 0, 0, 0, 0, 0, 0, 1.0f});
  EXPECT_EQ(hexText(writtenBody(*out)), hex("02 00 00 C0 3F  0A 00 00 C0 7F 00 00 00 C0  80 00 00 80 3F"));

  const Bytes file = out->memoryBytes();
  auto in = readerOver(file);
  float four[4] = {9, 9, 9, 9};
  in->readPackedFloats4(four);
  EXPECT_EQ(std::vector<float>(four, four + 4), (std::vector<float>{0.0f, 1.5f, 0.0f, 0.0f}));
  in->readPackedFloats4(four);
  EXPECT_FALSE(std::signbit(four[0]));  // -0.0 is not kept
  EXPECT_TRUE(std::isnan(four[1]));
  EXPECT_EQ(four[3], -2.0f);
  float eight[8];
  in->readPackedFloats8(eight);
  EXPECT_EQ(eight[7], 1.0f);
  EXPECT_EQ(eight[0], 0.0f);
}

TEST(SaveStreamBytes, EmpireIdsByVersion) {
  const struct {
    int32_t version;
    const char* bytes;
    EmpireID id;
  } cases[] = {
      {35, "05", 5},
      {12, "FF", 255},
      {11, "05 01 00 00", 5},
      {7, "FD FF FF FF", 253},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    const Bytes file = withHeader(hexBytes(c.bytes), c.version);
    auto in = readerOver(file);
    EXPECT_EQ(in->readEmpireId(), c.id);
    EXPECT_EQ(in->remaining(), 0u);
  }
  auto out = SaveStream::createInMemory();
  out->writeEmpireId(254);
  EXPECT_EQ(hexText(writtenBody(*out)), hex("FE"));
}

TEST(SaveStreamBytes, Description) {
  const irr::core::stringw empireName = L"Terrans";
  auto out = SaveStream::createInMemory();
  writeSaveDescription(*out, &empireName, L"5/4/2031 21:07");
  writeSaveDescription(*out, nullptr, L"d");
  const Bytes file = out->memoryBytes();
  auto in = readerOver(file);
  EXPECT_TRUE(readSaveDescription(*in) == L"Terrans - 5/4/2031 21:07");
  EXPECT_TRUE(readSaveDescription(*in) == L"Unknown - d");

  // From version 11 on both texts are read; before it nothing is stored and nothing is read.
  const struct {
    int32_t version;
    const char* bytes;
    const wchar_t* description;
    size_t remaining;
  } cases[] = {
      {11, "01 00 00 41 01 00 00 42", L"A - B", 0},
      {10, "07 00 00 54 65 72 72 61 6E 73", L"Old save", 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    const Bytes bytes = withHeader(hexBytes(c.bytes), c.version);
    auto versionIn = readerOver(bytes);
    EXPECT_EQ(std::wstring(readSaveDescription(*versionIn).c_str()), c.description);
    EXPECT_EQ(versionIn->remaining(), c.remaining);
  }
}

TEST(SaveStreamBytes, MarkersAndOtherReaders) {
  const Bytes file = withHeader(hexBytes("EF BE AD DE  EE BE AD DE  00 00 80 3F 00 00 00 40 00 00 40 40  01 02 03"));
  auto in = readerOver(file);
  const SaveFileError wrong{5, "Error in this section"};
  EXPECT_NO_THROW(in->readMarker(wrong));
  try {
    in->readMarker(wrong);
    FAIL() << "a wrong marker was accepted";
  } catch (const SaveFileError& error) {
    EXPECT_EQ(error, wrong);
  }
  float a, b, c;
  in->readFloat3(a, b, c);
  EXPECT_EQ(std::vector<float>({a, b, c}), (std::vector<float>{1, 2, 3}));
  in->skipBytes(1);
  uint8_t rest[2];
  in->readBytes(rest, 2);
  EXPECT_EQ(rest[1], 3);
}

// ---------------------------------------------------------------------------
// Short data

TEST(SaveStreamReading, EveryShortReadThrowsAndTheStreamStaysAtItsEnd) {
  const struct {
    const char* name;
    const char* bytes;
    std::function<void(SaveStream&)> read;
  } cases[] = {
      {"u32", "01 02 03", [](SaveStream& s) { s.readU32(); }},
      {"double", "01 02 03 04 05 06 07", [](SaveStream& s) { s.readDouble(); }},
      {"string length", "03",
       [](SaveStream& s) {
         irr::core::stringw t;
         s.readString(t);
       }},
      {"string flag", "03 00",
       [](SaveStream& s) {
         irr::core::stringw t;
         s.readString(t);
       }},
      {"string units", "02 00 01 61 00 62",
       [](SaveStream& s) {
         irr::core::stringw t;
         s.readString(t);
       }},
      {"huge string", "FF FF 01 61",
       [](SaveStream& s) {
         irr::core::stringw t;
         s.readString(t);
       }},
      {"narrow string", "04 00 61 62 63",
       [](SaveStream& s) {
         irr::core::stringc t;
         s.readNarrowString(t);
       }},
      {"packed uint", "0F FF FF FF", [](SaveStream& s) { s.readPackedUInt(); }},
      {"packed floats", "03 00 00 80 3F 00",
       [](SaveStream& s) {
         float f[4];
         s.readPackedFloats4(f);
       }},
      {"skip", "01 02", [](SaveStream& s) { s.skipBytes(3); }},
      {"description", "01 00 00 41 05 00", [](SaveStream& s) { readSaveDescription(s); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = withHeader(hexBytes(c.bytes));
    auto in = readerOver(file);
    try {
      c.read(*in);
      ADD_FAILURE() << "no error";
    } catch (const SaveFileError& error) {
      EXPECT_EQ(error, kSaveErrorEOF);
    }
    EXPECT_EQ(in->remaining(), 0u);
    EXPECT_THROW(in->readU8(), SaveFileError);
  }
}

// ---------------------------------------------------------------------------
// Header and names

TEST(SaveStreamFiles, HeaderChecks) {
  const struct {
    const char* name;
    Bytes file;
    SaveFileError error;  // code 0: accepted
  } cases[] = {
      {"magic and 2 bytes", hexBytes("24 71 76 73 23 00"), kSaveErrorEOF},
      {"six other bytes", hexBytes("24 71 76 74 23 00"), kSaveErrorNotASave},
      {"three bytes", hexBytes("24 71 76"), kSaveErrorEOF},
      {"empty", {}, kSaveErrorEOF},
      {"version 36", withHeader({}, 36), kSaveErrorNewer},
      {"version 6", withHeader({}, 6), kSaveErrorOlder},
      {"version -1", withHeader({}, -1), kSaveErrorOlder},
      {"version 7", withHeader({}, 7), {0, ""}},
      {"version 35", withHeader({}, 35), {0, ""}},
  };
  const fs::path dir = scratchDir();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(dir / "game.qvs", asText(c.file));
    for (bool fromFile : {false, true}) {
      try {
        auto in = fromFile ? openSaveForRead((dir / "game").c_str()) : readerOver(c.file);
        EXPECT_EQ(c.error.code, 0);
        EXPECT_EQ(in->version(), c.file[4]);
      } catch (const SaveFileError& error) {
        EXPECT_EQ(error, c.error);
      }
    }
  }
  EXPECT_THROW(openSaveForRead((dir / "missing").c_str()), SaveFileError);
  fs::create_directory(dir / "folder.qvs");
  try {
    openSaveForRead((dir / "folder").c_str());
    ADD_FAILURE() << "a folder opened as a save";
  } catch (const SaveFileError& error) {
    EXPECT_EQ(error, kSaveErrorOpening);
  }
}

TEST(SaveStreamFiles, NamesWithAndWithoutTheExtensionAreTheSameFile) {
  const fs::path dir = scratchDir();
  const std::string upper = (dir / "slot1.QVS").string();
  auto out = openSaveForWrite(upper.c_str());
  const std::vector<std::string> temporary = temporaryFiles(dir);
  ASSERT_EQ(temporary.size(), 1u);
  EXPECT_EQ(temporary[0].rfind("slot1.qvs.", 0), 0u) << temporary[0];
  out->writeU32(77);
  finishSaveFile(*out);
  out.reset();
  EXPECT_TRUE(temporaryFiles(dir).empty());
  EXPECT_EQ(fileText(dir / "slot1.qvs"), asText(withHeader(hexBytes("4D 00 00 00"))));

  for (const char* name : {"slot1", "slot1.qvs", "slot1.QvS"}) {
    SCOPED_TRACE(name);
    auto in = openSaveForRead((dir / name).c_str());
    EXPECT_EQ(in->readU32(), 77u);
  }
}

TEST(SaveStreamFiles, NoFileName) {
  for (const char* name : {"", "dir/", "dir\\", ".qvs", "dir/.QVS"}) {
    SCOPED_TRACE(name);
    for (bool write : {true, false}) {
      try {
        if (write)
          openSaveForWrite(name);
        else
          openSaveForRead(name);
        ADD_FAILURE() << "no error";
      } catch (const SaveFileError& error) {
        EXPECT_EQ(error, kSaveErrorNoFileName);
      }
    }
  }
}

TEST(SaveStreamFiles, EndsWithNoCase) {
  const struct {
    const char* text;
    const char* suffix;
    bool expected;
  } cases[] = {
      {"a.QVS", ".qvs", true},   {"a.qvs", ".QVS", true}, {"qvs", ".qvs", false},
      {"a.qvs ", ".qvs", false}, {"\xC9", "\xE9", false}, {"", "", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(narrowEndsWithNoCase(c.text, c.suffix), c.expected) << c.text << " / " << c.suffix;
}

// ---------------------------------------------------------------------------
// The commit

// Fails the chosen operation of the file layer with "no space left".
struct Fault {
  static plat::FileOp op;
  static int skip;  // matching operations let through first
  static int hook(plat::FileOp o, const std::string&, std::size_t) {
    if (o != op)
      return 0;
    return skip-- > 0 ? 0 : ENOSPC;
  }
};
plat::FileOp Fault::op;
int Fault::skip;

class SaveCommitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratchDir();
    writeFile(dir / "game.qvs", oldSave);
  }
  void TearDown() override { plat::setFileFaultHook(nullptr); }

  // Writes a save big enough to reach the file several times before the
  // commit; gives what a stream in memory wrote for the same calls.
  static void writeGame(SaveStream& stream) {
    for (uint32_t i = 0; i < 60000; ++i) {
      stream.writePackedUInt(i * 2654435761u);
      stream.writeString(L"Sector");
    }
  }
  bool leftoverTemporary() const { return !temporaryFiles(dir).empty(); }

  fs::path dir;
  const std::string oldSave = asText(withHeader(hexBytes("0B AD")));
};

TEST_F(SaveCommitTest, ACommitReplacesTheSaveAndLeavesNoTemporaryFile) {
  auto out = openSaveForWrite((dir / "game").c_str());
  writeGame(*out);
  EXPECT_EQ(fileText(dir / "game.qvs"), oldSave);  // untouched until the commit
  finishSaveFile(*out);
  out.reset();

  auto memory = SaveStream::createInMemory();
  writeGame(*memory);
  EXPECT_EQ(fileText(dir / "game.qvs"), asText(memory->memoryBytes()));
  EXPECT_FALSE(leftoverTemporary());

  // Read back through the file window.
  auto in = openSaveForRead((dir / "game").c_str());
  for (uint32_t i = 0; i < 60000; ++i) {
    ASSERT_EQ(in->readPackedUInt(), i * 2654435761u);
    irr::core::stringw text;
    in->readString(text);
    ASSERT_TRUE(text == L"Sector");
  }
  EXPECT_EQ(in->remaining(), 0u);
}

// Temporary files that no writer holds, left by a killed process (or by an
// older version, under the fixed name), go with the next save of that name;
// those of other names and files of other shapes stay.
TEST_F(SaveCommitTest, StaleTemporaryFilesOfTheNameGoWithTheNextSave) {
  for (const char* stale : {"game.qvs.tmp", "game.qvs.999999-0.tmp", "game.qvs.1-12.tmp"})
    writeFile(dir / stale, std::string(200, 'x'));
  const std::vector<std::string> others = {"game.qvs.-1.tmp", "game.qvs.1-.tmp", "game.qvs.1-2x.tmp",
                                           "game.qvs.notes.tmp", "game.qvs1-2.tmp", "other.qvs.1-2.tmp"};
  for (const std::string& name : others)
    writeFile(dir / name, "keep");
  fs::create_directory(dir / "game.qvs.7-7.tmp");

  auto out = openSaveForWrite((dir / "game").c_str());
  out->writeU8(1);
  finishSaveFile(*out);
  out.reset();
  EXPECT_EQ(fileText(dir / "game.qvs"), asText(withHeader(hexBytes("01"))));
  std::vector<std::string> left = others;
  left.push_back("game.qvs.7-7.tmp");
  std::sort(left.begin(), left.end());
  EXPECT_EQ(temporaryFiles(dir), left);
  for (const std::string& name : others)
    EXPECT_EQ(fileText(dir / name), "keep") << name;
  // Stale files are never read as the save.
  auto in = openSaveForRead((dir / "game").c_str());
  EXPECT_EQ(in->readU8(), 1u);
}

// Two saves of one name open at once, as two servers on one user folder
// would make them: each writes a file of its own, the one committed last is
// the save, whole, and a writer that fails takes nothing of the other's.
TEST_F(SaveCommitTest, TwoWritersOfOneNameNeverShareAFile) {
  const auto payload = [](SaveStream& stream, uint8_t mark) {
    for (int i = 0; i < 100000; ++i)
      stream.writeU8(static_cast<uint8_t>(mark + i));
  };
  const auto expected = [&](uint8_t mark) {
    auto memory = SaveStream::createInMemory();
    payload(*memory, mark);
    return asText(memory->memoryBytes());
  };
  for (const bool firstCommitsFirst : {true, false}) {
    SCOPED_TRACE(firstCommitsFirst);
    writeFile(dir / "game.qvs", oldSave);
    auto first = openSaveForWrite((dir / "game").c_str());
    auto second = openSaveForWrite((dir / "game").c_str());  // its clean-up leaves the first's file
    EXPECT_EQ(temporaryFiles(dir).size(), 2u);
    payload(*first, 1);
    payload(*second, 2);
    finishSaveFile(firstCommitsFirst ? *first : *second);
    EXPECT_EQ(fileText(dir / "game.qvs"), expected(firstCommitsFirst ? 1 : 2));
    finishSaveFile(firstCommitsFirst ? *second : *first);
    EXPECT_EQ(fileText(dir / "game.qvs"), expected(firstCommitsFirst ? 2 : 1));
    EXPECT_FALSE(leftoverTemporary());
  }

  // The second writer fails part-way: the first one's save is whole.
  writeFile(dir / "game.qvs", oldSave);
  auto first = openSaveForWrite((dir / "game").c_str());
  payload(*first, 1);
  {
    auto second = openSaveForWrite((dir / "game").c_str());
    payload(*second, 2);
    Fault::op = plat::FileOp::Write;
    Fault::skip = 0;
    plat::setFileFaultHook(&Fault::hook);
    EXPECT_THROW(payload(*second, 2), SaveFileError);
    plat::setFileFaultHook(nullptr);
    EXPECT_EQ(temporaryFiles(dir).size(), 1u);  // only the first's
  }
  EXPECT_EQ(fileText(dir / "game.qvs"), oldSave);
  finishSaveFile(*first);
  EXPECT_EQ(fileText(dir / "game.qvs"), expected(1));
  EXPECT_FALSE(leftoverTemporary());
}

TEST_F(SaveCommitTest, AnyFailureKeepsTheOldSaveAndRemovesTheTemporaryFile) {
  const struct {
    const char* name;
    plat::FileOp op;
    int skip;
    SaveFileError error;
  } cases[] = {
      {"create", plat::FileOp::Create, 0, kSaveErrorOpening},
      {"first write", plat::FileOp::Write, 0, kSaveErrorWriting},
      {"write part-way", plat::FileOp::Write, 3, kSaveErrorWriting},
      {"sync", plat::FileOp::Sync, 0, kSaveErrorWriting},
      {"close", plat::FileOp::Close, 0, kSaveErrorWriting},
      {"rename", plat::FileOp::Rename, 0, kSaveErrorRenaming},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fault::op = c.op;
    Fault::skip = c.skip;
    plat::setFileFaultHook(&Fault::hook);
    try {
      auto out = openSaveForWrite((dir / "game").c_str());
      writeGame(*out);
      finishSaveFile(*out);
      ADD_FAILURE() << "the save reported success";
    } catch (const SaveFileError& error) {
      EXPECT_EQ(error, c.error);
    }
    plat::setFileFaultHook(nullptr);
    EXPECT_EQ(fileText(dir / "game.qvs"), oldSave);
    EXPECT_FALSE(leftoverTemporary());
  }
}

TEST_F(SaveCommitTest, WritesAfterAFailureKeepFailing) {
  Fault::op = plat::FileOp::Write;
  Fault::skip = 0;
  plat::setFileFaultHook(&Fault::hook);
  auto out = openSaveForWrite((dir / "game").c_str());
  EXPECT_THROW(writeGame(*out), SaveFileError);
  plat::setFileFaultHook(nullptr);
  EXPECT_THROW(out->writeU8(1), SaveFileError);
  EXPECT_THROW(finishSaveFile(*out), SaveFileError);
  EXPECT_EQ(fileText(dir / "game.qvs"), oldSave);
}

TEST_F(SaveCommitTest, AnAbandonedSaveLeavesNothingBehind) {
  {
    auto out = openSaveForWrite((dir / "game").c_str());
    writeGame(*out);
    EXPECT_TRUE(leftoverTemporary());
  }
  EXPECT_FALSE(leftoverTemporary());
  EXPECT_EQ(fileText(dir / "game.qvs"), oldSave);
}

TEST_F(SaveCommitTest, AFolderThatCannotBeSyncedIsReported) {
  Fault::op = plat::FileOp::SyncFolder;
  Fault::skip = 0;
  plat::setFileFaultHook(&Fault::hook);
  auto out = openSaveForWrite((dir / "game").c_str());
  out->writeU8(1);
  try {
    finishSaveFile(*out);
    ADD_FAILURE() << "the save reported success";
  } catch (const SaveFileError& error) {
    EXPECT_EQ(error, kSaveErrorWriting);
  }
  // The new file itself is complete and in place.
  EXPECT_EQ(fileText(dir / "game.qvs"), asText(withHeader(hexBytes("01"))));
  EXPECT_FALSE(leftoverTemporary());
}

}  // namespace

}  // namespace save_stream_test
