// zlib stream writer (RFC 1950 around RFC 1951): LZ77 with hash chains, dynamic Huffman blocks, Adler-32.
#pragma once
#include <cstdint>
#include <vector>

std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& data);
uint32_t adler32(const std::vector<uint8_t>& data);
// Huffman code lengths for the frequencies, none longer than maxBits, forming a complete code.
std::vector<uint8_t> huffmanCodeLengths(std::vector<uint32_t> freq, int maxBits);
