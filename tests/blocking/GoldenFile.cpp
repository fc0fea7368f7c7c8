#include "GoldenFile.h"

#include "SandboxRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace kt::testing {

std::string firstDifference(const std::string& expected, const std::string& actual) {
    if (expected == actual)
        return "";
    // A final line feed counts as one more, empty line.
    auto linesOf = [](const std::string& text) {
        std::vector<std::string> lines(1);
        for (char c : text)
            if (c == '\n')
                lines.emplace_back();
            else
                lines.back().push_back(c);
        return lines;
    };
    const auto want = linesOf(expected), got = linesOf(actual);
    std::size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
    std::ostringstream out;
    out << "first difference at line " << at + 1 << "\n";
    for (const auto& [label, lines] : {std::pair{"expected", &want}, std::pair{"actual  ", &got}})
        for (std::size_t i = at < 2 ? 0 : at - 2; i < std::min(lines->size(), at + 3); ++i)
            out << label << (i == at ? " > " : "   ") << i + 1 << ": " << (*lines)[i] << "\n";
    return out.str();
}

void expectMatchesGolden(const std::string& name, const std::string& actual) {
    const std::string path = KT_GOLDEN_DIR "/" + name, golden = fileText(path);
    if (golden == actual && !actual.empty()) {
        std::remove((path + ".fail").c_str());
        return;
    }
    std::ofstream(path + ".fail", std::ios::binary) << actual;
    ADD_FAILURE() << "golden file " << name << " differs; actual text written to " << path
                  << ".fail\n"
                  << firstDifference(golden, actual);
}

}  // namespace kt::testing
