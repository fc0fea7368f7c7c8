#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace kt {

class PosixFileSystem final : public FileSystem {
  public:
    // Private folders are made under `temporaryBase`.
    explicit PosixFileSystem(std::string temporaryBase = "/tmp");

    bool exists(const std::string& path) const override;
    std::optional<std::string> readFile(const std::string& path) const override;
    PathResult createPrivateDirectory() override;
    std::optional<std::string> writeFile(const std::string& path, const std::string& content,
                                         unsigned mode) override;
    void removeTree(const std::string& path) override;
    void removeTreeWithin(const std::string& base, const std::string& relative) override;
    std::string homeDirectory() const override;
    std::string userId() const override;

  private:
    std::string temporaryBase_;
};

}  // namespace kt
