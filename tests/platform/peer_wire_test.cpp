#include "platform/peer_wire.h"

#include <enet/enet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/peer_harness.h"

namespace peer_wire_test {

using namespace RakNet::wire;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kGuid = 0x0123456789ABCDEFull;
const std::string kPassword = "qv-marbol-tekkan";

Bytes requestOf(uint32_t nonce, uint64_t guid, const std::string& password) {
  return peerharness::requestBytes(nonce, guid, password);
}

TEST(PeerWireTest, RequestBytesAreExact) {
  Bytes expected = {0xFF, 0xFF, 0x4C, 0x59, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB,
                    0xCD, 0xEF, 0x10, 0x71, 0x76, 0x2D, 0x6D, 0x61, 0x72, 0x62, 0x6F, 0x6C, 0x2D, 0x74, 0x65, 0x6B,
                    0x6B, 0x61, 0x6E};
  expected.resize(48, 0);
  EXPECT_EQ(requestOf(1, kGuid, kPassword), expected);

  Request read;
  ASSERT_TRUE(decodeRequest(expected.data(), expected.size(), read));
  EXPECT_EQ(read.nonce, 1u);
  EXPECT_EQ(read.guid, kGuid);
  EXPECT_EQ(read.password, kPassword);

  // The longest password fills the request to its last byte.
  const std::string longest(kMaxPasswordBytes, 'p');
  const Bytes full = requestOf(0xFFFFFFFF, 7, longest);
  EXPECT_EQ(full[18], 29);
  EXPECT_EQ(full[47], 'p');
  ASSERT_TRUE(decodeRequest(full.data(), full.size(), read));
  EXPECT_EQ(read.password, longest);

  RequestBytes tooLong;
  Request request;
  request.password = std::string(30, 'p');
  EXPECT_FALSE(encodeRequest(request, tooLong));
}

TEST(PeerWireTest, MalformedRequestsAreNotRequests) {
  const Bytes good = requestOf(1, kGuid, kPassword);
  struct Case {
    const char* name;
    Bytes bytes;
  };
  auto with = [&](std::size_t at, uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  Bytes cut = good;
  cut.pop_back();
  Bytes grown = good;
  grown.push_back(0);
  Bytes unassigned = good;
  std::fill(unassigned.begin() + 10, unassigned.begin() + 18, 0xFF);
  const Case cases[] = {
      {"cut to 47 bytes", cut},     {"grown to 49 bytes", grown},  {"magic FF FF 4C 58", with(3, 0x58)},
      {"kind 2", with(4, 2)},       {"protocol 2", with(5, 2)},    {"password length 30", with(18, 30)},
      {"unassigned id", unassigned}, {"empty", Bytes{}},
  };
  for (const Case& c : cases) {
    Request read;
    EXPECT_FALSE(decodeRequest(c.bytes.data(), c.bytes.size(), read)) << c.name;
  }
}

TEST(PeerWireTest, AnswerBytesAreExactAndOnlyWellFormedOnesRead) {
  Answer accepted;
  accepted.result = kAccepted;
  accepted.nonce = 1;
  accepted.cookie = 0xA1B2C3D4;
  const AnswerBytes bytes = encodeAnswer(accepted);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()),
            (Bytes{0xFF, 0xFF, 0x4C, 0x59, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xA1, 0xB2, 0xC3, 0xD4}));
  EXPECT_LT(bytes.size(), kRequestBytes);

