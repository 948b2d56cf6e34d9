// Generators of the multilingual string expert: from the language table they
// write language.pas and the string-table resource scripts, then compile them
// with the IDE's outside tools. Plain logic, no widgets: the string table
// window gathers the settings and calls one of the two builders.
#pragma once

#include "AddinServices.h"

#include <QDateTime>
#include <QString>

#include <functional>

class TAppExec;
class TTable;

struct TLanguageGenSettings {
    QString ProjectDir;   // the project directory, without a trailing separator
    QString LanguageName; // name of the current language
    int CurLang = 0;      // 0..6: the table's field number of the texts
    int InitId = 1000;    // number of the first string
};

// The file base name: the first six characters of the language name + "ty".
QString LanguageBaseName(const QString &languageName);

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

private:
    const TAddinServices &FServices;
    TAppExec &FExec;
    TClock FClock;
};
