// The plain-text source editor of one file: line numbers in a gutter,
// Pascal colours, cursor and top line in 1-based lines and columns.
#pragma once

#include "ToolsApi.h"

#include <QPlainTextEdit>

namespace qide {

class TSourceBuffer;
class TPascalHighlighter;

class TCodeEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    // Shows the buffer's document and takes the buffer over as a child.
    explicit TCodeEditor(TSourceBuffer *buffer, QWidget *parent = nullptr);

    TSourceBuffer *buffer() const { return FBuffer; }

    // Line and column from 1; a position past the text is pulled back to
    // the nearest one that exists.
    TEditPos cursorPos() const;
    void setCursorPos(TEditPos pos);
    // Line and column of the selection's start, or of the position after
    // its end; the cursor for both when nothing is selected.
    TEditPos blockPos(bool end) const;
    // Selects from one position to the other (tests and scripts).
    void setBlock(TEditPos from, TEditPos to);
    int topLine() const;
    void setTopLine(int line);

    int lineNumberAreaWidth() const;
    void paintLineNumbers(QPaintEvent *event);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateLineNumberAreaWidth();
    void updateLineNumberArea(const QRect &rect, int dy);

    TSourceBuffer *FBuffer;
    QWidget *FLineNumbers;
    TPascalHighlighter *FHighlighter;
};

} // namespace qide
