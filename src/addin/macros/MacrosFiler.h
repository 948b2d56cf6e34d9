// The user's editor macros, kept in Quorbel.dat beside the add-in library:
// a headerless run of fixed 2150-byte records. Title and body are each a
// text of their own, in Windows-1252 or, when they need it, UTF-8 (CodePage):
// chosen per field, not per file, since the bytes around them carry no
// meaning and would spoil a decision over the whole record.
#pragma once

#include "Exception.h"
#include "GuardedFile.h"
#include "core/AddinServices.h"

#include <QString>

#include <array>
#include <vector>

// The macro store's own errors.
class TMacrosError : public Exception {
public:
    using Exception::Exception;
};

// One macro exactly as stored: a length byte and 100 title characters, then
// the body ended by a NUL in 2049 bytes. Kept as bytes so a record read from
// the file is written back unchanged.
class TMacroRec {
public:
    static constexpr int RecordSize = 2150;
    static constexpr int TitleCapacity = 100;
    static constexpr int BodySize = 2049;
    static constexpr int BodyCapacity = BodySize - 1; // characters besides the NUL

    TMacroRec() { FBytes.fill(0); }

    QString Title() const;
    // Keeps the first 100 characters.
    void SetTitle(const QString &title);
    // Up to the first NUL, or all 2049 bytes when there is none.
    QString Body() const;
    // Keeps the first 2048 characters and ends them with a NUL.
    void SetBody(const QString &body);

    const char *data() const { return FBytes.data(); }
    char *data() { return FBytes.data(); }

private:
    std::array<char, RecordSize> FBytes;
};

class TMacrosFiler {
public:
    // The file is the add-in's data directory + "Quorbel.dat"; nothing is read yet.
    explicit TMacrosFiler(const TAddinServices &services);
    ~TMacrosFiler();
    TMacrosFiler(const TMacrosFiler &) = delete;
    TMacrosFiler &operator=(const TMacrosFiler &) = delete;

    const QString &FileName() const { return FFileName; }

    // Replaces the list with the file's records. A missing or unreadable file,
    // or a short tail, raises TMacrosError; the complete records read stay.
    // For a file that exists but could not be read the error says why.
    void Load();
    // Writes the whole list; a failure is shown to the user and leaves the
    // previous file whole. True when the file was written. A file that
    // exists but was not read in full by Load is never replaced: that would
    // throw away every macro in it.
    bool Save();

    void Add(const QString &title, const QString &body);
    void Delete(int index);
    void Clear();
    // The entry at a zero-based index, changeable in place.
    TMacroRec &Macro(int index);
    int Count() const { return int(FList.size()); }

private:
    TAddinServices FServices;
    QString FFileName;
    std::vector<TMacroRec> FList;
    TGuardedFile FFile;
};
