#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace kt::testing {

// Files in memory. Private folders are /tmp/ka_tesmar.1, .2, ...; the test
// can make making a folder or writing a file fail. Thread-safe.
class FakeFileSystem final : public FileSystem {
  public:
    struct File {
        std::string content;
        unsigned mode = 0;
    };

    std::string home = "/Users/leerling";
    std::optional<std::string> createDirectoryError;
    std::optional<std::string> writeError;

    bool exists(const std::string& path) const override {
        std::lock_guard lock(mutex_);
        return files_.count(path) || directories_.count(path);
    }
    std::optional<std::string> readFile(const std::string& path) const override {
        std::lock_guard lock(mutex_);
        auto it = files_.find(path);
        if (it == files_.end())
            return std::nullopt;
        return it->second.content;
    }
    PathResult createPrivateDirectory() override {
        std::lock_guard lock(mutex_);
        if (createDirectoryError)
            return {"", *createDirectoryError};
        std::string path = "/tmp/ka_tesmar." + std::to_string(++directoriesMade_);
        directories_.insert(path);
        return {path, ""};
    }
    std::optional<std::string> writeFile(const std::string& path, const std::string& content,
                                         unsigned mode) override {
        std::lock_guard lock(mutex_);
        if (writeError)
            return writeError;
        files_[path] = File{content, mode};
        return std::nullopt;
    }
    void removeTree(const std::string& path) override {
        std::lock_guard lock(mutex_);
        removed_.push_back(path);
        directories_.erase(path);
        for (auto it = files_.begin(); it != files_.end();) {
            if (it->first == path || it->first.starts_with(path + "/"))
                it = files_.erase(it);
            else
                ++it;
        }
    }
    void removeTreeWithin(const std::string& base, const std::string& relative) override {
        removeTree(base + "/" + relative);
    }
    std::string homeDirectory() const override { return home; }
    std::string userId() const override { return "1000"; }

    // Test helpers.
    void putFile(const std::string& path, std::string content, unsigned mode = 0644) {
        std::lock_guard lock(mutex_);
        files_[path] = File{std::move(content), mode};
    }
    std::optional<File> file(const std::string& path) const {
        std::lock_guard lock(mutex_);
        auto it = files_.find(path);
        if (it == files_.end())
            return std::nullopt;
        return it->second;
    }
    std::size_t fileCount() const {
        std::lock_guard lock(mutex_);
        return files_.size();
    }
    std::vector<std::string> removed() const {
        std::lock_guard lock(mutex_);
        return removed_;
    }

  private:
    mutable std::mutex mutex_;
    std::map<std::string, File> files_;
    std::set<std::string> directories_;
    std::vector<std::string> removed_;
    int directoriesMade_ = 0;
};

}  // namespace kt::testing
