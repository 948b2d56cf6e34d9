#include "TableStoreSql.h"

#include "CodePage.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

namespace TableStoreSql {

QString Quote(QString identifier)
{
    return QLatin1Char('"') + identifier.replace(QLatin1Char('"'), QLatin1String("\"\""))
        + QLatin1Char('"');
}

[[noreturn]] void Fail(sqlite3 *db, int code, const QString &table)
{
    switch (code & 0xff) {
    case SQLITE_CONSTRAINT:
        throw EKeyViolation();
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw EDatabaseError(QStringLiteral("The table %1 is in use by another program. Try again.")
                                 .arg(table));
    default:
        break;
    }
    // The connection's message is the one of its last call, which failed;
    // without a connection only the code tells.
    const char *message = db && sqlite3_errcode(db) == code ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw ESqlFailure(table, code & 0xff, QString::fromUtf8(message));
}

// ---------------------------------------------------------------- values

void TBinder::Bind(int at, const QVariant &value)
{
    int rc = SQLITE_OK;
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        rc = sqlite3_bind_null(FStatement, at);
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        rc = sqlite3_bind_double(FStatement, at, value.toDouble());
        break;
    case QMetaType::QByteArray:
        FBytes.push_back(value.toByteArray());
        rc = sqlite3_bind_blob64(FStatement, at, FBytes.back().constData(), sqlite3_uint64(FBytes.back().size()),
                                 SQLITE_STATIC);
        break;
    default:
        if (value.isNull()) {
            rc = sqlite3_bind_null(FStatement, at);
        } else if (IsNumber(value)) {
            rc = sqlite3_bind_int64(FStatement, at, value.toLongLong());
        } else {
            FBytes.push_back(value.toString().toUtf8());
            rc = sqlite3_bind_text64(FStatement, at, FBytes.back().constData(), sqlite3_uint64(FBytes.back().size()),
                                     SQLITE_STATIC, SQLITE_UTF8);
        }
    }
    if (rc != SQLITE_OK)
        FSql.Fail(rc);
}

QString TextOf(const char *bytes, int size)
{
    QString text = QString::fromUtf8(bytes, size);
    // Only a decoding that replaced something needs a second look.
    if (text.contains(QChar::ReplacementCharacter) && !IsUtf8Text(bytes, size))
        text = FromAnsi(bytes, size);
    return text;
}

QString ColumnText(sqlite3_stmt *statement, int column)
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    if (!bytes)
        return {};
    return TextOf(bytes, sqlite3_column_bytes(statement, column));
}

// ---------------------------------------------------------- packed rows

void TPacker::Add(char tag, const void *bytes, size_t size)
{
    FBytes.push_back(tag);
    if (tag == PackedText || tag == PackedBlob) {
        const quint32 length = quint32(size);
        FBytes.append(reinterpret_cast<const char *>(&length), sizeof length);
    }
    FBytes.append(static_cast<const char *>(bytes), size);
}

char *TPackArena::Take(size_t size)
{
    constexpr size_t BlockSize = 64 * 1024;
    if (size > BlockSize / 4) {
        // A large record gets a block of its own, so no block is left mostly empty.
        Blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        return Blocks.back().get();
    }
    if (size > FLeft) {
        Blocks.push_back(std::make_unique_for_overwrite<char[]>(BlockSize));
        FAt = Blocks.back().get();
        FLeft = BlockSize;
    }
    char *at = FAt;
    FAt += size;
    FLeft -= size;
    return at;
}

QByteArray TPacker::PackColumns(sqlite3_stmt *statement, int first, int last, TPackArena &arena)
{
    struct TPart {
        char Tag;
        const void *Bytes;
        size_t Size;
        union {
            qint64 Integer;
            double Real;
        };
    };
    constexpr int Inline = 32;
    TPart inlineParts[Inline];
    std::vector<TPart> moreParts;
    const int count = last - first + 1;
    TPart *parts = inlineParts;
    if (count > Inline) {
        moreParts.resize(size_t(count));
        parts = moreParts.data();
    }
    size_t total = 0;
    for (int c = first; c <= last; ++c) {
        TPart &part = parts[c - first];
        // The type first: asking for the bytes of a number would make it a text.
        switch (sqlite3_column_type(statement, c)) {
        case SQLITE_INTEGER:
            part.Tag = PackedInteger;
            part.Integer = sqlite3_column_int64(statement, c);
            part.Bytes = &part.Integer;
            part.Size = sizeof part.Integer;
            break;
        case SQLITE_FLOAT:
            part.Tag = PackedReal;
            part.Real = sqlite3_column_double(statement, c);
            part.Bytes = &part.Real;
            part.Size = sizeof part.Real;
            break;
        case SQLITE_TEXT:
            part.Tag = PackedText;
            part.Bytes = sqlite3_column_text(statement, c);
            part.Size = size_t(sqlite3_column_bytes(statement, c));
            total += sizeof(quint32);
            break;
        case SQLITE_BLOB:
            part.Tag = PackedBlob;
            part.Bytes = sqlite3_column_blob(statement, c);
            part.Size = size_t(sqlite3_column_bytes(statement, c));
            total += sizeof(quint32);
            break;
        default:
            part.Tag = PackedNull;
            part.Bytes = nullptr;
            part.Size = 0;
        }
        total += 1 + part.Size;
    }
    // The pointers stay valid: no column is asked for again before the copy.
    char *const start = arena.Take(total);
    char *out = start;
    for (int i = 0; i < count; ++i) {
        const TPart &part = parts[i];
        *out++ = part.Tag;
        if (part.Tag == PackedText || part.Tag == PackedBlob) {
            const quint32 length = quint32(part.Size);
            std::memcpy(out, &length, sizeof length);
            out += sizeof length;
        }
        if (part.Size > 0)
            std::memcpy(out, part.Bytes, part.Size);
        out += part.Size;
    }
    return QByteArray::fromRawData(start, qsizetype(total));
}

