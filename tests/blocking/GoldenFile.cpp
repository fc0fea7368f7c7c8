#include "GoldenFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kt::testing {
namespace {

std::string goldenPath(const std::string& name) {
    return std::string(KT_GOLDEN_DIR) + "/" + name;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace

std::string goldenText(const std::string& name) {
    std::ifstream in(goldenPath(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string commandOutput(const std::string& commandLine) {
    std::string output;
    if (FILE* pipe = ::popen(commandLine.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

void expectMatchesGolden(const std::string& name, const std::string& actual) {
    const std::string golden = goldenPath(name);
    const std::string failPath = golden + ".fail";
    if (std::filesystem::exists(golden) && goldenText(name) == actual) {
        std::filesystem::remove(failPath);
        return;
    }
    writeFile(failPath, actual);
    ADD_FAILURE() << "golden file " << name << " differs; actual text written to " << failPath
                  << "\n"
                  << commandOutput("diff -u '" + golden + "' '" + failPath + "' 2>&1");
}

std::string bashSyntaxErrors(const std::string& script) {
    char path[] = "/tmp/kt-syntax.XXXXXX";
    int fd = ::mkstemp(path);
    if (fd < 0)
        return "cannot make a temporary file";
    ::close(fd);
    writeFile(path, script);
    std::string errors = commandOutput(std::string("bash -n '") + path + "' 2>&1");
    std::filesystem::remove(path);
    return errors;
}

}  // namespace kt::testing
