// Local table store. A table is an SQLite database file in a directory, named
// after the table ("language.db", "Ayuda.db"), holding one SQLite table. The
// dataset layer on top gives the tools what they were written against: a
// current record, navigation, an index order, nearest-key search, editing
// through a record buffer, a "field=value" filter, bookmarks and a
// parametrised query.
//
// A table keeps its open view (the records in index order, filtered) in
// memory and writes each post or delete as one SQLite transaction. Settings:
// WAL journal, synchronous FULL, a 2 s busy timeout (see TableStoreSql.h).
#pragma once

#include "BlockList.h"
#include "Exception.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

// Anything the store refuses or fails at.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// The store will not open a file as a table: it is missing, no regular file,
// empty, of another format, damaged or of another shape. Reason() is one
// sentence; the file is left as it was.
class ETableFileError : public EDatabaseError {
public:
    ETableFileError(const QString &path, const QString &reason)
        : EDatabaseError(path + QStringLiteral(": ") + reason), FPath(path), FReason(reason)
    {
    }
    const QString &Path() const { return FPath; }
    const QString &Reason() const { return FReason; }

private:
    QString FPath;
    QString FReason;
};

// A post would give two records the same primary key.
class EKeyViolation : public EDatabaseError {
public:
    EKeyViolation() : EDatabaseError(QStringLiteral("Key violation.")) {}
};

enum class TFieldType { String, Integer, AutoInc, Boolean, Memo };

struct TFieldDef {
    QString Name;
    TFieldType DataType = TFieldType::String;
    int Size = 0; // characters of a String field; informational for a Memo
    bool Required = false;
};

struct TIndexDef {
    QString Name;
    QString Fields; // "Titulo;parent"
    bool Primary = false;
};

enum class TDataSetState { Inactive, Browse, Edit, Insert };

// A record's identity, valid while the record exists, whatever is posted
// around it and whatever the index order.
struct TBookmark {
    qint64 RowId = 0;
    bool Valid = false;
};

class TDataSet;

// One column of a dataset. Persistent fields are made before opening and
// keep their order and visibility across closes; otherwise a field per
// column is made at each opening, in the file's order.
class TField {
public:
    const QString &Name() const { return FName; } // "CampoF1"
    const QString &FieldName() const { return FFieldName; } // "L1"
    TFieldType DataType() const { return FDataType; }
    int Size() const { return FSize; }
    int Index() const; // place in the dataset's field list
    TDataSet *DataSet() const { return FDataSet; }

    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);

    bool IsNull() const;
    QVariant Value() const;
    QString AsString() const;
    // A text of ASCII characters only (or none), viewed where the dataset
    // holds it, valid until the dataset moves or changes: read so, a text
    // read once is never decoded. False for any other value; AsString reads
    // every value.
    bool AsAscii(QLatin1StringView &text) const;
    int AsInteger() const;
    bool AsBoolean() const;

    // Only in edit or insert state. An empty text stores nothing (null); a
    // String field keeps its first Size characters.
    void SetAsString(const QString &text);
    void SetAsInteger(int value);
    void SetAsBoolean(bool value);
    void Clear();

private:
    friend class TDataSet;
    TField(TDataSet *dataSet, QString fieldName, QString name, bool persistent);
    void Set(const QVariant &value);
    const QVariant &Current() const;

    TDataSet *FDataSet;
    QString FFieldName;
    QString FName;
    bool FPersistent;
    TFieldType FDataType = TFieldType::String;
    int FSize = 0;
    int FColumn = -1;
    bool FVisible = true;
};

// What tables and queries share: the open state, the field list and the
// notifications data-bound controls listen to.
class TDataSet : public QObject {
    Q_OBJECT
public:
    explicit TDataSet(QObject *parent = nullptr);
    ~TDataSet() override;

    QString DatabaseName; // the directory that holds the table files

    bool Active() const { return FState != TDataSetState::Inactive; }
    TDataSetState State() const { return FState; }
    void Open();
    // Discards an unposted edit.
    void Close();

    int FieldCount() const { return int(FFields.size()); }
    TField *Fields(int index) const;
    // Without regard to letter case; EDatabaseError when there is none.
    TField *FieldByName(const QString &fieldName) const;
    // A persistent field; only while closed.
    TField *AddField(const QString &fieldName, const QString &name = {});

    bool Bof() const { return FBof; }
    bool Eof() const { return FEof; }
    virtual void First() = 0;
    virtual void Next() = 0;

signals:
    void StateChanged();   // opened, closed, edit or insert begun or ended
    void DataSetChanged(); // the records or their order may all have changed
    void Scrolled();       // another record became the current one
    void FieldChanged(TField *field); // a value of the current record was set
    void LayoutChanged();  // a field was shown or hidden

protected:
    struct TColumn {
        QString Name;
        TFieldType DataType = TFieldType::String;
        int Size = 0;
        bool Required = false;
    };

