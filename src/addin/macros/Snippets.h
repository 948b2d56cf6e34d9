// VS Code snippet files (*.code-snippets, pascal.json, objectpascal.json)
// turned into macros: the JSON VS Code accepts, and the snippet syntax
// mapped onto the macro placeholders. Nothing that cannot be mapped is
// dropped without a word: it is listed, by kind.
#pragma once

#include "Exception.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <vector>

class TDialogService;
class TMacrosFiler;

// A snippet file that cannot be read or is no snippet file.
class ESnippetError : public Exception {
public:
    using Exception::Exception;
};

// JSON with // and /* */ comments and trailing commas, as VS Code reads its
// settings and snippets: the comments and the commas before a closing
// bracket are blanked outside strings, then Qt's parser reads the rest.
// Throws ESnippetError with the line and column of what is wrong.
QJsonDocument ParseTolerantJson(const QByteArray &bytes);

// What could not be carried over into a macro, grouped by kind; each item
// names the snippet and the part.
struct TSnippetNotes {
    QStringList variables;   // variables with no placeholder of ours
    QStringList choices;     // ${1|a,b|}: the first option is kept
    QStringList transforms;  // ${1/re/fmt/}: dropped
    QStringList partly;      // a placeholder used twice, a default a placeholder cannot keep
    QStringList notImported; // too long, no body

    bool empty() const;
    // One line per kind that has items, as the string table words them.
    QStringList Lines() const;
};

// One snippet's body (lines already joined with "\n") as macro text:
// tab stops become their default text with "$CURSOR$" at the first stop
// (the lowest from $1, else $0), variables become our placeholders. Line
// breaks come out as CR LF. Notes go to notes under the snippet's name.
QString SnippetBodyToMacro(const QString &body, const QString &name, TSnippetNotes &notes);

struct TSnippetMacro {
    QString title;
    QString body;
};

struct TSnippetFile {
    QString fileName;
    int snippets = 0; // entries in the file
    std::vector<TSnippetMacro> macros;
    TSnippetNotes notes;
};

// Snippets of a parsed file, in file order: the title is the snippet's name,
// or its prefix when the name is empty; a body of more than a macro's 2048
// characters is not imported but listed.
TSnippetFile SnippetsFromJson(const QJsonDocument &document);

// Reads and converts a snippet file: a regular file of at most MaxSnippetFile
// bytes. Throws ESnippetError.
inline constexpr qint64 MaxSnippetFile = qint64(4) << 20;
TSnippetFile ReadSnippetFile(const QString &fileName);

// Adds the file's macros to the store; a title that exists already asks
// before replacing the first macro of that title (No keeps it). Returns how
// many were imported. The caller saves.
int ImportSnippets(TMacrosFiler &store, const TSnippetFile &file, TDialogService &dialogs);

// The report shown after an import: the count, then the notes.
QString SnippetReport(const TSnippetFile &file, int imported);
