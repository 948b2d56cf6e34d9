// The project tables through the dataset layer against the same work done
// directly with the sqlite3 C API, on the same schema and settings, in the
// same run: fill a language table with 50,000 strings and a help table with
// 20,000 topics (200 top-level, the rest two levels below), walk the
// language table in L3 order reading every field, and walk the help table
// running the subtopic selection for every topic. Each row is the median of
// its runs, against its own goal.
//
// The files go to /dev/shm when it exists, so the fsync of each post costs
// nothing and the ratio shows the layer's own cost.
#include "core/DM.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Strings = 50000;
constexpr int TopLevel = 200, Second = 9, Third = 10; // 200 + 1,800 + 18,000 topics
constexpr int Runs = 5;
constexpr int FillRuns = 3; // each fills new tables: seconds a run
constexpr double FillGoal = 1.3, WalkGoal = 1.5, InsideWalkGoal = 2.0;

struct TStringRow {
    QByteArray Values[8]; // idst, L1 ... L7
};
struct TTopicRow {
    QByteArray Title, Keyword, Text;
    int ParentRow = -1; // index of the parent topic, -1 at the top
};

// Deterministic text of ASCII letters, so UTF-8 and UTF-16 lengths agree.
class TWords {
public:
    QByteArray Next(int minLength, int maxLength)
    {
        const int length = minLength + int(Step() % quint64(maxLength - minLength + 1));
        QByteArray text;
        while (text.size() < length) {
            if (!text.isEmpty())
                text += ' ';
            const int word = 2 + int(Step() % 8);
            for (int i = 0; i < word; ++i)
                text += char('a' + Step() % 26);
        }
        return text.left(length);
    }
    quint64 Step()
    {
        FState = FState * 6364136223846793005ULL + 1442695040888963407ULL;
        return FState >> 33;
    }

private:
    quint64 FState = 12345;
};

std::vector<TStringRow> MakeStrings()
{
    TWords words;
    std::vector<TStringRow> rows(Strings);
    for (int i = 0; i < Strings; ++i) {
        // Keys in scattered order, as typed over time.
        rows[size_t(i)].Values[0] = "IDS_" + QByteArray::number(quint64(i) * 7919 % Strings).rightJustified(6, '0');
        for (int l = 1; l <= 7; ++l)
            rows[size_t(i)].Values[l] = words.Next(8, 60);
    }
    return rows;
}

std::vector<TTopicRow> MakeTopics()
{
    TWords words;
    std::vector<TTopicRow> rows;
    auto add = [&](int parent) {
        rows.push_back({"Topic " + words.Next(4, 30), words.Next(0, 40), words.Next(50, 400), parent});
        return int(rows.size()) - 1;
    };
    for (int t = 0; t < TopLevel; ++t) {
        const int top = add(-1);
        for (int s = 0; s < Second; ++s) {
            const int second = add(top);
            for (int u = 0; u < Third; ++u)
                add(second);
        }
    }
    return rows;
}

double Milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// ------------------------------------------------------------------ peer

class TPeer {
public:
    explicit TPeer(const QString &path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &FDb, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            Die("open");
        sqlite3_busy_timeout(FDb, 2000);
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=FULL");
    }
    ~TPeer()
    {
        for (sqlite3_stmt *s : FStatements)
            sqlite3_finalize(s);
        sqlite3_close(FDb);
    }
    sqlite3_stmt *Prepare(const char *sql)
    {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(FDb, sql, -1, &s, nullptr) != SQLITE_OK)
            Die(sql);
        FStatements.push_back(s);
        return s;
    }
    void Done(sqlite3_stmt *s)
    {
        if (sqlite3_step(s) != SQLITE_DONE)
            Die(sqlite3_sql(s));
        sqlite3_reset(s);
    }
    void Exec(const char *sql)
    {
        if (sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            Die(sql);
    }
    qint64 LastId() const { return sqlite3_last_insert_rowid(FDb); }
    [[noreturn]] void Die(const char *what) const
    {
        std::fprintf(stderr, "sqlite3: %s: %s\n", what, sqlite3_errmsg(FDb));
        std::exit(2);
    }

private:
    sqlite3 *FDb = nullptr;
    std::vector<sqlite3_stmt *> FStatements;
};

void BindText(sqlite3_stmt *s, int at, const QByteArray &text)
{
    if (text.isEmpty())
        sqlite3_bind_null(s, at);
    else
        sqlite3_bind_text(s, at, text.constData(), int(text.size()), SQLITE_STATIC);
}

