// The composition and its rendering. Four chords in D major, twelve seconds each, form one 48-second
// period: a pad of slowly swelling detuned partials, a soft bass under it, and a sparse bell melody on the
// D major pentatonic scale that a seeded generator writes out the same way at every build, with a dotted
// echo and a reverberant room around all of it.
//
// Seamless looping: every event belongs to a period and repeats identically in the next one. The mix is
// rendered over two periods, with the events of three periods placed on that timeline (a pad chord starts
// to swell before its period begins), and the second period is cut out. Everything sounding in it, the
// tails of the period before included, is then exactly what sounds there in an endless repetition, so the
// end of the cut joins its beginning without a click. The effects are time-invariant and their tails
// fade far below one sample step within a period, so they agree too.
#include "piece.h"

#include <algorithm>
#include <cmath>

#include "effects.h"

namespace {

constexpr double kBeat = 0.75;               // 80 beats a minute
constexpr int kBeatsPerChord = 16;
constexpr double kChordSeconds = kBeat * kBeatsPerChord;
constexpr int kChords = 4;
constexpr double kPeriod = kChordSeconds * kChords;

struct Chord {
  int bass;
  int pad[5];  // MIDI note numbers
};

// Dmaj9, Bm9, Gmaj9 and A with suspended fourth and ninth, voiced to move by small steps.
const Chord kProgression[kChords] = {
    {38, {50, 57, 61, 64, 66}},
    {35, {47, 54, 57, 61, 62}},
    {43, {43, 50, 54, 57, 59}},
    {33, {45, 52, 55, 59, 62}},
};

// D major pentatonic from D4 to D6.
const int kScale[] = {62, 64, 66, 69, 71, 74, 76, 78, 81, 83, 86};
constexpr int kScaleSize = int(sizeof kScale / sizeof kScale[0]);

double frequency(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// Deterministic generator (xorshift64*), so every build writes the same piece.
struct Random {
  uint64_t state;
  double next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return double((state * 0x2545F4914F6CDD1Dull) >> 11) / 9007199254740992.0;
  }
};

// A sine oscillator stepped by rotation, far cheaper than calling sin per sample.
struct Oscillator {
  double c, s, stepC, stepS;
  Oscillator(double hz, double phase) : c(std::cos(phase)), s(std::sin(phase)) {
    double d = 2 * M_PI * hz / kSampleRate;
    stepC = std::cos(d);
    stepS = std::sin(d);
  }
  double next() {
    double out = s;
    double nc = c * stepC - s * stepS;
    s = s * stepC + c * stepS;
    c = nc;
    return out;
  }
  void renormalise() {
    double r = 1 / std::sqrt(c * c + s * s);
    c *= r;
    s *= r;
  }
};

// Raised-cosine swell over `rise` seconds, hold, and fall over `fall` seconds, for a note `length` long.
double swell(double t, double length, double rise, double fall) {
  if (t < 0 || t > length) return 0;
  double up = t < rise ? 0.5 - 0.5 * std::cos(M_PI * t / rise) : 1;
  double left = length - t;
  double down = left < fall ? 0.5 - 0.5 * std::cos(M_PI * left / fall) : 1;
  return up * down;
}

struct Buffer {
  std::vector<double> samples;
  // Adds a voice that starts at `start` seconds; `voice(i, t)` gives sample i of it at its time t and is
  // called for `seconds`. Parts before 0 or past the end are skipped.
  template <typename Voice>
  void add(double start, double seconds, Voice&& voice) {
    long first = std::lround(start * kSampleRate);
    long count = std::lround(seconds * kSampleRate);
    for (long i = 0; i < count; i++) {
      double v = voice(i, double(i) / kSampleRate);
      long at = first + i;
      if (at >= 0 && at < long(samples.size())) samples[size_t(at)] += v;
    }
  }
};

// A pad note: three slightly detuned copies of four harmonics that brighten as the note swells.
void padNote(Buffer& out, double start, double length, int midi, double level, uint64_t seed) {
  Random rnd{seed * 0x9E3779B97F4A7C15ull + 1};
  const double detune[3] = {-4, 0.5, 3.5};  // cents
  const double blend[3] = {0.3, 0.5, 0.3};
  const double harmonic[4] = {1, 0.42, 0.16, 0.07};
  std::vector<Oscillator> osc;
  std::vector<double> amp;
  std::vector<int> harmonicOf;
  for (int d = 0; d < 3; d++)
    for (int k = 0; k < 4; k++) {
      double hz = frequency(midi) * std::pow(2.0, detune[d] / 1200) * (k + 1);
      if (hz > kSampleRate * 0.42) continue;
      osc.emplace_back(hz, rnd.next() * 2 * M_PI);
      amp.push_back(harmonic[k] * blend[d]);
      harmonicOf.push_back(k);
    }
  out.add(start, length, [&](long i, double t) {
    double env = swell(t, length, 3.5, 3.5);
    double bright = 0.45 + 0.55 * env;
    const double tilt[4] = {1, bright, bright * bright, bright * bright * bright};
    double v = 0;
    for (size_t j = 0; j < osc.size(); j++) {
      v += osc[j].next() * amp[j] * tilt[harmonicOf[j]];
      if ((i & 4095) == 0) osc[j].renormalise();
    }
    return v * env * level;
  });
}

void bassNote(Buffer& out, double start, double length, int midi, double level) {
  Oscillator fundamental(frequency(midi), 0), octave(frequency(midi) * 2, 0);
  out.add(start, length, [&](long i, double t) {
    if ((i & 4095) == 0) { fundamental.renormalise(); octave.renormalise(); }
    return (fundamental.next() + 0.22 * octave.next()) * swell(t, length, 2.5, 3.5) * level;
  });
}

// A soft glassy bell: slightly inharmonic partials, the higher ones dying sooner.
void bellNote(Buffer& out, double start, int midi, double velocity) {
  const double ratio[5] = {1, 2.0, 2.76, 4.07, 5.40};
  const double amp[5] = {1, 0.42, 0.22, 0.1, 0.05};
  const double decay[5] = {2.4, 1.5, 0.95, 0.6, 0.4};
  double hz = frequency(midi);
  double shorten = std::pow(440.0 / hz, 0.3);
  std::vector<Oscillator> osc;
  double rate[5], gain[5];
  int n = 0;
  for (int k = 0; k < 5; k++) {
    if (hz * ratio[k] > kSampleRate * 0.42) continue;
    osc.emplace_back(hz * ratio[k], 0);
    rate[n] = std::exp(-1.0 / (decay[k] * shorten * kSampleRate));
    gain[n] = amp[k] * (k == 0 ? 1 : velocity);  // softer strokes are darker
    n++;
  }
  double seconds = decay[0] * shorten * std::log(2000.0);
  double attack = 0.006 * kSampleRate;
  out.add(start, seconds, [&](long i, double t) {
    double v = 0;
    for (int k = 0; k < n; k++) {
      v += osc[size_t(k)].next() * gain[k];
      gain[k] *= rate[k];
      if ((i & 4095) == 0) osc[size_t(k)].renormalise();
    }
    double fadeIn = i < attack ? i / attack : 1;
    double fadeOut = std::min(1.0, (seconds - t) / 0.5);  // the last half second, far below audibility
    return v * velocity * fadeIn * fadeOut;
  });
}

bool inChord(int midi, const Chord& chord) {
  for (int p : chord.pad)
    if ((midi - p) % 12 == 0) return true;
  return (midi - chord.bass) % 12 == 0;
}

struct Note {
  double time;
  int midi;
  double velocity;
};

// The melody of one period, as times from the period's start. Half-beat positions are filled by chance,
// more often on strong beats; the line walks the pentatonic scale by small steps, drawn back towards the
// middle, and lands on a chord tone at the start of each bar.
std::vector<Note> melody() {
  Random rnd{0x4b696e6c6f6f6d21ull};
  std::vector<Note> notes;
  int at = 5;
  bool last = false;
  for (int chord = 0; chord < kChords; chord++) {
    for (int half = 0; half < kBeatsPerChord * 2; half++) {
      int beatInBar = (half / 2) % 4, bar = half / 8;
      bool offBeat = half % 2;
      double p = offBeat ? 0.14 : beatInBar == 0 ? 0.6 : beatInBar == 2 ? 0.4 : 0.25;
      if (last) p *= 0.3;
      if (bar == 3) p *= 0.5;
      last = rnd.next() < p;
      if (!last) continue;
      double r = rnd.next();
      int step = r < 0.15 ? -2 : r < 0.45 ? -1 : r < 0.52 ? 0 : r < 0.85 ? 1 : 2;
      if (at > 8) step -= 1;
      if (at < 2) step += 1;
      at = std::clamp(at + step, 0, kScaleSize - 1);
      if (!offBeat && beatInBar == 0) {
        for (int d = 0; d < kScaleSize; d++) {
          if (at - d >= 0 && inChord(kScale[at - d], kProgression[chord])) { at -= d; break; }
          if (at + d < kScaleSize && inChord(kScale[at + d], kProgression[chord])) { at += d; break; }
        }
      }
      double velocity = beatInBar == 0 && !offBeat ? 0.55 + 0.3 * rnd.next() : 0.35 + 0.25 * rnd.next();
      notes.push_back({chord * kChordSeconds + half * kBeat / 2, kScale[at], velocity});
    }
  }
  return notes;
}

// Low chord tones on the first and third beat of some bars, under the melody and never doubling a
// melody note that sounds at the same moment (a unison would jump out of the texture).
std::vector<Note> arpeggio(const std::vector<Note>& tune) {
  Random rnd{0x6c6f6f6d2d617270ull};
  std::vector<Note> notes;
  for (int chord = 0; chord < kChords; chord++) {
    const Chord& c = kProgression[chord];
    for (int beat = 0; beat < kBeatsPerChord; beat += 2) {
      if (rnd.next() < 0.45) continue;
      int midi = c.pad[1 + int(rnd.next() * 4)];
      while (midi < 55) midi += 12;
      double time = chord * kChordSeconds + beat * kBeat;
      bool doubled = std::any_of(tune.begin(), tune.end(), [&](const Note& n) {
        return std::fabs(n.time - time) < 0.8 && (n.midi - midi) % 12 == 0;
      });
      if (!doubled) notes.push_back({time, midi, 0.25 + 0.15 * rnd.next()});
    }
  }
  return notes;
}

}  // namespace

