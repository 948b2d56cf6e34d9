#include "EditorIntf.h"

#include "CodeEditor.h"
#include "HostObject.h"
#include "Ide.h"
#include "SourceBuffer.h"

#include "Exception.h"

#include <QPointer>

#include <algorithm>
#include <vector>

namespace qide {

namespace {

// Reads the buffer with CR LF line ends. The CR LF text is built once per
// reader and again only after the buffer changed, so reading a file block by
// block costs one conversion, not one per block.
class THostReader final : public THostObject<TIEditReader> {
public:
    explicit THostReader(TSourceBuffer *buffer) : FBuffer(buffer) {}

    int32_t GetText(int32_t position, QChar *out, int32_t count) override
    {
        if (!FBuffer || !out || count <= 0 || position < 0)
            return 0;
        if (!FBuilt || FChanges != FBuffer->changeCount()) {
            FSnapshot = FBuffer->crlfText();
            FChanges = FBuffer->changeCount();
            FBuilt = true;
        }
        if (position >= FSnapshot.size())
            return 0;
        const int32_t n = std::min<int32_t>(count, int32_t(FSnapshot.size()) - position);
        std::copy_n(FSnapshot.constData() + position, n, out);
        return n;
    }

private:
    QPointer<TSourceBuffer> FBuffer;
    QString FSnapshot;
    quint64 FChanges = 0;
    bool FBuilt = false;
};

// Rewrites the buffer: copies the original up to a position, skips or
// inserts, and on release the rest of the original follows. Offsets count
// in the CR LF text as it was when the writer was made; the whole rewrite is
// one undo step.
class THostWriter final : public THostObject<TIEditWriter> {
public:
    explicit THostWriter(TSourceBuffer *buffer) : FBuffer(buffer), FLength(buffer->crlfLength()) {}
    ~THostWriter() override
    {
        if (FBuffer)
            FBuffer->applyEdits(FEdits);
    }

    bool CopyTo(int32_t position) override
    {
        if (position < FPosition || position > FLength)
            return false;
        FPosition = position;
        return true;
    }
    bool DeleteTo(int32_t position) override
    {
        if (position < FPosition || position > FLength)
            return false;
        if (position > FPosition)
            edit().to = position;
        FPosition = position;
        return true;
    }
    bool Insert(const QString &text) override
    {
        if (!FBuffer)
            return false;
        edit().text += text;
        return true;
    }
    int32_t Position() override { return FPosition; }

private:
    // The edit at the current position, started when there is none.
    TSourceBuffer::TEdit &edit()
    {
        if (FEdits.empty() || FEdits.back().to != FPosition)
            FEdits.push_back({FPosition, FPosition, {}});
        return FEdits.back();
    }

    QPointer<TSourceBuffer> FBuffer;
    int32_t FLength;
    int32_t FPosition = 0;
    std::vector<TSourceBuffer::TEdit> FEdits;
};

class THostView final : public THostObject<TIEditView> {
public:
    explicit THostView(TCodeEditor *editor) : FEditor(editor) {}

    TEditPos GetPos(int32_t index) override
    {
        if (!FEditor)
            return {};
        if (index == epTopLine)
            return {1, FEditor->topLine()};
        if (index == epBlockBegin || index == epBlockEnd)
            return FEditor->blockPos(index == epBlockEnd);
        return FEditor->cursorPos();
    }
    void SetPos(int32_t index, TEditPos value) override
    {
        if (!FEditor)
            return;
        if (index == epTopLine)
            FEditor->setTopLine(value.Line);
        else if (index == epCursor)
            FEditor->setCursorPos(value);
    }

private:
    QPointer<TCodeEditor> FEditor;
};

class THostEditor final : public THostObject<TIEditorInterface> {
public:
    explicit THostEditor(TCodeEditor *editor) : FEditor(editor) {}

    QString FileName() override { return FEditor ? FEditor->buffer()->fileName() : QString(); }
    int32_t GetViewCount() override { return FEditor ? 1 : 0; }
    TIEditView *GetView(int32_t index) override
    {
        return FEditor && index == 0 ? new THostView(FEditor) : nullptr;
    }
    bool BufferModified() override { return FEditor && FEditor->buffer()->isModified(); }
    TIEditReader *CreateReader() override
    {
        return FEditor ? new THostReader(FEditor->buffer()) : nullptr;
    }
    TIEditWriter *CreateWriter() override
    {
        return FEditor ? new THostWriter(FEditor->buffer()) : nullptr;
    }

private:
    QPointer<TCodeEditor> FEditor;
};

class THostModule final : public THostObject<TIModuleInterface> {
public:
    THostModule(TIde *ide, TCodeEditor *editor) : FIde(ide), FEditor(editor) {}

    TIEditorInterface *GetEditorInterface() override
    {
        return FEditor ? new THostEditor(FEditor) : nullptr;
    }
    bool ShowSource() override
    {
        if (!FEditor || !FIde)
            return false;
        FIde->showEditor(FEditor);
        return true;
    }
    bool Save(bool forceSave) override
    {
        if (!FEditor || !FIde)
            return false;
        if (!forceSave && !FEditor->buffer()->isModified())
            return true;
        return FIde->saveEditor(FEditor);
    }

private:
    QPointer<TIde> FIde;
    QPointer<TCodeEditor> FEditor;
};

} // namespace

TIModuleInterface *NewModuleInterface(TIde *ide, TCodeEditor *editor)
{
    return editor ? new THostModule(ide, editor) : nullptr;
}

} // namespace qide
