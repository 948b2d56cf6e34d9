#include "TiApi.h"

#include "CommandEdge.h"

#include "Exception.h"
#include "Windows.h"

#include <algorithm>
#include <vector>

TTiApi::TTiApi(TIToolServices *toolServices, TDialogService &dialogs)
    : FSource(toolServices), FDialogs(dialogs)
{
}

TTiApi::~TTiApi() = default;

// The wrapper shows its own errors and passes them on.
template <typename F>
void TTiApi::ShowAndRethrow(F &&step)
{
    RunAtEdge(FDialogs, std::forward<F>(step), TEdge::PassOn);
}

void TTiApi::Refresh()
{
    ShowAndRethrow([this] {
        FToolServices = FSource;
        if (!FToolServices)
            throw Exception(QStringLiteral("TiApi ERROR: No hay entorno  ToolsApi"));
        FFileName = FToolServices->GetCurrentFile();
        FFileName = CheckFile();
        ReadCursor();
    });
}

QString TTiApi::CheckFile()
{
    const QString result = FFileName;
    if (!FToolServices)
        FToolServices = FSource;
    if (!FToolServices)
        throw Exception(QStringLiteral("TiApi ERROR: No hay entorno  ToolsApi"));
    bool ok = !FFileName.isEmpty() && !FFileName.toUpper().contains(QLatin1String(".DFM"))
        && FindWindow(QStringLiteral("TEditWindow")) != nullptr;
    if (ok && !FToolServices->IsFileOpen(FFileName))
        ok = FToolServices->OpenFile(FFileName);
    if (!ok)
        FToolServices->RaiseException(
            QStringLiteral("Es necesario que tener abierto un proyecto o fichero .pas"));
    return result;
}

void TTiApi::OpenView()
{
    ShowAndRethrow([this] {
        try {
            if (FModule)
                throw Exception(QStringLiteral("TiApi ERROR:Ya hay una vista activa "));
            if (!FToolServices)
                FToolServices = FSource;
            FModule = THostRef<TIModuleInterface>(
                FToolServices ? FToolServices->GetModuleInterface(FFileName) : nullptr);
            if (!FModule)
                throw Exception(
                    QStringLiteral("TiApi ERROR: Imposible acceder al interface del Modulo"));
            FEditor = THostRef<TIEditorInterface>(FModule->GetEditorInterface());
            if (!FEditor)
                throw Exception(
                    QStringLiteral("TiApi ERROR: Imposible acceder al interface del Editor"));
            FView = THostRef<TIEditView>(FEditor->GetView(0));
            if (!FView)
                throw Exception(
                    QStringLiteral("TiApi ERROR: Imposible acceder al interface del Vista"));
        } catch (...) {
            // "Ya hay una vista activa" must not close the view that is in use;
            // any other failure leaves a half-open view, released here.
            if (!FView || !FEditor)
                CloseView();
            throw;
        }
    });
}

void TTiApi::CloseView()
{
    ShowAndRethrow([this] {
        // A reader or writer left by a failed insertion goes before the view
        // and editor it was taken from.
        FWriter.reset();
        FReader.reset();
        FView.reset();
        FEditor.reset();
        FModule.reset();
    });
}

template <typename Step>
void TTiApi::WithView(Step &&step)
{
    OpenView();
    try {
        step();
    } catch (...) {
        CloseView();
        throw;
    }
    CloseView();
}

TEditPos TTiApi::ReadCursor()
{
    TEditPos pos;
    WithView([&] {
        pos = FView->GetPos(0);
        FLine = pos.Line;
        FCol = pos.Col;
    });
    return pos;
}

template <typename Move>
void TTiApi::MoveCursor(Move &&move)
{
    WithView([&] {
        TEditPos pos = FView->GetPos(0);
        move(pos);
        FModule->ShowSource();
        pos = FView->GetPos(0);
        FLine = pos.Line;
        FCol = pos.Col;
    });
}

void TTiApi::SetColumn(int16_t column)
{
    MoveCursor([this, column](TEditPos &pos) {
        pos.Col = column;
        FView->SetPos(0, pos);
    });
}

void TTiApi::GotoLine(int32_t line)
{
    MoveCursor([this, line](TEditPos &pos) {
        pos.Line = line;
        FView->SetPos(1, pos);
        FView->SetPos(0, pos);
    });
}

void TTiApi::InsertText(const QString &text)
{
    WithView([&] {
        FReader = THostRef<TIEditReader>(FEditor->CreateReader());
        int32_t offset = 0;
        const bool found = FReader && LineOffset(offset);
        FReader.reset();
        if (found) {
            FWriter = THostRef<TIEditWriter>(FEditor->CreateWriter());
            // A writer that cannot reach the offset inserts nothing rather
            // than at the start of the buffer.
            if (FWriter && FWriter->CopyTo(offset)) {
                FWriter->Insert(text);
                FModule->ShowSource();
            }
            FWriter.reset();
        }
    });
}

bool TTiApi::LineOffset(int32_t &offset)
{
    int32_t lineStart = 0;
    return OffsetOf({FCol, FLine}, offset, lineStart);
}

