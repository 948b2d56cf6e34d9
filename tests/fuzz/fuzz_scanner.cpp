// The declaration scanner streamed through a small buffer reports exactly
// what a whole-file reading of its rules reports: the same hits (word, line,
// text, cut for lines longer than the buffer) and one progress call a line.
//
// Input: bytes 0-1 the buffer size (1 to 4096), byte 2 the vector unit (bits
// 0-1) and the start and end words (bits 2-3), the rest the file.
#include "../addin/browser/ScanReference.h"

#include "browser/BufferGrep.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

struct TGot {
    std::vector<ScanReference::Hit> Hits;
    int Lines = 0;
};

// The scanner reads files by name: the input goes into one memory file,
// named through /proc, rewritten for each run.
const QString &InputFile(const uint8_t *data, size_t size)
{
    static const int fd = memfd_create("fuzz_scanner", MFD_CLOEXEC);
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != ssize_t(size))) {
        std::perror("memory file");
        std::abort();
    }
    return path;
}

TGot Scan(const QString &file, int buffer, const QStringList &keywords, const char *start, const char *end)
{
    TGot got;
    TBufferGrep grep;
    grep.FKeywords = keywords;
    grep.FStartWord = QString::fromLatin1(start);
    grep.FEndWord = QString::fromLatin1(end);
    if (buffer)
        grep.SetBufferSize(buffer);
    grep.FFileName = file;
    grep.FOnFound = [&](void *, const QString &word, int32_t &line, const QString &text) {
        got.Hits.push_back({word, line, text});
    };
    grep.FOnProgress = [&](TBufferGrep *, int32_t) { ++got.Lines; };
    grep.Search();
    if (!grep.FailureText().isEmpty()) {
        std::fprintf(stderr, "scan failed: %s\n", qPrintable(grep.FailureText()));
        std::abort();
    }
    return got;
}

[[noreturn]] void Mismatch(const char *what, int buffer, size_t index)
{
    std::fprintf(stderr, "mismatch (%s) with a %d-byte buffer at %zu\n", what, buffer, index);
    std::abort();
}

// got against want; a hit on a line longer than the buffer carries the
// line's first `buffer` bytes.
void Compare(const TGot &got, const ScanReference::RefResult &want, int buffer)
{
    if (got.Lines != want.lines)
        Mismatch("line count", buffer, size_t(got.Lines));
    if (got.Hits.size() != want.hits.size())
        Mismatch("hit count", buffer, got.Hits.size());
    for (size_t i = 0; i < want.hits.size(); ++i) {
        const ScanReference::Hit &g = got.Hits[i];
        const ScanReference::Hit &w = want.hits[i];
        if (g.word != w.word || g.line != w.line)
            Mismatch("hit", buffer, i);
        // At least the buffer's worth: the scanner's buffer is never smaller
        // than twice its longest word.
        const bool cut = buffer && w.text.size() > buffer;
        if (cut ? !(w.text.startsWith(g.text) && g.text.size() >= buffer) : g.text != w.text)
            Mismatch("hit text", buffer, i);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const int buffer = 1 + int((data[0] | (data[1] << 8)) % 4096);
    const int unit = data[2] & 3;
    static const char *const setups[4][2] = {
        {"implementation", ""}, {"", "end."}, {" implementation", " END "}, {"", ""}};
    const char *start = setups[(data[2] >> 2) & 3][0];
    const char *end = setups[(data[2] >> 2) & 3][1];
    static const QStringList keywords = {QStringLiteral("PROCEDURE"), QStringLiteral("FUNCTION"),
                                         QStringLiteral("CONSTRUCTOR"), QStringLiteral("DESTRUCTOR")};

    const QByteArray text(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));
    const QString &file = InputFile(data + 3, size - 3);
    const ScanReference::RefResult want = ScanReference::Reference(text, keywords, start, end);

    BufferGrepTesting::UseVectorUnit(BufferGrepTesting::HasVectorUnit(unit) ? unit : -1);
    Compare(Scan(file, buffer, keywords, start, end), want, buffer);
    // The whole file in one buffer.
    Compare(Scan(file, 0, keywords, start, end), want, 0);
    return 0;
}
