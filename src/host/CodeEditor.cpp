#include "CodeEditor.h"

#include "PascalHighlighter.h"
#include "SourceBuffer.h"

#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

namespace qide {

namespace {

class TLineNumberArea : public QWidget {
public:
    explicit TLineNumberArea(TCodeEditor *editor) : QWidget(editor), FEditor(editor)
    {
        setObjectName(QStringLiteral("LineNumbers"));
    }
    QSize sizeHint() const override { return {FEditor->lineNumberAreaWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent *event) override { FEditor->paintLineNumbers(event); }

private:
    TCodeEditor *FEditor;
};

} // namespace

TCodeEditor::TCodeEditor(TSourceBuffer *buffer, QWidget *parent)
    : QPlainTextEdit(parent), FBuffer(buffer), FLineNumbers(new TLineNumberArea(this)),
      FHighlighter(new TPascalHighlighter(buffer->document()))
{
    setObjectName(QStringLiteral("Editor"));
    buffer->setParent(this);
    setDocument(buffer->document());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(std::max(font.pointSize(), 10));
    setFont(font);
    document()->setDefaultFont(font);
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);

    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { updateLineNumberAreaWidth(); });
    connect(this, &QPlainTextEdit::updateRequest, this, &TCodeEditor::updateLineNumberArea);
    connect(this, &QPlainTextEdit::cursorPositionChanged, FLineNumbers, qOverload<>(&QWidget::update));
    updateLineNumberAreaWidth();
}

TEditPos TCodeEditor::cursorPos() const
{
    const QTextCursor c = textCursor();
    return {int16_t(std::min(c.positionInBlock() + 1, 32767)), c.blockNumber() + 1};
}

void TCodeEditor::setCursorPos(TEditPos pos)
{
    const int line = std::clamp<int>(pos.Line, 1, document()->blockCount());
    const QTextBlock block = document()->findBlockByNumber(line - 1);
    const int col = std::clamp<int>(pos.Col, 1, block.length());
    QTextCursor c(document());
    c.setPosition(block.position() + col - 1);
    setTextCursor(c);
}

namespace {

TEditPos PosOf(const QTextDocument *document, int position)
{
    const QTextBlock block = document->findBlock(position);
    return {int16_t(std::min(position - block.position() + 1, 32767)), block.blockNumber() + 1};
}

int PositionOf(const QTextDocument *document, TEditPos pos)
{
    const int line = std::clamp<int>(pos.Line, 1, document->blockCount());
    const QTextBlock block = document->findBlockByNumber(line - 1);
    return block.position() + std::clamp<int>(pos.Col, 1, block.length()) - 1;
}

} // namespace

TEditPos TCodeEditor::blockPos(bool end) const
{
    const QTextCursor c = textCursor();
    return PosOf(document(), end ? c.selectionEnd() : c.selectionStart());
}

void TCodeEditor::setBlock(TEditPos from, TEditPos to)
{
    QTextCursor c(document());
    c.setPosition(PositionOf(document(), from));
    c.setPosition(PositionOf(document(), to), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

int TCodeEditor::topLine() const
{
    return firstVisibleBlock().blockNumber() + 1;
}

void TCodeEditor::setTopLine(int line)
{
    verticalScrollBar()->setValue(std::clamp(line, 1, document()->blockCount()) - 1);
}

int TCodeEditor::lineNumberAreaWidth() const
{
    int digits = 1;
    for (int max = std::max(1, blockCount()); max >= 10; max /= 10)
        ++digits;
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * std::max(digits, 3);
}

void TCodeEditor::updateLineNumberAreaWidth()
{
    setViewportMargins(lineNumberAreaWidth(), 0, 0, 0);
}

void TCodeEditor::updateLineNumberArea(const QRect &rect, int dy)
{
    if (dy)
        FLineNumbers->scroll(0, dy);
    else
        FLineNumbers->update(0, rect.y(), FLineNumbers->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateLineNumberAreaWidth();
}

void TCodeEditor::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect cr = contentsRect();
    FLineNumbers->setGeometry(QRect(cr.left(), cr.top(), lineNumberAreaWidth(), cr.height()));
}

void TCodeEditor::paintLineNumbers(QPaintEvent *event)
{
    QPainter painter(FLineNumbers);
    painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase).darker(104));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.setFont(font());
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    const int current = textCursor().blockNumber();
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            QFont f = font();
            f.setBold(block.blockNumber() == current);
            painter.setFont(f);
            painter.drawText(0, top, FLineNumbers->width() - 4, fontMetrics().height(),
                             Qt::AlignRight, QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
    }
}

} // namespace qide
