// A most-significant-bit-first bit writer and the two checksums of FLAC frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
  // Appends the low `count` bits of value (count at most 32).
  void put(uint32_t value, int count);
  void putSigned(int32_t value, int count) { put(uint32_t(value) & mask(count), count); }
  void putUnary(uint32_t zeros);  // `zeros` zero bits, then a one
  void align();                   // zero bits up to the next byte boundary
  size_t bitCount() const { return out_.size() * 8 + used_; }

 private:
  static uint32_t mask(int count) { return count >= 32 ? 0xffffffffu : (1u << count) - 1; }
  void flush();
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;  // pending bits, right-aligned
  int used_ = 0;      // how many bits of acc_ are pending (below 8 between calls)
};

uint8_t crc8(const uint8_t* data, size_t size);    // polynomial x^8 + x^2 + x + 1, initial 0
uint16_t crc16(const uint8_t* data, size_t size);  // polynomial x^16 + x^15 + x^2 + 1, initial 0
