#include "ResVersionInfo.h"

#include "Dialogs.h"
#include "Paths.h"
#include "VersionInfo.h"

#include <QtEndian>

namespace {

constexpr int MaxChars = 50;

// The first MaxChars characters; a pair of surrogates is one character and
// stays whole.
QString Cut(const QString &text)
{
    qsizetype at = 0;
    for (int count = 0; count < MaxChars && at < text.size(); ++count) {
        const bool pair = text.at(at).isHighSurrogate() && at + 1 < text.size()
            && text.at(at + 1).isLowSurrogate();
        at += pair ? 2 : 1;
    }
    return text.left(at);
}

QString VersionText(uint32_t mostSignificant, uint32_t leastSignificant)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(mostSignificant >> 16)
        .arg(mostSignificant & 0xFFFF)
        .arg(leastSignificant >> 16)
        .arg(leastSignificant & 0xFFFF);
}

// The editor picks its list entries by these exact texts.
QString OSName(uint32_t os)
{
    switch (os) {
    case 0x00000001: return QStringLiteral("Windows 3.0+");
    case 0x00000002: return QStringLiteral("16 bit OS/2 PM");
    case 0x00000003: return QStringLiteral("32 bit OS/2 PM");
    case 0x00000004: return QStringLiteral("32 bit Windows");
    case 0x00010000: return QStringLiteral("MS-Dos");
    case 0x00010001: return QStringLiteral("Windows 3.0+ & DOS");
    case 0x00010004: return QStringLiteral("32 bit Windows &Dos");
    case 0x00020000: return QStringLiteral("16 bit OS/2");
    case 0x00020002: return QStringLiteral("16 bit OS/2 + PM");
    case 0x00030000: return QStringLiteral("32 bit OS/2");
    case 0x00030003: return QStringLiteral("32 bit OS/2 + PM");
    case 0x00040000: return QStringLiteral("Windows NT");
    case 0x00040004: return QStringLiteral("WinNT");
    default: return QStringLiteral("Unknown");
    }
}

QString FileTypeName(uint32_t type)
{
    switch (type) {
    case 1: return QStringLiteral("Aplicacion");
    case 2: return QStringLiteral("Dynamic-Link Library");
    case 3: return QStringLiteral("Device Driver");
    case 4: return QStringLiteral("Fuente");
    case 5: return QStringLiteral("Virtual Device Driver");
    case 7: return QStringLiteral("Static-Link Library");
    default: return QStringLiteral("Unknown");
    }
}

struct TStringKey {
    const char *Key;
    QString TResouceVersionInfo::*Field;
};

const TStringKey StringKeys[] = {
    {"CompanyName", &TResouceVersionInfo::CompanyName},
    {"FileDescription", &TResouceVersionInfo::FileDescription},
    {"FileVersion", &TResouceVersionInfo::FileVersion},
    {"InternalName", &TResouceVersionInfo::InternalName},
    {"LegalCopyright", &TResouceVersionInfo::LegalCopyright},
    {"Comments", &TResouceVersionInfo::Comments},
    {"OriginalFileName", &TResouceVersionInfo::OriginalFileName},
    {"LegalTrademarks", &TResouceVersionInfo::LegalTrademarks},
    {"ProductName", &TResouceVersionInfo::ProductName},
    {"ProductVersion", &TResouceVersionInfo::ProductVersion},
    {"SpecialBuild", &TResouceVersionInfo::SpecialBuild},
    {"PrivateBuild", &TResouceVersionInfo::PrivateBuild},
};

} // namespace

TResouceVersionInfo::TResouceVersionInfo(const QString &fileName, TDialogService &dialogs)
{
    // Taken whole: there is no fixed-size buffer to cut a long path here.
    const QString path = fileName.isEmpty() ? RunningProgramPath() : fileName;
    uint32_t handle = 0;
    const uint32_t size = GetFileVersionInfoSize(path, handle);
    if (size == 0) {
        dialogs.ShowError(QStringLiteral(u"No hay información de version en") + path);
        return;
    }
    QByteArray data;
    if (!GetFileVersionInfo(path, handle, size, data))
        return;

    TVerValue value;
    if (!VerQueryValue(data, QStringLiteral("\\"), value) || !value.Fixed) {
        dialogs.ShowError(QStringLiteral("Invalid version information in ") + path);
        return;
    }
    const TFixedFileInfo &fixed = *value.Fixed;
    NumFileVersion = VersionText(fixed.FileVersionMS, fixed.FileVersionLS);
    NumProductVersion = VersionText(fixed.ProductVersionMS, fixed.ProductVersionLS);
    OSName = ::OSName(fixed.FileOS);
    FileTypeName = ::FileTypeName(fixed.FileType);

    LanguageId = 0x0409;
    CodePage = 0x04E4;
    if (VerQueryValue(data, QStringLiteral("\\\\VarFileInfo\\\\Translation"), value)
        && value.Bytes.size() >= 4) {
        LanguageId = qFromLittleEndian<uint16_t>(value.Bytes.constData());
        CodePage = qFromLittleEndian<uint16_t>(value.Bytes.constData() + 2);
    }

    const QString block = QStringLiteral("%1%2")
                              .arg(LanguageId, 4, 16, QLatin1Char('0'))
                              .arg(CodePage, 4, 16, QLatin1Char('0'))
                              .toUpper();
    const QString prefix = QStringLiteral("\\\\StringFileInfo\\\\") + block + QLatin1Char('\\');
    for (const TStringKey &key : StringKeys) {
        if (VerQueryValue(data, prefix + QLatin1String(key.Key), value))
            this->*key.Field = Cut(value.Text);
    }
}
