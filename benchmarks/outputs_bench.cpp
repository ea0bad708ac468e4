// What the APRS-IS upload and wxnow.txt cost the window's thread: per station set (wxnow.txt's
// lines handed to its writer, the upload taking the set), per upload (one whole session with a
// stand-in APRS-IS server on 127.0.0.1, counted in the window thread's CPU time, since the
// session's wall time is the network's) and per reading of the last day's rain from an archive on
// disk. The sessions also tell whether the resident memory grows with them.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <thread>
#include <vector>

#include "app/wxnow_file.h"
#include "aprsis/aprs_is_upload.h"
#include "database/archive_database.h"
#include "sample_reading.h"
#include "uplink/aprs_is.h"

namespace ombrix {
namespace {

constexpr std::int64_t kAt = 1796640750;  // 2026-12-07 10:52:30 UTC

StationReading Reading() {
    return test::SampleReading();
}

// Each call timed on its own, for the median rather than the mean.
struct Samples {
    std::vector<double> us;
    void Add(double seconds) { us.push_back(seconds * 1e6); }
    void Report(benchmark::State& state) {
        std::sort(us.begin(), us.end());
        state.counters["median_us"] = us[us.size() / 2];
        state.counters["p99_us"] = us[us.size() * 99 / 100];
    }
};

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// An APRS-IS server on a thread of its own, so that its work is not the window thread's: the
// banner, the answer to the login, then it reads until the client closes.
class StandInServer {
  public:
    StandInServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener_, 16);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~StandInServer() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }
    quint16 Port() const { return port_; }

  private:
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            const timeval limit{2, 0};
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            Send(client, "# aprsc 2.1.14\r\n");
            if (Line(client)) Send(client, "# logresp N0ABC-13 unverified, server T2TEST\r\n");
            while (Line(client)) {
            }
            close(client);
        }
    }
    static void Send(int client, const char* text) {
        if (write(client, text, std::char_traits<char>::length(text)) < 0) return;
    }
    static bool Line(int client) {
        char c = 0;
        while (read(client, &c, 1) == 1)
            if (c == '\n') return true;
        return false;
    }

    int listener_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

AprsIsSettings UploadSettings(quint16 port) {
    AprsIsSettings s;
    s.Host = "127.0.0.1";
    s.Port = port;
    s.Call = "N0ABC-13";
    s.Lage = "4903.50N/00831.20E_";
    return s;
}

void Quiet(const std::string&) {}

// After each station set, on the window's thread: the two lines made and handed to the writer's
// thread (the write itself is waited for outside the measured time).
void BM_WxnowPerSet(benchmark::State& state) {
    QTemporaryDir dir;
    WxnowFile file(dir.filePath("wxnow.txt"));
    QString failed;
    QEventLoop loop;
    QObject::connect(&file, &WxnowFile::Written, &loop, [&](const QString& why) {
        failed = why;
        loop.quit();
    });
    const StationReading r = Reading();
    Samples samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        file.Write(WxnowText(LocalTimeAt(kAt), UploadValuesOf(r, 5.0, 2.54)));
        samples.Add(Since(start));
        loop.exec();
        if (!failed.isEmpty()) state.SkipWithError(qPrintable(failed));
    }
    samples.Report(state);
}
BENCHMARK(BM_WxnowPerSet)->Unit(benchmark::kMicrosecond);

// The writer thread's part: a temporary file in the same folder renamed over the old one.
void BM_WxnowReplaceFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("wxnow.txt");
    const Bytes text = WxnowText(LocalTimeAt(kAt), UploadValuesOf(Reading(), 5.0, 2.54));
    Samples samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const QString failed = ReplaceFile(path, text);
        samples.Add(Since(start));
        if (!failed.isEmpty()) state.SkipWithError(qPrintable(failed));
    }
    samples.Report(state);
}
BENCHMARK(BM_WxnowReplaceFile)->Unit(benchmark::kMicrosecond);

