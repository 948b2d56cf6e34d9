// The help compiler's rich-text reader on arbitrary bytes: it ends, never
// splits more pages than the bytes hold "\page", and every link it finds has
// visible content and a bare context string as its target.
#include "RtfReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "fuzz_rtf: %s\n", what);
    std::abort();
}

void Check(const QList<TRtfItem> &items, bool inLink)
{
    for (const TRtfItem &item : items) {
        switch (item.Type) {
        case TRtfItem::Run:
            if (item.Text.isEmpty())
                Fail("an empty run");
            if (item.Style.Hidden)
                Fail("hidden text shown");
            break;
        case TRtfItem::Link:
            if (inLink)
                Fail("a link inside a link");
            if (item.Content.isEmpty())
                Fail("a link with nothing to click");
            if (item.Target != item.Target.trimmed() || item.Target.contains(QLatin1Char('@'))
                || item.Target.contains(QLatin1Char('>')))
                Fail("a target that is no bare context string");
            Check(item.Content, true);
            break;
        case TRtfItem::Bitmap:
            if (item.Text.trimmed().isEmpty())
                Fail("a picture without a file name");
            break;
        case TRtfItem::Paragraph:
        case TRtfItem::LineBreak:
            if (inLink)
                Fail("a paragraph inside a link");
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const TRtfDocument doc = ReadRtf(bytes);
    if (doc.Topics.size() > CountRtfPages(bytes) + 1)
        Fail("more pages than \\page words");
    for (const TRtfTopic &topic : doc.Topics) {
        Check(topic.Items, false);
        for (const QString &k : topic.Keywords)
            if (k.isEmpty() || k != k.trimmed() || k.contains(QLatin1Char(';')))
                Fail("a keyword not split at ';' and trimmed");
    }
    return 0;
}
