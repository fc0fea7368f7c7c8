#pragma once

// The fakes of the ports an AppState runs on: virtual time, recorded requests
// and processes answered by the test, files in memory. Everything runs on the
// test's thread; only the scheduler may be posted to from other threads.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/BlockingWait.h"
#include "platform/FileSystem.h"
#include "platform/HttpClient.h"
#include "platform/ModalAlert.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Pasteboard.h"
#include "platform/ProcessRunner.h"
#include "platform/Scheduler.h"
#include "platform/Sound.h"
#include "platform/SystemInformation.h"
#include "platform/TerminationSignal.h"
#include "platform/TimeFormatter.h"
#include "platform/WakeNotifications.h"
#include "platform/WorkerThreads.h"

namespace kt::testing {

// The main queue and the wall clock in virtual time. Nothing runs until the
// test advances time or runs the queue; then due tasks run in the order of
// their due time, and tasks due at the same time in the order they were posted.
class ManualScheduler final : public Scheduler, public Clock {
  public:
    // 2026-03-02 09:05:01 UTC, a Monday morning lesson.
    static constexpr TimePoint start{std::chrono::seconds{1772442301}};
    void post(Task task) override { postAfter(Seconds{0}, std::move(task)); }
    void postAfter(Seconds delay, Task task) override {
        std::lock_guard lock(mutex_);
        enqueue(now_ + delay.count(), {std::move(task)});
    }
    TimerId startRepeating(Seconds interval, Task task) override {
        std::lock_guard lock(mutex_);
        activeTimers_.insert(nextTimer_);
        enqueue(now_ + interval.count(), {std::move(task), nextTimer_, interval});
        return nextTimer_++;
    }
    void cancelRepeating(TimerId id) override {
        std::lock_guard lock(mutex_);
        activeTimers_.erase(id);
    }
    TimePoint now() const override {
        return start + std::chrono::duration_cast<TimePoint::duration>(elapsed());
    }
    // Moves time forward, running every task that falls due on the way at its
    // own time. Returns the number of tasks run.
    std::size_t advance(Seconds delta) {
        const double target = elapsed().count() + delta.count();
        std::size_t ran = 0;
        while (runNextDueBy(target)) ++ran;
        std::lock_guard lock(mutex_);
        now_ = target;
        return ran;
    }
    // Runs every task that is due now, including the ones they post for now.
    std::size_t runUntilIdle() { return advance(Seconds{0}); }
    Seconds elapsed() const {
        std::lock_guard lock(mutex_);
        return Seconds{now_};
    }
    std::size_t pendingTaskCount() const {
        std::lock_guard lock(mutex_);
        return std::count_if(queue_.begin(), queue_.end(),
                             [this](const auto& queued) { return isLive(queued.second); });
    }

  private:
    struct Entry {
        Task task;
        TimerId timer = 0;
        Seconds interval{0};
    };
    bool isLive(const Entry& entry) const {
        return entry.timer == 0 || activeTimers_.count(entry.timer);
    }
    void enqueue(double due, Entry entry) {
        queue_.emplace(std::pair{due, nextSequence_++}, std::move(entry));
    }
    bool runNextDueBy(double limit) {
        Entry entry;
        {
            std::lock_guard lock(mutex_);
            do {
                if (queue_.empty() || queue_.begin()->first.first > limit)
                    return false;
                auto node = queue_.extract(queue_.begin());
                now_ = std::max(now_, node.key().first);
                entry = std::move(node.mapped());
            } while (!isLive(entry));
            if (entry.timer != 0)
                enqueue(now_ + entry.interval.count(), entry);
        }
        entry.task();
        return true;
    }
    mutable std::mutex mutex_;
    std::multimap<std::pair<double, std::uint64_t>, Entry> queue_;  // due time, sequence
    std::set<TimerId> activeTimers_;
    double now_ = 0.0;
    std::uint64_t nextSequence_ = 0;
    TimerId nextTimer_ = 1;
};

// Worker threads that run nothing until the test says so, on the test's thread.
class ManualWorkers final : public WorkerThreads {
  public:
    void run(Task task) override { tasks_.push_back(std::move(task)); }
    std::size_t pending() const { return tasks_.size(); }
    // Runs the oldest (or the newest) waiting task. Returns false when none waits.
    bool runOldest() { return runOne(true); }
    bool runNewest() { return runOne(false); }
    // Runs tasks, including the ones they add, until none is left.
    std::size_t runAll() {
        std::size_t n = 0;
        while (runOldest()) ++n;
        return n;
    }

