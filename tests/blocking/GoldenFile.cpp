#include "GoldenFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "blocking/SystemProfile.h"

namespace kt::testing {
namespace {

std::string goldenPath(const std::string& name) {
    return std::string(KT_GOLDEN_DIR) + "/" + name;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (!text.empty() && text.back() == '\n')
        lines.push_back("");  // a final line feed differs from none
    return lines;
}

std::string goldenText(const std::string& name) {
    std::ifstream in(goldenPath(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string firstDifference(const std::string& expected, const std::string& actual) {
    if (expected == actual)
        return "";
    const auto want = linesOf(expected), got = linesOf(actual);
    std::size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
    std::ostringstream out;
    out << "first difference at line " << at + 1 << "\n";
    auto show = [&](const char* label, const std::vector<std::string>& lines) {
        for (std::size_t i = at < 2 ? 0 : at - 2; i < std::min(lines.size(), at + 3); ++i)
            out << label << (i == at ? " > " : "   ") << i + 1 << ": " << lines[i] << "\n";
    };
    show("expected", want);
    show("actual  ", got);
    return out.str();
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
    const std::string failPath = goldenPath(name) + ".fail";
    const std::string golden = goldenText(name);
    if (std::filesystem::exists(goldenPath(name)) && golden == actual) {
        std::filesystem::remove(failPath);
        return;
    }
    writeFile(failPath, actual);
    ADD_FAILURE() << "golden file " << name << " differs; actual text written to " << failPath
                  << "\n"
                  << firstDifference(golden, actual);
}

std::string bashSyntaxErrors(const std::string& script) {
    return commandOutput("bash -n -c '" + singleQuoteEscaped(script) + "' 2>&1");
}

}  // namespace kt::testing
