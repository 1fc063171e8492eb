// FLAC encoding in three layers: the stream (marker and metadata blocks), frames of 4096 samples with
// their header and CRCs, and per frame the cheapest subframe. A subframe is a predictor plus the Rice-coded
// residual; the candidates are the constant and verbatim forms, the five fixed polynomial predictors and
// linear predictors of several orders from one autocorrelation (Levinson-Durbin), each priced exactly
// before one is written. Residuals are computed with the decoder's integer arithmetic, so the stream
// decodes to the very samples it was given.
#include "flac.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "bits.h"
#include "md5.h"

namespace {

constexpr int kBlock = 4096;
constexpr int kBits = 16;
constexpr int kMaxLpcOrder = 32;
constexpr int kLpcOrders[] = {4, 8, 12, 16, 24, 32};
constexpr int kPrecision = 15;      // bits of each quantised coefficient
constexpr int kMaxPartitionOrder = 8;
constexpr int kMaxRice = 14;        // 15 is the escape code

int sampleRateCode(int rate) {
  switch (rate) {
    case 8000: return 4;
    case 16000: return 5;
    case 22050: return 6;
    case 24000: return 7;
    case 32000: return 8;
    case 44100: return 9;
    case 48000: return 10;
    default: return 0;  // taken from STREAMINFO
  }
}

uint32_t zigzag(int64_t r) { return uint32_t(r >= 0 ? 2 * r : -2 * r - 1); }

// The cheapest Rice coding of a residual: partition order and one parameter per partition.
struct RicePlan {
  int order = 0;
  std::vector<int> params;
  uint64_t bits = std::numeric_limits<uint64_t>::max();
};

// Exact bits of partition [begin, end) with parameter k: unary quotients, stop bits, k low bits each.
uint64_t partitionBits(const std::vector<uint32_t>& u, size_t begin, size_t end, int k) {
  uint64_t bits = uint64_t(end - begin) * uint64_t(k + 1);
  for (size_t i = begin; i < end; i++) bits += u[i] >> k;
  return bits;
}

// `u` holds the zigzagged residual of a block of `blockSize` samples whose first `warmup` are not coded.
RicePlan planRice(const std::vector<uint32_t>& u, int blockSize, int warmup) {
  RicePlan best;
  for (int order = 0; order <= kMaxPartitionOrder; order++) {
    if (blockSize % (1 << order)) break;
    int part = blockSize >> order;
    if (part <= warmup) break;
    RicePlan plan;
    plan.order = order;
    plan.bits = 2 + 4;  // method and partition order
    size_t begin = 0;
    for (int p = 0; p < (1 << order); p++) {
      size_t end = size_t(part) * size_t(p + 1) - size_t(warmup);
      uint64_t sum = 0;
      for (size_t i = begin; i < end; i++) sum += u[i];
      size_t n = end - begin;
      int guess = 0;
      if (n && sum > n) guess = std::min(kMaxRice, int(std::floor(std::log2(double(sum) / double(n)))));
      int bestK = 0;
      uint64_t bestBits = std::numeric_limits<uint64_t>::max();
      for (int k = std::max(0, guess - 1); k <= std::min(kMaxRice, guess + 1); k++) {
        uint64_t b = partitionBits(u, begin, end, k);
        if (b < bestBits) { bestBits = b; bestK = k; }
      }
      plan.params.push_back(bestK);
      plan.bits += 4 + bestBits;
      begin = end;
    }
    if (plan.bits < best.bits) best = plan;
  }
  return best;
}

void writeResidual(BitWriter& w, const std::vector<uint32_t>& u, int blockSize, int warmup, const RicePlan& plan) {
  w.put(0, 2);
  w.put(uint32_t(plan.order), 4);
  int part = blockSize >> plan.order;
  size_t begin = 0;
  for (size_t p = 0; p < plan.params.size(); p++) {
    int k = plan.params[p];
    size_t end = size_t(part) * (p + 1) - size_t(warmup);
    w.put(uint32_t(k), 4);
    for (size_t i = begin; i < end; i++) {
      w.putUnary(u[i] >> k);
      w.put(u[i], k);
    }
    begin = end;
  }
}

// One predictor's residual and its price; kind: 'F' fixed (order 0-4), 'L' linear prediction.
struct Candidate {
  char kind = 'F';
  int order = 0;
  std::vector<int32_t> coefs;  // linear prediction only, quantised
  int shift = 0;
  std::vector<uint32_t> u;
  RicePlan plan;
  uint64_t bits = std::numeric_limits<uint64_t>::max();
};

Candidate fixedCandidate(const int32_t* x, int n, int order) {
  static const int kFixed[5][4] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {2, -1, 0, 0}, {3, -3, 1, 0}, {4, -6, 4, -1}};
  Candidate c;
  c.kind = 'F';
  c.order = order;
  c.u.reserve(size_t(n - order));
  for (int i = order; i < n; i++) {
    int64_t pred = 0;
    for (int j = 0; j < order; j++) pred += int64_t(kFixed[order][j]) * x[i - 1 - j];
    c.u.push_back(zigzag(x[i] - pred));
  }
  c.plan = planRice(c.u, n, order);
  c.bits = 8 + uint64_t(order) * kBits + c.plan.bits;
  return c;
}

