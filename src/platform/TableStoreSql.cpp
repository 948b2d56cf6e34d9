#include "TableStoreSql.h"

#include <algorithm>

namespace TableStoreSql {

QString Quote(QString identifier)
{
    return QLatin1Char('"') + identifier.replace(QLatin1Char('"'), QLatin1String("\"\""))
        + QLatin1Char('"');
}

[[noreturn]] void Fail(const QSqlError &error, const QString &table)
{
    const int code = error.nativeErrorCode().toInt();
    switch (code & 0xff) {
    case 19: // SQLITE_CONSTRAINT
        throw EKeyViolation();
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        throw EDatabaseError(QStringLiteral("The table %1 is in use by another program. Try again.")
                                 .arg(table));
    default:
        break;
    }
    const QString reason = error.driverText().isEmpty() ? error.databaseText()
                                                        : error.databaseText().isEmpty()
            ? error.driverText()
            : error.driverText() + QStringLiteral(": ") + error.databaseText();
    throw ESqlFailure(table, code & 0xff, reason);
}

namespace {

// Code point order, which is the byte order of UTF-8 and so SQLite's own.
int CompareText(QStringView a, QStringView b)
{
    const auto [pa, pb] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (pa == a.end())
        return pb == b.end() ? 0 : -1;
    if (pb == b.end())
        return 1;
    auto fix = [](char16_t c) -> int {
        if (c >= 0xE000)
            return c - 0x800;
        if (c >= 0xD800)
            return c + 0x2000;
        return c;
    };
    return fix(pa->unicode()) < fix(pb->unicode()) ? -1 : 1;
}


} // namespace

bool IsNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Bool:
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        return true;
    default:
        return false;
    }
}

// Nulls first, numbers before texts, as SQLite orders them.
int CompareValues(const QVariant &a, const QVariant &b)
{
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    const bool ai = IsNumber(a), bi = IsNumber(b);
    if (ai && bi) {
        const qlonglong x = a.toLongLong(), y = b.toLongLong();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (ai != bi)
        return ai ? -1 : 1;
    if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
        return CompareText(*static_cast<const QString *>(a.constData()),
                           *static_cast<const QString *>(b.constData()));
    return CompareText(a.toString(), b.toString());
}

QStringList SplitFields(const QString &fields)
{
    QStringList names;
    for (const QString &part : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty())
            names << part.trimmed();
    return names;
}

} // namespace TableStoreSql
