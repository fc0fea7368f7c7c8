// kt-net-probe: TCP listeners and connection checks for the end-to-end test,
// meant for loopback addresses inside a network namespace the test made.
//   kt-net-probe listen ADDRESS:PORT...   accepts on each, prints "listening"
//   kt-net-probe connect ADDRESS:PORT...  one line per target:
//       "<target> ok", "<target> dropped" (no answer within the wait),
//       "<target> refused" or "<target> error <text>"
//   kt-net-probe resolve NAME             every address the system resolver
//       gives for NAME, one a line; exit status 2 when it gives none
// IPv6 addresses are written in brackets: [2001:db8::2]:7000.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// Long enough for any loopback answer, short enough to keep the test quick.
constexpr int answerWaitMs = 1500;

struct Target {
    std::string text;
    sockaddr_storage address{};
    socklen_t length = 0;
};

std::optional<Target> parseTarget(const std::string& text) {
    Target target;
    target.text = text;
    std::string host;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find("]:");
        if (close == std::string::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos)
            return std::nullopt;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    const int number = std::atoi(port.c_str());
    if (number <= 0 || number > 65535)
        return std::nullopt;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&target.address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&target.address);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(number));
        target.length = sizeof(sockaddr_in);
    } else if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(number));
        target.length = sizeof(sockaddr_in6);
    } else {
        return std::nullopt;
    }
    return target;
}

std::vector<Target> parseTargets(int argc, char* argv[]) {
    std::vector<Target> targets;
    for (int i = 2; i < argc; ++i) {
        auto target = parseTarget(argv[i]);
        if (!target) {
            std::fprintf(stderr, "kt-net-probe: not ADDRESS:PORT: %s\n", argv[i]);
            std::exit(2);
        }
        targets.push_back(*target);
    }
    return targets;
}

int listenOn(const std::vector<Target>& targets) {
    std::vector<pollfd> sockets;
    for (const auto& target : targets) {
        const int fd = ::socket(target.address.ss_family, SOCK_STREAM, 0);
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (fd < 0 ||
            ::bind(fd, reinterpret_cast<const sockaddr*>(&target.address), target.length) != 0 ||
            ::listen(fd, 16) != 0) {
            std::fprintf(stderr, "kt-net-probe: cannot listen on %s: %s\n", target.text.c_str(),
                         std::strerror(errno));
            return 1;
        }
        sockets.push_back({fd, POLLIN, 0});
    }
    std::printf("listening\n");
    std::fflush(stdout);
    while (::poll(sockets.data(), sockets.size(), -1) >= 0) {
        for (auto& socket : sockets) {
            if (socket.revents & POLLIN) {
                const int client = ::accept(socket.fd, nullptr, nullptr);
                if (client >= 0)
                    ::close(client);
            }
        }
    }
    return 1;
}

// All connections are started at once and given the same wait.
int connectTo(const std::vector<Target>& targets) {
    std::vector<pollfd> sockets;
    std::vector<std::string> results(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        const int fd = ::socket(target.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockets.push_back({fd, POLLOUT, 0});
        if (fd < 0) {
            results[i] = std::string("error ") + std::strerror(errno);
        } else if (::connect(fd, reinterpret_cast<const sockaddr*>(&target.address),
                             target.length) == 0) {
            results[i] = "ok";
        } else if (errno != EINPROGRESS) {
            results[i] =
                errno == ECONNREFUSED ? "refused" : std::string("error ") + std::strerror(errno);
        }
        if (!results[i].empty())
            sockets.back().fd = -1;  // poll skips it
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(answerWaitMs);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        bool waiting = false;
        for (const auto& socket : sockets) waiting = waiting || socket.fd >= 0;
        if (!waiting || left <= 0)
            break;
        if (::poll(sockets.data(), sockets.size(), static_cast<int>(left)) < 0)
            break;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if (sockets[i].fd < 0 || sockets[i].revents == 0)
                continue;
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(sockets[i].fd, SOL_SOCKET, SO_ERROR, &error, &size);
            results[i] = error == 0              ? "ok"
                         : error == ECONNREFUSED ? "refused"
                                                 : std::string("error ") + std::strerror(error);
            ::close(sockets[i].fd);
            sockets[i].fd = -1;
        }
    }
    for (std::size_t i = 0; i < targets.size(); ++i)
        std::printf("%s %s\n", targets[i].text.c_str(),
                    results[i].empty() ? "dropped" : results[i].c_str());
    return 0;
}

// Asks for both families without AI_ADDRCONFIG: a namespace with only
// loopback IPv4 would otherwise be told that there is no IPv4 at all.
int resolve(const char* name) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0)
        return 2;
    for (addrinfo* at = found; at; at = at->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* address =
            at->ai_family == AF_INET
                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(at->ai_addr)->sin_addr)
                : static_cast<const void*>(
                      &reinterpret_cast<sockaddr_in6*>(at->ai_addr)->sin6_addr);
        if (::inet_ntop(at->ai_family, address, text, sizeof text))
            std::printf("%s\n", text);
    }
    ::freeaddrinfo(found);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "listen" && argc > 2)
        return listenOn(parseTargets(argc, argv));
    if (mode == "connect" && argc > 2)
        return connectTo(parseTargets(argc, argv));
    if (mode == "resolve" && argc == 3)
        return resolve(argv[2]);
    std::fprintf(stderr, "usage: kt-net-probe listen|connect ADDRESS:PORT... | resolve NAME\n");
    return 2;
}
