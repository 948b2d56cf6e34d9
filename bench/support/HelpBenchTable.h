// The help editor's bench table: 20,000 topics (200 top-level topics, nine
// children each, ten grandchildren per child, the first of them a pop-up),
// shared by the generation and compiler benches.
#pragma once

#include "core/DM.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>

namespace helpbench {

inline constexpr int TopLevel = 200;
inline constexpr int Children = 9;       // per top-level topic
inline constexpr int GrandChildren = 10; // per child: 200 + 1,800 + 18,000 topics

// Fills the table file in one transaction (the store posts one record per
// transaction, which would make the set-up the longest part of the run).
inline bool Fill(const QString &file)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(file);
        if (db.open()) {
            db.transaction();
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("INSERT INTO \"Ayuda\" (Titulo, parent, Level, Popup, Keyword, TExto) "
                                          "VALUES (?, ?, ?, ?, ?, ?)"));
            int map = 0;
            const QString text = QStringLiteral("This topic explains one part of the program.\r\n"
                                                "See the {\\b related} topics below.");
            const auto add = [&](const QString &title, QVariant parent, bool popup) {
                insert.addBindValue(title);
                insert.addBindValue(parent);
                insert.addBindValue(parent.isNull() ? QVariant(QStringLiteral("1")) : QVariant());
                insert.addBindValue(popup ? 1 : 0);
                insert.addBindValue(QStringLiteral("keyword;") + title);
                insert.addBindValue(text);
                if (!insert.exec())
                    std::fprintf(stderr, "insert: %s\n", qPrintable(insert.lastError().text()));
                return ++map; // Map numbers the rows in insertion order
            };
            ok = true;
            for (int t = 0; t < TopLevel; ++t) {
                const int top = add(QStringLiteral("Topic %1").arg(t), QVariant(), false);
                for (int c = 0; c < Children; ++c) {
                    const int child = add(QStringLiteral("Topic %1.%2").arg(t).arg(c), top, false);
                    for (int g = 0; g < GrandChildren; ++g)
                        add(QStringLiteral("Topic %1.%2.%3").arg(t).arg(c).arg(g), child, g == 0);
                }
            }
            ok = db.commit() && ok;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

// A help table in dir, with or without the index on parent.
inline bool MakeTable(const QString &dir, bool parentIndex)
{
    QDir().mkpath(dir);
    if (parentIndex) {
        CreateHelpTable(dir);
    } else {
        TTable table;
        table.DatabaseName = dir;
        table.TableName = QStringLiteral("Ayuda.db");
        table.FieldDefs = HelpTableFields();
        table.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("Titulo;parent"), true}};
        table.CreateTable();
    }
    TTable probe;
    probe.DatabaseName = dir;
    probe.TableName = QStringLiteral("Ayuda.db");
    return Fill(probe.FilePath());
}

inline constexpr int Topics = TopLevel * (1 + Children * (1 + GrandChildren));

} // namespace helpbench
