// The Kinloom icon: a teal glowing sphere circled by an inclined elliptical ring on a dark navy
// rounded square. Drawn analytically at any size with supersampling.
#pragma once
#include <cstdint>
#include <vector>

// size * size * 4 bytes of RGBA, not premultiplied; transparent outside the rounded square.
std::vector<uint8_t> drawIcon(int size);