// Autocorrelation of the block under a Tukey(0.5) window, lags 0 to maxLag.
std::vector<double> autocorrelation(const int32_t* x, int n, int maxLag) {
  std::vector<double> win(size_t(n), 1.0);
  int taper = n / 4;
  for (int i = 0; i < taper; i++) {
    double v = 0.5 - 0.5 * std::cos(M_PI * i / taper);
    win[size_t(i)] = v;
    win[size_t(n - 1 - i)] = v;
  }
  std::vector<double> y(static_cast<size_t>(n));
  for (int i = 0; i < n; i++) y[size_t(i)] = x[i] * win[size_t(i)];
  std::vector<double> r(size_t(maxLag + 1), 0.0);
  for (int lag = 0; lag <= maxLag; lag++) {
    double s = 0;
    for (int i = lag; i < n; i++) s += y[size_t(i)] * y[size_t(i - lag)];
    r[size_t(lag)] = s;
  }
  return r;
}

// Levinson-Durbin: the predictor coefficients of every order up to maxOrder (lpc[order - 1]).
std::vector<std::vector<double>> levinson(std::vector<double> r, int maxOrder) {
  std::vector<std::vector<double>> out;
  r[0] *= 1.0 + 1e-9;
  std::vector<double> a;
  double err = r[0];
  for (int m = 1; m <= maxOrder; m++) {
    if (err <= 0) break;
    double acc = r[size_t(m)];
    for (int j = 0; j < m - 1; j++) acc -= a[size_t(j)] * r[size_t(m - 1 - j)];
    double k = acc / err;
    std::vector<double> next(static_cast<size_t>(m));
    for (int j = 0; j < m - 1; j++) next[size_t(j)] = a[size_t(j)] - k * a[size_t(m - 2 - j)];
    next[size_t(m - 1)] = k;
    a = next;
    err *= 1 - k * k;
    out.push_back(a);
  }
  return out;
}

Candidate lpcCandidate(const int32_t* x, int n, const std::vector<double>& a) {
  Candidate c;
  c.kind = 'L';
  c.order = int(a.size());
  double cmax = 0;
  for (double v : a) cmax = std::max(cmax, std::fabs(v));
  if (cmax <= 0) return c;
  int exponent;
  std::frexp(cmax, &exponent);
  c.shift = std::clamp(kPrecision - 1 - exponent, 0, 15);
  const int32_t qmax = (1 << (kPrecision - 1)) - 1, qmin = -(1 << (kPrecision - 1));
  double carry = 0;
  for (double v : a) {
    double scaled = v * double(1 << c.shift) + carry;
    int32_t q = std::clamp(int32_t(std::lround(scaled)), qmin, qmax);
    carry = scaled - q;
    c.coefs.push_back(q);
  }
  c.u.reserve(size_t(n - c.order));
  for (int i = c.order; i < n; i++) {
    int64_t sum = 0;
    for (int j = 0; j < c.order; j++) sum += int64_t(c.coefs[size_t(j)]) * x[i - 1 - j];
    int64_t r = x[i] - (sum >> c.shift);
    if (r > INT32_MAX / 2 || r < INT32_MIN / 2) return Candidate{};  // unusable, price stays infinite
    c.u.push_back(zigzag(r));
  }
  c.plan = planRice(c.u, n, c.order);
  c.bits = 8 + uint64_t(c.order) * kBits + 4 + 5 + uint64_t(c.order) * kPrecision + c.plan.bits;
  return c;
}

void writeSubframe(BitWriter& w, const int32_t* x, int n) {
  bool constant = std::all_of(x, x + n, [&](int32_t v) { return v == x[0]; });
  if (constant) {
    w.put(0, 8);
    w.putSigned(x[0], kBits);
    return;
  }
  Candidate best;
  for (int order = 0; order <= 4 && order < n; order++) {
    Candidate c = fixedCandidate(x, n, order);
    if (c.bits < best.bits) best = std::move(c);
  }
  int maxOrder = std::min(kMaxLpcOrder, n / 4);
  if (maxOrder >= 1) {
    auto lpc = levinson(autocorrelation(x, n, maxOrder), maxOrder);
    for (int order : kLpcOrders) {
      if (order > int(lpc.size())) break;
      Candidate c = lpcCandidate(x, n, lpc[size_t(order - 1)]);
      if (c.bits < best.bits) best = std::move(c);
    }
  }
  if (best.bits >= 8 + uint64_t(n) * kBits) {
    w.put(0x02, 8);  // verbatim
    for (int i = 0; i < n; i++) w.putSigned(x[i], kBits);
    return;
  }
  if (best.kind == 'F') {
    w.put(uint32_t(0x08 | best.order) << 1, 8);  // 001xxx: fixed, order xxx
  } else {
    w.put(uint32_t(0x20 | (best.order - 1)) << 1, 8);  // 1xxxxx: linear, order xxxxx + 1
  }
  for (int i = 0; i < best.order; i++) w.putSigned(x[i], kBits);
  if (best.kind == 'L') {
    w.put(kPrecision - 1, 4);
    w.putSigned(best.shift, 5);
    for (int32_t q : best.coefs) w.putSigned(q, kPrecision);
  }
  writeResidual(w, best.u, n, best.order, best.plan);
}

