#include "effects.h"

#include <cmath>

std::vector<double> echo(const std::vector<double>& in, int delay, double feedback, double damping) {
  std::vector<double> out(in.size(), 0.0);
  std::vector<double> line(size_t(delay), 0.0);
  double lp = 0;
  size_t at = 0;
  for (size_t i = 0; i < in.size(); i++) {
    double delayed = line[at];
    lp += (1 - damping) * (delayed - lp);
    out[i] = delayed;
    line[at] = in[i] + lp * feedback;
    at = (at + 1) % line.size();
  }
  return out;
}

std::vector<double> reverb(const std::vector<double>& in, int sampleRate, double room, double damping) {
  // Delay lengths of the classic tuning at 44.1 kHz, scaled to the sample rate; mutually prime-ish so the
  // echoes do not pile up on one period.
  static const int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  static const int kAllPasses[4] = {556, 441, 341, 225};
  const double scale = sampleRate / 44100.0;
  const double feedback = 0.7 + 0.28 * room;
  std::vector<double> out(in.size(), 0.0);
  for (int c = 0; c < 8; c++) {
    std::vector<double> line(size_t(std::lround(kCombs[c] * scale)), 0.0);
    double store = 0;
    size_t at = 0;
    for (size_t i = 0; i < in.size(); i++) {
      double y = line[at];
      store = y * (1 - damping) + store * damping;
      line[at] = in[i] * 0.015 + store * feedback;
      out[i] += y;
      at = (at + 1) % line.size();
    }
  }
  for (int a = 0; a < 4; a++) {
    std::vector<double> line(size_t(std::lround(kAllPasses[a] * scale)), 0.0);
    size_t at = 0;
    for (size_t i = 0; i < out.size(); i++) {
      double buffered = line[at];
      double x = out[i];
      line[at] = x + buffered * 0.5;
      out[i] = buffered - x;
      at = (at + 1) % line.size();
    }
  }
  return out;
}

void lowPass(std::vector<double>& signal, int sampleRate, double cutoff) {
  double a = 1 - std::exp(-2 * M_PI * cutoff / sampleRate);
  double y = 0;
  for (double& v : signal) {
    y += a * (v - y);
    v = y;
  }
}