// A set that the upload takes between two uploads (its gust, the silence clock).
void BM_AprsIsSetBetweenUploads(benchmark::State& state) {
    StandInServer server;
    AprsIsUpload upload(UploadSettings(server.Port()), nullptr, Quiet);
    const StationReading r = Reading();
    upload.Reading(r, kAt);  // the first set starts the first upload; the next wait
    Samples samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        upload.Reading(r, kAt);
        samples.Add(Since(start));
    }
    samples.Report(state);
}
BENCHMARK(BM_AprsIsSetBetweenUploads)->Unit(benchmark::kMicrosecond);

// One whole upload: connect, banner, login, its answer, the packet, close.
void BM_AprsIsSession(benchmark::State& state) {
    StandInServer server;
    const StationReading r = Reading();
    Samples samples;
    long sent = 0;
    for (auto _ : state) {
        AprsIsUpload upload(
            UploadSettings(server.Port()), [](std::int64_t) { return 2.54; }, Quiet);
        QEventLoop loop;
        QObject::connect(&upload, &AprsIsUpload::StateChanged, &loop, &QEventLoop::quit);
        const double cpu = ThreadCpuSeconds();
        upload.Reading(r, kAt);
        loop.exec();
        samples.Add(ThreadCpuSeconds() - cpu);
        if (upload.StateText().startsWith("APRS-IS gesendet")) ++sent;
    }
    if (sent != static_cast<long>(state.iterations())) state.SkipWithError("a session failed");
    samples.Report(state);
}
BENCHMARK(BM_AprsIsSession)->Unit(benchmark::kMicrosecond);

// The resident memory over many sessions of one upload, as the program makes them: with an
// interval of zero each session follows the last at once.
void BM_AprsIsMemoryOverSessions(benchmark::State& state) {
    constexpr int kWarmUp = 100, kSessions = 5000;
    StandInServer server;
    AprsIsSettings settings = UploadSettings(server.Port());
    settings.IntervalSeconds = 0;
    for (auto _ : state) {
        AprsIsUpload upload(
            settings, [](std::int64_t) { return 2.54; }, Quiet);
        QEventLoop loop;
        int finished = 0;
        long before = 0;
        QObject::connect(&upload, &AprsIsUpload::StateChanged, &loop, [&] {
            if (++finished == kWarmUp) before = ResidentKiB();
            if (finished == kSessions) loop.quit();
        });
        QTimer limit;
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(120000);
        upload.Reading(Reading(), kAt);
        loop.exec();
        if (finished != kSessions || !upload.StateText().startsWith("APRS-IS gesendet"))
            state.SkipWithError("the sessions did not all go");
        state.counters["sessions"] = kSessions - kWarmUp;
        state.counters["rss_growth_kib"] = static_cast<double>(ResidentKiB() - before);
    }
}
BENCHMARK(BM_AprsIsMemoryOverSessions)->Iterations(1)->Unit(benchmark::kMillisecond);

// The last day's rain when an upload is due (and once a minute for wxnow.txt): a day of
// five-minute records read from the archive's file and summed.
void BM_RainOfLastDay(benchmark::State& state) {
    QTemporaryDir dir;
    std::string error;
    const auto database = ArchiveDatabase::Open(dir.filePath("archive.sdb").toStdString(), error);
    if (!database) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::int64_t now = IntervalEnd(kAt, 300);
    for (std::int64_t t = now - 2 * 86400; t <= now; t += 300) {
        IntervalSums sums;
        sums.DateTime = t;
        sums.Rain = 0.1;
        sums.SetCount = 30;
        database->Write(sums);
    }
    Samples samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::optional<double> rain = RainOfLastDay(database->Read(now - 86400, now), now);
        samples.Add(Since(start));
        if (!rain) state.SkipWithError("the day is not covered");
    }
    samples.Report(state);
}
BENCHMARK(BM_RainOfLastDay)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ombrix

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
