// status-load: a load client for the status server, on 127.0.0.1 only. Each request is one
// connection: connect, send one byte, read the status line up to the server's close. Measures
// requests a second and the latency of a request (connect to close).
//
//   status-load --port P [--clients N] [--requests N] [--seconds S] [--waves PAUSE_MS]
//
// With one client (the default) the requests go one after another. With N clients, N connections
// are open at once, all from one thread (epoll): either each client starts its next request as
// soon as the last one is answered (the server never rests), or with --waves the N clients start
// together, all are answered, and the next wave starts PAUSE_MS later (N programs polling the
// status at the same moment). The run ends after --requests requests or --seconds seconds,
// whichever comes first.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRequestTimeout = std::chrono::seconds(5);

struct Options {
    int Port = 0;
    int Clients = 1;
    long Requests = 10000;
    double Seconds = 30;
    int WavePauseMs = -1;  // below 0: no waves
};

struct Results {
    std::vector<double> LatenciesMs;
    long Empty = 0;   // closed without a status line
    long Errors = 0;  // refused, reset or timed out
    std::size_t ReplyBytes = 0;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "status-load: %s\n"
                 "usage: status-load --port P [--clients N] [--requests N] [--seconds S] "
                 "[--waves PAUSE_MS]\n",
                 why);
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) Usage(("missing value after " + arg).c_str());
        const char* value = argv[++i];
        if (arg == "--port") {
            o.Port = std::atoi(value);
        } else if (arg == "--clients") {
            o.Clients = std::atoi(value);
        } else if (arg == "--requests") {
            o.Requests = std::atol(value);
        } else if (arg == "--seconds") {
            o.Seconds = std::atof(value);
        } else if (arg == "--waves") {
            o.WavePauseMs = std::atoi(value);
        } else {
            Usage(("unknown option " + arg).c_str());
        }
    }
    if (o.Port < 1 || o.Port > 65535) Usage("--port must be 1..65535");
    if (o.Clients < 1 || o.Clients > 1000) Usage("--clients must be 1..1000");
    if (o.Requests < 1) Usage("--requests must be at least 1");
    if (!(o.Seconds > 0 && o.Seconds <= 3600)) Usage("--seconds must be above 0, at most 3600");
    if (o.WavePauseMs > 60000) Usage("--waves must be at most 60000");
    return o;
}

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void SetTimeout(int fd, Clock::duration d) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    timeval tv{static_cast<time_t>(us / 1000000), static_cast<suseconds_t>(us % 1000000)};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// One request after another, blocking.
void RunSequential(const Options& o, Results& r) {
    const sockaddr_in address = Loopback(o.Port);
    const auto deadline = Clock::now() + std::chrono::duration<double>(o.Seconds);
    char buffer[4096];
    for (long n = 0; n < o.Requests && Clock::now() < deadline; ++n) {
        const auto start = Clock::now();
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            ++r.Errors;
            continue;
        }
        SetTimeout(fd, kRequestTimeout);
        bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                  send(fd, "?", 1, MSG_NOSIGNAL) == 1;
        std::size_t got = 0;
        while (ok) {
            const ssize_t k = recv(fd, buffer, sizeof buffer, 0);
            if (k > 0) {
                got += static_cast<std::size_t>(k);
            } else if (k == 0) {
                break;
            } else if (errno != EINTR) {
                ok = false;
            }
        }
        close(fd);
        if (!ok) {
            ++r.Errors;
            continue;
        }
        r.LatenciesMs.push_back(Ms(Clock::now() - start));
        r.ReplyBytes += got;
        if (got == 0) ++r.Empty;
    }
}

