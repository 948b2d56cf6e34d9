#include "TableStore.h"

#include <algorithm>

namespace {

QString CutToCharacters(const QString &text, int count)
{
    if (text.size() <= count) // no more characters than UTF-16 units
        return text;
    qsizetype i = 0;
    for (int n = 0; i < text.size() && n < count; ++n)
        i += (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ? 2
            : 1;
    return text.left(i);
}

} // namespace

// ------------------------------------------------------------------- TField

TField::TField(TDataSet *dataSet, QString fieldName, QString name, bool persistent)
    : FDataSet(dataSet), FFieldName(std::move(fieldName)), FName(std::move(name)),
      FPersistent(persistent)
{
}

int TField::Index() const
{
    for (int i = 0; i < FDataSet->FieldCount(); ++i)
        if (FDataSet->Fields(i) == this)
            return i;
    return -1;
}

void TField::SetVisible(bool visible)
{
    if (FVisible == visible)
        return;
    FVisible = visible;
    emit FDataSet->LayoutChanged();
}

const QVariant &TField::Current() const
{
    FDataSet->CheckActive();
    return FDataSet->ColumnValue(FColumn);
}

bool TField::AsAscii(QLatin1StringView &text) const
{
    FDataSet->CheckActive();
    return FDataSet->ColumnAscii(FColumn, text);
}

QVariant TField::Value() const
{
    return Current();
}

bool TField::IsNull() const
{
    return Current().isNull();
}

QString TField::AsString() const
{
    const QVariant &v = Current();
    if (v.isNull())
        return {};
    if (FDataType == TFieldType::Boolean)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (v.typeId() == QMetaType::QString)
        return *static_cast<const QString *>(v.constData());
    return v.toString();
}

int TField::AsInteger() const
{
    return Current().toInt();
}

bool TField::AsBoolean() const
{
    return Current().toBool();
}

void TField::SetAsString(const QString &text)
{
    if (text.isEmpty()) {
        Set(QVariant());
        return;
    }
    switch (FDataType) {
    case TFieldType::String:
        Set(FSize > 0 ? CutToCharacters(text, FSize) : text);
        return;
    case TFieldType::Memo:
        Set(text);
        return;
    case TFieldType::Integer:
    case TFieldType::AutoInc: {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        if (!ok)
            throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                                     .arg(text, FFieldName));
        Set(qlonglong(value));
        return;
    }
    case TFieldType::Boolean:
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            Set(qlonglong(1));
        else if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            Set(qlonglong(0));
        else
            throw EDatabaseError(QStringLiteral("'%1' is not a valid boolean value for field '%2'")
                                     .arg(text, FFieldName));
        return;
    }
}

void TField::SetAsInteger(int value)
{
    if (FDataType == TFieldType::String || FDataType == TFieldType::Memo)
        SetAsString(QString::number(value));
    else if (FDataType == TFieldType::Boolean)
        Set(qlonglong(value != 0));
    else
        Set(qlonglong(value));
}

void TField::SetAsBoolean(bool value)
{
    if (FDataType == TFieldType::String || FDataType == TFieldType::Memo)
        SetAsString(value ? QStringLiteral("True") : QStringLiteral("False"));
    else
        Set(qlonglong(value ? 1 : 0));
}

void TField::Clear()
{
    Set(QVariant());
}

void TField::Set(const QVariant &value)
{
    FDataSet->CheckActive();
    FDataSet->SetColumnValue(this, value);
}

// ----------------------------------------------------------------- TDataSet

TDataSet::TDataSet(QObject *parent) : QObject(parent) {}

TDataSet::~TDataSet() = default;

void TDataSet::Open()
{
    if (Active())
        return;
    try {
        OpenCursor();
    } catch (...) {
        CloseCursor();
        throw;
    }
    SetState(TDataSetState::Browse);
    emit DataSetChanged();
}

void TDataSet::Close()
{
    if (!Active())
        return;
    CloseCursor();
    FBof = FEof = true;
    SetState(TDataSetState::Inactive);
    emit DataSetChanged();
}

TField *TDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(QStringLiteral("%1: field index %2 out of range").arg(DataSetName()).arg(index));
    return FFields[size_t(index)].get();
}

TField *TDataSet::FieldByName(const QString &fieldName) const
{
    for (const auto &field : FFields)
        if (field->FFieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return field.get();
    throw EDatabaseError(QStringLiteral("%1: field '%2' not found").arg(DataSetName(), fieldName));
}

TField *TDataSet::AddField(const QString &fieldName, const QString &name)
{
    if (Active())
        throw EDatabaseError(QStringLiteral("%1: fields are added while it is closed").arg(DataSetName()));
    std::erase_if(FFields, [](const auto &field) { return !field->FPersistent; });
    FFields.push_back(std::unique_ptr<TField>(new TField(this, fieldName, name, true)));
    return FFields.back().get();
}

bool TDataSet::ColumnAscii(int, QLatin1StringView &) const
{
    return false;
}

void TDataSet::SetColumnValue(TField *field, const QVariant &)
{
    throw EDatabaseError(QStringLiteral("%1: field '%2' cannot be modified").arg(DataSetName(), field->FieldName()));
}

void TDataSet::SetState(TDataSetState state)
{
    if (FState == state)
        return;
    FState = state;
    emit StateChanged();
}

void TDataSet::CheckActive() const
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("%1: cannot perform this operation on a closed dataset")
                                 .arg(DataSetName()));
}

int TDataSet::ColumnOf(const QString &name) const
{
    for (size_t i = 0; i < FColumns.size(); ++i)
        if (FColumns[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QString TDataSet::MissingField(const std::vector<TColumn> &columns) const
{
    for (const auto &field : FFields) {
        if (!field->FPersistent)
            continue;
        const bool found = std::any_of(columns.begin(), columns.end(), [&](const TColumn &column) {
            return column.Name.compare(field->FFieldName, Qt::CaseInsensitive) == 0;
        });
        if (!found)
            return field->FFieldName;
    }
    return {};
}

void TDataSet::BindFields(std::vector<TColumn> columns)
{
    FColumns = std::move(columns);
    const bool persistent = std::any_of(FFields.begin(), FFields.end(),
                                        [](const auto &field) { return field->FPersistent; });
    if (persistent) {
        for (const auto &field : FFields) {
            const int column = ColumnOf(field->FFieldName);
            if (column < 0)
                throw EDatabaseError(QStringLiteral("%1: field '%2' not found")
                                         .arg(DataSetName(), field->FFieldName));
            field->FColumn = column;
            field->FDataType = FColumns[size_t(column)].DataType;
            field->FSize = FColumns[size_t(column)].Size;
        }
        return;
    }
    FFields.clear();
    for (size_t i = 0; i < FColumns.size(); ++i) {
        auto field = std::unique_ptr<TField>(new TField(this, FColumns[i].Name, QString(), false));
        field->FColumn = int(i);
        field->FDataType = FColumns[i].DataType;
        field->FSize = FColumns[i].Size;
        FFields.push_back(std::move(field));
    }
}
