// zlib stream writer. Phases: greedy LZ77 over a 32 KiB window (hash chains on three bytes), then the
// symbols are cut into blocks of kBlockSymbols; each block gets its own length-limited Huffman codes
// (literal/length, distance, and the code-length code that transmits them, run-length coded).
#include "deflate.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>

namespace {

constexpr int kWindow = 32768;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kMaxChain = 256;
constexpr size_t kBlockSymbols = 16384;

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A literal (dist 0, litlen the byte) or a match (litlen its length, dist its distance).
struct Symbol {
  uint16_t litlen;
  uint16_t dist;
};

struct BitWriter {
  std::vector<uint8_t>& out;
  uint32_t acc = 0;
  int count = 0;

  void put(uint32_t bits, int n) {
    acc |= bits << count;
    count += n;
    while (count >= 8) {
      out.push_back(uint8_t(acc));
      acc >>= 8;
      count -= 8;
    }
  }
  // Huffman codes go out most significant bit first.
  void putCode(uint32_t code, int n) {
    uint32_t reversed = 0;
    for (int i = 0; i < n; i++) reversed |= ((code >> i) & 1u) << (n - 1 - i);
    put(reversed, n);
  }
  void flush() {
    if (count) out.push_back(uint8_t(acc));
    acc = 0;
    count = 0;
  }
};

int tableIndex(const uint16_t* base, int n, int value) {
  int i = n - 1;
  while (base[i] > value) i--;
  return i;
}

std::vector<Symbol> findMatches(const std::vector<uint8_t>& d) {
  const size_t n = d.size();
  std::vector<Symbol> symbols;
  symbols.reserve(n / 2 + 1);
  std::vector<int> head(1 << 15, -1), prev(kWindow, -1);
  auto hash = [&](size_t i) { return ((d[i] << 10) ^ (d[i + 1] << 5) ^ d[i + 2]) & 0x7fff; };
  auto insert = [&](size_t i) {
    if (i + kMinMatch > n) return;
    int h = hash(i);
    prev[i & (kWindow - 1)] = head[h];
    head[h] = int(i);
  };
  size_t i = 0;
  while (i < n) {
    size_t bestLen = 0, bestDist = 0;
    if (i + kMinMatch <= n) {
      const size_t maxLen = std::min<size_t>(kMaxMatch, n - i);
      int chain = kMaxChain;
      for (int cand = head[hash(i)]; cand >= 0 && i - cand <= size_t(kWindow) && chain-- > 0;
           cand = prev[cand & (kWindow - 1)]) {
        size_t len = 0;
        while (len < maxLen && d[cand + len] == d[i + len]) len++;
        if (len > bestLen) {
          bestLen = len;
          bestDist = i - cand;
          if (len == maxLen) break;
        }
      }
    }
    if (bestLen >= size_t(kMinMatch)) {
      symbols.push_back({uint16_t(bestLen), uint16_t(bestDist)});
      for (size_t k = 0; k < bestLen; k++) insert(i + k);
      i += bestLen;
    } else {
      symbols.push_back({d[i], 0});
      insert(i);
      i++;
    }
  }
  return symbols;
}

}  // namespace

// At least two symbols get a code so that the code is complete; when the tree comes out too deep,
// the frequencies are halved (keeping them above zero) and the tree is built again.
std::vector<uint8_t> huffmanCodeLengths(std::vector<uint32_t> freq, int maxBits) {
  const int n = int(freq.size());
  int used = 0;
  for (uint32_t f : freq) used += f != 0;
  for (int s = 0; used < 2 && s < n; s++)
    if (!freq[s]) {
      freq[s] = 1;
      used++;
    }
  for (;;) {
    using Item = std::pair<uint64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    std::vector<int> parent(n, -1);
    for (int s = 0; s < n; s++)
      if (freq[s]) queue.push({freq[s], s});
    while (queue.size() > 1) {
      Item a = queue.top();
      queue.pop();
      Item b = queue.top();
      queue.pop();
      int id = int(parent.size());
      parent.push_back(-1);
      parent[a.second] = id;
      parent[b.second] = id;
      queue.push({a.first + b.first, id});
    }
    std::vector<uint8_t> lengths(n, 0);
    int deepest = 0;
    for (int s = 0; s < n; s++) {
      if (!freq[s]) continue;
      int depth = 0;
      for (int p = parent[s]; p >= 0; p = parent[p]) depth++;
      lengths[s] = uint8_t(depth);
      deepest = std::max(deepest, depth);
    }
    if (deepest <= maxBits) return lengths;
    for (uint32_t& f : freq)
      if (f) f = (f + 1) / 2;
  }
}

namespace {

std::vector<uint16_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
  int count[16] = {0};
  for (uint8_t l : lengths)
    if (l) count[l]++;
  int next[16] = {0};
  int code = 0;
  for (int bits = 1; bits < 16; bits++) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<uint16_t> codes(lengths.size(), 0);
  for (size_t s = 0; s < lengths.size(); s++)
    if (lengths[s]) codes[s] = uint16_t(next[lengths[s]]++);
  return codes;
}

