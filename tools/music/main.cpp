// kinloom-music: composes and renders the background music and writes it as a FLAC file.
//   kinloom-music OUT.flac                 the track that the document embeds
//   kinloom-music OUT.flac --pcm OUT.raw   also the same samples as raw 16-bit little-endian PCM, for
//                                          checking that a decoder gives back exactly these
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "flac.h"
#include "piece.h"

namespace {

// Writes through a temporary file and renames it, so an interrupted run never leaves a half-written
// track that the build would take for a finished one.
bool writeFile(const std::string& path, const void* data, size_t size) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    if (!out) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string flacPath, pcmPath;
  bool usage = false;
  for (int i = 1; i < argc && !usage; i++) {
    if (!std::strcmp(argv[i], "--pcm") && i + 1 < argc) pcmPath = argv[++i];
    else if (flacPath.empty() && argv[i][0] != '-') flacPath = argv[i];
    else usage = true;
  }
  if (usage || flacPath.empty()) {
    std::fprintf(stderr, "usage: kinloom-music OUT.flac [--pcm OUT.raw]\n");
    return 2;
  }
  std::vector<int16_t> samples = renderLoop();
  FlacStream stream;
  stream.sampleRate = kSampleRate;
  stream.comments = {{"TITLE", "Slow Orbits"},
                     {"ARTIST", "Kinloom sound generator"},
                     {"DESCRIPTION", "Composed and rendered at build time by Kinloom's own generator; no samples or recordings"},
                     {"LICENSE", "CC0 1.0 Universal public domain dedication"}};
  std::vector<uint8_t> flac = encodeFlac(samples, stream);
  if (!writeFile(flacPath, flac.data(), flac.size())) {
    std::fprintf(stderr, "kinloom-music: cannot write %s\n", flacPath.c_str());
    return 1;
  }
  if (!pcmPath.empty()) {
    std::vector<uint8_t> pcm;
    for (int16_t s : samples) {
      pcm.push_back(uint8_t(uint16_t(s) & 0xff));
      pcm.push_back(uint8_t(uint16_t(s) >> 8));
    }
    if (!writeFile(pcmPath, pcm.data(), pcm.size())) {
      std::fprintf(stderr, "kinloom-music: cannot write %s\n", pcmPath.c_str());
      return 1;
    }
  }
  return 0;
}
