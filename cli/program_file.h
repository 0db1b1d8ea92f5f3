// Reading a program file and writing an image file from the command line.
// Names are taken byte for byte as the command line gave them. Whole-file I/O
// with a clear reason on failure; the text rules themselves live with the
// compiler.
#pragma once

#include <string>

namespace kt::cli {

struct FileResult {
    bool ok = false;
    std::string data;   // the bytes read, when ok
    std::string reason; // why it failed, when not ok
};

// Reads a whole regular file of at most maxBytes. Anything else is refused
// without being opened: a named pipe would wait for a writer, a device such
// as /dev/zero never ends.
FileResult ReadWholeFile(const std::string& path, long long maxBytes);
// A program file, with the limit the desktop applies too.
FileResult ReadProgramBytes(const std::string& path);

// Replaces the regular file at path with bytes, or leaves it untouched on
// failure; a link is followed and its target replaced. A character device or
// a named pipe is written as it is (a pipe only while something reads it);
// folders and other kinds of file are refused.
FileResult WriteImageFile(const std::string& path, const std::string& bytes);

} // namespace kt::cli
