#include "platform/peer_wire.h"

#include <enet/enet.h>

#include <cstddef>
#include <cstring>

namespace RakNet {
namespace wire {

namespace {

void putU32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

void putU64(uint8_t* out, uint64_t value) {
  putU32(out, static_cast<uint32_t>(value >> 32));
  putU32(out + 4, static_cast<uint32_t>(value));
}

uint16_t getU16(const uint8_t* in) { return static_cast<uint16_t>(in[0] << 8 | in[1]); }

uint32_t getU32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
         static_cast<uint32_t>(in[2]) << 8 | in[3];
}

uint64_t getU64(const uint8_t* in) { return static_cast<uint64_t>(getU32(in)) << 32 | getU32(in + 4); }

uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

void sipRound(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
  v0 += v1;
  v1 = rotl(v1, 13);
  v1 ^= v0;
  v0 = rotl(v0, 32);
  v2 += v3;
  v3 = rotl(v3, 16);
  v3 ^= v2;
  v0 += v3;
  v3 = rotl(v3, 21);
  v3 ^= v0;
  v2 += v1;
  v1 = rotl(v1, 17);
  v1 ^= v2;
  v2 = rotl(v2, 32);
}

uint64_t loadLittle64(const uint8_t* in) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i)
    value = value << 8 | in[i];
  return value;
}

// Offsets in a transport CONNECT command (ENetProtocolConnect, packed).
constexpr std::size_t kConnectCommandBytes = sizeof(ENetProtocolConnect);
constexpr std::size_t kConnectChannelCountAt = offsetof(ENetProtocolConnect, channelCount);
constexpr std::size_t kConnectDataAt = offsetof(ENetProtocolConnect, data);
static_assert(kConnectCommandBytes == 48 && kConnectChannelCountAt == 16 && kConnectDataAt == 44,
              "the transport's CONNECT layout is fixed by its protocol");

}  // namespace

bool hasMagic(const uint8_t* data, std::size_t length) {
  return data != nullptr && length >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0;
}

bool encodeRequest(const Request& request, RequestBytes& out) {
  if (request.password.size() > kMaxPasswordBytes)
    return false;
  out.fill(0);
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  out[4] = kRequestKind;
  out[5] = kLayerProtocol;
  putU32(&out[6], request.nonce);
  putU64(&out[10], request.guid);
  out[18] = static_cast<uint8_t>(request.password.size());
  std::memcpy(&out[19], request.password.data(), request.password.size());
  return true;
}

bool decodeRequest(const uint8_t* data, std::size_t length, Request& out) {
  if (length != kRequestBytes || !hasMagic(data, length) || data[4] != kRequestKind ||
      data[5] != kLayerProtocol || data[18] > kMaxPasswordBytes)
    return false;
  const uint64_t guid = getU64(&data[10]);
  if (guid == UNASSIGNED_GUID.g)
    return false;
  out.nonce = getU32(&data[6]);
  out.guid = guid;
  out.password.assign(reinterpret_cast<const char*>(&data[19]), data[18]);
  return true;
}

AnswerBytes encodeAnswer(const Answer& answer) {
  AnswerBytes out{};
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  out[4] = kAnswerKind;
  out[5] = answer.result;
  putU32(&out[8], answer.nonce);
  putU32(&out[12], answer.cookie);
  return out;
}

bool decodeAnswer(const uint8_t* data, std::size_t length, Answer& out) {
  if (length != kAnswerBytes || !hasMagic(data, length) || data[4] != kAnswerKind || data[6] != 0 ||
      data[7] != 0)
    return false;
  const uint8_t result = data[5];
  const uint32_t cookie = getU32(&data[12]);
  if (result == kAccepted ? cookie == 0 : !isRefusal(result))
    return false;
  out.result = result;
  out.nonce = getU32(&data[8]);
  out.cookie = result == kAccepted ? cookie : 0;
  return true;
}

std::vector<uint8_t> encodeHello(const Hello& hello) {
  if (hello.password.size() > kMaxPasswordBytes)
    return {};
  std::vector<uint8_t> out(11 + hello.password.size());
  out[0] = kHelloId;
  out[1] = kLayerProtocol;
  putU64(&out[2], hello.guid);
  out[10] = static_cast<uint8_t>(hello.password.size());
  std::memcpy(&out[11], hello.password.data(), hello.password.size());
  return out;
}

bool decodeHello(const uint8_t* data, std::size_t length, Hello& out) {
  if (data == nullptr || length < 11 || data[0] != kHelloId || data[1] != kLayerProtocol ||
      data[10] > kMaxPasswordBytes || length != 11u + data[10])
    return false;
  const uint64_t guid = getU64(&data[2]);
  if (guid == UNASSIGNED_GUID.g)
    return false;
  out.guid = guid;
  out.password.assign(reinterpret_cast<const char*>(&data[11]), data[10]);
  return true;
}

std::array<uint8_t, kConfirmBytes> encodeConfirm(uint64_t guid) {
  std::array<uint8_t, kConfirmBytes> out{};
  out[0] = kConfirmId;
  putU64(&out[1], guid);
  return out;
}

