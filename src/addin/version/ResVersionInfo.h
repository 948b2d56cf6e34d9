// The version resource of a program file, as the short texts the version
// editor shows and edits. All the reading happens in the constructor;
// afterwards the object is a plain record and holds no file or buffer.
#pragma once

#include <QString>

#include <cstdint>

class TDialogService;

class TResouceVersionInfo {
public:
    // Reads fileName, or the running program's own file when it is empty.
    // Never throws: what goes wrong is shown through dialogs, and the
    // caller always gets an object.
    TResouceVersionInfo(const QString &fileName, TDialogService &dialogs);

    // Each text holds at most 50 characters.
    QString NumFileVersion;    // "1,0,0,5"
    QString NumProductVersion;
    QString OSName;
    QString FileTypeName;
    QString CompanyName;
    QString FileDescription;
    QString FileVersion;
    QString InternalName;
    QString LegalCopyright;
    QString Comments;
    QString OriginalFileName;
    QString LegalTrademarks;
    QString ProductName;
    QString ProductVersion;
    QString SpecialBuild;
    QString PrivateBuild;
    // Of the first translation; 0x0409 and 1252 when the file has none, 0
    // when nothing could be read.
    uint16_t LanguageId = 0;
    uint16_t CodePage = 0;
};
