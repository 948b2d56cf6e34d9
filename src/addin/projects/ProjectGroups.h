// The project groups file, proj.dat, and the tree it holds: groups at the
// first level, projects below them. No widgets here, so the format is
// exercised without a window.
//
// One line per node in tree order: as many tabs as the node's depth, the
// node's text, CR LF. A project line is "label;path". The file is one text:
// Windows-1252 when every character fits, else UTF-8, decided for the whole
// file (CodePage), so a reader never meets a file of mixed encodings.
#pragma once

#include "Exception.h"
#include "GuardedFile.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

// The path of a project file attached to a project node.
class TData {
public:
    static constexpr int MaxPath = 255;

    // A longer path is cut to its first MaxPath characters.
    explicit TData(const QString &path);
    const QString &GetData() const { return FPath; }

private:
    QString FPath;
};

// Loading stopped at a line more than one level below the node before it.
class EInvalidLevel : public Exception {
public:
    EInvalidLevel();
};

class TProjectNode {
public:
    QString Text;
    std::unique_ptr<TData> Data; // projects only

    TProjectNode *Parent() const { return FParent; }
    int Level() const;
    const std::vector<std::unique_ptr<TProjectNode>> &Children() const { return FChildren; }
    TProjectNode *AddChild(const QString &text);

private:
    TProjectNode *FParent = nullptr;
    std::vector<std::unique_ptr<TProjectNode>> FChildren;
};

class TProjectGroups {
public:
    const std::vector<std::unique_ptr<TProjectNode>> &Roots() const { return FRoots; }
    TProjectNode *AddRoot(const QString &text);
    // Drops the nodes; what a faulty file left unread stays (see Unread()).
    void ClearNodes();
    int NodeCount() const;

    // Replaces the tree with the file's content. Level-1 lines are split at
    // their first ";" into the label and the project path (a line without
    // ";" is label and path at once). On a level error the nodes read before
    // the bad line stay, the rest of the text is kept in Unread() and
    // EInvalidLevel is thrown.
    void ReadText(const QByteArray &bytes);
    // The file's bytes: the tree, then whatever a faulty file left unread,
    // so a bad line or the rest after a NUL is never silently dropped by a save.
    QByteArray WriteText() const;

    // Throws EInOutError ("Cannot open file ...") or EInvalidLevel.
    void LoadFromFile(const QString &path);
    // Atomic replace; throws EInOutError and leaves the old file whole. A
    // file that exists is replaced only when LoadFromFile (or an earlier
    // save) read it in full: anything else would throw its content away.
    void SaveToFile(const QString &path, TFileWriter &writer);

    // The unread rest of the file's text: from a bad level line, or from a
    // NUL, to the end; empty after a clean load.
    const QString &Unread() const { return FUnread; }

    // What the text of a node at a level may hold so that it reads back the
    // same: no line breaks, NUL or lone surrogate halves, no leading blanks
    // or tabs (they give the level), for a project label (level 1) no ";"
    // (it ends the label), and for a group not the end-of-file mark alone.
    static QString CleanText(const QString &text, int level);

private:
    std::vector<std::unique_ptr<TProjectNode>> FRoots;
    QString FUnread;
    TGuardedFile FFile;
};
