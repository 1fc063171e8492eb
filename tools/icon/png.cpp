// PNG writer. Each row is filtered with whichever of the five filters gives the smallest sum of
// absolute byte values (the usual heuristic), then all rows go into one IDAT chunk.
#include "png.h"

#include <cstdlib>

#include "deflate.h"

namespace {

int paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// The row filtered with filter type f; prev is the previous raw row (zeros for the first).
std::vector<uint8_t> filterRow(const uint8_t* row, const uint8_t* prev, size_t stride, int f) {
  std::vector<uint8_t> out(stride + 1);
  out[0] = uint8_t(f);
  for (size_t x = 0; x < stride; x++) {
    const int a = x >= 4 ? row[x - 4] : 0, b = prev[x], c = x >= 4 ? prev[x - 4] : 0;
    const int predictor = f == 0 ? 0 : f == 1 ? a : f == 2 ? b : f == 3 ? (a + b) / 2 : paeth(a, b, c);
    out[x + 1] = uint8_t(row[x] - predictor);
  }
  return out;
}

long cost(const std::vector<uint8_t>& filtered) {
  long sum = 0;
  for (size_t i = 1; i < filtered.size(); i++) sum += std::abs(int(int8_t(filtered[i])));
  return sum;
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  putU32(out, uint32_t(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  putU32(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < size; i++) {
    crc ^= data[i];
    for (int k = 0; k < 8; k++) crc = (crc & 1) ? 0xedb88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

std::vector<uint8_t> encodePng(const std::vector<uint8_t>& rgba, int width, int height) {
  const size_t stride = size_t(width) * 4;
  const std::vector<uint8_t> zeros(stride, 0);
  std::vector<uint8_t> raw;
  raw.reserve((stride + 1) * height);
  for (int y = 0; y < height; y++) {
    const uint8_t* row = rgba.data() + y * stride;
    const uint8_t* prev = y ? row - stride : zeros.data();
    std::vector<uint8_t> best = filterRow(row, prev, stride, 0);
    for (int f = 1; f < 5; f++) {
      std::vector<uint8_t> candidate = filterRow(row, prev, stride, f);
      if (cost(candidate) < cost(best)) best.swap(candidate);
    }
    raw.insert(raw.end(), best.begin(), best.end());
  }
  std::vector<uint8_t> header;
  putU32(header, uint32_t(width));
  putU32(header, uint32_t(height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits per channel, RGBA, deflate, adaptive, no interlace
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  putChunk(out, "IHDR", header);
  putChunk(out, "IDAT", zlibCompress(raw));
  putChunk(out, "IEND", {});
  return out;
}
