// Byte-level helpers the scanner's parts share: sources are single-byte ANSI
// text, and only ASCII letters fold.
#pragma once

#include <cstdint>

namespace ScanText {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr uint8_t CtrlZ = 26;

inline uint8_t UpAscii(uint8_t c)
{
    return (c >= 'a' && c <= 'z') ? uint8_t(c - 32) : c;
}

// What trimming removes.
inline bool IsBlank(uint8_t c)
{
    return c <= 32;
}

} // namespace ScanText

namespace ScanText {

// Set bits of x, without the popcnt instruction the baseline lacks.
inline unsigned BitCount(uint64_t x)
{
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return unsigned((x * 0x0101010101010101ULL) >> 56);
}

inline uint64_t LowBits(unsigned n) // n < 64
{
    return (uint64_t(1) << n) - 1;
}

} // namespace ScanText