bool decodeConfirm(const uint8_t* data, std::size_t length, uint64_t& guid) {
  if (data == nullptr || length != kConfirmBytes || data[0] != kConfirmId)
    return false;
  const uint64_t read = getU64(&data[1]);
  if (read == UNASSIGNED_GUID.g)
    return false;
  guid = read;
  return true;
}

uint64_t sipHash24(uint64_t k0, uint64_t k1, const uint8_t* data, std::size_t length) {
  uint64_t v0 = 0x736f6d6570736575ULL ^ k0;
  uint64_t v1 = 0x646f72616e646f6dULL ^ k1;
  uint64_t v2 = 0x6c7967656e657261ULL ^ k0;
  uint64_t v3 = 0x7465646279746573ULL ^ k1;
  const std::size_t whole = length - length % 8;
  for (std::size_t at = 0; at < whole; at += 8) {
    const uint64_t m = loadLittle64(data + at);
    v3 ^= m;
    sipRound(v0, v1, v2, v3);
    sipRound(v0, v1, v2, v3);
    v0 ^= m;
  }
  uint64_t last = static_cast<uint64_t>(length & 0xFF) << 56;
  for (std::size_t i = 0; i < length % 8; ++i)
    last |= static_cast<uint64_t>(data[whole + i]) << (8 * i);
  v3 ^= last;
  sipRound(v0, v1, v2, v3);
  sipRound(v0, v1, v2, v3);
  v0 ^= last;
  v2 ^= 0xFF;
  for (int i = 0; i < 4; ++i)
    sipRound(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

uint32_t CookieKeeper::cookieFor(const SystemAddress& source, uint64_t window) const {
  uint8_t message[14];
  source.octets(message);
  message[4] = static_cast<uint8_t>(source.port >> 8);
  message[5] = static_cast<uint8_t>(source.port);
  putU64(&message[6], window);
  const uint64_t hash = sipHash24(key0_, key1_, message, sizeof message);
  const uint32_t cookie = static_cast<uint32_t>(hash ^ (hash >> 32));
  return cookie != 0 ? cookie : 1;
}

uint32_t CookieKeeper::issue(const SystemAddress& source, uint64_t nowMs) const {
  return cookieFor(source, nowMs / kWindowMs);
}

bool CookieKeeper::accepts(uint32_t cookie, const SystemAddress& source, uint64_t nowMs) const {
  if (cookie == 0)
    return false;
  const uint64_t window = nowMs / kWindowMs;
  return cookie == cookieFor(source, window) || (window > 0 && cookie == cookieFor(source, window - 1));
}

DatagramKind classifyDatagram(const uint8_t* data, std::size_t length, ConnectView& connect) {
  if (data == nullptr || length < 2)
    return DatagramKind::StrangerOther;
  const uint16_t field = getU16(data);
  const uint16_t flags = field & ENET_PROTOCOL_HEADER_FLAG_MASK;
  const uint16_t peerId = field & ~(ENET_PROTOCOL_HEADER_FLAG_MASK | ENET_PROTOCOL_HEADER_SESSION_MASK);
  if (peerId != ENET_PROTOCOL_MAXIMUM_PEER_ID)
    return DatagramKind::Known;
  if ((flags & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) != 0)
    return DatagramKind::StrangerOther;
  const std::size_t header = (flags & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) != 0 ? 4 : 2;
  if (length < header + kConnectCommandBytes)
    return DatagramKind::StrangerOther;
  const uint8_t* command = data + header;
  if ((command[0] & ENET_PROTOCOL_COMMAND_MASK) != ENET_PROTOCOL_COMMAND_CONNECT)
    return DatagramKind::StrangerOther;
  connect.channelCount = getU32(command + kConnectChannelCountAt);
  connect.data = getU32(command + kConnectDataAt);
  return DatagramKind::StrangerConnect;
}

bool isOrderingChannel(uint8_t channel) { return channel <= 11 || channel == 100; }

Route routeFor(PacketReliability reliability, uint8_t orderingChannel, std::size_t length) {
  Route route;
  switch (reliability) {
    case RELIABLE:
    case RELIABLE_ORDERED:
    case RELIABLE_SEQUENCED:
      route.channel = 0;
      route.flags = ENET_PACKET_FLAG_RELIABLE;
      return route;
    case UNRELIABLE:
      route.flags = ENET_PACKET_FLAG_UNSEQUENCED;
      break;
    case UNRELIABLE_SEQUENCED:
      break;
  }
  route.channel = static_cast<uint8_t>(1 + (orderingChannel == 100 ? 12 : orderingChannel));
  if (length > kUnreliableFragmentAbove)
    route.flags |= ENET_PACKET_FLAG_UNRELIABLE_FRAGMENT;
  return route;
}

uint8_t eventForCloseData(uint32_t data) {
  return data == 0 ? ID_CONNECTION_LOST : ID_DISCONNECTION_NOTIFICATION;
}

bool isRefusal(uint32_t reason) {
  return reason == ID_ALREADY_CONNECTED || reason == ID_NO_FREE_INCOMING_CONNECTIONS ||
         reason == ID_CONNECTION_BANNED || reason == ID_INVALID_PASSWORD;
}

}  // namespace wire
}  // namespace RakNet