void TPacker::AddValue(const QVariant &value)
{
    if (value.isNull()) {
        Add(PackedNull, nullptr, 0);
    } else if (IsNumber(value)) {
        const qint64 number = value.toLongLong();
        Add(PackedInteger, &number, sizeof number);
    } else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double real = value.toDouble();
        Add(PackedReal, &real, sizeof real);
    } else if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray blob = value.toByteArray();
        Add(PackedBlob, blob.constData(), size_t(blob.size()));
    } else {
        const QByteArray text = value.toString().toUtf8();
        Add(PackedText, text.constData(), size_t(text.size()));
    }
}

QByteArray PackOne(const QVariant &value)
{
    TPacker packer;
    packer.AddValue(value);
    return packer.Take();
}

TPackedValue PackedAt(const QByteArray &packed, int column)
{
    const char *at = packed.constData();
    const char *const end = at + packed.size();
    for (int c = 0; at < end; ++c) {
        TPackedValue value;
        value.Tag = *at++;
        switch (value.Tag) {
        case PackedInteger:
            std::memcpy(&value.Integer, at, sizeof value.Integer);
            at += sizeof value.Integer;
            break;
        case PackedReal:
            std::memcpy(&value.Real, at, sizeof value.Real);
            at += sizeof value.Real;
            break;
        case PackedText:
        case PackedBlob: {
            quint32 length = 0;
            std::memcpy(&length, at, sizeof length);
            value.Bytes = at + sizeof length;
            value.Size = int(length);
            at = value.Bytes + length;
            break;
        }
        default:
            break;
        }
        if (c == column)
            return value;
    }
    return {};
}

QVariant Unpack(const TPackedValue &value)
{
    switch (value.Tag) {
    case PackedInteger:
        return QVariant(qlonglong(value.Integer));
    case PackedReal:
        return QVariant(value.Real);
    case PackedText:
        return QVariant(TextOf(value.Bytes, value.Size));
    case PackedBlob:
        return QVariant(QByteArray(value.Bytes, value.Size));
    default:
        return {};
    }
}

int ComparePacked(const TPackedValue &a, const TPackedValue &b)
{
    // SQLite's own order: nulls, numbers, texts, blobs.
    auto rank = [](char tag) { return tag == PackedReal ? int(PackedInteger) : int(tag); };
    if (rank(a.Tag) != rank(b.Tag))
        return rank(a.Tag) < rank(b.Tag) ? -1 : 1;
    switch (a.Tag) {
    case PackedNull:
        return 0;
    case PackedInteger:
    case PackedReal:
        if (a.Tag == PackedInteger && b.Tag == PackedInteger)
            return a.Integer < b.Integer ? -1 : (a.Integer > b.Integer ? 1 : 0);
        else {
            const double x = a.Tag == PackedReal ? a.Real : double(a.Integer);
            const double y = b.Tag == PackedReal ? b.Real : double(b.Integer);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
    default: {
        // Bytes in order, as BINARY collates; UTF-8 so is in code point order.
        const int common = std::min(a.Size, b.Size);
        const int c = common > 0 ? std::memcmp(a.Bytes, b.Bytes, size_t(common)) : 0;
        if (c != 0)
            return c < 0 ? -1 : 1;
        return a.Size < b.Size ? -1 : (a.Size > b.Size ? 1 : 0);
    }
    }
}

void SortPrefix(const TPackedValue &value, quint64 &high, quint64 &low)
{
    unsigned char bytes[16] = {};
    switch (value.Tag) {
    case PackedNull:
        break;
    case PackedInteger:
    case PackedReal: {
        // A double's bits, turned so that unsigned order is numeric order;
        // rounding a large integer keeps the order, at worst making a tie.
        double number = value.Tag == PackedReal ? value.Real : double(value.Integer);
        if (number == 0)
            number = 0; // -0 ties with 0
        quint64 bits = 0;
        std::memcpy(&bits, &number, sizeof bits);
        bits = (bits >> 63) ? ~bits : bits | (quint64(1) << 63);
        bytes[0] = 1;
        for (int i = 0; i < 8; ++i)
            bytes[1 + i] = (unsigned char)(bits >> (56 - 8 * i));
        break;
    }
    default:
        // Texts and blobs: their first bytes, padded with zeros.
        bytes[0] = value.Tag == PackedText ? 2 : 3;
        std::memcpy(bytes + 1, value.Bytes, size_t(std::min(value.Size, 15)));
    }
    high = low = 0;
    for (int i = 0; i < 8; ++i) {
        high = high << 8 | bytes[i];
        low = low << 8 | bytes[8 + i];
    }
}

QVariant ColumnValue(sqlite3_stmt *statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_TEXT:
        return QVariant(ColumnText(statement, column));
    case SQLITE_BLOB: {
        const void *blob = sqlite3_column_blob(statement, column);
        return QVariant(QByteArray(static_cast<const char *>(blob), sqlite3_column_bytes(statement, column)));
    }
    default:
        return {};
    }
}

