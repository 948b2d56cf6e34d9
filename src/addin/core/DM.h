// Data module: the project's language and help tables, the help query, their
// data sources and persistent fields. The tools address all of them by these
// names through SYS.
#pragma once

#include "TableStore.h"

#include <QImage>
#include <QObject>

#include <functional>

class TDialogService;

class TSYS : public QObject {
    Q_OBJECT
public:
    explicit TSYS(QObject *owner = nullptr);
    ~TSYS() override;

    TDataSource DataSource1; // Table1; the grid never edits in place
    TTable Table2;           // help table "Ayuda.db"
    TDataSource DataSource2; // Table2
    TField *Table2Titulo;
    TField *Table2parent;
    TField *Table2Level;
    TField *Table2Map;
    TField *Table2Popup;
    TField *Table2Keyword;
    TField *Table2TExto;
    TQuery Query1; // the help records whose parent is :Numero
    TField *Query1Titulo;
    TField *Query1parent;
    TField *Query1Level;
    TField *Query1Map;
    TField *Query1Popup;
    TField *Query1Keyword;
    TField *Query1TExto;
    TTable Table1; // language table "language.db", ordered by L1
    // Languages first, so that field i is the text of language i + 1.
    TField *CampoF1;
    TField *CampoF2;
    TField *CampoF3;
    TField *CampoF4;
    TField *CampoF5;
    TField *CampoF6;
    TField *CampoF7;
    TField *Campoidst;
};

extern TSYS *SYS;

// Whether the project is the IDE's unsaved default one, whose tables would
// land beside whatever it is saved as later.
bool IsDefaultProject(const QString &project);
// Opens table on the project's table file in subdirectory (found whatever
// its case), creating both after the question (a text number) when the user
// agrees; afterOpen is given the directory once the table is open. Every
// failure becomes the one table error, with the file and the reason on the
// lines below it, and the table stays closed.
void OpenProjectTable(TDialogService &dialogs, const QString &project, TTable &table,
                      const QString &subdirectory, int question, void (*create)(const QString &),
                      const std::function<void(const QString &)> &afterOpen = {});

// Empty tables of the two schemas in an existing directory.
void CreateLanguageTable(const QString &directory);
// Also writes the two bullet pictures beside the table.
void CreateHelpTable(const QString &directory);
// The help table's fields, in their order.
std::vector<TFieldDef> HelpTableFields();
// The subtopic index on parent, which tables made without it get when opened.
void EnsureParentIndex(TTable &helpTable);

// The pictures the help document shows before jumps: a ball on the contents
// page (20 x 19) and a button on topic pages (15 x 15), 256 colours each.
QImage BulletBitmap();
QImage ButtonBitmap();
