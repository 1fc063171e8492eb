// PNG writer for 8-bit RGBA images: adaptive row filters, our own zlib stream, CRC-32 per chunk.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
// rgba holds width * height * 4 bytes, rows top to bottom, not premultiplied.
std::vector<uint8_t> encodePng(const std::vector<uint8_t>& rgba, int width, int height);
