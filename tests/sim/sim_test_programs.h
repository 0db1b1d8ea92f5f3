// Test helpers: program images built line by line with the line compiler,
// so a test can hold programs the program compiler would refuse.
#pragma once

#include "compiler/program_compiler.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kt::sim::test {

// The lines written with "|" between them, each compiled on its own, in an
// image; a line that does not compile fails the test and is left out.
compiler::ProgramImage ImageOf(const std::string& lines);

// The same with "Do|Loop" after the lines, so the program rests there
// instead of running past its end.
compiler::ProgramImage ParkedImageOf(const std::string& lines);

// Raw bytes, the rest 0xFF.
compiler::ProgramImage ImageOfBytes(const std::vector<std::uint8_t>& bytes);

} // namespace kt::sim::test
