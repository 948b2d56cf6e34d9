// Window messages between processes: a window that other programs may reach
// listens on the Unix socket <dir>/<ClassName>, and a sender's call returns
// the handler's result once the UI thread has run it.
//
// Request (little-endian): u32 message, u64 wParam, u32 length, length bytes.
// Reply: i64 result.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace WindowMessages {

inline constexpr quint32 WM_COPYDATA = 0x4A;
// Data beyond this is read and dropped; the handler is told it was cut.
inline constexpr quint32 MaxRequestBytes = 1u << 20;
// A trace line must not hang the traced program on a stuck receiver.
inline constexpr int TraceTimeoutMs = 2000;
inline constexpr int NoTimeout = -1;

// The per-user socket directory: $XDG_RUNTIME_DIR/quorbel, else
// /tmp/quorbel-<uid>; created with mode 0700. Empty, with *error set, when
// it is owned by another user or open to group or others.
QString SocketDirectory(QString *error = nullptr);

struct TMessage {
    quint32 Message = 0;
    quint64 WParam = 0;
    QByteArray Data;
    bool Cut = false; // the request was longer than MaxRequestBytes
    // The sending process, from the socket's peer credentials when it was
    // accepted (this process for a sender of the same thread); 0 and empty
    // when unknown.
    qint64 SenderPid = 0;
    QString SenderName;
};

// The short name a running process goes by (/proc/<pid>/comm); empty when
// it has gone or cannot be read.
QString ProcessName(qint64 pid);

inline constexpr int FrameHeaderBytes = 4 + 8 + 4;

// Takes a connection's bytes apart into messages, in whatever pieces they
// come. The data of a request past maxData bytes is dropped as it arrives,
// so what is buffered stays under a header, maxData and one read.
class TFrameReader {
public:
    explicit TFrameReader(quint32 maxData = MaxRequestBytes) : FMaxData(maxData) {}
    // Room for size more bytes at the end; Received keeps the first count.
    char *Room(qsizetype size);
    void Received(qsizetype count);
    // The next whole message at hand; false when more bytes are needed.
    bool Next(TMessage &message);
    qsizetype Buffered() const { return FIn.size() - FInAt; }

private:
    quint32 FMaxData;
    QByteArray FIn; // bytes not yet taken apart, from FInAt on
    qsizetype FInAt = 0;
    qsizetype FRoomAt = 0; // where the last Room starts
    quint64 FSkip = 0; // bytes of a cut request still to be dropped
};

// Runs on the thread that owns the listener (the UI thread).
using THandler = std::function<qint64(const TMessage &)>;

// Listens for one window class. Connections are read by the owner's event
// loop (the UI thread), every complete message at hand in one turn, and
// each reply is written after the handler has returned, without waiting
// for a sender that does not read it (its requests wait instead).
// Messages of one connection are handled in the order they were sent.
class TMessageListener : public QObject {
public:
    TMessageListener(const QString &className, THandler handler, QObject *parent = nullptr);
    ~TMessageListener() override;

    // False, with *error set, when the directory is refused or another live
    // process already answers for the class; a stale socket is replaced.
    bool Listen(QString *error = nullptr);
    // The same, but while another process answers for the class, waits
    // for it to let go (its lock file is watched) and listens then. False
    // only when neither listening nor waiting. Close ends the wait.
    bool ListenOrWait(QString *error = nullptr);
    bool IsWaiting() const;
    // Runs when a wait has ended in listening.
    void SetOnListen(std::function<void()> onListen);
    void Close();
    bool IsListening() const;
    QString SocketPath() const;
    // Runs the handler here and now (a sender of the same thread).
    qint64 Handle(const TMessage &message);

private:
    struct TImpl;
    std::unique_ptr<TImpl> d;
};

enum class TSendError { None, NoWindow, TimedOut, Failed };

// One connection to a window of another process; several messages in a row
// go over it in order.
class TWindowConnection {
public:
    TWindowConnection() = default;
    ~TWindowConnection();
    TWindowConnection(const TWindowConnection &) = delete;
    TWindowConnection &operator=(const TWindowConnection &) = delete;

    // NoWindow when nobody listens for the class (a stale socket is removed).
    TSendError Open(const QString &className);
    TSendError Open(const QString &className, const QString &directory);
    // timeoutMs: how long to wait for the reply; NoTimeout waits for good.
    // After a time-out or failure the connection is closed.
    TSendError Send(quint32 message, quint64 wParam, const QByteArray &data, int timeoutMs,
                    qint64 *result = nullptr);
    bool IsOpen() const { return FFd >= 0; }
    void Close();

private:
    int FFd = -1;
    int FTimeoutMs = NoTimeout; // the time-out the socket is set to
};

// FindWindow across processes: whether some process listens for the class.
bool WindowListening(const QString &className);

// Sends one message to the class's window: in this process first (the
// handler runs directly when called on the listener's thread), then to
// another process. nullopt when there is no such window or the call failed
// or timed out (*error says which).
std::optional<qint64> SendMessageTo(const QString &className, quint32 message, quint64 wParam,
                                    const QByteArray &data, int timeoutMs,
                                    TSendError *error = nullptr);

QString SendErrorText(TSendError error);

} // namespace WindowMessages
