// A real IDE (main window, editor window, host objects) on the offscreen
// platform, with its message boxes answered and recorded.
#pragma once

#include "CodeEditor.h"
#include "EditWindow.h"
#include "HostObject.h"
#include "Ide.h"
#include "SourceBuffer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable failures for texts and lists of them.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out)
{
    *out << '{' << list.join(QStringLiteral(", ")).toStdString() << '}';
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        aliveBefore = qide::HostObjectsAlive();
        ide = std::make_unique<qide::TIde>();
        ide->setMessageHook([this](QMessageBox::Icon, const QString &text, QMessageBox::StandardButtons) {
            messages << text;
            return answer;
        });
        QObject::connect(ide.get(), &qide::TIde::event, ide.get(),
                         [this](const QString &line) { events << line; });
        services = ide->toolServices();
    }
    void TearDown() override
    {
        ide.reset();
        EXPECT_EQ(qide::HostObjectsAlive(), aliveBefore) << "host objects left alive";
    }

    // By string: QDir::filePath would take ":name" for a resource path.
    QString path(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }

    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path(name);
    }

    static QByteArray read(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The whole buffer as an add-in reads it: in blocks through a reader.
    QString readBuffer(const QString &file, int block = 16384)
    {
        THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
        if (!module)
            return QStringLiteral("<no module>");
        THostRef<TIEditorInterface> editor(module->GetEditorInterface());
        THostRef<TIEditReader> reader(editor->CreateReader());
        QString text;
        std::vector<QChar> chunk(block);
        for (int at = 0;;) {
            const int got = reader->GetText(at, chunk.data(), block);
            if (got <= 0)
                break;
            text.append(chunk.data(), got);
            at += got;
        }
        return text;
    }

    // Inserts text at an offset of the CR LF buffer, as the add-in does.
    void insertAt(const QString &file, int offset, const QString &text)
    {
        THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
        ASSERT_TRUE(module);
        THostRef<TIEditorInterface> editor(module->GetEditorInterface());
        THostRef<TIEditWriter> writer(editor->CreateWriter());
        ASSERT_TRUE(writer->CopyTo(offset));
        ASSERT_TRUE(writer->Insert(text));
    }

    bool save(const QString &file)
    {
        THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
        return module && module->Save(true);
    }

    QTemporaryDir dir;
    std::unique_ptr<qide::TIde> ide;
    TIToolServices *services = nullptr;
    QStringList messages;
    QStringList events;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    int aliveBefore = 0;
};
