// 8 senders at once, each sending its lines over one connection and waiting
// for each reply: lines per second held by the trace window, and lines lost,
// next to the same senders writing to a plain Unix socket reader that
// replies to each frame at once and does nothing else (the ceiling of a
// design where every send waits for its reply). The window's side runs as
// the IDE's loop does, asleep until a socket has something. BENCH_HIDDEN=1
// measures with the window hidden, leaving out what the list view costs.
// Each run measures the window twice: with its options off, and with every
// option on (columns, a filter, highlights, auto-scroll, a cap).
#include "TestServices.h"

#include "ipc/FTracew.h"

#include "WindowMessages.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QLineEdit>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace WindowMessages;

namespace {

constexpr int Senders = 8;
constexpr int PerSender = 100000;

double Micros(const timeval &t) { return double(t.tv_sec) * 1e6 + double(t.tv_usec); }
// Processor time, user and system, between two readings.
double Busy(const rusage &before, const rusage &after)
{
    return Micros(after.ru_utime) - Micros(before.ru_utime) + Micros(after.ru_stime) - Micros(before.ru_stime);
}

// Runs the senders; returns how many of their sends failed.
int Send(const std::function<void()> &pump)
{
    std::atomic<int> failed{0};
    std::atomic<int> running{Senders};
    std::vector<std::thread> senders;
    for (int s = 0; s < Senders; ++s)
        senders.emplace_back([s, &failed, &running] {
            TWindowConnection c;
            if (c.Open(QStringLiteral("TFTrace")) != TSendError::None) {
                failed += PerSender;
            } else {
                for (int i = 1; i <= PerSender; ++i) {
                    const QByteArray line = QByteArray::number(s) + ':' + QByteArray::number(i);
                    if (c.Send(WM_COPYDATA, 0, line, NoTimeout) != TSendError::None) {
                        failed += PerSender - i + 1;
                        break;
                    }
                }
            }
            --running;
            // The window's loop may be asleep waiting for events: wake it
            // to see that this sender is done.
            if (QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance(qApp->thread()))
                d->wakeUp();
        });
    while (running > 0)
        pump();
    for (auto &t : senders)
        t.join();
    return failed;
}

// The ceiling: read a frame, reply 0, nothing else; a thread per connection.
class TPlainReader {
public:
    explicit TPlainReader(const QString &path)
    {
        FFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.toLocal8Bit().constData());
        ::unlink(addr.sun_path);
        ::bind(FFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        ::listen(FFd, 64);
        FAcceptor = std::thread([this] {
            for (int n = 0; n < Senders; ++n) {
                const int fd = ::accept(FFd, nullptr, nullptr);
                FReaders.emplace_back([this, fd] { Serve(fd); });
            }
        });
    }
    ~TPlainReader()
    {
        FAcceptor.join();
        for (auto &t : FReaders)
            t.join();
        ::close(FFd);
    }
    long Frames() const { return FFrames; }

private:
    void Serve(int fd)
    {
        char header[16];
        std::vector<char> data;
        while (::recv(fd, header, sizeof header, MSG_WAITALL) == sizeof header) {
            quint32 length;
            std::memcpy(&length, header + 12, 4);
            data.resize(length);
            if (length && ::recv(fd, data.data(), length, MSG_WAITALL) != ssize_t(length))
                break;
            ++FFrames;
            const qint64 reply = 0;
            ::send(fd, &reply, sizeof reply, MSG_NOSIGNAL);
        }
        ::close(fd);
    }
    int FFd = -1;
    std::thread FAcceptor;
    std::vector<std::thread> FReaders;
    std::atomic<long> FFrames{0};
};

// One run: the plain reader, then a fresh trace window, with the same
// senders. The ratio is plain reader over window, in lines per second.
struct TRun {
    double Ratio = 0;
    double OptionsRatio = 0;
    long Lost = 0;
    int Failed = 0;
};

// The plain reader's lines per second, on the window's socket path.
double PlainRate(int run, TRun &result)
{
    const double total = double(Senders) * PerSender;
    const QString dir = SocketDirectory();
    double rate = 0;
    {
        TPlainReader reader(dir + QStringLiteral("/TFTrace"));
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        QElapsedTimer timer;
        timer.start();
        const int failed = Send([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        rate = total / (double(timer.nsecsElapsed()) / 1e9);
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        std::printf("run %d: plain socket reader: %.0f lines/s, %d failed; all threads %.1f us of processor per line\n",
                    run, rate, failed, Busy(before, after) / total);
        result.Failed += failed;
    }
    ::unlink((dir + QStringLiteral("/TFTrace")).toLocal8Bit().constData());
    return rate;
}

// Every option of the window on: time and sender columns, a regular
// expression that every line passes, two highlight rules, auto-scroll and
// a cap above what the run sends.
void SwitchOptionsOn(TFTrace &trace)
{
    for (const char *name : {"acTimeStamps", "acSender", "acAutoScroll", "acRegex"})
        trace.findChild<QAction *>(QLatin1String(name))->setChecked(true);
    trace.findChild<QLineEdit *>(QStringLiteral("FilterEdit"))->setText(QStringLiteral("^\\d+:\\d+$"));
    trace.Lines().SetHighlights({{QStringLiteral(":1"), QColor(Qt::yellow)}, {QStringLiteral("7:"), QColor(Qt::cyan)}});
    trace.Lines().SetCap(qsizetype(Senders) * PerSender + 1);
}

// The window's lines per second; lost and failed go to result.
double WindowRate(int run, bool options, TRun &result)
{
    const double total = double(Senders) * PerSender;
    TAddinServices services = TestServices();
    services.NotifyIcon = [](quint32, const TNotifyIconData &) { return true; };
    TFTrace trace(services);
    if (options)
        SwitchOptionsOn(trace);
    trace.show();
    if (qEnvironmentVariableIsSet("BENCH_HIDDEN"))
        trace.hide();
    rusage before{}, processBefore{};
    ::getrusage(RUSAGE_THREAD, &before);
    ::getrusage(RUSAGE_SELF, &processBefore);
    QElapsedTimer timer;
    timer.start();
    // As the IDE's own loop runs: asleep until a socket has something.
    const int failed = Send([] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
    const double rate = total / (double(timer.nsecsElapsed()) / 1e9);
    const long held = long(trace.Lines().Lines().size());
    rusage after{}, processAfter{};
    ::getrusage(RUSAGE_THREAD, &after);
    ::getrusage(RUSAGE_SELF, &processAfter);
    // Each sleep of the window's thread costs a task switch: fewer than one
    // per line means a wake-up serves several senders.
    const long sleeps = (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw);
    const char *name = options ? "every option on" : "trace window";
    std::printf("run %d: %-18s %.0f lines/s held, %ld lost, %d failed sends\n", run, (std::string(name) + ":").c_str(),
                rate, long(total) - held, failed);
    std::printf("run %d: window thread:     %.2f task switches (%.2f of them pre-empted) and %.1f us of processor per "
                "line (%.1f us in user space); all threads %.1f us\n",
                run, double(sleeps) / total, double(after.ru_nivcsw - before.ru_nivcsw) / total, Busy(before, after) / total,
                (Micros(after.ru_utime) - Micros(before.ru_utime)) / total, Busy(processBefore, processAfter) / total);
    result.Lost += long(total) - held;
    result.Failed += failed;
    return rate;
}

// One run: the plain reader, then a fresh trace window with its options
// off, then one with every option on, with the same senders. A ratio is
// plain reader over window, in lines per second.
TRun RunOnce(int run)
{
    TRun result;
    const double plain = PlainRate(run, result);
    result.Ratio = plain / WindowRate(run, false, result);
    result.OptionsRatio = plain / WindowRate(run, true, result);
    std::printf("run %d: ratio plain reader/window: %.2f, with every option on: %.2f\n", run, result.Ratio,
                result.OptionsRatio);
    std::fflush(stdout);
    return result;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

// bench_trace_senders [runs]   (default 5): the median ratio of the runs.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("TEMP", runtime.path().toUtf8());
    // The options switched on here stay out of the user's registry.
    qputenv("QUORBEL_REGISTRY", (runtime.path() + QStringLiteral("/registry.ini")).toUtf8());
    QApplication app(argc, argv);
    const int runs = std::max(1, argc > 1 ? QByteArray(argv[1]).toInt() : 5);

    std::vector<double> ratios, optionRatios;
    long lost = 0;
    int failed = 0;
    for (int run = 1; run <= runs; ++run) {
        const TRun r = RunOnce(run);
        ratios.push_back(r.Ratio);
        optionRatios.push_back(r.OptionsRatio);
        lost += r.Lost;
        failed += r.Failed;
    }
    const double median = Median(ratios), optionsMedian = Median(optionRatios);
    const auto [best, worst] = std::minmax_element(ratios.begin(), ratios.end());
    const auto [optionsBest, optionsWorst] = std::minmax_element(optionRatios.begin(), optionRatios.end());
    std::printf("median ratio plain reader/window over %d runs: %.2f (best %.2f, worst %.2f); "
                "with every option on: %.2f (best %.2f, worst %.2f); %ld lines lost, %d failed sends\n",
                runs, median, *best, *worst, optionsMedian, *optionsBest, *optionsWorst, lost, failed);
    const bool met = median <= 2.0 && optionsMedian <= 2.0 && lost == 0 && failed == 0;
    std::printf("goal <= 2x with 0 lost, options off and on: %s\n", met ? "met" : "missed");
    return lost == 0 && failed == 0 ? 0 : 1;
}
