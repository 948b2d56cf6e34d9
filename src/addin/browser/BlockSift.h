// Sifts source bytes 64 at a time for line ends and for the places where one
// of a scan's words may start (its first two letters and its last one, case
// folded, at the right distances). A line without such a place can hold no
// word and no whole-line match, and is only counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && defined(__SSE2__)
#define QUORBEL_X86_VECTORS 1
#else
#define QUORBEL_X86_VECTORS 0
#endif

// Masks of one 64-byte block: bit i stands for byte i.
struct TBlockMasks {
    uint64_t Lf;    // LF line ends
    uint64_t Other; // the other line-end bytes: CR and Ctrl+Z
    uint64_t Cand;  // places where some word may start
    uint32_t Lines; // LF count
    int32_t LastLf; // the last LF's bit, -1 for none
};

// A word as the sifter sees it, letters folded to lower case.
struct TSiftKey {
    uint8_t First;
    uint8_t Second;
    uint8_t Last;
    uint32_t LastOffset; // word length - 1
    bool operator==(const TSiftKey &) const = default;
};

enum TVectorUnit : int { vuPlain = 0, vuSse2 = 1, vuAvx2 = 2, vuAvx512 = 3 };

// The best unit this processor has.
TVectorUnit ProcessorVectorUnit();
// The unit new sifters use: the processor's best, or less when asked.
TVectorUnit SiftVectorUnit();
// Caps SiftVectorUnit (tests); -1 lifts the cap.
void LimitVectorUnit(int unit);

class TBlockSifter {
public:
    // Keys the vector kernels keep in registers; with more, the plain kernel
    // sifts.
    static constexpr size_t VectorKeys = 8;

    // Bytes a block reads past its start for these needles.
    static size_t Reach(const std::vector<const std::string *> &needles);

    void Set(const std::vector<const std::string *> &needles);

    // Masks of the blocks starting at p, p + 64, ... (at most 64 of them);
    // returns which blocks hold a CR, a Ctrl+Z or a candidate.
    uint64_t Sift(const uint8_t *p, size_t blocks, TBlockMasks *out) const;

private:
    using TKernel = void (*)(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks,
                             TBlockMasks *out);
    std::vector<TSiftKey> FKeys;
    TKernel FKernel = nullptr;
};

// The kernels, one per vector unit: the masks of `blocks` blocks from p on,
// for keys[0, count) (at most VectorKeys, but for the plain one).
void SiftPlain(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out);
#if QUORBEL_X86_VECTORS
void SiftSse2(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out);
void SiftAvx2(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out);
void SiftAvx512(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out);
#endif
