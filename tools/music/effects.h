// Time-invariant effects of the mix: a feedback echo and a mono Schroeder-Moorer reverberator. Each keeps
// its own state and processes a whole buffer in place.
#pragma once

#include <vector>

// Repeats the signal every `delay` samples, each repeat `feedback` times the last and slightly darker.
// Returns only the repeats (the wet signal).
std::vector<double> echo(const std::vector<double>& in, int delay, double feedback, double damping);

// Eight damped comb filters in parallel and four all-pass filters in series, tuned for `sampleRate`.
// `room` (0 to 1) sets the decay, `damping` (0 to 1) how fast the highs die. Returns the wet signal.
std::vector<double> reverb(const std::vector<double>& in, int sampleRate, double room, double damping);

// A first-order low-pass filter at `cutoff` Hz, in place.
void lowPass(std::vector<double>& signal, int sampleRate, double cutoff);