bool TTiApi::OffsetOf(TEditPos pos, int32_t &offset, int32_t &lineStartOut)
{
    if (pos.Line < 1 || !FReader)
        return false;
    // Characters of the line before the position.
    const int32_t want = pos.Col > 1 ? pos.Col - 1 : 0;
    // Line start: known at once for line 1, else just past the (Line-1)-th
    // CR and the LF that follows it.
    int32_t lineStart = pos.Line == 1 ? 0 : -1;
    bool skipLf = false;
    int32_t crs = 0;
    if (lineStart == 0 && want == 0) {
        offset = lineStartOut = 0;
        return true;
    }
    // Read block by block: one host call per block, not per character.
    std::vector<QChar> block(FReadBlock);
    int32_t position = 0;
    for (;;) {
        const int32_t got = std::min(FReader->GetText(position, block.data(), FReadBlock), FReadBlock);
        if (got <= 0) {
            if (lineStart < 0 && !skipLf)
                return false; // the buffer ends before the line
            offset = position; // beyond the end of the last line
            lineStartOut = lineStart < 0 ? position : lineStart;
            return true;
        }
        for (int32_t i = 0; i < got; ++i) {
            const QChar c = block[i];
            const int32_t at = position + i;
            if (lineStart < 0 || skipLf) {
                if (skipLf) {
                    skipLf = false;
                    lineStart = c == QLatin1Char('\n') ? at + 1 : at;
                    if (want == 0) {
                        offset = lineStartOut = lineStart;
                        return true;
                    }
                    if (c == QLatin1Char('\n'))
                        continue;
                } else {
                    if (c == QLatin1Char('\r') && ++crs == pos.Line - 1)
                        skipLf = true;
                    continue;
                }
            }
            // Inside the line: stop at the column, or at the line's end when
            // the position stands beyond it, so a CR LF is never split.
            if (at - lineStart == want || c == QLatin1Char('\r')) {
                offset = at;
                lineStartOut = lineStart;
                return true;
            }
        }
        position += got;
    }
}

bool TTiApi::BlockOffsets(int32_t &from, int32_t &to, int32_t &lineStart, TEditPos &begin)
{
    begin = FView->GetPos(epBlockBegin);
    const TEditPos end = FView->GetPos(epBlockEnd);
    if (begin == end)
        return false;
    int32_t endLineStart = 0;
    return OffsetOf(begin, from, lineStart) && OffsetOf(end, to, endLineStart) && from < to;
}

QString TTiApi::SelectedText()
{
    QString text;
    WithView([&] {
        FReader = THostRef<TIEditReader>(FEditor->CreateReader());
        int32_t from = 0, to = 0, lineStart = 0;
        TEditPos begin;
        if (FReader && BlockOffsets(from, to, lineStart, begin)) {
            std::vector<QChar> block(FReadBlock);
            for (int32_t at = from; at < to;) {
                const int32_t got = std::min(FReader->GetText(at, block.data(), std::min(FReadBlock, to - at)),
                                             std::min(FReadBlock, to - at));
                if (got <= 0)
                    break;
                text.append(block.data(), got);
                at += got;
            }
        }
        FReader.reset();
    });
    return text;
}

namespace {

// Where the first count characters of text end, counted from a line and
// column: every CR LF, lone CR and lone LF starts a line, as in the editor.
TEditPos PosAfter(const QString &text, qsizetype count, TEditPos start)
{
    int32_t line = start.Line;
    int32_t col = start.Col;
    for (qsizetype i = 0; i < count && i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < count && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            ++line;
            col = 1;
        } else {
            ++col;
        }
    }
    return {int16_t(std::min(col, 32767)), line};
}

} // namespace

void TTiApi::InsertMacro(const QString &text, qsizetype caret, bool replaceSelection)
{
    WithView([&] {
        FReader = THostRef<TIEditReader>(FEditor->CreateReader());
        int32_t from = 0, to = 0, lineStart = 0;
        TEditPos start{FCol, FLine};
        bool found = false;
        if (FReader && replaceSelection)
            found = BlockOffsets(from, to, lineStart, start);
        if (!found) {
            start = {FCol, FLine};
            found = FReader && OffsetOf(start, from, lineStart);
            to = from;
        }
        FReader.reset();
        if (!found)
            return;
        FWriter = THostRef<TIEditWriter>(FEditor->CreateWriter());
        // A writer that cannot reach the offsets inserts nothing rather than
        // at the start of the buffer.
        bool written = false;
        if (FWriter && FWriter->CopyTo(from) && (to == from || FWriter->DeleteTo(to)))
            written = FWriter->Insert(text);
        FWriter.reset(); // the edit is made when the writer goes
        if (written && caret >= 0) {
            // The column where the text went in: a cursor beyond the line's
            // end inserts at the end.
            start.Col = int16_t(std::min<int32_t>(from - lineStart + 1, 32767));
            const TEditPos pos = PosAfter(text, caret, start);
            FView->SetPos(epCursor, pos);
            FLine = pos.Line;
            FCol = pos.Col;
        }
        if (written)
            FModule->ShowSource();
    });
}
