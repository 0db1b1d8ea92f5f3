// Reading a program file and writing an image file from the command line.
// Whole-file I/O with a clear reason on failure; the text rules themselves
// live with the compiler.
#pragma once

#include <string>

namespace kt::cli {

struct FileResult {
    bool ok = false;
    std::string data;   // the bytes read, when ok
    std::string reason; // why it failed, when not ok
};

// Reads a whole file of at most maxBytes; a larger file is refused rather than
// read without end (a device such as /dev/zero never ends).
FileResult ReadWholeFile(const std::string& path, long long maxBytes);

// Replaces the file at path with bytes, or leaves it untouched on failure.
FileResult WriteFileAtomically(const std::string& path, const std::string& bytes);

} // namespace kt::cli
