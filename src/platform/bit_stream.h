// Bit streams: every game message on the wire is one.
//
// Bits fill each byte from its most significant end: the first bit written is
// bit 7 of byte 0. Values are written one after another bit by bit, with no
// alignment unless a write asks for it.
//
//   write                        bits      layout
//   Write(bool), Write0/Write1   1         1 for true
//   Write(uint8_t / int8_t)      8
//   Write(uint16_t / int16_t)    16        most significant byte first
//   Write(uint32_t / int32_t)    32        most significant byte first
//   Write(float)                 32        the IEEE bits, most significant byte first
//   Write(double)                64        the IEEE bits, most significant byte first
//   WriteBits(p, k)              k         the bytes of p in order, each from bit 7
//                                          down; the last, partial byte gives its
//                                          k % 8 low bits (right-aligned) or its
//                                          high bits
//   WriteAlignedBytes(p, n)      pad + 8n  zero bits up to the next byte boundary,
//                                          then the n bytes
//   WriteReversedBlock(p, n)     8n        the block's bytes last first
//   WriteCompressed(uint32_t v)  2 + 8m    m - 1 as 2 bits, then the m low bytes
//                                          of v, most significant first; m counts
//                                          the bytes from v's highest non-zero
//                                          byte down (1 for 0): 10, 18, 26 or 34
//   WriteVector(x, y, z)         32 or 80  the length L as a float; when L exceeds
//                                          0.00001, x / L, y / L and z / L, each
//                                          as a 16-bit signed integer
//                                          round(c x 32767), c clamped to [-1, 1]
//                                          (0 for a c that is not a number)
//
// The length and the divisions of WriteVector are computed in double
// precision; the reader gives c = q / 32767 (clamped to [-1, 1]) times the
// length read, and the zero vector for a length of at most 0.00001 (or one
// that is not a number).
//
// Reading: every read checks the bits that remain before it takes any. A read
// that finds too few fails: it returns false, leaves its output untouched,
// moves the read position to the end of the stream and marks the stream
// failed, so that every later read fails too (until Reset or SetReadOffset).
// Nothing is ever read past the last bit used, whatever a packet says.
//
// Writing never fails: the stream grows. A stream that wraps received data
// without copying it (a view) copies the data into a buffer of its own before
// its first write; the received bytes are never changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace RakNet {

// A count or position in bits.
using BitSize = std::size_t;

class BitStream {
 public:
  // An empty stream.
  BitStream();
  // A stream holding `lengthInBytes` bytes of `data`, read position 0. With
  // `copyData` false it is a view: `data` must outlive the stream. Null data
  // gives an empty stream.
  BitStream(const unsigned char* data, std::size_t lengthInBytes, bool copyData);
  BitStream(const BitStream&) = delete;
  BitStream& operator=(const BitStream&) = delete;

  // Empties the stream: nothing used, both positions 0, the failed mark
  // cleared. A view becomes an empty stream of its own.
  void Reset();

  // -- Writing (at the write position, which then moves on) -----------------
  void Write(bool value);
  void Write0();
  void Write1();
  void Write(uint8_t value);
  void Write(int8_t value);
  void Write(uint16_t value);
  void Write(int16_t value);
  void Write(uint32_t value);
  void Write(int32_t value);
  void Write(float value);
  void Write(double value);
  void WriteBits(const unsigned char* input, BitSize numberOfBits, bool rightAlignedBits = true);
  void WriteAlignedBytes(const unsigned char* input, std::size_t numberOfBytes);
  // A plain block (for example a record of floats) with its bytes reversed.
  void WriteReversedBlock(const void* block, std::size_t numberOfBytes);
  void WriteCompressed(uint32_t value);
  void WriteVector(float x, float y, float z);
  // Zero bits up to the next byte boundary.
  void AlignWriteToByteBoundary();

  // -- Reading (at the read position, which then moves on) ------------------
  bool Read(bool& value);
  bool Read(uint8_t& value);
  bool Read(int8_t& value);
  bool Read(uint16_t& value);
  bool Read(int16_t& value);
  bool Read(uint32_t& value);
  bool Read(int32_t& value);
  bool Read(float& value);
  bool Read(double& value);
  // Fills (numberOfBits + 7) / 8 bytes of `output`; the bits of a last,
  // partial byte go to its low end (right-aligned) or its high end, the rest
  // of that byte is 0.
  bool ReadBits(unsigned char* output, BitSize numberOfBits, bool alignBitsToRight = true);
  // Moves to the next byte boundary first.
  bool ReadAlignedBytes(unsigned char* output, std::size_t numberOfBytes);
  bool ReadReversedBlock(void* block, std::size_t numberOfBytes);
  bool ReadCompressed(uint32_t& value);
  bool ReadVector(float& x, float& y, float& z);
  // Skips bits; fails like a read when fewer remain.
  bool IgnoreBits(BitSize numberOfBits);
  // Moves the read position to the next byte boundary (at most to the end).
  void AlignReadToByteBoundary();

  // -- Positions and contents ------------------------------------------------
  // The bits used are those up to the write position.
  BitSize GetNumberOfBitsUsed() const { return writeOffset_; }
  std::size_t GetNumberOfBytesUsed() const { return (writeOffset_ + 7) / 8; }
  BitSize GetNumberOfUnreadBits() const { return readOffset_ < writeOffset_ ? writeOffset_ - readOffset_ : 0; }
  BitSize GetReadOffset() const { return readOffset_; }
  // Moves the read position (at most to the end) and clears the failed mark.
  void SetReadOffset(BitSize offset);
  BitSize GetWriteOffset() const { return writeOffset_; }
  // Moves the write position back (to take an entry back out, or to patch a
  // count into a header) or forward again. No bit changes: bits written
  // before keep their values, bits never written are 0.
  void SetWriteOffset(BitSize offset);
  // The first byte of the stream (null when nothing was ever stored).
  const unsigned char* GetData() const { return data(); }
  // True after a read failed for want of bits.
  bool ReadFailed() const { return failed_; }

 private:
  const unsigned char* data() const { return view_ != nullptr ? view_ : (owned_.empty() ? nullptr : owned_.data()); }
  // Makes room for `bits` bits in a buffer of the stream's own.
  void reserveBits(BitSize bits);
  // Writes the `count` (at most 32) low bits of `value`, highest first.
  void writeLow(uint32_t value, unsigned count);
  // Reads `count` (at most 32) bits that the caller checked are there.
  uint32_t readLow(unsigned count);
  // Reads a `count`-bit integer into `value` (the low bits, two's
  // complement for signed types).
  template <typename T>
  bool readInteger(T& value, unsigned count);
  // True when `count` bits (bytes) remain and the stream has not failed;
  // otherwise fails the stream and returns false.
  bool take(BitSize count);
  bool takeBytes(std::size_t count);
  // Marks the stream failed, moves the read position to the end, gives false.
  bool fail();

  std::vector<unsigned char> owned_;
  const unsigned char* view_ = nullptr;
  std::size_t viewBytes_ = 0;
  BitSize writeOffset_ = 0;
  BitSize readOffset_ = 0;
  bool failed_ = false;
};

}  // namespace RakNet
