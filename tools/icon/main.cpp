// kinloom-icon: writes the icon group of the native programs as an .ico file of seven PNG images.
//   kinloom-icon OUT.ico           the icon file (16, 24, 32, 48, 64, 128 and 256 pixels)
//   kinloom-icon --png SIZE OUT    one size as a PNG file, for looking at it
//   kinloom-icon --zlib IN OUT     IN compressed as a zlib stream, for checking the compressor
//   kinloom-icon --code-lengths MAXBITS F...   Huffman code lengths for the frequencies F
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "artwork.h"
#include "deflate.h"
#include "png.h"

namespace {

const int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

void putLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back(uint8_t(v >> (8 * i)));
}

// ICONDIR, one ICONDIRENTRY per image (a width or height of 256 is written as 0), then the images.
std::vector<uint8_t> iconFile() {
  std::vector<std::vector<uint8_t>> images;
  for (int size : kSizes) images.push_back(encodePng(drawIcon(size), size, size));
  const size_t count = images.size();
  std::vector<uint8_t> out;
  putLe(out, 0, 2);
  putLe(out, 1, 2);
  putLe(out, uint32_t(count), 2);
  uint32_t offset = uint32_t(6 + 16 * count);
  for (size_t i = 0; i < count; i++) {
    out.push_back(uint8_t(kSizes[i] & 0xff));
    out.push_back(uint8_t(kSizes[i] & 0xff));
    out.push_back(0);  // no palette
    out.push_back(0);
    putLe(out, 1, 2);   // planes
    putLe(out, 32, 2);  // bits per pixel
    putLe(out, uint32_t(images[i].size()), 4);
    putLe(out, offset, 4);
    offset += uint32_t(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

int usage() {
  std::fprintf(stderr, "usage: kinloom-icon OUT.ico | --png SIZE OUT.png | --zlib IN OUT | --code-lengths MAXBITS F...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && argv[1][0] != '-') return writeFile(argv[1], iconFile()) ? 0 : 1;
  if (argc == 4 && !std::strcmp(argv[1], "--png")) {
    const int size = std::atoi(argv[2]);
    if (size < 1 || size > 4096) return usage();
    return writeFile(argv[3], encodePng(drawIcon(size), size, size)) ? 0 : 1;
  }
  if (argc == 4 && !std::strcmp(argv[1], "--zlib")) {
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) return 1;
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return writeFile(argv[3], zlibCompress(data)) ? 0 : 1;
  }
  if (argc >= 3 && !std::strcmp(argv[1], "--code-lengths")) {
    std::vector<uint32_t> freq;
    for (int i = 3; i < argc; i++) freq.push_back(uint32_t(std::strtoul(argv[i], nullptr, 10)));
    const int maxBits = std::atoi(argv[2]);
    if (maxBits < 1 || maxBits > 15 || freq.size() < 2 || freq.size() > (1u << maxBits)) return usage();
    for (uint8_t length : huffmanCodeLengths(freq, maxBits)) std::printf("%d ", length);
    std::printf("\n");
    return 0;
  }
  return usage();
}
