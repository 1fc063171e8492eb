// Icon artwork. Every sample point is painted back to front: rounded-square background with a teal
// glow, the far half of the ring, the shaded sphere, the near half of the ring. Coordinates are
// normalised to the unit square (x right, y down); samples are averaged with premultiplied alpha.
#include "artwork.h"

#include <algorithm>
#include <cmath>

namespace {

struct Rgb {
  double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb add(Rgb a, Rgb b, double k) { return {a.r + b.r * k, a.g + b.g * k, a.b + b.b * k}; }

const Rgb kNavyTop = {0.075, 0.130, 0.275};
const Rgb kNavyBottom = {0.035, 0.065, 0.160};
const Rgb kEdge = {0.200, 0.300, 0.500};
const Rgb kGlow = {0.080, 0.780, 0.740};
const Rgb kTealDark = {0.010, 0.250, 0.300};
const Rgb kTealLight = {0.300, 0.960, 0.880};
const Rgb kRing = {0.620, 1.000, 0.960};

constexpr double kCorner = 0.22;    // corner radius of the square
constexpr double kSphere = 0.235;   // sphere radius
constexpr double kRingA = 0.415;    // ring semi-axes before tilting
constexpr double kRingB = 0.125;
constexpr double kTilt = -0.38;     // ring inclination in radians (rises to the right)

// Signed distance to the rounded square filling the unit square (negative inside).
double squareDistance(double x, double y) {
  const double qx = std::fabs(x - 0.5) - (0.5 - kCorner), qy = std::fabs(y - 0.5) - (0.5 - kCorner);
  const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - kCorner;
}

struct RingHit {
  double distance;  // approximate distance to the ring's centre line
  bool nearHalf;    // the half that passes in front of the sphere
};

RingHit ring(double x, double y) {
  const double dx = x - 0.5, dy = y - 0.5, c = std::cos(-kTilt), s = std::sin(-kTilt);
  const double u = dx * c - dy * s, v = dx * s + dy * c;
  const double g = u * u / (kRingA * kRingA) + v * v / (kRingB * kRingB) - 1;
  const double gu = 2 * u / (kRingA * kRingA), gv = 2 * v / (kRingB * kRingB);
  const double grad = std::sqrt(gu * gu + gv * gv) + 1e-9;
  return {std::fabs(g) / grad, v > 0};
}

Rgb sphereColour(double x, double y) {
  const double nx = (x - 0.5) / kSphere, ny = (y - 0.5) / kSphere;
  const double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
  const double lx = -0.48, ly = -0.58, lz = 0.66;  // light from the upper left, towards the viewer
  const double diffuse = std::max(0.0, nx * lx + ny * ly + nz * lz);
  const double hx = lx, hy = ly, hz = lz + 1, hn = std::sqrt(hx * hx + hy * hy + hz * hz);
  const double specular = std::pow(std::max(0.0, (nx * hx + ny * hy + nz * hz) / hn), 36);
  Rgb c = mix(kTealDark, kTealLight, 0.18 + 0.82 * diffuse);
  c = add(c, kGlow, 0.45 * std::pow(1 - nz, 3));  // rim light
  return add(c, {1, 1, 1}, 0.85 * specular);
}

// Colour at one sample inside the square; pixel is the size of one pixel in unit coordinates.
Rgb paint(double x, double y, double pixel) {
  const double edge = squareDistance(x, y);
  Rgb c = mix(kNavyTop, kNavyBottom, y);
  if (edge > -0.012) c = mix(c, kEdge, 0.55);  // a thin lighter rim
  const double dx = x - 0.5, dy = y - 0.5, r = std::sqrt(dx * dx + dy * dy);
  c = add(c, kGlow, 0.55 * std::exp(-std::pow((r - kSphere * 0.6) / 0.2, 2)));
  const RingHit h = ring(x, y);
  const double halfWidth = std::max(0.021, 0.75 * pixel);
  const double halo = 0.35 * std::exp(-std::pow(h.distance / 0.045, 2));
  const bool onRing = h.distance <= halfWidth;
  if (!h.nearHalf) {
    c = add(c, kGlow, halo);
    if (onRing) c = mix(kRing, kTealDark, 0.35);  // the far half is a little dimmer
  }
  if (r <= kSphere) c = sphereColour(x, y);
  if (h.nearHalf) {
    c = add(c, kGlow, halo);
    if (onRing) c = kRing;
  }
  return c;
}

uint8_t channel(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }

}  // namespace

std::vector<uint8_t> drawIcon(int size) {
  const int n = 6;  // n * n samples per pixel
  const double pixel = 1.0 / size;
  std::vector<uint8_t> out(size_t(size) * size * 4, 0);
  for (int py = 0; py < size; py++)
    for (int px = 0; px < size; px++) {
      double r = 0, g = 0, b = 0, covered = 0;
      for (int sy = 0; sy < n; sy++)
        for (int sx = 0; sx < n; sx++) {
          const double x = (px + (sx + 0.5) / n) * pixel, y = (py + (sy + 0.5) / n) * pixel;
          if (squareDistance(x, y) > 0) continue;
          const Rgb c = paint(x, y, pixel);
          r += c.r;
          g += c.g;
          b += c.b;
          covered++;
        }
      uint8_t* o = &out[(size_t(py) * size + px) * 4];
      if (!covered) continue;
      o[0] = channel(r / covered);
      o[1] = channel(g / covered);
      o[2] = channel(b / covered);
      o[3] = channel(covered / (n * n));
    }
  return out;
}
