// The endpoint Free Pascal's dbugintf unit writes to: a FIFO named
// "fpcdebugserver" in the temp directory ($TEMP, $TMP, $TMPDIR, else /tmp),
// carrying SimpleIPC frames. Served here only when no other server reads it.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

class TDebugServerPipe : public QObject {
public:
    // Message types of dbugintf.
    enum : qint32 { TypeStop = -1, TypeInformation = 0, TypeWarning = 1, TypeError = 2, TypeIdentify = 3 };
    using THandler = std::function<void(qint32 type, const QByteArray &text)>;

    explicit TDebugServerPipe(THandler handler, QObject *parent = nullptr);
    ~TDebugServerPipe() override;

    // The FIFO's path for the current environment.
    static QString DefaultPath();

    // False when another server reads the FIFO, when it is not ours, or
    // when it cannot be made. A FIFO left behind without a reader is
    // replaced; the new one has mode 0600.
    bool Serve(const QString &path = DefaultPath());
    void Stop();
    bool Serving() const { return FFd >= 0; }

    // Bytes as read from the FIFO: every whole frame goes to the handler.
    // False when a frame's length cannot be, which drops what is buffered.
    bool Feed(const char *bytes, qsizetype size);
    qsizetype Buffered() const { return FBuffer.size(); }

private:
    void ReadAvailable();
    bool Parse();

    THandler FHandler;
    QString FPath;
    int FFd = -1;
    quint64 FInode = 0;
    QSocketNotifier *FNotifier = nullptr;
    QByteArray FBuffer;
};
