// Line scanner for Pascal sources: reports every line on which one of a list
// of words stands as a separate word, from a start word's line on, up to an
// end word's line. Knows no Pascal beyond these word tests; reads the file as
// saved on disk. Its parts: BlockSift (finds line ends and the places a word
// may start), LineMatcher (the exact tests of one line), and here the loop
// that streams the file through one buffer.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <type_traits>

// line * 100 / scale for consecutive lines: stepped instead of divided, in
// 64 bits (line * 100 overflows 32 bits in big files).
struct TProgressStep {
    int64_t Scale = 0; // 0: not started
    int64_t Value = 0;
    int64_t Rest = 0;
    int64_t Step = 0;
    int64_t RestStep = 0;

    void Start(int64_t line, int64_t scale)
    {
        Scale = scale;
        Value = line * 100 / scale;
        Rest = line * 100 % scale;
        Step = 100 / scale;
        RestStep = 100 % scale;
    }
    // The value of the next line.
    int64_t Next()
    {
        const int64_t rest = Rest + RestStep;
        const int64_t carry = rest >= Scale ? 1 : 0; // no branch: it goes either way
        Rest = rest - (Scale & -carry);
        Value += Step + carry;
        return Value;
    }
};

class TBufferGrep;

// An event: a handler and its context, called like a function; empty until
// set. Copies call the same handler. Cheaper to call than std::function (no
// emptiness check, arguments in registers): the progress event is called for
// every line.
template <typename Signature>
class TGrepEvent;

template <typename R, typename... Args>
class TGrepEvent<R(Args...)> {
public:
    TGrepEvent() = default;
    TGrepEvent(std::nullptr_t) {}
    template <typename F,
              typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, TGrepEvent>
                                          && std::is_invocable_r_v<R, std::decay_t<F> &, Args...>>>
    TGrepEvent(F &&handler)
        : FContext(std::make_shared<std::decay_t<F>>(std::forward<F>(handler))),
          FCall([](void *context, Args... args) -> R {
              return (*static_cast<std::decay_t<F> *>(context))(std::forward<Args>(args)...);
          })
    {
    }

    explicit operator bool() const { return FCall != nullptr; }
    // Only on a set event.
    R operator()(Args... args) const { return FCall(FContext.get(), std::forward<Args>(args)...); }

private:
    std::shared_ptr<void> FContext;
    R (*FCall)(void *, Args...) = nullptr;
};

// (target list, word, line number from 1, line text as read)
using TGrepFoundEvent =
    TGrepEvent<void(void *listBox, const QString &word, int32_t &lineNo, const QString &text)>;
// (sender, progress value)
using TGrepProgressEvent = TGrepEvent<void(TBufferGrep *sender, int32_t value)>;

class TBufferGrep {
public:
    TBufferGrep();
    virtual ~TBufferGrep();
    TBufferGrep(const TBufferGrep &) = delete;
    TBufferGrep &operator=(const TBufferGrep &) = delete;

    // Calls FOnProgress with lineNo * 100 / FScale.
    virtual void DoProgress(TBufferGrep *sender, int32_t lineNo);
    // Scans FFileName once. Never throws: any failure, including one raised
    // by a handler, ends the scan quietly. A missing file is no failure. A
    // scan started from a handler of a running one (same thread) does
    // nothing: the two would share the thread's buffers.
    virtual void Search();
    void DoFound(void *listBox, const QString &word, int32_t &lineNo, const QString &text);

    // Words to look for, in search order; expected in upper case.
    QStringList FKeywords;
    QString FFileName;
    TGrepFoundEvent FOnFound;
    // Empty: the search starts at the first line.
    QString FStartWord;
    // Empty: the search runs to the end of the file.
    QString FEndWord;
    TGrepProgressEvent FOnProgress;
    // File length / 128, set when Search starts.
    int32_t FScale = 0;
    // Opaque target handed back to FOnFound; never dereferenced here.
    void *FListBox = nullptr;

    // The file streams through one buffer of this many bytes (at least twice
    // the longest word); a line longer than the buffer is scanned in pieces,
    // and the text handed to FOnFound for it is the buffer's first fill.
    static constexpr int DefaultBufferSize = 256 * 1024;
    void SetBufferSize(int bytes);
    int BufferSize() const { return FBufferSize; }

    // Why the last Search stopped short, for the user: a file that exists
    // but cannot be read as a regular file, a read error, or more lines than
    // the 32-bit line numbers count. Empty when it ran to its end.
    const QString &FailureText() const { return FFailure; }

private:
    // lineNo * 100 / FScale, held to 32 bits; stepped from the last value
    // when lineNo follows the last line.
    int32_t ProgressValue(int32_t lineNo);
    int32_t StartProgress(int32_t lineNo);

    int FBufferSize = DefaultBufferSize;
    QString FFailure;
    // The line after DoProgress's last one, and its stepping.
    int64_t FNextProgressLine = -1;
    TProgressStep FProgress;
};

namespace BufferGrepTesting {
// Caps the vector unit the scanner sifts with: 0 plain, 1 SSE2, 2 AVX2,
// 3 AVX-512; -1 the best the processor has.
void UseVectorUnit(int unit);
// Whether this processor has that unit.
bool HasVectorUnit(int unit);
// Scans started after this count their lines on from `lines` instead of 0,
// so that the end of the line numbers is reached without such a file.
void CountLinesFrom(int32_t lines);
}
