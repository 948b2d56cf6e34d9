// Paths of the IDE's three outside tools, kept in Ideexe.dat beside the
// add-in: one 768-byte record of three length-prefixed 256-byte fields.
#pragma once

#include "AddinServices.h"
#include "GuardedFile.h"

#include <QByteArray>
#include <QString>

class TConfFiler {
public:
    enum Kind { HcwKind = 0, BrccKind = 1, DccKind = 2 };
    static constexpr int FieldSize = 256;
    static constexpr int RecordSize = 3 * FieldSize;

    // Loads Ideexe.dat. On a fresh install (no file yet) the tools found
    // beside the IDE or on the PATH are stored at once, without a question.
    explicit TConfFiler(const TAddinServices &services);

    // The stored path of a tool; when it names no existing file, the user
    // is asked first.
    QString GetHcwPath();
    QString GetBrccPath();
    QString GetDccPath();
    void AskToolPath(int kind);

    enum class TAskAgain { NotAsked, Cancelled, Chosen };
    // After the tool of kind failed to start. A file that is there but
    // cannot be run (not executable, not a program) would fail on every
    // run: error is shown, then the user is asked again. A missing one was
    // asked for already, so nothing is shown and the caller reports it.
    TAskAgain AskAgainAfterFailedStart(int kind, const QString &error);

    void Load();
    // False when the write failed; the error has been shown.
    bool Save();

    const QString &DataFile() const { return FDataFile; }
    QString Path(int kind) const;
    // The file's bytes for three paths, each cut to 255 bytes at a
    // character boundary.
    static QByteArray Record(const QString &hcw, const QString &brcc, const QString &dcc);
    // Title and filter of the file dialog for a kind.
    static QString DialogTitle(int kind);
    static QString DialogFilter(int kind);

private:
    QString &Field(int kind);
    QString PathOf(int kind);
    bool DetectTools();

    TAddinServices FServices;
    QString FDataFile;
    QString FHcwPath;
    QString FBrccPath;
    QString FDccPath;
    TGuardedFile FFile;
};
