#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kt::testing {

// The whole content of a file; "" when it cannot be read.
inline std::string fileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A folder of its own under /tmp, removed with all it holds at the end.
struct ScratchDir {
    std::string path;
    explicit ScratchDir(const std::string& prefix = "kt-test") {
        std::string pattern = "/tmp/" + prefix + ".XXXXXX";
        if (const char* made = ::mkdtemp(pattern.data()))
            path = made;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
    std::string in(const std::string& name) const { return path + "/" + name; }
    std::string read(const std::string& name) const { return fileText(in(name)); }
    bool has(const std::string& name) const { return std::filesystem::exists(in(name)); }
    std::string script(const std::string& name, const std::string& body) const {
        std::ofstream(in(name)) << "#!/bin/sh\n" << body;
        std::filesystem::permissions(in(name), std::filesystem::perms::owner_all);
        return in(name);
    }
};

struct CommandResult {
    int status = -1;  // -1: did not start or ended by a signal
    std::string output;
};

inline CommandResult runCommand(const std::string& commandLine) {
    CommandResult result;
    if (FILE* pipe = ::popen(commandLine.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            result.output.append(buffer, n);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return result;
}

}  // namespace kt::testing
