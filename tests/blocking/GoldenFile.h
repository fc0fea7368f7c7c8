#pragma once

#include <string>

namespace kt::testing {

// Compares `actual` byte for byte with tests/blocking/golden/<name>. On a
// mismatch it writes <name>.fail beside the golden file and adds a test
// failure holding `diff -u` of the two.
void expectMatchesGolden(const std::string& name, const std::string& actual);

// The golden file's text ("" when it is missing).
std::string goldenText(const std::string& name);

// Runs `bash -n` on the text; returns bash's complaints, empty when the syntax is fine.
std::string bashSyntaxErrors(const std::string& script);

// Runs a shell command line and returns its standard output.
std::string commandOutput(const std::string& commandLine);

}  // namespace kt::testing
