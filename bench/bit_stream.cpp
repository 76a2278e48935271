// Writing and reading 10^6 values of each kind that game messages are made
// of: compact integers, strings and quantised floats. Wide strings are
// written in batches of 10,000 (about 680 KB of stream, the size of a large
// burst of messages), each into the same stream afresh. Beside them, the
// floor of a plain loop: the same integers as 4 bytes each, or the same
// strings as a length byte and 16-bit units, appended to a reused
// std::vector with no bit in front.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/net_encoders.h"
#include "platform/bit_stream.h"

namespace {

constexpr int kCount = 1000000;
constexpr int kNameBatch = 10000;

std::vector<uint32_t> compactValues() {
  std::mt19937 rng(12100);
  std::vector<uint32_t> values(kCount);
  for (uint32_t& v : values)  // three in four are small, like most UIDs
    v = rng() % 4 != 0 ? rng() % 32768 : rng();
  return values;
}

std::vector<irr::core::stringw> names() {
  std::vector<irr::core::stringw> list;
  list.reserve(kCount);
  for (int i = 0; i < kCount; ++i)
    list.emplace_back((std::wstring(L"Fleet ") + std::to_wstring(i) + L" of the Eastern Reach").c_str());
  return list;
}

std::vector<float> floats() {
  std::mt19937 rng(12100);
  std::uniform_real_distribution<float> angle(0.0f, 360.0f);
  std::vector<float> values(kCount);
  for (float& v : values)
    v = angle(rng);
  return values;
}

// Times filling a stream with `write` (all 10^6 values per iteration). The
// stream is filled once untimed, so that every timed write finds its buffer
// grown.
template <typename Write>
void timeWrites(benchmark::State& state, Write write) {
  RakNet::BitStream s;
  write(s);
  for (auto _ : state) {
    s.Reset();
    write(s);
    benchmark::DoNotOptimize(s.GetData());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
  state.counters["bytes"] = static_cast<double>(s.GetNumberOfBytesUsed());
}

// Times reading back, with `read`, what `write` put in a stream.
template <typename Write, typename Read>
void timeReads(benchmark::State& state, Write write, Read read) {
  RakNet::BitStream s;
  write(s);
  for (auto _ : state) {
    s.SetReadOffset(0);
    read(s);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}

// A single bit before each value keeps the values off byte boundaries, as in
// the update messages.
void writeNames(RakNet::BitStream& s, const std::vector<irr::core::stringw>& list) {
  for (const irr::core::stringw& name : list) {
    s.Write1();
    writeNetStringW(s, name, 255);
  }
}

void writeAngles(RakNet::BitStream& s, const std::vector<float>& values) {
  for (float v : values) {
    s.Write1();
    writeNetFloat16(s, v - 180.0f, -3999.0f, 3999.0f);
  }
}

void BM_WriteNetUInt(benchmark::State& state) {
  const std::vector<uint32_t> values = compactValues();
  timeWrites(state, [&](RakNet::BitStream& s) {
    for (uint32_t v : values)
      writeNetUInt(s, v);
  });
}

void BM_PlainUIntBytes(benchmark::State& state) {
  const std::vector<uint32_t> values = compactValues();
  std::vector<uint8_t> bytes(values.size() * sizeof(uint32_t));
  for (auto _ : state) {
    uint8_t* out = bytes.data();
    for (uint32_t v : values) {
      std::memcpy(out, &v, sizeof v);
      out += sizeof v;
    }
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_ReadNetUInt(benchmark::State& state) {
  const std::vector<uint32_t> values = compactValues();
  timeReads(
      state,
      [&](RakNet::BitStream& s) {
        for (uint32_t v : values)
          writeNetUInt(s, v);
      },
      [](RakNet::BitStream& s) {
        uint32_t sum = 0;
        for (int i = 0; i < kCount; ++i)
          sum += readNetUInt(s);
        benchmark::DoNotOptimize(sum);
      });
}

// A batch of names per iteration, the batches taken from the list in turn,
// into one stream reset each time; the first batch is written untimed.
void BM_WriteNetStringW(benchmark::State& state) {
  const std::vector<irr::core::stringw> list = names();
  RakNet::BitStream s;
  size_t first = 0;
  auto writeBatch = [&] {
    s.Reset();
    for (size_t i = first; i < first + kNameBatch; ++i) {
      s.Write1();
      writeNetStringW(s, list[i], 255);
    }
    first = (first + kNameBatch) % list.size();
  };
  writeBatch();
  for (auto _ : state) {
    writeBatch();
    benchmark::DoNotOptimize(s.GetData());
  }
  state.SetItemsProcessed(state.iterations() * kNameBatch);
  state.counters["bytes"] = static_cast<double>(s.GetNumberOfBytesUsed());
}

void BM_PlainStringBytes(benchmark::State& state) {
  const std::vector<irr::core::stringw> list = names();
  std::vector<uint8_t> bytes;
  size_t first = 0;
  auto writeBatch = [&] {
    bytes.clear();
    for (size_t i = first; i < first + kNameBatch; ++i) {
      const irr::core::stringw& name = list[i];
      bytes.push_back(static_cast<uint8_t>(name.size()));
      const size_t at = bytes.size();
      bytes.resize(at + 2 * name.size());
      uint8_t* out = bytes.data() + at;
      for (irr::u32 k = 0; k < name.size(); ++k) {
        const auto unit = static_cast<uint16_t>(name[k]);
        out[2 * k] = static_cast<uint8_t>(unit);
        out[2 * k + 1] = static_cast<uint8_t>(unit >> 8);
      }
    }
    first = (first + kNameBatch) % list.size();
  };
  writeBatch();
  for (auto _ : state) {
    writeBatch();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(state.iterations() * kNameBatch);
  state.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_ReadNetStringW(benchmark::State& state) {
  const std::vector<irr::core::stringw> list = names();
  timeReads(
      state, [&](RakNet::BitStream& s) { writeNames(s, list); },
      [](RakNet::BitStream& s) {
        size_t total = 0;
        for (int i = 0; i < kCount; ++i) {
          bool bit;
          irr::core::stringw name;
          s.Read(bit);
          readNetStringW(s, name);
          total += name.size();
        }
        benchmark::DoNotOptimize(total);
      });
}

void BM_WriteNetFloat16(benchmark::State& state) {
  const std::vector<float> values = floats();
  timeWrites(state, [&](RakNet::BitStream& s) { writeAngles(s, values); });
}

void BM_ReadNetFloat16(benchmark::State& state) {
  const std::vector<float> values = floats();
  timeReads(
      state, [&](RakNet::BitStream& s) { writeAngles(s, values); },
      [](RakNet::BitStream& s) {
        float sum = 0.0f;
        for (int i = 0; i < kCount; ++i) {
          bool bit;
          s.Read(bit);
          sum += readNetFloat16(s, -3999.0f, 3999.0f);
        }
        benchmark::DoNotOptimize(sum);
      });
}

void BM_WriteNetFloat8(benchmark::State& state) {
  const std::vector<float> values = floats();
  timeWrites(state, [&](RakNet::BitStream& s) {
    for (float v : values)
      writeNetFloat8(s, v, 0.0f, 360.0f);
  });
}

}  // namespace

BENCHMARK(BM_WriteNetUInt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainUIntBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNetUInt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteNetStringW)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainStringBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadNetStringW)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteNetFloat16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadNetFloat16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteNetFloat8)->Unit(benchmark::kMillisecond);
