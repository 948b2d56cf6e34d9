#include "ProjectGroups.h"

#include "CodePage.h"

namespace {

// Far above any real file of groups; a bigger file is refused, not read.
constexpr qint64 MaxFileSize = qint64(64) << 20;

constexpr char16_t CtrlZ = 26;

bool IsIndent(QChar c)
{
    return c == QLatin1Char('\t') || c == QLatin1Char(' ');
}

// Without line breaks, NUL, or halves of surrogate pairs (no encoding holds them).
QString WithoutBreaks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.isNull())
            continue;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        if (c.isSurrogate())
            continue;
        out += c;
    }
    return out;
}

void CountNodes(const TProjectNode &node, int &count)
{
    ++count;
    for (const auto &child : node.Children())
        CountNodes(*child, count);
}

void WriteNode(const TProjectNode &node, int level, QString &out)
{
    out += QString(level, QLatin1Char('\t'));
    out += TProjectGroups::CleanText(node.Text, level);
    if (level == 1) {
        out += QLatin1Char(';');
        if (node.Data)
            out += WithoutBreaks(node.Data->GetData());
    }
    out += QLatin1String("\r\n");
    for (const auto &child : node.Children())
        WriteNode(*child, level + 1, out);
}

} // namespace

TData::TData(const QString &path) : FPath(path.left(MaxPath))
{
    // A pair cut in half could not be written.
    if (FPath.size() == MaxPath && FPath.back().isHighSurrogate())
        FPath.chop(1);
}

EInvalidLevel::EInvalidLevel() : Exception(QStringLiteral("Invalid item level assignment")) {}

int TProjectNode::Level() const
{
    int level = 0;
    for (const TProjectNode *p = FParent; p; p = p->FParent)
        ++level;
    return level;
}

TProjectNode *TProjectNode::AddChild(const QString &text)
{
    auto node = std::make_unique<TProjectNode>();
    node->Text = text;
    node->FParent = this;
    FChildren.push_back(std::move(node));
    return FChildren.back().get();
}

TProjectNode *TProjectGroups::AddRoot(const QString &text)
{
    auto node = std::make_unique<TProjectNode>();
    node->Text = text;
    FRoots.push_back(std::move(node));
    return FRoots.back().get();
}

void TProjectGroups::ClearNodes()
{
    FRoots.clear();
}

int TProjectGroups::NodeCount() const
{
    int count = 0;
    for (const auto &root : FRoots)
        CountNodes(*root, count);
    return count;
}

void TProjectGroups::ReadText(const QByteArray &bytes)
{
    FRoots.clear();
    FUnread.clear();

    // One decision for the whole file: its lines are one text.
    const QString all = DecodeText(bytes);
    const QChar *p = all.constData();
    qsizetype end = all.indexOf(QChar(0));
    if (end < 0)
        end = all.size();
    // The rest after a NUL is not read, but kept for the next save.
    FUnread = all.mid(end);

    TProjectNode *last = nullptr;
    int lastLevel = 0;
    qsizetype pos = 0;
    while (pos < end) {
        const qsizetype lineStart = pos;
        while (pos < end && p[pos] != QLatin1Char('\r') && p[pos] != QLatin1Char('\n'))
            ++pos;
        const qsizetype lineEnd = pos;
        if (pos < end && p[pos] == QLatin1Char('\r'))
            ++pos;
        if (pos < end && p[pos] == QLatin1Char('\n'))
            ++pos;

        // An end-of-file mark on a line of its own.
        if (lineEnd - lineStart == 1 && p[lineStart] == QChar(CtrlZ))
            continue;

        qsizetype textStart = lineStart;
        while (textStart < lineEnd && IsIndent(p[textStart]))
            ++textStart;
        const int level = int(textStart - lineStart);
        if (level > lastLevel + 1) {
            FUnread = all.mid(lineStart);
            throw EInvalidLevel();
        }

        const QString text = all.mid(textStart, lineEnd - textStart);
        TProjectNode *node;
        if (!last || level == 0) {
            node = AddRoot(text);
        } else {
            TProjectNode *parent = last;
            while (parent->Level() > level - 1)
                parent = parent->Parent();
            node = parent->AddChild(text);
        }
        last = node;
        lastLevel = node->Level();

        if (lastLevel == 1) {
            const qsizetype semicolon = text.indexOf(QLatin1Char(';'));
            if (semicolon >= 0) {
                node->Text = text.left(semicolon);
                node->Data = std::make_unique<TData>(text.mid(semicolon + 1));
            } else {
                node->Data = std::make_unique<TData>(text);
            }
        }
    }
}

QByteArray TProjectGroups::WriteText() const
{
    QString out;
    for (const auto &root : FRoots)
        WriteNode(*root, 0, out);
    out += FUnread;
    return EncodeText(out);
}

void TProjectGroups::LoadFromFile(const QString &path)
{
    FRoots.clear();
    FUnread.clear();
    if (!FFile.Load(path, MaxFileSize))
        throw EInOutError(FFile.ErrorString());
    ReadText(FFile.TakeData());
}

void TProjectGroups::SaveToFile(const QString &path, TFileWriter &writer)
{
    // Only what was read in full may be replaced: the rest would be lost.
    FFile.Save(path, WriteText(), writer);
}

QString TProjectGroups::CleanText(const QString &text, int level)
{
    QString clean = WithoutBreaks(text);
    if (level == 1)
        clean.remove(QLatin1Char(';'));
    qsizetype indent = 0;
    while (indent < clean.size() && IsIndent(clean.at(indent)))
        ++indent;
    clean = clean.mid(indent);
    // A group line of that one character reads as the end-of-file mark.
    if (level == 0 && clean.size() == 1 && clean.at(0) == QChar(CtrlZ))
        clean.clear();
    return clean;
}