    // Opens the data and binds the fields (BindFields) to its columns.
    virtual void OpenCursor() = 0;
    virtual void CloseCursor() = 0;
    // Valid until the dataset moves, changes or closes; an empty value where
    // there is none.
    virtual const QVariant &ColumnValue(int column) const = 0;
    // The column's value as ASCII where the dataset can view it so.
    virtual bool ColumnAscii(int column, QLatin1StringView &text) const;
    virtual void SetColumnValue(TField *field, const QVariant &value);
    virtual QString DataSetName() const = 0;

    void SetState(TDataSetState state);
    void CheckActive() const;
    int ColumnOf(const QString &name) const; // -1 when none
    static int ColumnOf(const TField *field) { return field->FColumn; }
    const std::vector<TColumn> &Columns() const { return FColumns; }
    // Persistent fields find their columns by name; otherwise one field is
    // made per column.
    void BindFields(std::vector<TColumn> columns);
    // The first persistent field that columns lack; empty when none does.
    QString MissingField(const std::vector<TColumn> &columns) const;

    bool FBof = true;
    bool FEof = true;

private:
    friend class TField;

    TDataSetState FState = TDataSetState::Inactive;
    std::vector<std::unique_ptr<TField>> FFields;
    std::vector<TColumn> FColumns;
};

// A table file of the store, navigated in the order of its active index.
class TTable : public TDataSet {
    Q_OBJECT
public:
    explicit TTable(QObject *parent = nullptr);
    ~TTable() override;

    QString TableName; // file name in DatabaseName, found without regard to case
    // Definitions for CreateTable; filled from the file when the table opens.
    std::vector<TFieldDef> FieldDefs;
    std::vector<TIndexDef> IndexDefs;

    // The file's path (an existing file whose name differs only in case wins).
    QString FilePath() const;
    bool Exists() const;
    // Missing and Empty (a regular file of no bytes) hold no table yet;
    // anything else at the path, a directory or a pipe too, is Present.
    enum class TFileState { Missing, Empty, Present };
    TFileState FileState() const;
    // Makes an empty table from FieldDefs and IndexDefs, replacing any table
    // of that name. The file appears whole or not at all.
    void CreateTable();
    // A secondary index, on an open table.
    void AddIndex(const QString &name, const QString &fields);

    // Empty: the primary index. Keeps the current record.
    QString IndexName() const { return FIndexName; }
    void SetIndexName(const QString &name);

    // "field=value", the field without regard to case, the value bare or in
    // quotes; an empty value selects records where the field is empty. An
    // empty expression filters nothing.
    QString Filter() const { return FFilterText; }
    void SetFilter(const QString &expression);
    bool Filtered() const { return FFiltered; }
    void SetFiltered(bool filtered);

    int RecordCount() const;
    int RecNo() const; // 1-based; 0 when there are no records
    void SetRecNo(int recNo);
    void First() override;
    void Next() override;
    void Prior();
    void Last();
    int MoveBy(int distance); // returns how far it moved

    // Moves to the first record whose key, on the active index, is not below
    // keys (one value per leading index field); to the last when none is.
    void FindNearest(const QVariantList &keys);
    // Moves to the first record, in index order, whose field equals value.
    bool Locate(const QString &fieldName, const QVariant &value);

    // A new empty record before the current one / after the last one.
    void Insert();
    void Append();
    void Edit();
    // One transaction; the posted record becomes the current one at its
    // place in the index order. EKeyViolation on a duplicate primary key.
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return FModified; }

    // The posts and deletes until Commit are one transaction of the file's:
    // all of them, or none after Rollback, a failed Commit or the table's
    // closing (the view is then read again). Another program's writes wait
    // for its end up to their busy time-out, so keep it short.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const { return FInTransaction; }

    TBookmark GetBookmark() const;
    bool BookmarkValid(const TBookmark &bookmark) const;
    void GotoBookmark(const TBookmark &bookmark);

    // A field's value in record recNo without moving there, for grids.
    QVariant ValueAt(int recNo, const TField *field) const;

protected:
    void OpenCursor() override;
    void CloseCursor() override;
    const QVariant &ColumnValue(int column) const override;
    bool ColumnAscii(int column, QLatin1StringView &text) const override;
    void SetColumnValue(TField *field, const QVariant &value) override;
    QString DataSetName() const override { return TableName; }

