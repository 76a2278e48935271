// A peer's address on the wire and in text.
//
// How SystemAddress::binaryAddress holds an IPv4 address: in network byte
// order, exactly as in_addr::s_addr and the transport's own address field do.
// Its first byte in memory is the first octet of the dotted text, so
// 127.0.0.1 reads as the number 0x0100007F on a little-endian machine. The
// functions below turn it into octets and back; nothing else should look at
// its numeric value.
//
// Serialised address (the server-list entries of message 212), 48 bits:
//
//   bits   field
//   32     the four octets, first octet first, every bit inverted
//   16     the port, most significant byte first
//
//   127.0.0.1 port 12100        80 FF FF FE 2F 44
//   the unassigned address      00 00 00 00 FF FF   (255.255.255.255 port 65535)
//
// The inversion makes the unassigned address all zero bits on the wire.
#pragma once

#include <array>
#include <cstdint>

#include "platform/bit_stream.h"
#include "platform/peer_types.h"

namespace RakNet {

// Bits of a serialised address.
constexpr BitSize kSystemAddressBits = 48;

// The octets of `binaryAddress`, first octet first.
std::array<uint8_t, 4> ipv4Octets(uint32_t binaryAddress);

// The binaryAddress of the address with these octets, first octet first.
uint32_t ipv4FromOctets(const std::array<uint8_t, 4>& octets);

// Reads dotted IPv4 text ("127.0.0.1") into `binaryAddress`. Strict: four
// decimal fields of 0 to 255, one to three digits each, no leading zeros,
// nothing before, between or after them but the three dots. Returns false
// for anything else (a null pointer too) and leaves `binaryAddress` as it
// was.
bool parseIPv4Address(const char* text, uint32_t& binaryAddress);

// Appends the 48 bits of `address`.
void writeSystemAddress(BitStream& stream, const SystemAddress& address);

// Reads 48 bits into `address`. Fewer than 48 unread bits (or a stream that
// already failed): returns false, reads nothing, leaves `address` untouched
// and fails the stream like any short read of the bit stream.
bool readSystemAddress(BitStream& stream, SystemAddress& address);

}  // namespace RakNet
