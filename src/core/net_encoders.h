// Encoders of the values that recur in almost every game message. Writer and
// reader of a value always form a pair, so both ends agree bit for bit.
//
//   value                         layout
//   wide string, maximum M        n = its length in UTF-16 units, at most M
//   (M at most 255)               (a surrogate pair is never cut), as 8 bits;
//                                 when n > 0, n units as aligned bytes, each
//                                 low byte first
//   narrow string                 n = its length, at most 255, as 8 bits; when
//                                 n > 0, the first n bytes as aligned bytes
//   compact unsigned v            v < 32768: a 0 bit, 7 bits of v >> 8, 8 bits
//                                 of v (16 bits); else a 1 bit and v as a
//                                 32-bit integer (33 bits)
//   object reference              its UID as a compact unsigned, 0 for none
//   empire                        its 8-bit ID; no empire as 131
//   float f in [min, max], 8 bits q as 8 bits: 0 when f is at most min or not a
//                                 number, 255 when f is at least max, else
//                                 q = trunc(r x 255) where r is
//                                 (f - min) / (max - min) computed in double
//                                 precision and rounded to a float
//   float, 16 bits                the same with 65535, q as a 16-bit integer
//
// "Aligned bytes": zero bits up to the next byte boundary, then the bytes; the
// length byte itself is not aligned, and an empty string is that byte alone.
// Float readers give min + (max - min) x (q / 255) (or / 65535), computed in
// double precision, as a float.
#pragma once

#include <cstdint>

#include <irrString.h>

namespace RakNet {
class BitStream;
}
class empire;
class generic_object;

// The empire ID that stands for no empire on the wire and in saves.
constexpr uint8_t kInvalidEmpireID = 0x83;
// Longest string the encoders carry (one length byte).
constexpr unsigned kMaxNetStringLength = 255;

// Writes at most `maxLength` (and at most 255) UTF-16 units of `text`.
void writeNetStringW(RakNet::BitStream& stream, const irr::core::stringw& text, unsigned maxLength);
// Appends the string read to `out`. False when the stream is short; the read
// position is then at the end of the stream and every later read fails.
bool readNetStringW(RakNet::BitStream& stream, irr::core::stringw& out);
void writeNetStringC(RakNet::BitStream& stream, const irr::core::stringc& text);
bool readNetStringC(RakNet::BitStream& stream, irr::core::stringc& out);

void writeNetUInt(RakNet::BitStream& stream, uint32_t value);
// The value, or 0 when the stream is short.
uint32_t readNetUInt(RakNet::BitStream& stream);

// The object's UID, or 0 for null. Readers take the UID with readNetUInt.
void writeNetObjectRef(RakNet::BitStream& stream, const generic_object* object);

// The empire's ID, or the reserved ID for null (and while no empire hooks
// are set).
void writeNetEmpire(RakNet::BitStream& stream, const empire* emp);
// The empire of the ID read, or null when the stream is short, for the
// reserved ID, and for an ID that no empire has.
empire* readNetEmpire(RakNet::BitStream& stream);

void writeNetFloat8(RakNet::BitStream& stream, float value, float min, float max);
// The value, or min when the stream is short.
float readNetFloat8(RakNet::BitStream& stream, float min, float max);
void writeNetFloat16(RakNet::BitStream& stream, float value, float min, float max);
float readNetFloat16(RakNet::BitStream& stream, float min, float max);

// Empires and game objects belong to higher subsystems, which register these
// when their lists exist. Without them no ID names an empire, and writing an
// object reference is an error that writes no object.
struct NetEmpireHooks {
  // The listed empire of an ID, or the fixed default empire.
  empire* (*getEmpireByID)(uint8_t id);
  uint8_t (*empireID)(const empire* emp);
};
void setNetEmpireHooks(NetEmpireHooks hooks);

struct NetObjectHooks {
  uint32_t (*objectUID)(const generic_object* object);
};
void setNetObjectHooks(NetObjectHooks hooks);
