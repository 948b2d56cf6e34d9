// The host's source-file reader: whatever the bytes, decoding then encoding
// the unedited text gives the same bytes unless the decoder names a problem,
// the editor's document never sees its reserved characters or a CR, and an
// edited save stores exactly the text that was shown.
#include "TextFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace qide;

namespace {

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "fuzz_textfile: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const TDecodedText decoded = DecodeTextFile(bytes);

    if (decoded.text.contains(QLatin1Char('\r')))
        Fail("a CR reached the editor's text");
    for (char16_t reserved : DocumentReserved)
        if (decoded.text.contains(QChar(reserved)) && decoded.problem.isEmpty())
            Fail("a character the document takes as a break reached it unnamed");

    TTextFormat format = decoded.format;
    const QByteArray saved = EncodeTextFile(decoded.text, format);
    if (decoded.problem.isEmpty()) {
        if (saved != bytes)
            Fail("an unedited file without a problem did not come back byte for byte");
        if (!(format == decoded.format))
            Fail("saving an unedited file changed its format");
    }

    // What an edited save stores reads back as the text that was shown.
    const TDecodedText again = DecodeTextFile(saved);
    if (FromStandIns(again.text, again.format) != FromStandIns(decoded.text, decoded.format))
        Fail("the saved text reads back differently");
    return 0;
}
