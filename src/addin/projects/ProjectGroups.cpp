#include "ProjectGroups.h"

#include "CodePage.h"
#include "SafeFile.h"

#include <QFileInfo>

namespace {

constexpr char CtrlZ = 26;

bool IsIndent(char c)
{
    return c == '\t' || c == ' ';
}

QString WithoutBreaks(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    text.remove(QChar(0));
    return text;
}

void CountNodes(const TProjectNode &node, int &count)
{
    ++count;
    for (const auto &child : node.Children())
        CountNodes(*child, count);
}

void WriteNode(const TProjectNode &node, int level, QByteArray &out)
{
    QString line;
    if (level == 1) {
        line = TProjectGroups::CleanText(node.Text, true) + QLatin1Char(';')
            + (node.Data ? WithoutBreaks(node.Data->GetData()) : QString());
    } else {
        line = TProjectGroups::CleanText(node.Text, false);
    }
    out.append(level, '\t');
    out.append(ToAnsi(line));
    out.append("\r\n", 2);
    for (const auto &child : node.Children())
        WriteNode(*child, level + 1, out);
}

} // namespace

TData::TData(const QString &path) : FPath(path.left(MaxPath)) {}

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

    const char *p = bytes.constData();
    qsizetype end = bytes.indexOf('\0');
    if (end < 0)
        end = bytes.size();

    TProjectNode *last = nullptr;
    int lastLevel = 0;
    qsizetype pos = 0;
    while (pos < end) {
        const qsizetype lineStart = pos;
        while (pos < end && p[pos] != '\r' && p[pos] != '\n')
            ++pos;
        const qsizetype lineEnd = pos;
        if (pos < end && p[pos] == '\r')
            ++pos;
        if (pos < end && p[pos] == '\n')
            ++pos;

        // An end-of-file mark on a line of its own.
        if (lineEnd - lineStart == 1 && p[lineStart] == CtrlZ)
            continue;

        qsizetype textStart = lineStart;
        while (textStart < lineEnd && IsIndent(p[textStart]))
            ++textStart;
        const int level = int(textStart - lineStart);
        if (level > lastLevel + 1) {
            FUnread = bytes.mid(lineStart, end - lineStart);
            throw EInvalidLevel();
        }

        const QString text = FromAnsi(p + textStart, lineEnd - textStart);
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
    QByteArray out;
    for (const auto &root : FRoots)
        WriteNode(*root, 0, out);
    out.append(FUnread);
    return out;
}

void TProjectGroups::LoadFromFile(const QString &path)
{
    FRoots.clear();
    FUnread.clear();
    ReadText(ReadWholeFile(path, qint64(16) << 20));
}

void TProjectGroups::SaveToFile(const QString &path) const
{
    const QFileInfo info(path);
    if (info.exists() && !info.isReadable())
        throw EInOutError(
            QStringLiteral("Cannot write %1: it cannot be read, so it is left as it is").arg(path));
    WriteFileAtomically(path, WriteText());
}

QString TProjectGroups::CleanText(const QString &text, bool projectLabel)
{
    QString clean = WithoutBreaks(text);
    if (projectLabel)
        clean.remove(QLatin1Char(';'));
    qsizetype indent = 0;
    while (indent < clean.size()
           && (clean.at(indent) == QLatin1Char('\t') || clean.at(indent) == QLatin1Char(' ')))
        ++indent;
    return clean.mid(indent);
}