// Each record its own transaction, with the same refusal of equal keys
// (empty ones included) as the layer.
void PeerFillStrings(const QString &dir, const std::vector<TStringRow> &rows)
{
    TPeer db(dir + QStringLiteral("/language.db"));
    sqlite3_stmt *begin = db.Prepare("BEGIN IMMEDIATE");
    sqlite3_stmt *commit = db.Prepare("COMMIT");
    sqlite3_stmt *check = db.Prepare("SELECT 1 FROM language WHERE idst IS ? AND rowid IS NOT ? LIMIT 1");
    sqlite3_stmt *insert = db.Prepare(
        "INSERT INTO language (idst, L1, L2, L3, L4, L5, L6, L7) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    for (const TStringRow &row : rows) {
        db.Done(begin);
        BindText(check, 1, row.Values[0]);
        sqlite3_bind_null(check, 2);
        if (sqlite3_step(check) == SQLITE_ROW)
            db.Die("duplicate key");
        sqlite3_reset(check);
        for (int c = 0; c < 8; ++c)
            BindText(insert, c + 1, row.Values[c]);
        db.Done(insert);
        db.Done(commit);
    }
}

void PeerFillTopics(const QString &dir, const std::vector<TTopicRow> &rows, std::vector<int> &maps)
{
    TPeer db(dir + QStringLiteral("/Ayuda.db"));
    sqlite3_stmt *begin = db.Prepare("BEGIN IMMEDIATE");
    sqlite3_stmt *commit = db.Prepare("COMMIT");
    sqlite3_stmt *check = db.Prepare("SELECT 1 FROM Ayuda WHERE Titulo IS ? AND parent IS ? AND rowid IS NOT ? LIMIT 1");
    sqlite3_stmt *insert = db.Prepare(
        "INSERT INTO Ayuda (Titulo, parent, Level, Popup, Keyword, TExto) VALUES (?, ?, ?, ?, ?, ?)");
    maps.clear();
    for (const TTopicRow &row : rows) {
        db.Done(begin);
        BindText(check, 1, row.Title);
        if (row.ParentRow < 0)
            sqlite3_bind_null(check, 2);
        else
            sqlite3_bind_int64(check, 2, maps[size_t(row.ParentRow)]);
        sqlite3_bind_null(check, 3);
        if (sqlite3_step(check) == SQLITE_ROW)
            db.Die("duplicate key");
        sqlite3_reset(check);
        BindText(insert, 1, row.Title);
        if (row.ParentRow < 0) {
            sqlite3_bind_null(insert, 2);
            sqlite3_bind_text(insert, 3, "1", 1, SQLITE_STATIC);
        } else {
            sqlite3_bind_int64(insert, 2, maps[size_t(row.ParentRow)]);
            sqlite3_bind_null(insert, 3);
        }
        sqlite3_bind_null(insert, 4);
        BindText(insert, 5, row.Keyword);
        BindText(insert, 6, row.Text);
        db.Done(insert);
        db.Done(commit);
        maps.push_back(int(db.LastId()));
    }
}

qint64 PeerWalkStrings(const QString &dir)
{
    TPeer db(dir + QStringLiteral("/language.db"));
    sqlite3_stmt *walk = db.Prepare("SELECT rowid, idst, L1, L2, L3, L4, L5, L6, L7 FROM language ORDER BY L3, rowid");
    qint64 sum = 0;
    while (sqlite3_step(walk) == SQLITE_ROW)
        for (int c = 1; c <= 8; ++c) {
            sqlite3_column_text(walk, c);
            sum += sqlite3_column_bytes(walk, c);
        }
    return sum;
}

qint64 PeerSubtopicRows(sqlite3_stmt *children, qint64 map)
{
    qint64 sum = 0;
    sqlite3_bind_int64(children, 1, map);
    while (sqlite3_step(children) == SQLITE_ROW) {
        for (int c : {0, 2, 5, 6}) { // Titulo, Level, Keyword, TExto
            sqlite3_column_text(children, c);
            sum += sqlite3_column_bytes(children, c);
        }
        sum += sqlite3_column_int64(children, 1) + sqlite3_column_int64(children, 3)
            + sqlite3_column_int(children, 4); // parent, Map, Popup
    }
    sqlite3_reset(children);
    return sum;
}

// The selection for each topic number, as the help generation runs it.
qint64 PeerSubtopics(const QString &dir, const std::vector<int> &maps)
{
    TPeer db(dir + QStringLiteral("/Ayuda.db"));
    sqlite3_stmt *children = db.Prepare("SELECT* FROM Ayuda WHERE (parent = ?)");
    qint64 sum = 0;
    for (int map : maps)
        sum += PeerSubtopicRows(children, map);
    return sum;
}