// Run-length codes of the concatenated code lengths: {symbol 0..18, extra bits value}.
std::vector<std::pair<uint8_t, uint8_t>> runLengths(const std::vector<uint8_t>& all) {
  std::vector<std::pair<uint8_t, uint8_t>> rle;
  size_t i = 0;
  while (i < all.size()) {
    const uint8_t l = all[i];
    size_t run = 1;
    while (i + run < all.size() && all[i + run] == l) run++;
    i += run;
    if (l == 0) {
      while (run >= 11) {
        size_t r = std::min<size_t>(run, 138);
        rle.push_back({18, uint8_t(r - 11)});
        run -= r;
      }
      if (run >= 3) {
        rle.push_back({17, uint8_t(run - 3)});
        run = 0;
      }
    } else {
      rle.push_back({l, 0});
      run--;
      while (run >= 3) {
        size_t r = std::min<size_t>(run, 6);
        rle.push_back({16, uint8_t(r - 3)});
        run -= r;
      }
    }
    for (; run > 0; run--) rle.push_back({l, 0});
  }
  return rle;
}

void writeBlock(BitWriter& bw, const Symbol* symbols, size_t count, bool final) {
  std::vector<uint32_t> litFreq(286, 0), distFreq(30, 0);
  for (size_t k = 0; k < count; k++) {
    const Symbol& s = symbols[k];
    if (!s.dist) {
      litFreq[s.litlen]++;
    } else {
      litFreq[257 + tableIndex(kLengthBase, 29, s.litlen)]++;
      distFreq[tableIndex(kDistBase, 30, s.dist)]++;
    }
  }
  litFreq[256]++;
  const std::vector<uint8_t> litLen = huffmanCodeLengths(litFreq, 15), distLen = huffmanCodeLengths(distFreq, 15);
  const std::vector<uint16_t> litCode = canonicalCodes(litLen), distCode = canonicalCodes(distLen);
  int hlit = 286, hdist = 30;
  while (hlit > 257 && !litLen[hlit - 1]) hlit--;
  while (hdist > 1 && !distLen[hdist - 1]) hdist--;

  std::vector<uint8_t> all(litLen.begin(), litLen.begin() + hlit);
  all.insert(all.end(), distLen.begin(), distLen.begin() + hdist);
  const auto rle = runLengths(all);
  std::vector<uint32_t> clFreq(19, 0);
  for (const auto& r : rle) clFreq[r.first]++;
  const std::vector<uint8_t> clLen = huffmanCodeLengths(clFreq, 7);
  const std::vector<uint16_t> clCode = canonicalCodes(clLen);
  int hclen = 19;
  while (hclen > 4 && !clLen[kCodeLengthOrder[hclen - 1]]) hclen--;

  bw.put(final ? 1 : 0, 1);
  bw.put(2, 2);
  bw.put(hlit - 257, 5);
  bw.put(hdist - 1, 5);
  bw.put(hclen - 4, 4);
  for (int k = 0; k < hclen; k++) bw.put(clLen[kCodeLengthOrder[k]], 3);
  for (const auto& r : rle) {
    bw.putCode(clCode[r.first], clLen[r.first]);
    if (r.first == 16) bw.put(r.second, 2);
    if (r.first == 17) bw.put(r.second, 3);
    if (r.first == 18) bw.put(r.second, 7);
  }
  for (size_t k = 0; k < count; k++) {
    const Symbol& s = symbols[k];
    if (!s.dist) {
      bw.putCode(litCode[s.litlen], litLen[s.litlen]);
      continue;
    }
    const int lc = tableIndex(kLengthBase, 29, s.litlen), dc = tableIndex(kDistBase, 30, s.dist);
    bw.putCode(litCode[257 + lc], litLen[257 + lc]);
    bw.put(s.litlen - kLengthBase[lc], kLengthExtra[lc]);
    bw.putCode(distCode[dc], distLen[dc]);
    bw.put(s.dist - kDistBase[dc], kDistExtra[dc]);
  }
  bw.putCode(litCode[256], litLen[256]);
}

}  // namespace

uint32_t adler32(const std::vector<uint8_t>& data) {
  uint32_t a = 1, b = 0;
  for (uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out = {0x78, 0x01};
  BitWriter bw{out};
  const std::vector<Symbol> symbols = findMatches(data);
  if (symbols.empty()) writeBlock(bw, nullptr, 0, true);
  for (size_t start = 0; start < symbols.size(); start += kBlockSymbols) {
    const size_t count = std::min(kBlockSymbols, symbols.size() - start);
    writeBlock(bw, symbols.data() + start, count, start + count == symbols.size());
  }
  bw.flush();
  const uint32_t sum = adler32(data);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(sum >> shift));
  return out;
}
