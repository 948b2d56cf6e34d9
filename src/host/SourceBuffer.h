// One open source file: its text (a QTextDocument with '\n' line ends), the
// file's format, and the CR LF view that add-ins read and write through.
#pragma once

#include "TextFile.h"

#include "SafeFile.h"

#include <QObject>
#include <QString>
#include <QTextDocument>

#include <vector>

namespace qide {

class TSourceBuffer : public QObject {
    Q_OBJECT
public:
    explicit TSourceBuffer(const QString &fileName, QObject *parent = nullptr);

    // Reads the file; throws EInOutError.
    void load();
    // Writes the file atomically in its own encoding and line ends: an
    // unmodified buffer writes back the bytes it read. Throws EInOutError
    // and leaves the buffer modified.
    void save();
    // What the editor cannot show or keep of the file as read; empty for
    // most files (see DecodeTextFile).
    const QString &problem() const { return FProblem; }

    // Where save() writes; tests hand in one that fails.
    void setWriter(TFileWriter &writer) { FWriter = &writer; }

    const QString &fileName() const { return FFileName; }
    // Save As: the buffer belongs to another file from now on.
    void setFileName(const QString &fileName) { FFileName = fileName; }
    QTextDocument *document() const { return FDocument; }
    const TTextFormat &format() const { return FFormat; }
    bool isModified() const { return FDocument->isModified(); }

    // The whole text with CR LF line ends.
    QString crlfText() const;
    // Length of crlfText() without building it.
    int crlfLength() const;
    // Document position of a CR LF offset; an offset inside a line end maps
    // to the end of its line.
    int documentPosition(int crlfOffset) const;
    // Counts text changes; a reader rebuilds its snapshot only when it moved.
    quint64 changeCount() const { return FChanges; }
    // How many CR LF snapshots have been built (cost check).
    int snapshotsBuilt() const { return FSnapshots; }

    // Replaces [from, to) (CR LF offsets of the current text, ascending and
    // not overlapping) with text given with any line ends. All edits form one
    // undo step.
    struct TEdit {
        int from = 0;
        int to = 0;
        QString text;
    };
    void applyEdits(const std::vector<TEdit> &edits);

signals:
    void saved(const QString &fileName);

private:
    QString FFileName;
    TFileWriter *FWriter = &AtomicFileWriter();
    QTextDocument *FDocument;
    TTextFormat FFormat;
    QByteArray FBytes; // as read or last written
    bool FHasBytes = false;
    QString FProblem;
    quint64 FChanges = 0;
    mutable int FSnapshots = 0;
};

} // namespace qide
