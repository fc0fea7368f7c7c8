#pragma once

#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/HttpClient.h"

namespace kt::testing {

// Records every request and lets the test answer each one when it chooses.
// The completion runs inside respond()/fail(), on the test thread, as the
// real client runs it on its own thread.
class FakeHttpClient final : public HttpClient {
  public:
    struct Sent {
        HttpRequest request;
        Completion completion;
        bool answered = false;
    };

    void send(HttpRequest request, Completion completion) override {
        std::lock_guard lock(mutex_);
        sent_.push_back(Sent{std::move(request), std::move(completion)});
    }

    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return sent_.size();
    }
    HttpRequest request(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return sent_.at(index).request;
    }
    const HttpRequest& last() const {
        std::lock_guard lock(mutex_);
        if (sent_.empty())
            throw std::logic_error("no request was sent");
        return sent_.back().request;
    }

    // The index of the newest request whose URL contains `part`.
    std::size_t lastTo(const std::string& part) const {
        std::lock_guard lock(mutex_);
        for (std::size_t i = sent_.size(); i-- > 0;)
            if (sent_[i].request.url.find(part) != std::string::npos)
                return i;
        throw std::logic_error("no request was sent to " + part);
    }

    // A body over the request's limit ends in the error the real client gives.
    void respond(std::size_t index, int status, std::string body) {
        const auto limit = request(index).maxBodyBytes;
        if (limit && body.size() > *limit)
            complete(index, bodyTooLargeError(*limit));
        else
            complete(index, HttpResponse{status, std::move(body)});
    }
    void respondLast(int status, std::string body) {
        respond(count() - 1, status, std::move(body));
    }
    void fail(std::size_t index, TransportError error) { complete(index, std::move(error)); }
    void failLast(TransportError error) { fail(count() - 1, std::move(error)); }

  private:
    void complete(std::size_t index, HttpResult result) {
        Completion completion;
        {
            std::lock_guard lock(mutex_);
            Sent& s = sent_.at(index);
            if (s.answered)
                throw std::logic_error("request answered twice");
            s.answered = true;
            completion = s.completion;
        }
        completion(std::move(result));
    }

    mutable std::mutex mutex_;
    std::vector<Sent> sent_;
};

}  // namespace kt::testing
