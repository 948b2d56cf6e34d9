// The project groups file, proj.dat, and the tree it holds: groups at the
// first level, projects below them. No widgets here, so the format is
// exercised without a window.
//
// One line per node in tree order: as many tabs as the node's depth, the
// node's text, CR LF; ANSI code page. A project line is "label;path".
#pragma once

#include "Exception.h"
#include "SafeFile.h"

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
    // so a bad line is never silently dropped by a save.
    QByteArray WriteText() const;

    // Throws EInOutError ("Cannot open file ...") or EInvalidLevel.
    void LoadFromFile(const QString &path);
    // Atomic replace; throws EInOutError and leaves the old file whole. An
    // existing file that cannot be read is not replaced: it was never
    // loaded, so writing would throw its content away.
    void SaveToFile(const QString &path, TFileWriter &writer) const;

    // The unread rest of a file whose loading stopped at a level error,
    // starting at the bad line; empty after a clean load.
    const QByteArray &Unread() const { return FUnread; }

    // What a node's text may hold so that it reads back the same: no line
    // breaks or NUL, no leading blanks or tabs (they give the level), and
    // for a project label no ";" (it ends the label).
    static QString CleanText(const QString &text, bool projectLabel);

private:
    std::vector<std::unique_ptr<TProjectNode>> FRoots;
    QByteArray FUnread;
};