  private:
    bool runOne(bool oldest) {
        if (tasks_.empty())
            return false;
        Task task = std::move(oldest ? tasks_.front() : tasks_.back());
        oldest ? tasks_.pop_front() : tasks_.pop_back();
        task();
        return true;
    }
    std::deque<Task> tasks_;
};

// Records every request and lets the test answer each one when it chooses.
// The completion runs inside respond()/fail(), on the test thread, as the
// real client runs it on its own thread.
class FakeHttpClient final : public HttpClient {
  public:
    void send(HttpRequest request, Completion completion) override {
        sent_.push_back({std::move(request), std::move(completion)});
    }
    std::size_t count() const { return sent_.size(); }
    const HttpRequest& request(std::size_t index) const { return sent_.at(index).request; }
    const HttpRequest& last() const { return request(count() - 1); }
    // The index of the newest request whose URL contains `part`.
    std::size_t lastTo(const std::string& part) const {
        for (std::size_t i = count(); i-- > 0;)
            if (request(i).url.find(part) != std::string::npos)
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
    void respondLast(int status, std::string body) { respond(count() - 1, status, body); }
    void fail(std::size_t index, TransportError error) { complete(index, std::move(error)); }
    void failLast(TransportError error) { fail(count() - 1, std::move(error)); }

  private:
    struct Sent {
        HttpRequest request;
        Completion completion;
    };
    void complete(std::size_t index, HttpResult result) {
        Completion completion = std::exchange(sent_.at(index).completion, nullptr);
        if (!completion)
            throw std::logic_error("request answered twice");
        completion(std::move(result));
    }
    std::deque<Sent> sent_;  // a completion may send: references stay valid
};

// Records every program started and answers with what the test's handler
// returns (by default: started, exit status 0, no output).
class FakeProcessRunner final : public ProcessRunner {
  public:
    using Handler = std::function<ProcessResult(const ProcessRequest&)>;
    void setHandler(Handler handler) { handler_ = std::move(handler); }
    ProcessResult run(const ProcessRequest& request) override {
        requests_.push_back(request);
        return handler_ ? Handler(handler_)(request) : exited(0);
    }
    std::vector<ProcessRequest> requests() const { return requests_; }
    static ProcessResult exited(int status, std::string out = {}, std::string err = {}) {
        return {true, "", status, out, err};
    }
    static ProcessResult notStarted(std::string error) { return {false, error, -1, "", ""}; }

  private:
    Handler handler_;
    std::vector<ProcessRequest> requests_;
};

// Files in memory. Private folders are /tmp/ka_tesmar.1, .2, ...; the test
// can make making a folder or writing a file fail.
class FakeFileSystem final : public FileSystem {
  public:
    struct File {
        std::string content;
        unsigned mode = 0;
    };
    std::string home = "/Users/leerling";
    std::optional<std::string> createDirectoryError, writeError;
    bool exists(const std::string& path) const override {
        return files_.count(path) || directories_.count(path);
    }
    std::optional<std::string> readFile(const std::string& path) const override {
        const auto found = file(path);
        return found ? std::optional(found->content) : std::nullopt;
    }
    PathResult createPrivateDirectory() override {
        if (createDirectoryError)
            return {"", *createDirectoryError};
        std::string path = "/tmp/ka_tesmar." + std::to_string(++directoriesMade_);
        directories_.insert(path);
        return {path, ""};
    }
    std::optional<std::string> writeFile(const std::string& path, const std::string& content,
                                         unsigned mode) override {
        if (writeError)
            return writeError;
        putFile(path, content, mode);
        return std::nullopt;
    }
    void removeTree(const std::string& path) override {
        directories_.erase(path);
        std::erase_if(files_, [&](const auto& file) {
            return file.first == path || file.first.starts_with(path + "/");
        });
    }
    void removeTreeWithin(const std::string& base, const std::string& relative) override {
        removeTree(base + "/" + relative);
    }
    std::string homeDirectory() const override { return home; }
    std::string userId() const override { return "1000"; }
    void putFile(const std::string& path, std::string content, unsigned mode = 0644) {
        files_[path] = File{std::move(content), mode};
    }
    std::optional<File> file(const std::string& path) const {
        const auto it = files_.find(path);
        return it == files_.end() ? std::nullopt : std::optional(it->second);
    }
    std::size_t fileCount() const { return files_.size(); }

