#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace kt {

// A property whose every write is announced to its observers, also a write
// of an equal value (views redraw on each write, as observers of the
// original object model did). Main thread only.
template <typename T>
class Published {
  public:
    using Observer = std::function<void()>;
    using ObserverId = std::uint64_t;

    Published() = default;
    explicit Published(T initial) : value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    operator const T&() const { return value_; }

    void set(T value) {
        value_ = std::move(value);
        notify();
    }
    Published& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    ObserverId observe(Observer observer) {
        const ObserverId id = nextId_++;
        observers_.emplace(id, std::move(observer));
        return id;
    }
    void unobserve(ObserverId id) { observers_.erase(id); }

  private:
    void notify() {
        // Copy: an observer may add or remove observers while being told.
        const auto observers = observers_;
        for (const auto& [id, observer] : observers) observer();
    }

    T value_{};
    std::map<ObserverId, Observer> observers_;
    ObserverId nextId_ = 1;
};

}  // namespace kt
