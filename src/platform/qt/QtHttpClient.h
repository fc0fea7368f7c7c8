#pragma once

#include <QThread>
#include <string>

#include "platform/HttpClient.h"

namespace kt {

// The HTTP port on Qt's network access manager, which lives on a thread of its
// own: completions run there, and a caller on the main thread may block while
// it waits for a reply. One manager for every request, so connections to a
// host are reused. Certificates are always verified against the system's CAs
// plus an optional extra bundle.
class QtHttpClient final : public HttpClient {
  public:
    struct Options {
        std::string caBundlePath;   // extra CA certificates (PEM); empty for none
        double timeoutScale = 1.0;  // every time-out is multiplied by this (tests only)
    };

    explicit QtHttpClient(Options options);
    // Cancels what is still pending (each completion gets its cancelled error)
    // and stops the thread.
    ~QtHttpClient() override;

    QtHttpClient(const QtHttpClient&) = delete;
    QtHttpClient& operator=(const QtHttpClient&) = delete;

    void send(HttpRequest request, Completion completion) override;

  private:
    class Worker;
    QThread thread_;
    Worker* worker_ = nullptr;
};

}  // namespace kt
