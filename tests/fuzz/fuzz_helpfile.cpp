// The help viewer's reading of a help file on arbitrary bytes: a file is
// either refused with EHelpFile or read so that every page it lists can be
// cut out and the keyword look-up ignores letter case.
#include "HelpDocument.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "fuzz_helpfile: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    THelpDocument doc;
    try {
        doc = THelpDocument::Parse(QStringLiteral("fuzz.hlp"),
                                   QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const EHelpFile &) {
        return 0;
    }
    if (!doc.ContentsId().isEmpty() && !doc.HasPage(doc.ContentsId()) && doc.Topic(doc.ContentsId()) == nullptr)
        Fail("a contents page that is neither a page nor a topic");
    int pages = 0;
    for (const THelpTopicInfo &topic : doc.Topics()) {
        const QString html = doc.PageHtml(topic.Id);
        if (doc.HasPage(topic.Id) != !html.isEmpty())
            Fail("a page that is there and cannot be cut out, or the other way round");
        if (++pages > 64)
            break;
    }
    int keywords = 0;
    for (const QString &keyword : doc.Keywords()) {
        if (doc.TopicsForKeyword(keyword) != doc.TopicsForKeyword(keyword.toLower()))
            Fail("a keyword's topics depend on its letter case");
        if (++keywords > 64)
            break;
    }
    for (int n = 0; n < 4; ++n)
        (void)doc.IdForContext(n);
    (void)doc.ErrorCount();
    (void)doc.TextColor();
    return 0;
}
