// A FLAC encoder for one channel of 16-bit samples: fixed and linear-prediction subframes with
// partitioned Rice residuals, chosen per block by their exact coded size. Lossless.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct FlacStream {
  int sampleRate = 22050;                                       // one the frame header can name by code
  std::vector<std::pair<std::string, std::string>> comments;    // Vorbis comment fields, e.g. TITLE
};

// The whole .flac file: marker, STREAMINFO (with the MD5 of the samples), comments, frames.
std::vector<uint8_t> encodeFlac(const std::vector<int16_t>& samples, const FlacStream& stream);
