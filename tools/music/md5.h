// MD5 (RFC 1321), for the sample signature that FLAC's STREAMINFO carries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

std::array<uint8_t, 16> md5(const uint8_t* data, size_t size);
