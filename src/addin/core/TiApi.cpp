#include "TiApi.h"

#include "QuorbelExpert.h"

#include "Dialogs.h"
#include "Exception.h"
#include "Windows.h"

#include <vector>

namespace {

// Shows an error of the add-in's own and passes it on.
template <typename F>
void ShowAndRethrow(F &&step)
{
    try {
        step();
    } catch (const Exception &e) {
        ShowError(e.message());
        throw;
    }
}

} // namespace

TTiApi::TTiApi() = default;
TTiApi::~TTiApi() = default;

void TTiApi::Refresh()
{
    ShowAndRethrow([this] {
        FToolServices = ToolServices;
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
                FToolServices = ToolServices;
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
        } catch (const Exception &) {
            // "Ya hay una vista activa" must not close the view that is in use.
            if (!FView || !FEditor)
                CloseView();
            throw;
        }
    });
}

void TTiApi::CloseView()
{
    ShowAndRethrow([this] {
        FView.reset();
        FEditor.reset();
        FModule.reset();
        FReader.reset();
        FWriter.reset();
    });
}

TEditPos TTiApi::ReadCursor()
{
    TEditPos pos;
    OpenView();
    try {
        pos = FView->GetPos(0);
        FLine = pos.Line;
        FCol = pos.Col;
    } catch (...) {
        CloseView();
        throw;
    }
    CloseView();
    return pos;
}

template <typename Move>
void TTiApi::MoveCursor(Move &&move)
{
    OpenView();
    try {
        TEditPos pos = FView->GetPos(0);
        move(pos);
        FModule->ShowSource();
        pos = FView->GetPos(0);
        FLine = pos.Line;
        FCol = pos.Col;
    } catch (...) {
        CloseView();
        throw;
    }
    CloseView();
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
    OpenView();
    try {
        FReader = THostRef<TIEditReader>(FEditor->CreateReader());
        int32_t offset = 0;
        const bool found = FReader && LineOffset(offset);
        FReader.reset();
        if (found) {
            FWriter = THostRef<TIEditWriter>(FEditor->CreateWriter());
            if (FWriter) {
                FWriter->CopyTo(offset);
                FWriter->Insert(text);
                FModule->ShowSource();
                FWriter.reset();
            }
        }
    } catch (...) {
        CloseView();
        throw;
    }
    CloseView();
}

bool TTiApi::LineOffset(int32_t &offset)
{
    if (FLine <= 1) {
        offset = FCol - 1;
        return true;
    }
    // Count CRs block by block: one host call per block, not per character.
    std::vector<QChar> block(ReadBlock);
    int32_t crs = 0;
    int32_t position = 0;
    for (;;) {
        const int32_t got = FReader->GetText(position, block.data(), ReadBlock);
        if (got <= 0)
            return false;
        for (int32_t i = 0; i < got; ++i) {
            if (block[i] == QLatin1Char('\r') && ++crs == FLine - 1) {
                offset = position + i + 1 + FCol;
                return true;
            }
        }
        position += got;
    }
}
