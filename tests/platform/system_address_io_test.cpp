#include "platform/system_address_io.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "support/bit_text.h"

namespace system_address_io_test {

using RakNet::BitStream;
using RakNet::SystemAddress;

namespace {

SystemAddress addressOf(std::array<uint8_t, 4> octets, uint16_t port) {
  return SystemAddress{RakNet::ipv4FromOctets(octets), port};
}

std::vector<uint8_t> bytesOf(const BitStream& stream) {
  return std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed());
}

struct WireCase {
  const char* name;
  SystemAddress address;
  std::vector<uint8_t> bytes;
};

TEST(SystemAddressIoTest, WritesTheseBytesAndReadsThemBack) {
  const WireCase cases[] = {
      {"loopback, game port", addressOf({127, 0, 0, 1}, 12100), {0x80, 0xFF, 0xFF, 0xFE, 0x2F, 0x44}},
      {"unassigned", RakNet::UNASSIGNED_SYSTEM_ADDRESS, {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF}},
      {"octets in order", addressOf({10, 1, 2, 3}, 1), {0xF5, 0xFE, 0xFD, 0xFC, 0x00, 0x01}},
      {"all zero", addressOf({0, 0, 0, 0}, 0), {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
  };
  for (const WireCase& c : cases) {
    SCOPED_TRACE(c.name);
    BitStream out;
    RakNet::writeSystemAddress(out, c.address);
    EXPECT_EQ(out.GetNumberOfBitsUsed(), RakNet::kSystemAddressBits);
    EXPECT_EQ(bytesOf(out), c.bytes);

    BitStream in(c.bytes.data(), c.bytes.size(), false);
    SystemAddress read = addressOf({1, 2, 3, 4}, 5);
    ASSERT_TRUE(RakNet::readSystemAddress(in, read));
    EXPECT_EQ(read, c.address);
    EXPECT_EQ(in.GetNumberOfUnreadBits(), 0u);
    EXPECT_FALSE(in.ReadFailed());
  }
}

// Server-list entries follow a one-bit field, so addresses sit off the byte
// boundary there; two in a row must read back as written.
TEST(SystemAddressIoTest, EntriesOffTheByteBoundaryReadBack) {
  const SystemAddress first = addressOf({192, 168, 7, 20}, 25003);
  const SystemAddress second = addressOf({127, 0, 0, 1}, 12100);
  BitStream out;
  out.Write1();
  RakNet::writeSystemAddress(out, first);
  out.Write0();
  RakNet::writeSystemAddress(out, second);
  EXPECT_EQ(bitText(out).substr(0, 9), bits("1 00111111"));  // ~192 right after the flag

  BitStream in(out.GetData(), out.GetNumberOfBytesUsed(), false);
  bool flag = false;
  SystemAddress a, b;
  ASSERT_TRUE(in.Read(flag) && flag);
  ASSERT_TRUE(RakNet::readSystemAddress(in, a));
  ASSERT_TRUE(in.Read(flag) && !flag);
  ASSERT_TRUE(RakNet::readSystemAddress(in, b));
  EXPECT_EQ(a, first);
  EXPECT_EQ(b, second);
}

// A stream cut short anywhere inside an address: the read fails, takes
// nothing, leaves the address as it was, and every later read fails too.
TEST(SystemAddressIoTest, ShortStreamFailsAndReadsNothing) {
  BitStream full;
  RakNet::writeSystemAddress(full, addressOf({127, 0, 0, 1}, 12100));
  const SystemAddress before = addressOf({9, 8, 7, 6}, 321);
  for (std::size_t bytes = 0; bytes <= 5; ++bytes) {
    SCOPED_TRACE(bytes);
    BitStream in(full.GetData(), bytes, false);
    SystemAddress read = before;
    EXPECT_FALSE(RakNet::readSystemAddress(in, read));
    EXPECT_EQ(read, before);
    EXPECT_TRUE(in.ReadFailed());
    uint8_t next = 0;
    EXPECT_FALSE(in.Read(next));
  }

  // After a flag bit, 47 bits of an address: six whole bytes, one bit short.
  BitStream cut;
  cut.Write1();
  cut.WriteBits(full.GetData(), RakNet::kSystemAddressBits - 1, false);
  BitStream in(cut.GetData(), cut.GetNumberOfBytesUsed(), false);
  bool flag = false;
  ASSERT_TRUE(in.Read(flag));
  SystemAddress read = before;
  EXPECT_FALSE(RakNet::readSystemAddress(in, read));
  EXPECT_EQ(read, before);
  EXPECT_TRUE(in.ReadFailed());
}

TEST(SystemAddressIoTest, Ipv4TextIsReadStrictly) {
  struct Case {
    const char* text;
    bool valid;
    std::array<uint8_t, 4> octets;
  };
  const Case cases[] = {
      {"127.0.0.1", true, {127, 0, 0, 1}},
      {"0.0.0.0", true, {0, 0, 0, 0}},
      {"255.255.255.255", true, {255, 255, 255, 255}},
      {"10.20.30.254", true, {10, 20, 30, 254}},
      {"", false, {}},
      {"127.0.0", false, {}},
      {"127.0.0.1.", false, {}},
      {"1.2.3.4.5", false, {}},
      {"127.0.0.1:12100", false, {}},
      {" 127.0.0.1", false, {}},
      {"127.0.0.1 ", false, {}},
      {"127..0.1", false, {}},
      {".127.0.0", false, {}},
      {"256.0.0.1", false, {}},
      {"1.2.3.1000", false, {}},
      {"01.2.3.4", false, {}},
      {"1.2.3.00", false, {}},
      {"-1.2.3.4", false, {}},
      {"+1.2.3.4", false, {}},
      {"0x7f.0.0.1", false, {}},
      {"localhost", false, {}},
      {"127.0.0.1\n", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t address = 0xDEADBEEFu;
    EXPECT_EQ(RakNet::parseIPv4Address(c.text, address), c.valid);
    if (c.valid) {
      EXPECT_EQ(RakNet::ipv4Octets(address), c.octets);
      // The same number the system's own reader stores in an in_addr.
      in_addr system{};
      ASSERT_EQ(inet_pton(AF_INET, c.text, &system), 1);
      EXPECT_EQ(address, system.s_addr);
    } else {
      EXPECT_EQ(address, 0xDEADBEEFu);
    }
  }
  uint32_t address = 7;
  EXPECT_FALSE(RakNet::parseIPv4Address(nullptr, address));
  EXPECT_EQ(address, 7u);
}

}  // namespace

}  // namespace system_address_io_test
