#pragma once

#include <string>

namespace kt::testing {

// Compares `actual` byte for byte with tests/blocking/golden/<name>. On a
// mismatch it writes <name>.fail beside the golden file (move it over the
// golden file to accept it) and fails with the first differing line.
void expectMatchesGolden(const std::string& name, const std::string& actual);

// The first line where the two texts differ, with two lines either side of
// it from each; "" when they are equal.
std::string firstDifference(const std::string& expected, const std::string& actual);

}  // namespace kt::testing
