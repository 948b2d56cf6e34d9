// Local table store: a table file is an SQLite database named after the
// table, in a directory.
#pragma once

#include <QString>

class TTable {
public:
    TTable() = default;
    virtual ~TTable();
    TTable(const TTable &) = delete;
    TTable &operator=(const TTable &) = delete;

    QString DatabaseName; // directory
    QString TableName;    // "language.db", "Ayuda.db"

    bool Active() const { return FActive; }
    bool Exists() const;
    void Open();
    void Close();

private:
    bool FActive = false;
};
