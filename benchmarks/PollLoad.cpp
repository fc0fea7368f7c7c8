#include "PollLoad.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <queue>
#include <random>

namespace kt::bench {
namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

enum class Phase { Connecting, Handshaking, Sending, Waiting, Idle, Dead };

struct Student {
    int fd = -1;
    SSL* ssl = nullptr;
    Phase phase = Phase::Connecting;
    Clock::time_point started, connectedAt, sentAt;
    std::string out, in, token;
    bool isPoll = false;
    bool measured = false;  // a poll of the steady phase, whose reply time counts
};

// The whole reply is in: its head and Content-Length bytes of body.
bool replyComplete(const std::string& in, std::string& body) {
    const size_t end = in.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    size_t length = 0;
    for (size_t at = 0; at < end;) {
        const size_t next = in.find("\r\n", at);
        const std::string line = in.substr(at, next - at);
        if (strncasecmp(line.c_str(), "content-length:", 15) == 0)
            length = std::stoul(line.substr(15));
        at = next + 2;
    }
    if (in.size() < end + 4 + length)
        return false;
    body = in.substr(end + 4, length);
    return true;
}

std::string tokenIn(const std::string& body) {
    const std::string key = "\"session_token\":\"";
    const size_t at = body.find(key);
    if (at == std::string::npos)
        return {};
    return body.substr(at + key.size(), body.find('"', at + key.size()) - at - key.size());
}

}  // namespace

Percentiles Percentiles::of(std::vector<double> samples) {
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()))];
    };
    return {at(0.50), at(0.99), samples.back()};
}

