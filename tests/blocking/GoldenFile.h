#pragma once

#include <string>

namespace kt::testing {

// Compares `actual` byte for byte with tests/blocking/golden/<name>. On a
// mismatch it writes <name>.fail beside the golden file (move it over the
// golden file to accept it) and fails with the first differing line and the
// lines around it.
void expectMatchesGolden(const std::string& name, const std::string& actual);

// The first line where the two texts differ, with two lines either side of
// it from each; "" when they are equal.
std::string firstDifference(const std::string& expected, const std::string& actual);

// Runs `bash -n` on the text; returns bash's complaints, empty when the syntax is fine.
std::string bashSyntaxErrors(const std::string& script);

// Runs a shell command line and returns its standard output.
std::string commandOutput(const std::string& commandLine);

}  // namespace kt::testing
