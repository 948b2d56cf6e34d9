// A help file as hcw writes it (see HelpFileFormat.h), read for showing one
// topic at a time: the index block is parsed, and each <section> is found by
// its offsets only, so a file of 20,000 topics opens at once and a page is
// cut out of the bytes when it is shown.
#pragma once

#include "Exception.h"
#include "HelpFileFormat.h"

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

// A file that cannot be read or holds no help index.
class EHelpFile : public Exception {
public:
    using Exception::Exception;
};

struct THelpTopicInfo {
    QString Id; // the section's id: the context string, "Contens-2" for a repeat
    QString Title;
};

// Where a link of a shown page leads.
struct THelpLink {
    QString Id;
    bool Popup = false;
};

class THelpDocument {
public:
    // Help files are a few megabytes; this only stops a wrong file.
    static constexpr qint64 MaxFileBytes = 512LL * 1024 * 1024;

    // Reads path through the bounded reader; throws EHelpFile naming the file.
    static THelpDocument Load(const QString &path);
    static THelpDocument Parse(const QString &path, QByteArray bytes);

    QString Path() const { return FPath; }
    QDateTime Modified() const { return FModified; }
    qint64 Size() const { return FBytes.size(); }
    QString Title() const { return FTitle; }
    QString ContentsId() const { return FContents; }

    const QList<THelpTopicInfo> &Topics() const { return FTopics; }
    const THelpTopicInfo *Topic(const QString &id) const;
    bool HasPage(const QString &id) const { return FSections.contains(id); }
    // Empty when no topic carries that map number.
    QString IdForContext(qint64 number) const;

    // Sorted without regard to case.
    const QStringList &Keywords() const;
    // The topics a keyword names (any letter case), in the file's order.
    QStringList TopicsForKeyword(const QString &keyword) const;

    // The main window's topic colour ([WINDOWS] main=, else the first
    // window); its heading colour is in the style sheet.
    QColor Background() const { return FBackground; }
    // Black or white, whichever reads on the background.
    QColor TextColor() const;

    // The file's style sheet without the picture rules (data: URIs no
    // browser widget shows; the pages get <img> for them instead).
    QString StyleSheet() const { return FStyleSheet; }
    // One page as HTML for a browser widget: pictures as <img src="bm:bmN">,
    // pop-up links as popup:#ID. Empty when there is no such page.
    QString PageHtml(const QString &id) const;
    // The picture of a class ("bm0"); null when there is none.
    QImage Picture(const QString &cls) const;

    const QList<THelpMessage> &Messages() const { return FMessages; }
    int ErrorCount() const;

    // A link of PageHtml, as the browser hands it back.
    static THelpLink LinkTarget(const QUrl &url);
    static QUrl PictureUrl(const QString &cls);

private:
    struct TSpan {
        qsizetype Begin = 0, End = 0;
    };
    QString FPath;
    QDateTime FModified;
    QByteArray FBytes;
    QString FTitle;
    QString FContents;
    QList<THelpTopicInfo> FTopics;
    QHash<QString, int> FTopicIndex;
    QHash<QString, TSpan> FSections;
    QMap<qint64, QString> FMap;
    // Read when first asked for: a large file's keywords would slow its
    // opening at the contents page.
    void ReadKeywords() const;
    mutable QJsonObject FKeywordIndex;
    mutable QStringList FKeywords;
    mutable QHash<QString, QStringList> FKeywordTopics; // lower-case keyword -> ids
    QColor FBackground = Qt::white;
    QString FStyleSheet;
    QHash<QString, QByteArray> FPictures; // class -> PNG bytes
    QList<THelpMessage> FMessages;
};
