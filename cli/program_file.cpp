#include "cli/program_file.h"

#include "files/regular_file.h"

namespace kt::cli {

using files::RegularFile;

namespace {

FileResult From(const RegularFile::Result& result) {
    FileResult file;
    file.ok = result.ok;
    file.data = result.data.toStdString();
    file.reason = result.error.toStdString();
    return file;
}

} // namespace

FileResult ReadWholeFile(const std::string& path, long long maxBytes) {
    return From(RegularFile::Read(QByteArray::fromStdString(path), maxBytes));
}

FileResult ReadProgramBytes(const std::string& path) {
    return ReadWholeFile(path, RegularFile::kMaxProgramFileBytes);
}

FileResult WriteImageFile(const std::string& path, const std::string& bytes) {
    return From(RegularFile::Replace(QByteArray::fromStdString(path),
                                     QByteArray::fromStdString(bytes),
                                     RegularFile::Special::WriteInPlace));
}

} // namespace kt::cli
