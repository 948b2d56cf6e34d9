#include "DM.h"

#include "StringTable.h"

#include "Dialogs.h"
#include "Exception.h"
#include "Paths.h"
#include "SafeFile.h"

#include <QBuffer>
#include <QDir>

#include <algorithm>
#include <cmath>

TSYS *SYS = nullptr;

TSYS::TSYS(QObject *owner)
    : QObject(owner), DataSource1(&Table1, false), DataSource2(&Table2)
{
    setObjectName(QStringLiteral("SYS"));
    Table1.setObjectName(QStringLiteral("Table1"));
    Table2.setObjectName(QStringLiteral("Table2"));
    Query1.setObjectName(QStringLiteral("Query1"));

    Table2.TableName = QStringLiteral("Ayuda.db");
    Table2Titulo = Table2.AddField(QStringLiteral("Titulo"), QStringLiteral("Table2Titulo"));
    Table2parent = Table2.AddField(QStringLiteral("parent"), QStringLiteral("Table2parent"));
    Table2Level = Table2.AddField(QStringLiteral("Level"), QStringLiteral("Table2Level"));
    Table2Map = Table2.AddField(QStringLiteral("Map"), QStringLiteral("Table2Map"));
    Table2Popup = Table2.AddField(QStringLiteral("Popup"), QStringLiteral("Table2Popup"));
    Table2Keyword = Table2.AddField(QStringLiteral("Keyword"), QStringLiteral("Table2Keyword"));
    Table2TExto = Table2.AddField(QStringLiteral("TExto"), QStringLiteral("Table2TExto"));

    Query1.SQL = {QStringLiteral("SELECT*"), QStringLiteral("FROM \"Ayuda.db\" "), QStringLiteral("WHERE"),
                  QStringLiteral("(parent = :Numero)")};
    Query1Titulo = Query1.AddField(QStringLiteral("Titulo"), QStringLiteral("Query1Titulo"));
    Query1parent = Query1.AddField(QStringLiteral("parent"), QStringLiteral("Query1parent"));
    Query1Level = Query1.AddField(QStringLiteral("Level"), QStringLiteral("Query1Level"));
    Query1Map = Query1.AddField(QStringLiteral("Map"), QStringLiteral("Query1Map"));
    Query1Popup = Query1.AddField(QStringLiteral("Popup"), QStringLiteral("Query1Popup"));
    Query1Keyword = Query1.AddField(QStringLiteral("Keyword"), QStringLiteral("Query1Keyword"));
    Query1TExto = Query1.AddField(QStringLiteral("TExto"), QStringLiteral("Query1TExto"));

    Table1.TableName = QStringLiteral("language.db");
    Table1.SetIndexName(QStringLiteral("L1"));
    TField **languages[] = {&CampoF1, &CampoF2, &CampoF3, &CampoF4, &CampoF5, &CampoF6, &CampoF7};
    for (int i = 0; i < 7; ++i)
        *languages[i] = Table1.AddField(QStringLiteral("L%1").arg(i + 1), QStringLiteral("CampoF%1").arg(i + 1));
    Campoidst = Table1.AddField(QStringLiteral("idst"), QStringLiteral("Campoidst"));
}

TSYS::~TSYS()
{
    if (SYS == this)
        SYS = nullptr;
}

void CreateLanguageTable(const QString &directory)
{
    TTable table;
    table.DatabaseName = directory;
    table.TableName = QStringLiteral("language.db");
    table.FieldDefs = {{QStringLiteral("idst"), TFieldType::String, 40, false}};
    table.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("idst"), true}};
    for (int i = 1; i <= 7; ++i) {
        const QString name = QStringLiteral("L%1").arg(i);
        table.FieldDefs.push_back({name, TFieldType::String, 255, false});
        table.IndexDefs.push_back({name, name, false});
    }
    table.CreateTable();
}

namespace {

const QString ParentIndex = QStringLiteral("parent");

QByteArray AsBmp(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

// One palette for both pictures: white, a blue shading ramp for the ball and
// a grey ramp for the button.
constexpr int RampFirst = 1, RampLast = 200, GreyFirst = 201, GreyLast = 255;

QList<QRgb> Palette()
{
    QList<QRgb> colours(256);
    colours[0] = qRgb(255, 255, 255);
    struct Stop {
        double at;
        int r, g, b;
    };
    const Stop stops[] = {{0.0, 8, 24, 90}, {0.65, 32, 96, 224}, {0.9, 130, 180, 250}, {1.0, 245, 250, 255}};
    for (int i = RampFirst; i <= RampLast; ++i) {
        const double t = double(i - RampFirst) / (RampLast - RampFirst);
        int s = 0;
        while (s + 2 < int(std::size(stops)) && t > stops[s + 1].at)
            ++s;
        const Stop &a = stops[s], &b = stops[s + 1];
        const double f = (t - a.at) / (b.at - a.at);
        colours[i] = qRgb(int(a.r + f * (b.r - a.r)), int(a.g + f * (b.g - a.g)), int(a.b + f * (b.b - a.b)));
    }
    for (int i = GreyFirst; i <= GreyLast; ++i) {
        const int g = (i - GreyFirst) * 255 / (GreyLast - GreyFirst);
        colours[i] = qRgb(g, g, g);
    }
    return colours;
}

int Grey(int level)
{
    return GreyFirst + (level * (GreyLast - GreyFirst) + 127) / 255;
}

} // namespace

QImage BulletBitmap()
{
    QImage image(20, 19, QImage::Format_Indexed8);
    image.setColorTable(Palette());
    image.fill(0);
    // A sphere lit from the upper left.
    const double cx = 9.5, cy = 9.0, radius = 8.2;
    const double lx = -0.45, ly = -0.55, lz = 0.70;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double nx = (x + 0.5 - cx) / radius, ny = (y + 0.5 - cy) / radius;
            const double d = nx * nx + ny * ny;
            if (d > 1.0)
                continue;
            const double nz = std::sqrt(1.0 - d);
            const double diffuse = std::max(0.0, nx * lx + ny * ly + nz * lz);
            const double light = std::min(1.0, 0.15 + 0.7 * diffuse + 0.35 * std::pow(diffuse, 12));
            image.setPixel(x, y, uint(RampFirst + std::lround(light * (RampLast - RampFirst))));
        }
    }
    return image;
}