void putUtf8Number(BitWriter& w, uint32_t v) {
  if (v < 0x80) { w.put(v, 8); return; }
  int extra = v < 0x800 ? 1 : v < 0x10000 ? 2 : v < 0x200000 ? 3 : v < 0x4000000 ? 4 : 5;
  uint32_t lead = (0xff00u >> (extra + 1)) & 0xff;  // extra + 1 leading ones
  w.put(lead | (v >> (6 * extra)), 8);
  for (int i = extra - 1; i >= 0; i--) w.put(0x80 | ((v >> (6 * i)) & 0x3f), 8);
}

void writeFrame(std::vector<uint8_t>& out, const int32_t* x, int n, uint32_t number, int rateCode) {
  size_t start = out.size();
  BitWriter w(out);
  w.put(0xfff8, 16);  // sync code, fixed block size
  int sizeCode = n == kBlock ? 12 : n <= 256 ? 6 : 7;
  w.put(uint32_t(sizeCode), 4);
  w.put(uint32_t(rateCode), 4);
  w.put(0, 4);  // one channel
  w.put(4, 3);  // 16 bits per sample
  w.put(0, 1);
  putUtf8Number(w, number);
  if (sizeCode == 6) w.put(uint32_t(n - 1), 8);
  if (sizeCode == 7) w.put(uint32_t(n - 1), 16);
  w.put(crc8(&out[start], out.size() - start), 8);
  writeSubframe(w, x, n);
  w.align();
  w.put(crc16(&out[start], out.size() - start), 16);
}

void putBe(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; i--) out.push_back(uint8_t(v >> (8 * i)));
}

void putLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
}

void putBlockHeader(std::vector<uint8_t>& out, bool last, int type, size_t length) {
  out.push_back(uint8_t((last ? 0x80 : 0) | type));
  putBe(out, length, 3);
}

}  // namespace

std::vector<uint8_t> encodeFlac(const std::vector<int16_t>& samples, const FlacStream& stream) {
  std::vector<uint8_t> frames;
  uint32_t minFrame = UINT32_MAX, maxFrame = 0;
  std::vector<int32_t> x(samples.begin(), samples.end());
  int rateCode = sampleRateCode(stream.sampleRate);
  uint32_t number = 0;
  for (size_t at = 0; at < x.size(); at += kBlock, number++) {
    int n = int(std::min<size_t>(kBlock, x.size() - at));
    size_t before = frames.size();
    writeFrame(frames, &x[at], n, number, rateCode);
    uint32_t size = uint32_t(frames.size() - before);
    minFrame = std::min(minFrame, size);
    maxFrame = std::max(maxFrame, size);
  }

  std::vector<uint8_t> pcm;
  for (int16_t s : samples) {
    pcm.push_back(uint8_t(uint16_t(s) & 0xff));
    pcm.push_back(uint8_t(uint16_t(s) >> 8));
  }
  std::vector<uint8_t> out = {'f', 'L', 'a', 'C'};
  putBlockHeader(out, stream.comments.empty(), 0, 34);
  putBe(out, kBlock, 2);
  putBe(out, kBlock, 2);
  putBe(out, frames.empty() ? 0 : minFrame, 3);
  putBe(out, maxFrame, 3);
  uint64_t packed = uint64_t(stream.sampleRate) << 44 | uint64_t(0) << 41 | uint64_t(kBits - 1) << 36 |
                    (uint64_t(samples.size()) & 0xfffffffffull);
  putBe(out, packed, 8);
  auto digest = md5(pcm.data(), pcm.size());
  out.insert(out.end(), digest.begin(), digest.end());

  if (!stream.comments.empty()) {
    std::vector<uint8_t> body;
    static const std::string vendor = "kinloom-music";
    putLe32(body, uint32_t(vendor.size()));
    body.insert(body.end(), vendor.begin(), vendor.end());
    putLe32(body, uint32_t(stream.comments.size()));
    for (const auto& [key, value] : stream.comments) {
      std::string field = key + "=" + value;
      putLe32(body, uint32_t(field.size()));
      body.insert(body.end(), field.begin(), field.end());
    }
    putBlockHeader(out, true, 4, body.size());
    out.insert(out.end(), body.begin(), body.end());
  }
  out.insert(out.end(), frames.begin(), frames.end());
  return out;
}
