// The version editor's tables and the resource script it writes, without a
// window: names shown in the lists, the codes written for them, version.rc.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace VersionTables {

// List entries in list order.
QStringList OsNames();
QStringList FileTypeNames();
QStringList LanguageNames(); // 46 entries, table order
QStringList CodePageNames(); // 11 entries, table order

// Hexadecimal texts with "L" behind for " FILEOS 0x" and " FILETYPE 0x";
// "0L" for no selection (an empty or unknown name).
QString OsCode(const QString &name);
QString FileTypeCode(const QString &name);
// key: a language identifier in upper-case hexadecimal without leading
// zeros ("409"). "Unknown" when not listed.
QString LanguageName(const QString &key);
// The four-digit code written into the script; "0" for an unlisted name.
QString LanguageCode(const QString &name);
// key: a code page in decimal ("1252"). "Desconocido" when not listed.
QString CodePageName(const QString &key);
// The decimal code page; "Desconocido" for an unlisted name.
QString CodePageOf(const QString &name);
// LanguageCode(language) + the code page in four upper-case hex digits;
// empty when the code page is not listed (no block can be named).
QString BlockName(const QString &language, const QString &codePage);
// privateBuild + 1 when it is an integer; else the text unchanged.
QString NextPrivateBuild(const QString &privateBuild);

} // namespace VersionTables

// What the dialog's controls hold when "Ok" is pressed.
struct TVersionFields {
    QString FileVersion = QStringLiteral("1,0,0,0");    // FVersion
    QString ProductVersion = QStringLiteral("1,0,0,0"); // PVersion
    QString OsName;                                     // TipoOS, empty: none
    QString FileTypeName;                               // STipo
    QString ProductName, Description, InternalName, OriginalName, CompanyName;
    QString Copyright, Trademarks, Comments, GenericVersion, SpecialBuild, PrivateBuild;
    QString Language; // ELenguaje
    QString CodePage; // TCodigos
};

// The string values version.rc holds, in its order: the optional ones
// (comments, trademarks, special build) only when given.
QList<QPair<QString, QString>> ScriptStrings(const TVersionFields &fields);

// The lines of version.rc, without line ends. BlockName must be formable.
QStringList VersionScriptLines(const TVersionFields &fields);
// The file: every line ended by CR LF, in Windows-1252 when every character
// fits, else UTF-8.
QByteArray VersionScript(const TVersionFields &fields);