QImage ButtonBitmap()
{
    QImage image(15, 15, QImage::Format_Indexed8);
    image.setColorTable(Palette());
    image.fill(uint(Grey(192)));
    const int last = 14;
    // A raised button: light upper and left edges, dark lower and right ones.
    for (int i = 0; i <= last; ++i) {
        image.setPixel(i, 0, uint(Grey(255)));
        image.setPixel(0, i, uint(Grey(255)));
        image.setPixel(i, last, uint(Grey(0)));
        image.setPixel(last, i, uint(Grey(0)));
        if (i >= 1 && i <= last - 1) {
            image.setPixel(i, last - 1, uint(Grey(128)));
            image.setPixel(last - 1, i, uint(Grey(128)));
        }
    }
    // With an arrow pointing on, to the topic it opens.
    for (int x = 5; x <= 9; ++x)
        for (int y = 7 - (9 - x); y <= 7 + (9 - x); ++y)
            image.setPixel(x, y, uint(Grey(0)));
    return image;
}

std::vector<TFieldDef> HelpTableFields()
{
    return {{QStringLiteral("Titulo"), TFieldType::String, 40, false},
            {QStringLiteral("parent"), TFieldType::Integer, 0, false},
            {QStringLiteral("Level"), TFieldType::String, 1, false},
            {QStringLiteral("Map"), TFieldType::AutoInc, 0, false},
            {QStringLiteral("Popup"), TFieldType::Boolean, 0, false},
            {QStringLiteral("Keyword"), TFieldType::String, 255, false},
            {QStringLiteral("TExto"), TFieldType::Memo, 255, false}};
}

void CreateHelpTable(const QString &directory)
{
    TTable table;
    table.DatabaseName = directory;
    table.TableName = QStringLiteral("Ayuda.db");
    table.FieldDefs = HelpTableFields();
    table.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("Titulo;parent"), true},
                       {ParentIndex, QStringLiteral("parent"), false}};
    table.CreateTable();
    WriteFileAtomically(directory + PathDelim + QStringLiteral("bola.bmp"), AsBmp(BulletBitmap()));
    WriteFileAtomically(directory + PathDelim + QStringLiteral("boton.bmp"), AsBmp(ButtonBitmap()));
}

void EnsureParentIndex(TTable &helpTable)
{
    for (const TIndexDef &index : helpTable.IndexDefs)
        if (index.Fields.section(QLatin1Char(';'), 0, 0).trimmed().compare(QLatin1String("parent"),
                                                                           Qt::CaseInsensitive) == 0)
            return;
    helpTable.AddIndex(ParentIndex, QStringLiteral("parent"));
}

bool IsDefaultProject(const QString &project)
{
    return ExtractFileName(project).compare(QLatin1String("PROJECT1.DPR"), Qt::CaseInsensitive) == 0;
}

// Only a missing or empty file is offered for creation: anything else there
// is the user's and is refused as it is.
void OpenProjectTable(TDialogService &dialogs, const QString &project, TTable &table,
                      const QString &subdirectory, int question, void (*create)(const QString &),
                      const std::function<void(const QString &)> &afterOpen)
{
    try {
        const QString dir = FindEntryNoCase(ExtractFileDir(project), subdirectory);
        table.DatabaseName = dir;
        if (table.FileState() != TTable::TFileState::Present) {
            if (!dialogs.AskYesNo(LoadStr(question)))
                return;
            if (!QDir().mkpath(dir))
                throw EInOutError(QStringLiteral("Cannot create the directory %1").arg(dir));
            create(dir);
        }
        if (table.FileState() == TTable::TFileState::Present) {
            table.Open();
            if (afterOpen)
                afterOpen(dir);
        }
    } catch (const ETableFileError &e) {
        table.Close();
        throw Exception(LoadStr(txt::TableAccessError) + QLatin1Char('\n') + e.Path() + QLatin1Char('\n') + e.Reason());
    } catch (const std::exception &e) {
        table.Close();
        const auto *own = dynamic_cast<const Exception *>(&e);
        throw Exception(LoadStr(txt::TableAccessError) + QLatin1Char('\n') + table.FilePath() + QLatin1Char('\n')
                        + (own ? own->message() : QString::fromUtf8(e.what())));
    }
}
