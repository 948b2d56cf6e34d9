// Generators of the multilingual string expert: from the language table they
// write language.pas and the string-table resource scripts, then compile them
// with the IDE's outside tools. Plain logic, no widgets: the string table
// window gathers the settings and calls one of the two builders.
#pragma once

#include "core/AddinServices.h"

#include "Exception.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <functional>

class TAppExec;
class TConfFiler;
class THourglass;
class TTable;

// A run refused or a compile that failed; carries the text shown.
class ELanguageGen : public Exception {
public:
    using Exception::Exception;
};

struct TLanguageGenSettings {
    QString ProjectDir;   // the project directory, without a trailing separator
    QString LanguageName; // name of the current language
    int CurLang = 0;      // 0..6: the table's field number of the texts
    int InitId = 1000;    // number of the first string
};

// The file base name: the first six characters of the language name + "ty".
QString LanguageBaseName(const QString &languageName);
// The time in a header's "Generated at:" line: the locale's short date and
// the time of day to the second.
QString GeneratedAtText(const QDateTime &when, const QLocale &locale);
// True when the unit can declare name as a constant: ASCII letters, digits
// and _, not starting with a digit, no reserved word (in any case).
bool IsPascalIdentifier(const QString &name);
bool IsPascalIdentifier(QStringView name);
bool IsPascalIdentifier(QLatin1StringView name);

// The paths of one run. Existing directories are found without regard to
// letter case; a missing LANG is made with that name.
struct TLanguageFiles {
    QString Dir;    // where the script is compiled: LANG, or LANG/B for the library
    QString Script; // Dir/B.rc
    QString Second; // Dir/B.lan, or Dir/B.dpr for the library
    QString Unit;   // ProjectDir/language.pas
    QString Res;    // Dir/B.res
    QString Bak;    // Dir/B.bak
    QString Dll;    // Dir/B.dll (the library only)
};

class TLanguageGenerator {
public:
    using TClock = std::function<QDateTime()>;

    // exec is the window's runner (Wait on, hidden); an empty clock reads the
    // system time for each file's "Generated at:" line.
    TLanguageGenerator(const TAddinServices &services, TAppExec &exec, TClock clock = {});

    // Resources linked into the program: language.pas in ProjectDir,
    // LANG/B.rc, LANG/B.lan, then LANG/B.res compiled by brcc32.
    // Errors are thrown as the system's exceptions for the caller's edge.
    void BuildLanguageUnit(TTable &table, const TLanguageGenSettings &settings);
    // One resource library per language: language.pas, LANG/B/B.rc and
    // LANG/B/B.dpr, compiled to B.res and B.dll.
    void BuildLanguageLibrary(TTable &table, const TLanguageGenSettings &settings);

    // The file steps of the builders without the compiles: the three texts
    // are made in memory from the table (left on its primary index, past
    // the last record), then each file is written whole. A run without a
    // language (CurLang outside 0..6) is refused before anything is touched.
    TLanguageFiles WriteUnitFiles(TTable &table, const TLanguageGenSettings &settings);
    TLanguageFiles WriteLibraryFiles(TTable &table, const TLanguageGenSettings &settings);

private:
    QString Now() const;
    // Runs the stored tool of kind in dir on one generated file, passed as
    // one argument. A tool that cannot be started is reported with
    // failureId's text and the runner's reason; one that is there but cannot
    // be run is asked for again, and the chosen one run.
    void RunTool(TConfFiler &conf, int kind, THourglass &hourglass, const QString &dir,
                 const QString &file, int failureId);
    // failureId's text, with the end of what the tool printed.
    QString CompileFailure(int failureId) const;

    const TAddinServices &FServices;
    TAppExec &FExec;
    TClock FClock;
};
