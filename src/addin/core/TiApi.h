// Wrapper over the IDE's editor services: snapshot of the current file and
// cursor, cursor moves, and insertion at the cursor. Holds no host
// reference between operations.
#pragma once

#include "ToolsApi.h"

#include <QString>

class TDialogService;

class TTiApi {
public:
    // toolServices: the IDE, copied in on each Refresh; nullptr makes every
    // operation fail as without an IDE.
    TTiApi(TIToolServices *toolServices, TDialogService &dialogs);
    ~TTiApi();
    TTiApi(const TTiApi &) = delete;
    TTiApi &operator=(const TTiApi &) = delete;

    void Refresh();
    QString CheckFile();
    void OpenView();
    void CloseView();
    TEditPos ReadCursor();
    void SetColumn(int16_t column);
    void GotoLine(int32_t line);
    void InsertText(const QString &text);
    // The text of the view's selected block (CR LF line ends); empty when
    // nothing is selected.
    QString SelectedText();
    // Inserts text at the cursor, or in place of the selected block when
    // replaceSelection and there is one. With caret >= 0 the cursor then
    // goes where that many characters of text end.
    void InsertMacro(const QString &text, qsizetype caret, bool replaceSelection);
    // Offset in the buffer of the cursor column on the cursor line.
    bool LineOffset(int32_t &offset);
    // Offset of a line and column, and where that line starts; a column
    // beyond the line's end gives the line's end.
    bool OffsetOf(TEditPos pos, int32_t &offset, int32_t &lineStart);

    const QString &FileName() const { return FFileName; }
    int32_t Line() const { return FLine; }
    int16_t Col() const { return FCol; }

    // Characters asked of the host per read while looking for a line: one
    // host call per block, not per character.
    static constexpr int32_t DefaultReadBlock = 16384;
    void SetReadBlock(int32_t count) { FReadBlock = count > 0 ? count : 1; }
    int32_t ReadBlock() const { return FReadBlock; }

private:
    template <typename F>
    void ShowAndRethrow(F &&step);
    // Runs step with module, editor and view open; closes them on every path.
    template <typename Step>
    void WithView(Step &&step);
    template <typename Move>
    void MoveCursor(Move &&move);
    // The selected block's offsets, read with FView and FReader open.
    bool BlockOffsets(int32_t &from, int32_t &to, int32_t &lineStart, TEditPos &begin);

    TIToolServices *FSource;
    TDialogService &FDialogs;
    TIToolServices *FToolServices = nullptr;
    QString FFileName;
    int32_t FLine = 0;
    int16_t FCol = 0;
    THostRef<TIModuleInterface> FModule;
    THostRef<TIEditorInterface> FEditor;
    THostRef<TIEditView> FView;
    THostRef<TIEditReader> FReader;
    THostRef<TIEditWriter> FWriter;
    int32_t FReadBlock = DefaultReadBlock;
};
