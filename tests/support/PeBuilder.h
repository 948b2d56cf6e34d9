// Real Windows program files for tests: a resource script compiled with the
// cross tools (windres, ld) into a DLL that holds only its resources.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

enum class TPeKind { Pe32, Pe32Plus };

// Compiles rcScript, text in codePage (1252 or 65001 for UTF-8), and links
// dir/name from it; returns the DLL's path. When a tool is missing or
// refuses the script the calling test fails with the tool's message, and
// the result is empty.
QString BuildDll(const QString &dir, const QString &name, const QByteArray &rcScript,
                 TPeKind kind = TPeKind::Pe32Plus, int codePage = 1252);

// Links dir/name, a 64-bit DLL, from a compiled resource file (.res).
QString LinkDllFromRes(const QString &dir, const QString &name, const QString &resFile);

// What a loader reads first from a PE file's headers.
struct TPeHeaders {
    bool Valid = false;          // a PE file whose headers are whole
    uint16_t Machine = 0;        // 0x14C i386, 0x8664 x86-64
    uint16_t Magic = 0;          // 0x10B PE32, 0x20B PE32+
    uint16_t Characteristics = 0;
    uint32_t EntryPoint = 0;     // 0: no entry routine to call
    int Imports = -1;            // import descriptors before the closing empty one
    bool HasResources = false;
};
TPeHeaders ReadPeHeaders(const QString &file);
