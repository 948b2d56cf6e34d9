#include "HelpDocument.h"

#include "SafeFile.h"

#include <QByteArrayView>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace {

namespace Key = HelpFile::Key;
constexpr QByteArrayView IndexOpen = HelpFile::IndexOpen;
constexpr QByteArrayView IndexClose = HelpFile::IndexClose;
constexpr QByteArrayView PageOpen = HelpFile::PageOpen;
constexpr QByteArrayView PageClose = HelpFile::PageClose;

QString Unescape(QString text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

// The value of name="..." in a start tag; null when it has none.
QString Attribute(QByteArrayView tag, QByteArrayView name)
{
    QByteArray key = " ";
    key += name;
    key += "=\"";
    const qsizetype at = tag.indexOf(key);
    if (at < 0)
        return {};
    const qsizetype begin = at + key.size();
    const qsizetype end = tag.indexOf('"', begin);
    if (end < 0)
        return {};
    return Unescape(QString::fromUtf8(tag.sliced(begin, end - begin)));
}

QString NotHelp(const QString &path, const QString &why)
{
    return QStringLiteral("%1 is not a help file: %2").arg(path, why);
}

QString Damaged(const QString &path, const QString &why)
{
    return QStringLiteral("The help file %1 is damaged: %2").arg(path, why);
}

// Where the bytes stop being UTF-8; -1 when they are. In slices, so that a
// large file never needs its whole text at once.
qsizetype BadUtf8At(const QByteArray &b)
{
    constexpr qsizetype Slice = 1 << 20;
    QStringDecoder decoder(QStringDecoder::Utf8);
    for (qsizetype at = 0; at < b.size(); at += Slice) {
        const QByteArrayView part = QByteArrayView(b).sliced(at, std::min(Slice, b.size() - at));
        const QString text = decoder.decode(part);
        if (decoder.hasError())
            return std::max<qsizetype>(at, text.indexOf(QChar::ReplacementCharacter) + at);
    }
    // A sequence cut by the end of the file.
    decoder.decode(QByteArrayView());
    return decoder.hasError() ? b.size() : -1;
}

bool Blank(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

qsizetype SkipBlanks(const QByteArray &b, qsizetype at)
{
    while (at < b.size() && Blank(b.at(at)))
        ++at;
    return at;
}

} // namespace

THelpDocument THelpDocument::Load(const QString &path)
{
    if (!EntryExists(path))
        throw EHelpFile(QStringLiteral("The help file %1 does not exist").arg(path));
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(path, MaxFileBytes);
    } catch (const EInOutError &e) {
        throw EHelpFile(e.message());
    }
    THelpDocument doc = Parse(path, std::move(bytes));
    doc.FModified = QFileInfo(path).lastModified();
    return doc;
}