LoadResult runLoad(const LoadPlan& plan) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);  // loopback, our own certificate
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    std::vector<Student> students(static_cast<size_t>(plan.students));
    std::vector<double> tcp, tls, replies;
    LoadResult result;

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(plan.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    const auto fail = [&](Student& s) {
        if (s.phase == Phase::Dead)
            return;
        s.phase = Phase::Dead;
        ++result.failed;
        if (s.ssl)
            SSL_free(s.ssl);
        s.ssl = nullptr;
        close(s.fd);
    };
    const std::string loginBody = "student_name=Leerling&class_code=" + plan.classCode +
                                  "&device_info=Linux%20bench&device_id=00aa11bb22cc";
    const auto send = [&](Student& s, std::string request, bool isPoll, bool measured = false) {
        s.out = std::move(request);
        s.in.clear();
        s.isPoll = isPoll;
        s.measured = measured;
        s.sentAt = Clock::now();
        s.phase = Phase::Sending;
    };
    const auto poll = [&](Student& s, bool measured) {
        send(s,
             "GET /Vexlo/api/class-status.php?token=" + s.token +
                 " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
             true, measured);
    };

    // Notes when the connection was first seen established.
    const auto connected = [](Student& s) {
        if (s.connectedAt != Clock::time_point{})
            return true;
        sockaddr_in peer{};
        socklen_t peerSize = sizeof(peer);
        if (getpeername(s.fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
            return false;
        s.connectedAt = Clock::now();
        return true;
    };

    // Drives one student as far as its socket allows.
    const auto progress = [&](Student& s) {
        for (;;) {
            if (s.phase == Phase::Connecting) {
                int error = 0;
                socklen_t size = sizeof(error);
                getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &size);
                if (error != 0)
                    return fail(s);
                if (!connected(s))
                    return;
                tcp.push_back(msBetween(s.started, s.connectedAt));
                s.ssl = SSL_new(context);
                SSL_set_fd(s.ssl, s.fd);
                SSL_set_connect_state(s.ssl);
                s.phase = Phase::Handshaking;
            } else if (s.phase == Phase::Handshaking) {
                const int done = SSL_do_handshake(s.ssl);
                if (done != 1) {
                    const int why = SSL_get_error(s.ssl, done);
                    if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE)
                        return;
                    return fail(s);
                }
                tls.push_back(msBetween(s.started, Clock::now()));
                ++result.connected;
                send(s,
                     "POST /Vexlo/api/class-login.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                     "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                         std::to_string(loginBody.size()) + "\r\n\r\n" + loginBody,
                     false);
            } else if (s.phase == Phase::Sending) {
                const int written = SSL_write(s.ssl, s.out.data(), static_cast<int>(s.out.size()));
                if (written <= 0) {
                    const int why = SSL_get_error(s.ssl, written);
                    if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE)
                        return;
                    return fail(s);
                }
                s.phase = Phase::Waiting;
            } else if (s.phase == Phase::Waiting) {
                char buffer[16384];
                const int got = SSL_read(s.ssl, buffer, sizeof(buffer));
                if (got <= 0) {
                    const int why = SSL_get_error(s.ssl, got);
                    if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE)
                        return;
                    return fail(s);
                }
                s.in.append(buffer, static_cast<size_t>(got));
                std::string body;
                if (!replyComplete(s.in, body))
                    continue;
                if (s.isPoll) {
                    if (s.measured)
                        replies.push_back(msBetween(s.sentAt, Clock::now()));
                    if (body.find("\"success\":true") == std::string::npos)
                        return fail(s);
                } else {
                    s.token = tokenIn(body);
                    if (s.token.empty())
                        return fail(s);
                }
                s.phase = Phase::Idle;
                return;
            } else {
                return;
            }
        }
    };

    // All at once, as a school reconnecting after a network blip.
    for (size_t i = 0; i < students.size(); ++i) {
        Student& s = students[i];
        s.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(s.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        // Every student from an address of its own, as on a school network: 127.1.x.y;
        // or all from 127.1.0.1, as a school behind one NAT address.
        const size_t n = plan.oneAddress ? 0 : i;
        sockaddr_in own{};
        own.sin_family = AF_INET;
        own.sin_addr.s_addr = htonl(0x7F010000u | static_cast<uint32_t>((n / 250) << 8) |
                                    static_cast<uint32_t>(n % 250 + 1));
        bind(s.fd, reinterpret_cast<sockaddr*>(&own), sizeof(own));
        s.started = Clock::now();
        if (connect(s.fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 &&
            errno != EINPROGRESS) {
            fail(s);
            continue;
        }
        // On loopback the kernel mostly completes the handshake within connect(): seen here,
        // the time excludes the rest of this loop.
        connected(s);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT | EPOLLET;
        event.data.ptr = &s;
        epoll_ctl(poller, EPOLL_CTL_ADD, s.fd, &event);
    }

    // Few events per call, connections first: a completed connect is seen
    // within a few handshakes of the generator's own, not after thousands.
    std::vector<epoll_event> events(256);
    const auto pump = [&](int timeoutMs) {
        const int count =
            epoll_wait(poller, events.data(), static_cast<int>(events.size()), timeoutMs);
        const auto student = [&](int i) {
            return static_cast<Student*>(events[static_cast<size_t>(i)].data.ptr);
        };
        for (const bool connecting : {true, false})
            for (int i = 0; i < count; ++i)
                if ((student(i)->phase == Phase::Connecting) == connecting)
                    progress(*student(i));
    };
    const auto connectDeadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(plan.connectDeadlineSeconds));
    const auto allSettled = [&] {
        return std::all_of(students.begin(), students.end(), [](const Student& s) {
            return s.phase == Phase::Idle || s.phase == Phase::Dead;
        });
    };
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(plan.pollIntervalSeconds));
    // Meanwhile those logged in poll every interval, as the application does from
    // its login on (the service closes a connection idle for long); not measured.
    while (!allSettled() && Clock::now() < connectDeadline) {
        pump(50);
        for (Student& s : students)
            if (s.phase == Phase::Idle && Clock::now() - s.sentAt >= interval) {
                poll(s, false);
                progress(s);
            }
    }
    for (Student& s : students)
        if (s.phase != Phase::Idle)
            fail(s);

    // Steady polling, each student at its own offset within the interval.
    using Due = std::pair<Clock::time_point, size_t>;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> due;
    std::mt19937 random(42);
    std::uniform_real_distribution<double> offset(0.0, plan.pollIntervalSeconds);
    const auto start = Clock::now();
    for (size_t i = 0; i < students.size(); ++i)
        if (students[i].phase == Phase::Idle)
            due.push({start + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(offset(random))),
                      i});
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(plan.pollSeconds));
    while (Clock::now() < end) {
        const auto now = Clock::now();
        while (!due.empty() && due.top().first <= now) {
            const auto [when, index] = due.top();
            due.pop();
            Student& s = students[index];
            if (s.phase == Phase::Dead)
                continue;
            if (s.phase == Phase::Idle) {
                poll(s, true);
                ++result.polls;
                progress(s);
            }
            due.push({when + interval, index});
        }
        const auto wait = due.empty() ? std::chrono::milliseconds(10)
                                      : std::chrono::duration_cast<std::chrono::milliseconds>(
                                            due.top().first - Clock::now());
        pump(static_cast<int>(std::clamp<long long>(wait.count(), 0, 10)));
    }
    result.pollsPerSecond = result.polls / plan.pollSeconds;
    const auto outstanding = [&] {
        return std::any_of(students.begin(), students.end(), [](const Student& s) {
            return s.phase == Phase::Sending || s.phase == Phase::Waiting;
        });
    };
    const auto grace = Clock::now() + std::chrono::seconds(5);
    while (outstanding() && Clock::now() < grace) pump(10);
    for (Student& s : students) {
        if (s.phase == Phase::Sending || s.phase == Phase::Waiting)
            ++result.failed;  // no reply even after the grace time
        if (s.ssl)
            SSL_free(s.ssl);
        if (s.phase != Phase::Dead)
            close(s.fd);
    }
    result.tcpConnect = Percentiles::of(tcp);
    result.tlsReady = Percentiles::of(tls);
    result.pollReply = Percentiles::of(replies);
    close(poller);
    SSL_CTX_free(context);
    return result;
}

}  // namespace kt::bench