// The same, taking the topics from a walk of the help table that stays open
// meanwhile, so every selection runs inside the walk's read transaction.
qint64 PeerWalkAndSubtopics(const QString &dir)
{
    TPeer db(dir + QStringLiteral("/Ayuda.db"));
    sqlite3_stmt *topics = db.Prepare("SELECT Map FROM Ayuda ORDER BY Titulo, parent, rowid");
    sqlite3_stmt *children = db.Prepare("SELECT* FROM Ayuda WHERE (parent = ?)");
    qint64 sum = 0;
    while (sqlite3_step(topics) == SQLITE_ROW)
        sum += PeerSubtopicRows(children, sqlite3_column_int64(topics, 0));
    return sum;
}

// ----------------------------------------------------------------- layer

void LayerFillStrings(TTable &table, const std::vector<TStringRow> &rows)
{
    TField *fields[8];
    for (int c = 0; c < 8; ++c)
        fields[c] = table.FieldByName(c == 0 ? QStringLiteral("idst") : QStringLiteral("L%1").arg(c));
    for (const TStringRow &row : rows) {
        table.Append();
        for (int c = 0; c < 8; ++c)
            fields[c]->SetAsString(QString::fromLatin1(row.Values[c]));
        table.Post();
    }
}

void LayerFillTopics(TSYS &sys, const std::vector<TTopicRow> &rows, std::vector<int> &maps)
{
    maps.clear();
    for (const TTopicRow &row : rows) {
        sys.Table2.Append();
        sys.Table2Titulo->SetAsString(QString::fromLatin1(row.Title));
        if (row.ParentRow < 0)
            sys.Table2Level->SetAsString(QStringLiteral("1"));
        else
            sys.Table2parent->SetAsInteger(maps[size_t(row.ParentRow)]);
        sys.Table2Keyword->SetAsString(QString::fromLatin1(row.Keyword));
        sys.Table2TExto->SetAsString(QString::fromLatin1(row.Text));
        sys.Table2.Post();
        maps.push_back(sys.Table2Map->AsInteger());
    }
}

// Opened for the walk, as the peer opens its connection.
qint64 LayerWalkStrings(TSYS &sys)
{
    sys.Table1.Close();
    sys.Table1.SetIndexName(QStringLiteral("L3"));
    sys.Table1.Open();
    qint64 sum = 0;
    const int count = sys.Table1.FieldCount();
    for (sys.Table1.First(); !sys.Table1.Eof(); sys.Table1.Next())
        for (int c = 0; c < count; ++c)
            sum += sys.Table1.Fields(c)->AsString().size();
    return sum;
}

qint64 LayerSubtopicRows(TSYS &sys, int map)
{
    qint64 sum = 0;
    sys.Query1.Close();
    sys.Query1.ParamByName(QStringLiteral("Numero")).SetAsInteger(map);
    sys.Query1.Open();
    for (; !sys.Query1.Eof(); sys.Query1.Next()) {
        sum += sys.Query1Titulo->AsString().size() + sys.Query1Level->AsString().size()
            + sys.Query1Keyword->AsString().size() + sys.Query1TExto->AsString().size();
        sum += sys.Query1parent->AsInteger() + sys.Query1Map->AsInteger() + sys.Query1Popup->AsInteger();
    }
    return sum;
}

qint64 LayerSubtopics(TSYS &sys, const std::vector<int> &maps)
{
    qint64 sum = 0;
    for (int map : maps)
        sum += LayerSubtopicRows(sys, map);
    sys.Query1.Close();
    return sum;
}

qint64 LayerWalkAndSubtopics(TSYS &sys)
{
    sys.Table2.Close();
    sys.Table2.Open();
    qint64 sum = 0;
    for (sys.Table2.First(); !sys.Table2.Eof(); sys.Table2.Next())
        sum += LayerSubtopicRows(sys, sys.Table2Map->AsInteger());
    sys.Query1.Close();
    return sum;
}

