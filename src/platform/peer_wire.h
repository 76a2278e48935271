// The peer's own wire format beside the transport's: the connection request
// and its answer (plain UDP datagrams), the hello and the confirm (the first
// message each way on a new transport connection), the cookie that lets a
// server answer a stranger without keeping any state, and the mapping of
// reliabilities and ordering channels onto transport channels. Pure
// functions over bytes; multi-byte values most significant byte first.
//
// Connection request, exactly 48 bytes, to the listening port:
//   0-3    magic FF FF 4C 59 (to the transport FF FF is a compressed datagram
//          from peer 0xFFF: a host that does not know the layer ignores it)
//   4      kind 1
//   5      layer protocol 1
//   6-9    u32 nonce, new for every attempt
//   10-17  u64 id of the connecting peer
//   18     password length n, 0 to 29
//   19..   the n password bytes, then zero bytes up to byte 47
//
// Answer, exactly 16 bytes (smaller than the request: it cannot amplify):
//   0-3 magic, 4 kind 2, 5 result (0 accepted, else the event the requester
//   is to report: 18, 20, 23 or 24), 6-7 zero, 8-11 the request's nonce,
//   12-15 u32 cookie (0 when refused).
//
// Hello, the client's first message (transport channel 0, reliable):
//   01, protocol 1, u64 id, u8 n, the n password bytes.
// Confirm, the server's answer to an accepted hello: 02, the server's u64 id.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/peer_types.h"

namespace RakNet {
namespace wire {

constexpr uint8_t kMagic[4] = {0xFF, 0xFF, 0x4C, 0x59};
constexpr uint8_t kLayerProtocol = 1;
constexpr uint8_t kRequestKind = 1;
constexpr uint8_t kAnswerKind = 2;
constexpr std::size_t kRequestBytes = 48;
constexpr std::size_t kAnswerBytes = 16;
constexpr std::size_t kMaxPasswordBytes = 29;
// Result byte of an answer that carries a cookie.
constexpr uint8_t kAccepted = 0;

constexpr uint8_t kHelloId = 1;
constexpr uint8_t kConfirmId = 2;
constexpr std::size_t kConfirmBytes = 9;

// Transport channels of every connection: 0 carries the reliable kinds, 1 to
// 12 the unreliable ones of ordering channels 0 to 11, 13 those of 100.
constexpr unsigned kTransportChannels = 14;
// Unreliable messages above this size are sent as unreliable fragments, so
// that a lost fragment loses that message only.
constexpr std::size_t kUnreliableFragmentAbove = 1300;

struct Request {
  uint32_t nonce = 0;
  uint64_t guid = 0;
  std::string password;  // the bytes, 0 to 29 of them
};
using RequestBytes = std::array<uint8_t, kRequestBytes>;

// False (and `out` untouched) when the password is longer than 29 bytes.
bool encodeRequest(const Request& request, RequestBytes& out);
// False for anything but a well-formed request: another size, magic, kind or
// protocol, a password length above 29, the unassigned id.
bool decodeRequest(const uint8_t* data, std::size_t length, Request& out);

struct Answer {
  uint8_t result = kAccepted;
  uint32_t nonce = 0;
  uint32_t cookie = 0;
};
using AnswerBytes = std::array<uint8_t, kAnswerBytes>;

AnswerBytes encodeAnswer(const Answer& answer);
// False for anything but a well-formed answer: another size, magic or kind,
// non-zero bytes 6 and 7, a result that is not 0, 18, 20, 23 or 24, an
// accepting answer without a cookie.
bool decodeAnswer(const uint8_t* data, std::size_t length, Answer& out);

// True when the datagram starts with the layer's magic.
bool hasMagic(const uint8_t* data, std::size_t length);

struct Hello {
  uint64_t guid = 0;
  std::string password;
};

// Empty when the password is longer than 29 bytes.
std::vector<uint8_t> encodeHello(const Hello& hello);
// False unless the message is exactly a hello of protocol 1 with a password
// of at most 29 bytes and an id that is not the unassigned one.
bool decodeHello(const uint8_t* data, std::size_t length, Hello& out);

std::array<uint8_t, kConfirmBytes> encodeConfirm(uint64_t guid);
bool decodeConfirm(const uint8_t* data, std::size_t length, uint64_t& guid);

// The cookie: a keyed hash (SipHash-2-4 under a 128-bit secret drawn when
// the peer starts) of the source address, the source port and a 10-second
// time window, never 0. A cookie is accepted in the window it was issued in
// and the next one, so for at least 10 s after it was issued.
class CookieKeeper {
 public:
  static constexpr uint64_t kWindowMs = 10000;

  CookieKeeper() = default;
  CookieKeeper(uint64_t key0, uint64_t key1) : key0_(key0), key1_(key1) {}

  uint32_t issue(const SystemAddress& source, uint64_t nowMs) const;
  bool accepts(uint32_t cookie, const SystemAddress& source, uint64_t nowMs) const;

 private:
  uint32_t cookieFor(const SystemAddress& source, uint64_t window) const;

  uint64_t key0_ = 0;
  uint64_t key1_ = 0;
};

// SipHash-2-4 of `length` bytes under the key (k0, k1).
uint64_t sipHash24(uint64_t k0, uint64_t k1, const uint8_t* data, std::size_t length);

// What a transport datagram is, as the receive intercept sees it.
enum class DatagramKind {
  Known,          // addressed to a peer id the host gave out: the transport checks it
  StrangerConnect,  // from a stranger (peer id 0xFFF), a CONNECT as its first command
  StrangerOther,  // from a stranger, anything else (too short, compressed, no CONNECT)
};

struct ConnectView {
  uint32_t channelCount = 0;
  uint32_t data = 0;  // the connect data: our cookie
};

// Reads the transport header (and, for a stranger's CONNECT, the channel
// count and the connect data) without trusting any of it.
DatagramKind classifyDatagram(const uint8_t* data, std::size_t length, ConnectView& connect);

// True for the ordering channels the game uses: 0 to 11 and 100.
bool isOrderingChannel(uint8_t channel);

// Where a message goes on the transport: its channel and packet flags.
struct Route {
  uint8_t channel = 0;
  uint32_t flags = 0;
};

// The route of a message of `length` bytes; the ordering channel must be
// one isOrderingChannel accepts.
Route routeFor(PacketReliability reliability, uint8_t orderingChannel, std::size_t length);

// The event a transport disconnect with this data reports to the side that
// did not close: 0 (a time-out, or a close that gave no reason) is 22, any
// other value 21.
uint8_t eventForCloseData(uint32_t data);

// True for the answers a refused request or hello carries: 18, 20, 23, 24.
bool isRefusal(uint32_t reason);

}  // namespace wire
}  // namespace RakNet
