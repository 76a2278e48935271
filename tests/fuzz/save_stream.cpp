// Fuzz entry point: reads arbitrary bytes as a saved game with every save
// stream reader, in an order the input chooses.
//
//   byte 0             number of steps (modulo 32)
//   byte 1             below 0xE0: the stream gets a valid header of version
//                      7 + byte % 29 in front of the data; else the data must
//                      carry its own header
//   next `steps` bytes one choice per step: the reader is choice % 21, and
//                      choice / 21 is its parameter (a size or a variant)
//   the rest           the file's data
//
// Besides running clean under the sanitizers, every step checks: only save
// errors leave a reader, with the texts readers raise; the bytes left never
// grow; after an "Unexpected EOF" nothing is left; whatever decodes encodes
// to bytes that read back the same; no single allocation is larger than a
// small multiple of the input, whatever count the file claims.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/common_strings.h"
#include "core/save_stream.h"

namespace {

constexpr unsigned kMaxSteps = 32;
constexpr unsigned kReaders = 21;
constexpr uint8_t kOwnHeader = 0xE0;

void check(bool condition) {
  if (!condition)
    std::abort();
}

// Largest single allocation allowed while an input is read (0: no limit).
std::atomic<std::size_t> allocationLimit{0};

void* allocate(std::size_t size) {
  const std::size_t limit = allocationLimit.load(std::memory_order_relaxed);
  check(limit == 0 || size <= limit);
  if (void* p = std::malloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}

bool sameText(const irr::core::stringw& a, const irr::core::stringw& b) {
  return a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size() * sizeof(wchar_t)) == 0;
}

// Writes with `write`, then reads the bytes back with `read`.
template <class Write, class Read>
void roundTrip(Write&& write, Read&& read) {
  auto out = SaveStream::createInMemory();
  write(*out);
  const std::vector<uint8_t> bytes = out->memoryBytes();
  auto in = SaveStream::readFromMemory(bytes.data(), bytes.size());
  read(*in);
  check(in->remaining() == 0);
}

template <unsigned N>
void writePacked(SaveStream& s, const float (&values)[N]);
template <>
void writePacked<4>(SaveStream& s, const float (&values)[4]) { s.writePackedFloats4(values); }
template <>
void writePacked<8>(SaveStream& s, const float (&values)[8]) { s.writePackedFloats8(values); }
template <unsigned N>
void readPacked(SaveStream& s, float (&values)[N]);
template <>
void readPacked<4>(SaveStream& s, float (&values)[4]) { s.readPackedFloats4(values); }
template <>
void readPacked<8>(SaveStream& s, float (&values)[8]) { s.readPackedFloats8(values); }

// A group read keeps every set float bit for bit; zeros come back as +0.0.
template <unsigned N>
void packedFloats(SaveStream& in) {
  float values[N];
  readPacked<N>(in, values);
  roundTrip([&](SaveStream& s) { writePacked<N>(s, values); },
            [&](SaveStream& s) {
              float back[N];
              readPacked<N>(s, back);
              for (unsigned k = 0; k < N; ++k) {
                if (values[k] == 0.0f)
                  check(back[k] == 0.0f && !std::signbit(back[k]));
                else
                  check(std::memcmp(&back[k], &values[k], sizeof(float)) == 0);
              }
            });
}

bool knownError(const SaveFileError& error) {
  const SaveFileError known[] = {kSaveErrorEOF, kSaveErrorInvalidCommonString, kSaveErrorCommonStringsCount,
                                 kSaveErrorCommonStringsMarker, kSaveErrorNotASave, kSaveErrorNewer,
                                 kSaveErrorOlder};
  for (const SaveFileError& k : known)
    if (error == k)
      return true;
  return error.code == 5 && std::strcmp(error.message, "Wrong marker") == 0;
}

void step(SaveStream& in, CommonStringList& pool, uint8_t choice) {
  const unsigned parameter = choice / kReaders;
  switch (choice % kReaders) {
    case 0:
      in.readU8();
      break;
    case 1:
      in.readI16();
      break;
    case 2:
      in.readU32();
      break;
    case 3:
      in.readI64();
      break;
    case 4:
      in.readFloat();
      break;
    case 5:
      in.readDouble();
      break;
    case 6: {
      float a, b, c, d;
      if (parameter % 3 == 0)
        in.readFloat2(a, b);
      else if (parameter % 3 == 1)
        in.readFloat3(a, b, c);
      else
        in.readFloat4(a, b, c, d);
      break;
    }
    case 7: {
      irr::core::stringw text = L"before";
      in.readString(text);
      roundTrip([&](SaveStream& s) { s.writeString(text); },
                [&](SaveStream& s) {
                  irr::core::stringw back;
                  s.readString(back);
                  check(sameText(back, text));
                });
      break;
    }
    case 8: {
      irr::core::stringc text;
      in.readNarrowString(text);
      roundTrip([&](SaveStream& s) { s.writeNarrowString(text); },
                [&](SaveStream& s) {
                  irr::core::stringc back;
                  s.readNarrowString(back);
                  check(back.size() == text.size() && std::memcmp(back.c_str(), text.c_str(), text.size()) == 0);
                });
      break;
    }
    case 9: {
      const uint32_t value = in.readPackedUInt();
      roundTrip([&](SaveStream& s) { s.writePackedUInt(value); },
                [&](SaveStream& s) { check(s.readPackedUInt() == value); });
      break;
    }
    case 10:
      in.readEmpireId();
      break;
    case 11:
      packedFloats<4>(in);
      break;
    case 12:
      packedFloats<8>(in);
      break;
    case 13:
      readSaveDescription(in);
      break;
    case 14:
      readCommonStringsSection(in, pool);
      check(!in.commonStrings().empty());
      break;
    case 15: {
      const irr::core::stringw* text = readCommonString(in);
      check(pool.find(*text) >= 0);
      break;
    }
    case 16: {
      NamedValueList list;
      readNamedValueList(in, list);
      for (irr::u32 i = 0; i < list.size(); ++i)
        check(list[i].name != nullptr && pool.find(*list[i].name) >= 0);
      break;
    }
    case 17:
      in.readMarker({5, "Wrong marker"});
      break;
    case 18:
      in.skipBytes(parameter * 7u);
      break;
    case 19: {
      uint8_t out[3 * 12];
      in.readBytes(out, parameter * 3u);
      break;
    }
    default:
      in.expectBytes(parameter * 11u);
      break;
  }
}

void run(const uint8_t* file, std::size_t size, const uint8_t* choices, std::size_t steps) {
  std::unique_ptr<SaveStream> in;
  try {
    in = SaveStream::readFromMemory(file, size);
  } catch (const SaveFileError& error) {
    check(knownError(error));
    return;
  }
  CommonStringList pool;
  for (std::size_t i = 0; i < steps; ++i) {
    const uint64_t before = in->remaining();
    try {
      step(*in, pool, choices[i]);
    } catch (const SaveFileError& error) {
      check(knownError(error));
      if (error == kSaveErrorEOF)
        check(in->remaining() == 0);
    }
    check(in->remaining() <= before);
  }
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2)
    return 0;
  const std::size_t steps = std::min<std::size_t>(data[0] % kMaxSteps, size - 2);
  const uint8_t* choices = data + 2;
  const uint8_t* rest = choices + steps;
  const std::size_t restSize = size - 2 - steps;
  std::vector<uint8_t> file;
  if (data[1] < kOwnHeader) {
    const int32_t version = SaveStream::kOldestVersion + data[1] % 29;
    file = {'$', 'q', 'v', 's', static_cast<uint8_t>(version), 0, 0, 0};
  }
  file.insert(file.end(), rest, rest + restSize);
  // Strings are held 4 bytes a character, and tables 8 bytes an entry: no
  // honest reader needs more than a few times the file for one block.
  allocationLimit.store(16 * file.size() + 4096);
  run(file.data(), file.size(), choices, steps);
  allocationLimit.store(0);
  return 0;
}