// N connections at once from one thread, kept busy or in waves.
void RunConcurrent(const Options& o, Results& r) {
    const bool waves = o.WavePauseMs >= 0;
    struct Slot {
        int Fd = -1;
        bool Sent = false;
        std::size_t Got = 0;
        Clock::time_point Start;
    };
    const sockaddr_in address = Loopback(o.Port);
    const auto deadline = Clock::now() + std::chrono::duration<double>(o.Seconds);
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0) {
        std::perror("epoll_create1");
        std::exit(1);
    }
    std::vector<Slot> slots(static_cast<std::size_t>(o.Clients));
    long started = 0;

    auto finish = [&](std::size_t i, bool ok) {
        Slot& s = slots[i];
        epoll_ctl(ep, EPOLL_CTL_DEL, s.Fd, nullptr);
        close(s.Fd);
        s.Fd = -1;
        if (!ok) {
            ++r.Errors;
            return;
        }
        r.LatenciesMs.push_back(Ms(Clock::now() - s.Start));
        r.ReplyBytes += s.Got;
        if (s.Got == 0) ++r.Empty;
    };
    auto launch = [&](std::size_t i) {
        if (started >= o.Requests || Clock::now() >= deadline) return;
        if (waves && i == 0 && started > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(o.WavePauseMs));
        Slot& s = slots[i];
        s = Slot{};
        s.Start = Clock::now();
        ++started;
        s.Fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s.Fd < 0) {
            ++r.Errors;
            return;
        }
        if (connect(s.Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS) {
            close(s.Fd);
            s.Fd = -1;
            ++r.Errors;
            return;
        }
        // On the loopback the handshake is usually done when connect returns: the client asks at
        // once, as a program of its own would, instead of after the other clients' connects.
        s.Sent = send(s.Fd, "?", 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1;
        epoll_event ev{};
        ev.events = (s.Sent ? 0U : EPOLLOUT) | EPOLLIN | EPOLLRDHUP;
        ev.data.u64 = i;
        epoll_ctl(ep, EPOLL_CTL_ADD, s.Fd, &ev);
    };

    // Kept busy: a client starts again at once. In waves: when the whole wave is answered.
    auto relaunch = [&](std::size_t i) {
        if (!waves) launch(i);
    };

    for (std::size_t i = 0; i < slots.size(); ++i) launch(i);
    std::vector<epoll_event> events(slots.size());
    char buffer[4096];
    for (;;) {
        const bool open =
            std::any_of(slots.begin(), slots.end(), [](const Slot& s) { return s.Fd >= 0; });
        if (!open) {
            if (started >= o.Requests || Clock::now() >= deadline) break;
            for (std::size_t i = 0; i < slots.size(); ++i) launch(i);
            continue;
        }
        const int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), 100);
        for (int e = 0; e < n; ++e) {
            const std::size_t i = events[static_cast<std::size_t>(e)].data.u64;
            Slot& s = slots[i];
            if (s.Fd < 0) continue;
            const std::uint32_t what = events[static_cast<std::size_t>(e)].events;
            if (!s.Sent && (what & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
                int err = 0;
                socklen_t len = sizeof err;
                getsockopt(s.Fd, SOL_SOCKET, SO_ERROR, &err, &len);
                if (err != 0 || send(s.Fd, "?", 1, MSG_NOSIGNAL) != 1) {
                    finish(i, false);
                    relaunch(i);
                    continue;
                }
                s.Sent = true;
                epoll_event ev{};
                ev.events = EPOLLIN | EPOLLRDHUP;
                ev.data.u64 = i;
                epoll_ctl(ep, EPOLL_CTL_MOD, s.Fd, &ev);
                continue;
            }
            if (!s.Sent) continue;
            for (;;) {
                const ssize_t k = recv(s.Fd, buffer, sizeof buffer, 0);
                if (k > 0) {
                    s.Got += static_cast<std::size_t>(k);
                    continue;
                }
                if (k == 0) {
                    finish(i, true);
                    relaunch(i);
                } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    finish(i, false);
                    relaunch(i);
                }
                break;
            }
        }
        const auto now = Clock::now();
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (slots[i].Fd >= 0 && now - slots[i].Start > kRequestTimeout) {
                finish(i, false);
                relaunch(i);
            }
        }
    }
    close(ep);
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const auto index =
        static_cast<std::size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    Results r;
    const auto start = Clock::now();
    if (o.Clients == 1) {
        RunSequential(o, r);
    } else {
        RunConcurrent(o, r);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> l = r.LatenciesMs;
    std::sort(l.begin(), l.end());
    std::printf(
        "clients %d%s requests %zu errors %ld empty %ld seconds %.2f rate %.0f/s "
        "latency_ms p50 %.3f p90 %.3f p99 %.3f max %.3f reply_bytes %.1f\n",
        o.Clients, o.WavePauseMs >= 0 ? " (waves)" : "", l.size(), r.Errors, r.Empty, seconds,
        static_cast<double>(l.size()) / seconds, Percentile(l, 50), Percentile(l, 90),
        Percentile(l, 99), l.empty() ? 0.0 : l.back(),
        l.empty() ? 0.0 : static_cast<double>(r.ReplyBytes) / static_cast<double>(l.size()));
    return r.LatenciesMs.empty() ? 1 : 0;
}
