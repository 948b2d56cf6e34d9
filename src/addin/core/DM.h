// Data module: the project's language and help tables.
#pragma once

#include "TableStore.h"

#include <QObject>

class TSYS : public QObject {
    Q_OBJECT
public:
    explicit TSYS(QObject *owner = nullptr);
    ~TSYS() override;

    TTable Table1; // language table, "language.db"
    TTable Table2; // help table, "Ayuda.db"
};

extern TSYS *SYS;