// Well-formed saves to start from: each step's reader over what the matching
// writer wrote.
extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  CommonStringList pool;
  for (const wchar_t* name : {L"Ore", L"Food", L"Metal", L"\u00C9nergie"})
    pool.intern(name);
  auto out = SaveStream::createInMemory();
  const irr::core::stringw empireName = L"Terrans";
  writeSaveDescription(*out, &empireName, L"5/4/2031 21:07");
  writeCommonStringsSection(*out, pool);
  saveCommonString(*out, L"Metal");
  NamedValueList list;
  list.push_back(PtrNamedVar<float>(pool.intern(L"Ore"), 2.5f));
  list.push_back(PtrNamedVar<float>(pool.intern(L"Food"), -1.0f));
  writeNamedValueList(*out, list);
  const wchar_t wideText[] = {L'S', L'o', L'l', 0xE9, static_cast<wchar_t>(0x1F680), 0x100, 0};
  out->writeString(wideText);
  out->writeNarrowString("corvane");
  out->writePackedUInt(0x00012300);
  out->writeEmpireId(3);
  out->writePackedFloats4({0, 1.5f, 0, -2});
  out->writePackedFloats8({1, 0, 0, 0, 0, 0, 0, 8});
  out->writeMarker();
  out->writeU8(1);
  out->writeI16(-2);
  out->writeU32(3);
  out->writeI64(-4);
  out->writeFloat(5);
  out->writeDouble(6);
  const uint8_t choices[] = {13, 14, 15, 16, 7, 8, 9, 10, 11, 12, 17, 0, 1, 2, 3, 4, 5};

  const std::vector<uint8_t>& bytes = out->memoryBytes();
  // Header given by the driver's byte (version 35), and the file's own.
  for (uint8_t headerByte : {static_cast<uint8_t>(35 - 7), kOwnHeader}) {
    std::vector<uint8_t> input = {static_cast<uint8_t>(sizeof choices), headerByte};
    input.insert(input.end(), choices, choices + sizeof choices);
    input.insert(input.end(), bytes.begin() + (headerByte == kOwnHeader ? 0 : 8), bytes.end());
    seeds->push_back(input);
  }
  // Old saves: no description, empire IDs of 4 bytes.
  seeds->push_back({3, 10 - 7, 13, 10, 10, 5, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF});
  // A huge common strings count.
  seeds->push_back({2, 35 - 7, 14, 15, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0x61});
}
