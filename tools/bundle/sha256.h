// SHA-256 (FIPS 180-4) and base64 (RFC 4648, with padding), for script hashes and data addresses.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

std::array<uint8_t, 32> sha256(std::string_view bytes);
std::string base64(std::string_view bytes);