double loopSeconds() { return kPeriod; }

std::vector<int16_t> renderLoop() {
  const size_t period = size_t(std::lround(kPeriod * kSampleRate));
  Buffer pad{std::vector<double>(2 * period, 0.0)};
  Buffer bells{std::vector<double>(2 * period, 0.0)};
  const std::vector<Note> tune = melody(), low = arpeggio(tune);
  for (int p = 0; p < 3; p++) {
    double base = p * kPeriod;
    for (int c = 0; c < kChords; c++) {
      const Chord& chord = kProgression[c];
      double start = base + c * kChordSeconds - 1.75, length = kChordSeconds + 3.5;
      for (int n = 0; n < 5; n++) padNote(pad, start, length, chord.pad[n], 0.16, uint64_t(c * 8 + n + 1));
      bassNote(pad, start + 0.5, length - 0.5, chord.bass, 0.2);
    }
    for (const Note& n : tune) bellNote(bells, base + n.time, n.midi, n.velocity);
    for (const Note& n : low) bellNote(bells, base + n.time, n.midi, n.velocity);
  }

  std::vector<double> echoes = echo(bells.samples, int(std::lround(kBeat * 0.75 * kSampleRate)), 0.38, 0.35);
  std::vector<double> send(2 * period), mix(2 * period);
  for (size_t i = 0; i < mix.size(); i++) {
    send[i] = 0.3 * pad.samples[i] + 0.55 * bells.samples[i] + 0.5 * echoes[i];
    mix[i] = 0.85 * pad.samples[i] + 0.5 * bells.samples[i] + 0.22 * echoes[i];
  }
  std::vector<double> room = reverb(send, kSampleRate, 0.85, 0.35);
  for (size_t i = 0; i < mix.size(); i++) mix[i] += 0.9 * room[i];
  lowPass(mix, kSampleRate, 6500);

  double peak = 0;
  for (size_t i = period; i < 2 * period; i++) peak = std::max(peak, std::fabs(mix[i]));
  const double gain = peak > 0 ? 0.75 * 32767 / peak : 0;  // peaks at three quarters of full scale
  std::vector<int16_t> out(period);
  for (size_t i = 0; i < period; i++) out[i] = int16_t(std::lround(mix[period + i] * gain));
  return out;
}