THelpDocument THelpDocument::Parse(const QString &path, QByteArray bytes)
{
    THelpDocument d;
    d.FPath = path;
    d.FBytes = std::move(bytes);
    const QByteArray &b = d.FBytes;

    const qsizetype indexAt = b.indexOf(IndexOpen);
    if (indexAt < 0)
        throw EHelpFile(NotHelp(path, QStringLiteral("it holds no help index")));
    const qsizetype jsonBegin = indexAt + IndexOpen.size();
    const qsizetype jsonEnd = b.indexOf(IndexClose, jsonBegin);
    if (jsonEnd < 0)
        throw EHelpFile(NotHelp(path, QStringLiteral("its help index is cut short")));
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(b.sliced(jsonBegin, jsonEnd - jsonBegin), &error);
    if (!json.isObject())
        throw EHelpFile(NotHelp(path, QStringLiteral("its help index cannot be read (%1)").arg(error.errorString())));
    const QJsonObject index = json.object();

    d.FTitle = index.value(Key::Title).toString();
    d.FContents = index.value(Key::Contents).toString();
    for (const QJsonValue &v : index.value(Key::Topics).toArray()) {
        const QJsonObject o = v.toObject();
        THelpTopicInfo t;
        t.Id = o.value(Key::Id).toString();
        t.Title = o.value(Key::Title).toString();
        d.FTopicIndex.insert(t.Id, int(d.FTopics.size()));
        d.FTopics.append(std::move(t));
    }
    const QJsonObject map = index.value(Key::Map).toObject();
    for (auto it = map.begin(); it != map.end(); ++it) {
        bool ok = false;
        const qint64 n = it.key().toLongLong(&ok);
        if (ok)
            d.FMap.insert(n, it.value().toString());
    }
    d.FKeywordIndex = index.value(Key::Keywords).toObject();

    // The compiler's choice: the window named main, else the first.
    const QJsonObject windows = index.value(Key::Windows).toObject();
    QJsonObject window;
    for (auto it = windows.begin(); it != windows.end(); ++it)
        if (window.isEmpty() || it.key().compare(QLatin1String("main"), Qt::CaseInsensitive) == 0)
            window = it.value().toObject();
    const QColor topic(window.value(Key::Topic).toString());
    if (topic.isValid())
        d.FBackground = topic;

    const QJsonObject pictures = index.value(Key::Pictures).toObject();
    for (auto it = pictures.begin(); it != pictures.end(); ++it) {
        const QString uri = it.value().toObject().value(Key::Png).toString();
        const qsizetype comma = uri.indexOf(QLatin1Char(','));
        if (uri.startsWith(QLatin1String("data:")) && comma > 0)
            d.FPictures.insert(it.key(), QByteArray::fromBase64(uri.mid(comma + 1).toLatin1()));
    }
    for (const QJsonValue &v : index.value(Key::Messages).toArray())
        d.FMessages.append(HelpFile::ReadMessage(v.toObject()));

    // The style sheet, one rule a line, before the index.
    const qsizetype styleAt = b.lastIndexOf("<style>", indexAt);
    const qsizetype styleEnd = styleAt < 0 ? -1 : b.indexOf("</style>", styleAt);
    if (styleAt >= 0 && styleEnd > styleAt && styleEnd < indexAt) {
        const QString css = QString::fromUtf8(b.sliced(styleAt + 7, styleEnd - styleAt - 7));
        for (const QString &rule : css.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (!rule.startsWith(QLatin1String(".bm")))
                d.FStyleSheet += rule + QLatin1Char('\n');
    }

    // Only where each page starts and ends: pages are cut out when shown.
    // The body is pages and blanks up to the file's end tags, nothing else:
    // what a cut, a second copy or stray bytes leave is told, not shown.
    const qsizetype bodyAt = b.indexOf("<body>", jsonEnd);
    if (bodyAt < 0)
        throw EHelpFile(Damaged(path, QStringLiteral("it is cut short before its pages")));
    qsizetype at = SkipBlanks(b, bodyAt + 6);
    while (QByteArrayView(b).sliced(at).startsWith(PageOpen)) {
        const qsizetype tagEnd = b.indexOf('>', at);
        const qsizetype end = tagEnd < 0 ? -1 : b.indexOf(PageClose, tagEnd);
        if (end < 0)
            throw EHelpFile(Damaged(path, QStringLiteral("it is cut short in a page (byte %1)").arg(at)));
        const qsizetype next = b.indexOf(PageOpen, tagEnd);
        if (next >= 0 && next < end)
            throw EHelpFile(Damaged(path, QStringLiteral("a page is not closed (byte %1)").arg(at)));
        const QString id = Attribute(QByteArrayView(b).sliced(at, tagEnd - at), "id");
        if (!id.isNull() && !d.FSections.contains(id))
            d.FSections.insert(id, {tagEnd + 1, end});
        at = SkipBlanks(b, end + PageClose.size());
    }
    const QByteArrayView tail = QByteArrayView(b).sliced(at);
    if (!tail.startsWith("</body>")) {
        if (QByteArrayView("</body>").startsWith(tail))
            throw EHelpFile(Damaged(path, QStringLiteral("it is cut short after its pages")));
        throw EHelpFile(Damaged(path, QStringLiteral("unexpected bytes among its pages (byte %1)").arg(at)));
    }
    at = SkipBlanks(b, at + 7);
    if (!QByteArrayView(b).sliced(at).startsWith("</html>"))
        throw EHelpFile(Damaged(path, QStringLiteral("it is cut short after its pages")));
    at = SkipBlanks(b, at + 7);
    if (at < b.size())
        throw EHelpFile(Damaged(path, QStringLiteral("bytes follow its end (byte %1 of %2)").arg(at).arg(b.size())));
    if (const qsizetype bad = BadUtf8At(b); bad >= 0)
        throw EHelpFile(Damaged(path, QStringLiteral("its bytes are not UTF-8 text (byte %1)").arg(bad)));
    for (const THelpTopicInfo &t : d.FTopics)
        if (!d.FSections.contains(t.Id))
            throw EHelpFile(Damaged(path, QStringLiteral("its index names the page \"%1\", which it does not hold").arg(t.Id)));
    if (d.FSections.isEmpty())
        throw EHelpFile(NotHelp(path, QStringLiteral("it holds no topic")));
    if (d.FContents.isEmpty() || !d.FSections.contains(d.FContents))
        d.FContents = d.FTopics.isEmpty() ? QString() : d.FTopics.first().Id;
    return d;
}

const THelpTopicInfo *THelpDocument::Topic(const QString &id) const
{
    const auto it = FTopicIndex.constFind(id);
    return it == FTopicIndex.cend() ? nullptr : &FTopics[*it];
}

QString THelpDocument::IdForContext(qint64 number) const
{
    return FMap.value(number);
}

const QStringList &THelpDocument::Keywords() const
{
    ReadKeywords();
    return FKeywords;
}

QStringList THelpDocument::TopicsForKeyword(const QString &keyword) const
{
    ReadKeywords();
    return FKeywordTopics.value(keyword.toLower());
}

void THelpDocument::ReadKeywords() const
{
    if (FKeywordIndex.isEmpty())
        return;
    // Keys differing in case only are one keyword.
    for (auto it = FKeywordIndex.begin(); it != FKeywordIndex.end(); ++it) {
        QStringList &ids = FKeywordTopics[it.key().toLower()];
        if (ids.isEmpty())
            FKeywords.append(it.key());
        for (const QJsonValue &v : it.value().toArray())
            ids.append(v.toString());
        if (ids.size() > 1)
            ids.removeDuplicates();
    }
    FKeywordIndex = {};
    std::sort(FKeywords.begin(), FKeywords.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

QColor THelpDocument::TextColor() const
{
    return FBackground.lightness() < 128 ? QColor(Qt::white) : QColor(Qt::black);
}

QString THelpDocument::PageHtml(const QString &id) const
{
    const auto it = FSections.constFind(id);
    if (it == FSections.cend())
        return {};
    QString html = QString::fromUtf8(FBytes.constData() + it->Begin, it->End - it->Begin);
    static const QRegularExpression picture(QStringLiteral("<span class=\"bm (bm\\d+)\"( title=\"[^\"]*\")?></span>"));
    html.replace(picture, QStringLiteral("<img src=\"bm:\\1\"\\2>"));
    static const QRegularExpression popup(QStringLiteral("<a class=\"popup\"([^>]*) href=\"#"));
    html.replace(popup, QStringLiteral("<a class=\"popup\"\\1 href=\"popup:#"));
    return QLatin1String("<html><body>") + html + QLatin1String("</body></html>");
}

QImage THelpDocument::Picture(const QString &cls) const
{
    const auto it = FPictures.constFind(cls);
    return it == FPictures.cend() ? QImage() : QImage::fromData(*it, "PNG");
}

int THelpDocument::ErrorCount() const
{
    return int(std::count_if(FMessages.cbegin(), FMessages.cend(), [](const THelpMessage &m) { return m.Error; }));
}

THelpLink THelpDocument::LinkTarget(const QUrl &url)
{
    return {url.fragment(QUrl::FullyDecoded), url.scheme() == QLatin1String("popup")};
}

QUrl THelpDocument::PictureUrl(const QString &cls)
{
    return QUrl(QStringLiteral("bm:") + cls);
}
