#include "bits.h"

void BitWriter::put(uint32_t value, int count) {
  if (count == 0) return;
  acc_ = (acc_ << count) | (value & mask(count));
  used_ += count;
  flush();
}

void BitWriter::putUnary(uint32_t zeros) {
  while (zeros >= 24) {
    put(0, 24);
    zeros -= 24;
  }
  put(1, int(zeros) + 1);
}

void BitWriter::align() {
  if (used_) put(0, 8 - used_);
}

void BitWriter::flush() {
  while (used_ >= 8) {
    used_ -= 8;
    out_.push_back(uint8_t(acc_ >> used_));
  }
  acc_ &= (uint64_t(1) << used_) - 1;
}

uint8_t crc8(const uint8_t* data, size_t size) {
  uint8_t crc = 0;
  for (size_t i = 0; i < size; i++) {
    crc ^= data[i];
    for (int b = 0; b < 8; b++) crc = uint8_t(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
  }
  return crc;
}

uint16_t crc16(const uint8_t* data, size_t size) {
  uint16_t crc = 0;
  for (size_t i = 0; i < size; i++) {
    crc ^= uint16_t(data[i] << 8);
    for (int b = 0; b < 8; b++) crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
  }
  return crc;
}
