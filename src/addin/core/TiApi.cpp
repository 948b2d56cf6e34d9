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
    if (FLine < 1 || !FReader)
        return false;
    // Characters of the cursor line before the insertion point.
    const int32_t want = FCol > 1 ? FCol - 1 : 0;
    // Line start: known at once for line 1, else just past the (FLine-1)-th
    // CR and the LF that follows it.
    int32_t lineStart = FLine == 1 ? 0 : -1;
    bool skipLf = false;
    int32_t crs = 0;
    if (lineStart == 0 && want == 0) {
        offset = 0;
        return true;
    }
    // Read block by block: one host call per block, not per character.
    std::vector<QChar> block(FReadBlock);
    int32_t position = 0;
    for (;;) {
        const int32_t got = std::min(FReader->GetText(position, block.data(), FReadBlock), FReadBlock);
        if (got <= 0) {
            if (lineStart < 0 && !skipLf)
                return false; // the buffer ends before the cursor line
            offset = position; // cursor beyond the end of the last line
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
                        offset = lineStart;
                        return true;
                    }
                    if (c == QLatin1Char('\n'))
                        continue;
                } else {
                    if (c == QLatin1Char('\r') && ++crs == FLine - 1)
                        skipLf = true;
                    continue;
                }
            }
            // Inside the cursor line: stop at the column, or at the line's end
            // when the cursor stands beyond it, so a CR LF is never split.
            if (at - lineStart == want || c == QLatin1Char('\r')) {
                offset = at;
                return true;
            }
        }
        position += got;
    }
}