  private:
    std::map<std::string, File> files_;
    std::set<std::string> directories_;
    int directoriesMade_ = 0;
};

// Never waits: runs `whileWaiting` (where a test may answer what is awaited,
// with the lock released as during a real wait) and reports the condition.
class FakeBlockingWait final : public BlockingWait {
  public:
    bool waitFor(std::condition_variable&, std::unique_lock<std::mutex>& lock, Seconds timeout,
                 const std::function<bool()>& condition) override {
        lastTimeout = timeout;
        ++waits;
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
        lastResult = condition();
        return *lastResult;
    }
    std::function<void()> whileWaiting;
    std::optional<Seconds> lastTimeout;
    std::optional<bool> lastResult;  // what the condition said when the wait ended
    int waits = 0;
};

struct FakeBeeper final : Beeper {
    explicit FakeBeeper(const ManualScheduler& clock) : clock(clock) {}
    void beep() override { times.push_back(clock.elapsed().count()); }
    const ManualScheduler& clock;
    std::vector<double> times;
};

struct FakeSpeechSynthesizer final : SpeechSynthesizer {
    struct Spoken {
        std::string text, voiceIdentifier, languageFallback;
        double at = 0;
        std::weak_ptr<Utterance> utterance;
    };
    explicit FakeSpeechSynthesizer(const ManualScheduler& clock) : clock(clock) {}
    std::shared_ptr<Utterance> speak(const std::string& text, const std::string& voiceIdentifier,
                                     const std::string& languageFallback) override {
        auto utterance = std::make_shared<Utterance>();
        spoken.push_back(
            {text, voiceIdentifier, languageFallback, clock.elapsed().count(), utterance});
        return utterance;
    }
    const ManualScheduler& clock;
    std::vector<Spoken> spoken;
};

// The student answers every alert with button 0.
struct FakeModalAlert final : ModalAlert {
    int runModal(const AlertContent& content) override {
        shown.push_back(content);
        return 0;
    }
    std::vector<AlertContent> shown;
};

struct FakeNetworkInterfaces final : NetworkInterfaces {
    std::vector<NetworkInterfaceInfo> interfaces;
    std::vector<NetworkInterfaceInfo> all() const override { return interfaces; }
};

struct FakeSystemInformation final : SystemInformation {
    std::string operatingSystemVersion() const override { return "Version 13.6 (Build 22G120)"; }
};

struct FakePasteboard final : Pasteboard {
    void setText(const std::string& value) override { text = value; }
    std::string text;
};

// Keeps the response so that the test can run it as the signal would.
struct FakeTerminationSignal final : TerminationSignal {
    void onTerminationSignal(std::function<void()> respond) override {
        ++installations;
        response = std::move(respond);
    }
    int installations = 0;
    std::function<void()> response;
};

// Renders times in UTC as a Dutch computer would: "09:05:01" and "09:05".
struct FakeTimeFormatter final : TimeFormatter {
    std::string mediumTime(TimePoint t) const override { return format(t, "%H:%M:%S"); }
    std::string shortTime(TimePoint t) const override { return format(t, "%H:%M"); }
    static std::string format(TimePoint t, const char* pattern) {
        const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
        std::tm parts{};
        gmtime_r(&seconds, &parts);
        char text[16];
        std::strftime(text, sizeof text, pattern, &parts);
        return text;
    }
};

struct FakeWakeNotifications final : WakeNotifications {
    void observeWake(std::function<void()> onWake) override { observers.push_back(onWake); }
    void wake() {
        for (const auto& observer : std::vector(observers)) observer();
    }
    std::vector<std::function<void()>> observers;
};

}  // namespace kt::testing