bool Report(const char *what, double peer, double layer, double goal)
{
    const double ratio = layer / peer;
    const bool met = ratio <= goal;
    std::printf("  %-36s peer %9.1f ms   layer %9.1f ms   ratio %5.2fx  goal %.1fx  %s\n", what, peer, layer, ratio,
                goal, met ? "met" : "MISSED");
    return met;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool shm = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    QTemporaryDir base(shm ? QStringLiteral("/dev/shm/quorbel-bench-XXXXXX") : QDir::tempPath() + QStringLiteral("/quorbel-bench-XXXXXX"));
    const std::vector<TStringRow> strings = MakeStrings();
    const std::vector<TTopicRow> topics = MakeTopics();

    // Every fill run on new tables; the walks read the last run's.
    auto fresh = [&](const QString &name) {
        const QString dir = base.path() + QLatin1Char('/') + name;
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        CreateLanguageTable(dir);
        CreateHelpTable(dir);
        return dir;
    };
    TSYS sys;
    QString peerDir, layerDir;
    std::vector<int> peerMaps, layerMaps;
    std::vector<double> peerFillStrings, layerFillStrings, peerFillTopics, layerFillTopics;
    for (int run = 0; run < FillRuns; ++run) {
        sys.Table1.Close();
        sys.Table2.Close();
        sys.Query1.Close();
        peerDir = fresh(QStringLiteral("peer%1").arg(run));
        layerDir = fresh(QStringLiteral("layer%1").arg(run));
        sys.Table1.DatabaseName = sys.Table2.DatabaseName = sys.Query1.DatabaseName = layerDir;
        sys.Table1.Open();
        sys.Table2.Open();
        peerFillStrings.push_back(Milliseconds([&] { PeerFillStrings(peerDir, strings); }));
        layerFillStrings.push_back(Milliseconds([&] { LayerFillStrings(sys.Table1, strings); }));
        peerFillTopics.push_back(Milliseconds([&] { PeerFillTopics(peerDir, topics, peerMaps); }));
        layerFillTopics.push_back(Milliseconds([&] { LayerFillTopics(sys, topics, layerMaps); }));
        // Only the last run's tables stay.
        if (run + 1 < FillRuns) {
            sys.Table1.Close();
            sys.Table2.Close();
            QDir(peerDir).removeRecursively();
            QDir(layerDir).removeRecursively();
        }
    }

    std::vector<double> peerWalk, layerWalk, peerSub, layerSub, peerBoth, layerBoth;
    qint64 peerWalkSum = 0, layerWalkSum = 0, peerSubSum = 0, layerSubSum = 0, peerBothSum = 0, layerBothSum = 0;
    for (int run = 0; run < Runs; ++run) {
        peerWalk.push_back(Milliseconds([&] { peerWalkSum = PeerWalkStrings(peerDir); }));
        layerWalk.push_back(Milliseconds([&] { layerWalkSum = LayerWalkStrings(sys); }));
        peerSub.push_back(Milliseconds([&] { peerSubSum = PeerSubtopics(peerDir, peerMaps); }));
        layerSub.push_back(Milliseconds([&] { layerSubSum = LayerSubtopics(sys, layerMaps); }));
        peerBoth.push_back(Milliseconds([&] { peerBothSum = PeerWalkAndSubtopics(peerDir); }));
        layerBoth.push_back(Milliseconds([&] { layerBothSum = LayerWalkAndSubtopics(sys); }));
    }

    bool ok = true;
    auto check = [&ok](bool good, const char *what) {
        if (!good)
            std::fprintf(stderr, "FAILED: %s\n", what);
        ok &= good;
    };
    check(sys.Table1.RecordCount() == Strings, "every string is in the layer's table");
    check(sys.Table2.RecordCount() == int(topics.size()), "every topic is in the layer's table");
    check(peerMaps == layerMaps, "both sides numbered the topics alike");
    check(peerWalkSum == layerWalkSum, "both walks read the same texts");
    check(peerSubSum == layerSubSum && peerBothSum == layerBothSum && peerSubSum == peerBothSum,
          "both selections read the same subtopics");

    std::printf("tables: %d strings, %zu topics (%d top-level), files in %s\n", Strings, topics.size(), TopLevel,
                shm ? "/dev/shm" : "the temporary directory");
    std::printf("  each post one transaction (WAL, synchronous FULL); medians of %d fills and %d walks\n", FillRuns,
                Runs);
    ok &= Report("fill language table (50,000 posts)", Median(peerFillStrings), Median(layerFillStrings), FillGoal);
    ok &= Report("fill help table (20,000 posts)", Median(peerFillTopics), Median(layerFillTopics), FillGoal);
    ok &= Report("walk language table in L3 order", Median(peerWalk), Median(layerWalk), WalkGoal);
    ok &= Report("subtopic selection for every topic", Median(peerSub), Median(layerSub), WalkGoal);
    ok &= Report("the same inside a help table walk", Median(peerBoth), Median(layerBoth), InsideWalkGoal);
    std::printf("    (the peer's selections inside the walk share its open walk's read transaction)\n");
    std::printf("  every row at or under its goal: %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