  struct Case {
    const char* name;
    Bytes bytes;
    bool reads;
  };
  const Bytes good(bytes.begin(), bytes.end());
  auto with = [&](std::size_t at, uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  Bytes refusedWithCookie = with(5, 24);
  Bytes refused = with(5, 24);
  std::fill(refused.begin() + 12, refused.end(), 0);
  Bytes noCookie = good;
  std::fill(noCookie.begin() + 12, noCookie.end(), 0);
  Bytes cut = good;
  cut.pop_back();
  const Case cases[] = {
      {"accepted", good, true},
      {"refused, password", refused, true},
      {"refused, the cookie is ignored", refusedWithCookie, true},
      {"banned", with(5, 23), true},
      {"full", with(5, 20), true},
      {"already connected", with(5, 18), true},
      {"result 19", with(5, 19), false},
      {"result 21", with(5, 21), false},
      {"accepted without cookie", noCookie, false},
      {"byte 6 set", with(6, 1), false},
      {"kind 1", with(4, 1), false},
      {"magic", with(0, 0xFE), false},
      {"15 bytes", cut, false},
  };
  for (const Case& c : cases) {
    Answer read;
    EXPECT_EQ(decodeAnswer(c.bytes.data(), c.bytes.size(), read), c.reads) << c.name;
    if (c.reads && c.bytes[5] != 0) {
      EXPECT_EQ(read.cookie, 0u) << c.name;
    }
  }
}

TEST(PeerWireTest, HelloAndConfirmBytes) {
  Hello hello;
  hello.guid = kGuid;
  hello.password = kPassword;
  Bytes expected = {0x01, 0x01, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10};
  expected.insert(expected.end(), kPassword.begin(), kPassword.end());
  EXPECT_EQ(encodeHello(hello), expected);

  Hello read;
  ASSERT_TRUE(decodeHello(expected.data(), expected.size(), read));
  EXPECT_EQ(read.guid, kGuid);
  EXPECT_EQ(read.password, kPassword);

  struct Case {
    const char* name;
    Bytes bytes;
  };
  Bytes longer = expected;
  longer.push_back('x');
  Bytes shorter = expected;
  shorter.pop_back();
  Bytes protocol = expected;
  protocol[1] = 2;
  Bytes confirmId = expected;
  confirmId[0] = 2;
  Bytes unassigned = {0x01, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  Bytes tooLong = {0x01, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 30};
  tooLong.resize(41, 'p');
  const Case cases[] = {{"a byte more", longer},   {"a byte less", shorter},        {"protocol 2", protocol},
                        {"id 2", confirmId},       {"unassigned id", unassigned},   {"password of 30", tooLong},
                        {"empty", Bytes{}}};
  for (const Case& c : cases)
    EXPECT_FALSE(decodeHello(c.bytes.data(), c.bytes.size(), read)) << c.name;
  EXPECT_TRUE(encodeHello(Hello{1, std::string(30, 'p')}).empty());

  const auto confirm = encodeConfirm(kGuid);
  EXPECT_EQ(Bytes(confirm.begin(), confirm.end()), (Bytes{0x02, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  uint64_t guid = 0;
  EXPECT_TRUE(decodeConfirm(confirm.data(), confirm.size(), guid));
  EXPECT_EQ(guid, kGuid);
  EXPECT_FALSE(decodeConfirm(confirm.data(), confirm.size() - 1, guid));
  EXPECT_FALSE(decodeConfirm(expected.data(), 9, guid));  // a hello is not a confirm
}

TEST(PeerWireTest, SipHashMatchesTheReferenceVector) {
  // The reference key 00..0F and message 00..0E.
  uint8_t message[15];
  for (int i = 0; i < 15; ++i)
    message[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(sipHash24(0x0706050403020100ull, 0x0F0E0D0C0B0A0908ull, message, sizeof message), 0xA129CA6149BE45E5ull);
  EXPECT_EQ(sipHash24(0x0706050403020100ull, 0x0F0E0D0C0B0A0908ull, message, 0), 0x726FDB47DD0E0E31ull);
}

TEST(PeerWireTest, CookieHoldsForItsWindowAndTheNextOnlyForItsSource) {
  const CookieKeeper keeper(0x1111222233334444ull, 0x5555666677778888ull);
  const RakNet::SystemAddress source = RakNet::SystemAddress::fromOctets(127, 0, 0, 1, 40000);
  const uint64_t issuedAt = 7 * CookieKeeper::kWindowMs + 9999;  // the last moment of a window
  const uint32_t cookie = keeper.issue(source, issuedAt);
  EXPECT_NE(cookie, 0u);

  struct Case {
    const char* name;
    uint32_t cookie;
    RakNet::SystemAddress from;
    uint64_t at;
    bool accepted;
  };
  const Case cases[] = {
      {"at once", cookie, source, issuedAt, true},
      {"10 s later", cookie, source, issuedAt + CookieKeeper::kWindowMs, true},
      {"two windows later", cookie, source, issuedAt + CookieKeeper::kWindowMs + 1, false},
      {"before it was issued", cookie, source, issuedAt - CookieKeeper::kWindowMs, false},
      {"another port", cookie, RakNet::SystemAddress::fromOctets(127, 0, 0, 1, 40001), issuedAt, false},
      {"another address", cookie, RakNet::SystemAddress::fromOctets(127, 0, 0, 2, 40000), issuedAt, false},
      {"plus one", cookie + 1, source, issuedAt, false},
      {"zero", 0, source, issuedAt, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(keeper.accepts(c.cookie, c.from, c.at), c.accepted) << c.name;
  // Another secret, another cookie.
  EXPECT_FALSE(CookieKeeper(1, 2).accepts(cookie, source, issuedAt));
}

TEST(PeerWireTest, TransportDatagramsAreClassifiedWithoutTrustingThem) {
  using peerharness::connectDatagram;
  struct Case {
    const char* name;
    Bytes bytes;
    DatagramKind kind;
    uint32_t channels;
    uint32_t data;
  };
  Bytes withoutTime = connectDatagram(14, 0xC00C1E);
  withoutTime.erase(withoutTime.begin() + 2, withoutTime.begin() + 4);
  withoutTime[0] = 0x0F;
  Bytes compressed = connectDatagram(14, 1);
  compressed[0] |= 0x40;
  Bytes known = connectDatagram(14, 1);
  known[0] = 0x80;
  known[1] = 0x05;  // peer 5
  Bytes knownWithSession = known;
  knownWithSession[0] = 0xB0;  // session bits set, peer 5
  Bytes ping = connectDatagram(14, 1);
  ping[4] = ENET_PROTOCOL_COMMAND_PING | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE;
  Bytes cut = connectDatagram(14, 1);
  cut.pop_back();
  const Case cases[] = {
      {"connect", connectDatagram(14, 0xDEADBEEF), DatagramKind::StrangerConnect, 14, 0xDEADBEEF},
      {"connect with 13 channels", connectDatagram(13, 5), DatagramKind::StrangerConnect, 13, 5},
      {"connect without sent time", withoutTime, DatagramKind::StrangerConnect, 14, 0xC00C1E},
      {"compressed", compressed, DatagramKind::StrangerOther, 0, 0},
      {"to peer 5", known, DatagramKind::Known, 0, 0},
      {"to peer 5 in a session", knownWithSession, DatagramKind::Known, 0, 0},
      {"a ping from a stranger", ping, DatagramKind::StrangerOther, 0, 0},
      {"a connect cut short", cut, DatagramKind::StrangerOther, 0, 0},
      {"one byte", Bytes{0xFF}, DatagramKind::StrangerOther, 0, 0},
      {"empty", Bytes{}, DatagramKind::StrangerOther, 0, 0},
  };
  for (const Case& c : cases) {
    ConnectView view;
    EXPECT_EQ(classifyDatagram(c.bytes.data(), c.bytes.size(), view), c.kind) << c.name;
    if (c.kind == DatagramKind::StrangerConnect) {
      EXPECT_EQ(view.channelCount, c.channels) << c.name;
      EXPECT_EQ(view.data, c.data) << c.name;
    }
  }
  // The layer's own datagrams look compressed to the transport.
  const Bytes request = requestOf(1, kGuid, kPassword);
  ConnectView view;
  EXPECT_EQ(classifyDatagram(request.data(), request.size(), view), DatagramKind::StrangerOther);
}

TEST(PeerWireTest, ReliabilitiesAndChannelsMapOntoTransportChannels) {
  struct Case {
    RakNet::PacketReliability reliability;
    uint8_t channel;
    std::size_t length;
    uint8_t transportChannel;
    uint32_t flags;
  };
  const uint32_t reliable = ENET_PACKET_FLAG_RELIABLE;
  const uint32_t unsequenced = ENET_PACKET_FLAG_UNSEQUENCED;
  const uint32_t fragment = ENET_PACKET_FLAG_UNRELIABLE_FRAGMENT;
  const Case cases[] = {
      {RakNet::RELIABLE, 0, 10, 0, reliable},
      {RakNet::RELIABLE_ORDERED, 4, 10, 0, reliable},
      {RakNet::RELIABLE_SEQUENCED, 100, 5000, 0, reliable},
      {RakNet::UNRELIABLE_SEQUENCED, 0, 10, 1, 0},
      {RakNet::UNRELIABLE_SEQUENCED, 2, 1300, 3, 0},
      {RakNet::UNRELIABLE_SEQUENCED, 2, 1301, 3, fragment},
      {RakNet::UNRELIABLE_SEQUENCED, 11, 1650, 12, fragment},
      {RakNet::UNRELIABLE_SEQUENCED, 100, 10, 13, 0},
      {RakNet::UNRELIABLE, 5, 10, 6, unsequenced},
      {RakNet::UNRELIABLE, 100, 2000, 13, unsequenced | fragment},
  };
  for (const Case& c : cases) {
    const Route route = routeFor(c.reliability, c.channel, c.length);
    EXPECT_EQ(route.channel, c.transportChannel) << int(c.reliability) << " " << int(c.channel);
    EXPECT_EQ(route.flags, c.flags) << int(c.reliability) << " " << int(c.channel);
    EXPECT_LT(route.channel, kTransportChannels);
  }
  for (int channel = 0; channel < 256; ++channel)
    EXPECT_EQ(isOrderingChannel(static_cast<uint8_t>(channel)), channel <= 11 || channel == 100) << channel;
}

TEST(PeerWireTest, CloseDataNamesTheRemotesEvent) {
  EXPECT_EQ(eventForCloseData(0), RakNet::ID_CONNECTION_LOST);
  for (uint32_t data : {1u, 18u, 21u, 24u, 0xFFFFFFFFu})
    EXPECT_EQ(eventForCloseData(data), RakNet::ID_DISCONNECTION_NOTIFICATION) << data;
  for (uint32_t reason = 0; reason < 40; ++reason)
    EXPECT_EQ(isRefusal(reason), reason == 18 || reason == 20 || reason == 23 || reason == 24) << reason;
}

}  // namespace peer_wire_test
