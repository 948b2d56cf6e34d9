#include "SourceBuffer.h"

#include "SafeFile.h"

#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace qide {

TSourceBuffer::TSourceBuffer(const QString &fileName, QObject *parent)
    : QObject(parent), FFileName(fileName), FDocument(new QTextDocument(this))
{
    FDocument->setDocumentLayout(new QPlainTextDocumentLayout(FDocument));
    connect(FDocument, &QTextDocument::contentsChange, this, [this] { ++FChanges; });
}

void TSourceBuffer::load()
{
    QByteArray bytes = ReadWholeFile(FFileName, MaxSourceFileBytes);
    const TDecodedText decoded = DecodeTextFile(bytes);
    FFormat = decoded.format;
    FProblem = decoded.problem;
    FBytes = std::move(bytes);
    FHasBytes = true;
    FDocument->setPlainText(decoded.text);
    FDocument->setModified(false);
    ++FChanges;
}

void TSourceBuffer::save()
{
    // Nothing edited: the bytes as read, whatever the decoding could not keep.
    if (FHasBytes && !isModified()) {
        WriteFileAtomically(FFileName, FBytes);
        emit saved(FFileName);
        return;
    }
    TTextFormat format = FFormat;
    // toRawText keeps characters that toPlainText would change (no-break spaces).
    QString text = FDocument->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    QByteArray bytes = EncodeTextFile(text, format);
    FWriter->Write(FFileName, bytes);
    FFormat = format;
    FBytes = std::move(bytes);
    FHasBytes = true;
    FProblem.clear(); // the file now holds the text as shown
    FDocument->setModified(false);
    emit saved(FFileName);
}

QString TSourceBuffer::crlfText() const
{
    ++FSnapshots;
    return FromStandIns(ToCrLfText(FDocument->toRawText()), FFormat);
}

int TSourceBuffer::crlfLength() const
{
    return FDocument->characterCount() - 1 + FDocument->blockCount() - 1;
}

int TSourceBuffer::documentPosition(int crlfOffset) const
{
    // Line n (from 0) starts at CR LF offset position(n) + n.
    int lo = 0;
    int hi = FDocument->blockCount() - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        const QTextBlock b = FDocument->findBlockByNumber(mid);
        if (b.position() + mid <= crlfOffset)
            lo = mid;
        else
            hi = mid - 1;
    }
    const QTextBlock block = FDocument->findBlockByNumber(lo);
    const int inLine = std::clamp(crlfOffset - (block.position() + lo), 0, block.length() - 1);
    return block.position() + inLine;
}

void TSourceBuffer::applyEdits(const std::vector<TEdit> &edits)
{
    if (edits.empty())
        return;
    struct Mapped {
        int from, to;
        QString text;
    };
    std::vector<Mapped> mapped;
    mapped.reserve(edits.size());
    for (const TEdit &e : edits)
        mapped.push_back({documentPosition(e.from), documentPosition(e.to),
                          ToStandIns(NormaliseLineEnds(e.text), FFormat)});

    QTextCursor cursor(FDocument);
    cursor.beginEditBlock();
    // From the back, so that earlier positions stay valid.
    for (auto it = mapped.rbegin(); it != mapped.rend(); ++it) {
        if (it->from == it->to && it->text.isEmpty())
            continue;
        cursor.setPosition(it->from);
        cursor.setPosition(std::max(it->from, it->to), QTextCursor::KeepAnchor);
        cursor.insertText(it->text);
    }
    cursor.endEditBlock();
}

} // namespace qide