private:
    // A record of the view: its values packed in one block of bytes (see
    // TableStoreSql.h), each decoded when a field asks for it.
    struct TRow {
        qint64 RowId = 0;
        quint64 Serial = 0; // tells the decoded current record apart
        QByteArray Packed;
    };
    // The record being edited or inserted.
    struct TRecord {
        qint64 RowId = 0;
        std::vector<QVariant> Values;
    };
    struct TFilterTerm {
        int Column = -1;
        QVariant Value;
        QByteArray Packed;
    };
    class TConnection;

    TFilterTerm ParseFilter(const QString &expression) const;
    std::vector<int> IndexColumns(const QString &name) const;
    bool Matches(const TRow &row) const;
    // Columns, fields and indexes from the file; refuses a table of another kind.
    void ReadShape(const QString &path);
    void Reload(qint64 keepRowId, bool keep);
    void SyncWithOthers();
    void CheckBrowseMode();
    void MoveTo(int index);
    void BeginNewRecord(int at);
    void CheckKey(const TRecord &record, bool isNew);
    TRow Pack(const TRecord &record);
    int IndexOfRowId(qint64 rowId) const;

    std::unique_ptr<TConnection> FDb;
    bool FInTransaction = false;
    QString FIndexName;
    std::vector<int> FOrder; // columns of the active index
    std::vector<int> FPrimary;
    int FAutoIncColumn = -1;
    QString FFilterText;
    TFilterTerm FFilter;
    bool FFiltered = false;
    TBlockList<TRow> FRows; // the view: in index order, filtered
    // The bytes that the records read by the last reload point into; they
    // go only with those records.
    std::vector<std::unique_ptr<char[]>> FPackBlocks;
    int FCur = -1;
    TRecord FBuffer;
    // The current record's values, decoded as fields ask for them.
    mutable std::vector<QVariant> FDecoded;
    mutable std::vector<char> FHaveDecoded;
    mutable quint64 FDecodedSerial = 0;
    quint64 FSerials = 0;
    int FPendingAt = -1; // place of the unposted new record in FRows
    bool FModified = false;
    bool FExplicitAutoInc = false;
};

class TParam {
public:
    explicit TParam(QString name) : FName(std::move(name)) {}
    const QString &Name() const { return FName; }
    QVariant Value;
    void SetAsInteger(int value) { Value = qlonglong(value); }
    void SetAsString(const QString &value) { Value = value; }
    int AsInteger() const { return Value.toInt(); }

private:
    QString FName;
};

// A read-only, forward-only selection. The SQL names table files in double
// quotes ("Ayuda.db", in DatabaseName) and parameters as :Name. The prepared
// statement and its connection stay between Close and Open until the SQL,
// the directory or the file changes, so running it once per topic stays
// cheap. Runs in a row share one read of a logged (WAL) file, which never
// holds up another program's writes; it ends when the event loop next runs,
// when this thread posts, deletes or creates through the store, or at the
// first run after a fifth of a second, so another IDE's posts show up
// after that long at most.
class TQuery : public TDataSet {
    Q_OBJECT
public:
    explicit TQuery(QObject *parent = nullptr);
    ~TQuery() override;

    QStringList SQL;

    // Without regard to letter case; EDatabaseError when the SQL has none.
    TParam &ParamByName(const QString &name);
    void First() override; // runs the selection again unless on its first row
    void Next() override;

protected:
    void OpenCursor() override;
    void CloseCursor() override;
    const QVariant &ColumnValue(int column) const override;
    QString DataSetName() const override { return QStringLiteral("query"); }

private:
    class TCursor;
    void SyncParams();
    void Fetch();
    void Run();

    std::unique_ptr<TCursor> FCursor;
    QStringList FParsedLines;
    QString FParsedSql;
    std::vector<TParam> FParams;
    bool FOnFirstRow = false;
};

// Shows only the table's records that match filter while it lives; then the
// table is unfiltered again with a single reload (and, with restart, put on
// its first record), also when the work in between throws.
class TFilterScope {
public:
    TFilterScope(TTable &table, const QString &filter, bool restart = false) : FTable(table), FRestart(restart)
    {
        FTable.SetFilter(filter);
        FTable.SetFiltered(true);
    }
    ~TFilterScope()
    {
        // Unfiltered first: clearing the text of a filtered table would
        // reload it once more.
        FTable.SetFiltered(false);
        FTable.SetFilter(QString());
        if (FRestart)
            FTable.First();
    }
    TFilterScope(const TFilterScope &) = delete;
    TFilterScope &operator=(const TFilterScope &) = delete;

private:
    TTable &FTable;
    bool FRestart;
};

// Links data-bound controls to a dataset.
class TDataSource {
public:
    explicit TDataSource(TDataSet *dataSet = nullptr, bool autoEdit = true)
        : DataSet(dataSet), AutoEdit(autoEdit)
    {
    }
    TDataSet *DataSet;
    bool AutoEdit; // controls may put the dataset into edit mode on typing
};