// ------------------------------------------------------------ connection

TSqlConnection::TSqlConnection(const QString &path, const QString &table) : FPath(path), FTable(table)
{
    // No creation: a file that went since it was checked is an error, not
    // a new empty table.
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_timeout(FDb, BusyTimeoutMs);
    if (rc != SQLITE_OK) {
        try {
            Fail(rc);
        } catch (...) {
            sqlite3_close_v2(FDb);
            FDb = nullptr;
            throw;
        }
    }
}

TSqlConnection::~TSqlConnection()
{
    sqlite3_close_v2(FDb);
}

void TSqlConnection::UseLog() const
{
    Exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    Exec(QStringLiteral("PRAGMA synchronous=FULL"));
}

TStatement TSqlConnection::Prepare(const QString &sql, unsigned flags) const
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    // The size with its terminating zero spares SQLite a copy.
    const int rc = sqlite3_prepare_v3(FDb, text.constData(), int(text.size()) + 1, flags, &statement, nullptr);
    TStatement result(statement);
    if (rc != SQLITE_OK)
        Fail(rc);
    if (!result)
        throw ESqlFailure(FTable, SQLITE_MISUSE, QStringLiteral("no statement in \"%1\"").arg(sql));
    return result;
}

bool TSqlConnection::Step(sqlite3_stmt *statement) const
{
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    Fail(rc);
}

void TSqlConnection::Run(sqlite3_stmt *statement) const
{
    TResetScope reset(statement);
    while (Step(statement)) {
    }
}

void TSqlConnection::Exec(const QString &sql) const
{
    const TStatement statement = PrepareOnce(sql);
    Run(statement.get());
}

QString TSqlConnection::DataTable() const
{
    const TStatement query = PrepareOnce(QStringLiteral(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
    QStringList names;
    {
        TResetScope reset(query.get());
        while (Step(query.get()))
            names << ColumnText(query.get(), 0);
    }
    if (names.isEmpty())
        throw ETableFileError(FPath, QStringLiteral("It holds no table."));
    if (names.size() > 1)
        throw ETableFileError(FPath, QStringLiteral("It holds %1 tables, not one: %2.")
                                         .arg(names.size())
                                         .arg(names.join(QStringLiteral(", "))));
    return names.first();
}

// ------------------------------------------------------------ held reads

namespace {

// One list for all threads: a query may go in another thread than the one
// it ran in, and each thread ends only its own reads.
struct THeld {
    THeldRead *Read;
    std::thread::id Thread;
};
std::mutex HeldLock;
std::vector<THeld> Held;

} // namespace

void NoteHeld(THeldRead *read)
{
    const std::lock_guard lock(HeldLock);
    Held.push_back({read, std::this_thread::get_id()});
}

void NoteEnded(THeldRead *read)
{
    const std::lock_guard lock(HeldLock);
    std::erase_if(Held, [&](const THeld &held) { return held.Read == read; });
}

void EndHeldReads()
{
    const std::thread::id self = std::this_thread::get_id();
    for (;;) {
        THeldRead *read = nullptr;
        {
            const std::lock_guard lock(HeldLock);
            const auto it = std::find_if(Held.begin(), Held.end(), [&](const THeld &held) { return held.Thread == self; });
            if (it == Held.end())
                return;
            read = it->Read;
        }
        read->EndRead(); // which notes its end
    }
}

// ------------------------------------------------------------- ordering

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

QStringList SplitFields(const QString &fields)
{
    QStringList names;
    for (const QString &part : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty())
            names << part.trimmed();
    return names;
}

} // namespace TableStoreSql
