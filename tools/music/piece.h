// "Slow Orbits": the background music of the application document, composed and rendered here.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kSampleRate = 22050;

// One period of the loop as 16-bit samples; played again and again it has no seam.
std::vector<int16_t> renderLoop();

// Length of one period in seconds.
double loopSeconds();
