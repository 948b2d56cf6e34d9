// The help file hcw writes and quorbel-help reads: one self-contained HTML
// page (UTF-8, pictures as data: URIs in the style sheet, shown by
// <span class="bm bmN">). Each topic is a <section> whose id is its context
// string, with an anchor "map-N" per map number; the first topic is the
// contents. A JSON index block in the head gives the viewer the topics, the
// map numbers, the keywords, the window colours, the pictures and the
// compiler's messages. Its names are here, for both sides.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

namespace HelpFile {

// The index block in the head: everything up to its end tag is the index.
inline constexpr char IndexOpen[] = "<script type=\"application/json\" id=\"quorbel-help-index\">";
inline constexpr char IndexClose[] = "</script>";
// A page: <section class="topic" id="ID" data-context="CONTEXT"> up to its end tag.
inline constexpr char PageOpen[] = "<section ";
inline constexpr char PageClose[] = "</section>";

// The keys of the index and of its records, in the order they are written.
namespace Key {
// The index.
inline constexpr QLatin1String Config{"config"};     // [CONFIG] macros
inline constexpr QLatin1String Contents{"contents"}; // the id of the contents topic
inline constexpr QLatin1String Keywords{"keywords"}; // keyword -> ids, in the file's order
inline constexpr QLatin1String Map{"map"};           // map number -> id
inline constexpr QLatin1String Messages{"messages"}; // [message]
inline constexpr QLatin1String Pictures{"pictures"}; // class ("bm0") -> picture
inline constexpr QLatin1String Title{"title"};
inline constexpr QLatin1String Topics{"topics"};   // [topic], in the file's order
inline constexpr QLatin1String Windows{"windows"}; // name -> window
// A topic (also Keywords, Map and Title).
inline constexpr QLatin1String Context{"context"};
inline constexpr QLatin1String Id{"id"};
inline constexpr QLatin1String Popup{"popup"};
// A message.
inline constexpr QLatin1String Error{"error"};
inline constexpr QLatin1String File{"file"}; // also a picture's
inline constexpr QLatin1String Line{"line"};
inline constexpr QLatin1String Text{"text"};
// A picture (also File).
inline constexpr QLatin1String Height{"height"};
inline constexpr QLatin1String Png{"png"}; // a data: URI
inline constexpr QLatin1String Width{"width"};
// A window.
inline constexpr QLatin1String Caption{"caption"};
inline constexpr QLatin1String NonScroll{"nonscroll"}; // CSS colours
inline constexpr QLatin1String Topic{"topic"};
} // namespace Key

} // namespace HelpFile

// What the compiler had to say, kept in the file for the viewer.
struct THelpMessage {
    QString File;
    int Line = 0;
    QString Text;
    bool Error = true; // false: a note, which does not fail the compile
    // "file(line): message", as hcw prints it
    QString Format() const;
};

struct THelpTopicRecord {
    QString Context;
    QString Id;
    QStringList Keywords;
    QList<int> Map;
    bool Popup = false; // no title: shown as a pop-up only
    QString Title;
};

struct THelpPictureRecord {
    QString File; // as the document names it
    int Height = 0;
    QString Png; // data:image/png;base64,...
    int Width = 0;
};

struct THelpWindowRecord {
    QString Caption;
    QString NonScroll; // "#rrggbb", empty when not given
    QString Topic;
};

// The index is written as QJsonDocument's compact form would write it (keys
// sorted, the same escapes), a piece at a time: a large document's index
// built as one QJsonObject would take several times its size.
namespace HelpFile {
void WriteString(QByteArray &out, const QString &s);
void WriteStrings(QByteArray &out, const QStringList &list);
// ',' unless first, then the key and ':'.
void WriteKey(QByteArray &out, const QString &key, bool &first);
void WriteKey(QByteArray &out, QLatin1String key, bool &first);
// The order of an object's keys: by code point, so a character beyond
// U+FFFF comes after U+E000..U+FFFF, unlike UTF-16's order.
bool KeyLess(const QString &a, const QString &b);

void WriteRecord(QByteArray &out, const THelpMessage &m);
void WriteRecord(QByteArray &out, const THelpTopicRecord &t);
void WriteRecord(QByteArray &out, const THelpPictureRecord &p);
void WriteRecord(QByteArray &out, const THelpWindowRecord &w);

THelpMessage ReadMessage(const QJsonObject &o);
} // namespace HelpFile
