#include "cli/compile_commands.h"

#include "cli/program_file.h"
#include "compiler/compile_hint.h"
#include "compiler/compile_messages.h"
#include "compiler/line_compiler.h"
#include "compiler/program_compiler.h"
#include "compiler/program_text.h"

#include <cstdio>
#include <istream>
#include <ostream>

namespace kt::cli {

namespace {

using namespace kt::compiler;

enum class LineRead { Line, TooLong, End };

// The next line of in without its break (LF, or CR LF). A line longer than
// kMaxLineBytes is read to its end but not kept, so no input can make the
// program grow.
LineRead ReadLine(std::istream& in, std::string& line) {
    line.clear();
    std::streambuf* const buffer = in.rdbuf();
    bool any = false;
    bool tooLong = false;
    for (int c = buffer->sbumpc(); c != std::char_traits<char>::eof(); c = buffer->sbumpc()) {
        any = true;
        if (c == '\n')
            break;
        // One byte over the limit may still be the CR of a CR LF.
        if (line.size() <= kMaxLineBytes)
            line.push_back(char(c));
        else
            tooLong = true;
    }
    if (!any)
        return LineRead::End;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return tooLong || line.size() > kMaxLineBytes ? LineRead::TooLong : LineRead::Line;
}

// The result on out as tools read it; how to fix a rejected line on err,
// after "where" (empty for the argument, "line N: " for standard input).
void PrintLineResult(std::string_view line, std::ostream& out, std::ostream& err,
                     const std::string& where) {
    StatementBytes code{};
    const std::uint8_t result = CompileStatement(line, code);
    if (result == kCompiled) {
        out << "0 " << int(code[0]) << ' ' << int(code[1]) << '\n';
    } else if (result == kNothingToCompile) {
        out << "255\n";
    } else {
        out << int(result) << ' ' << CompileMessage(result) << '\n';
        if (const std::string hint = LineHint(line, result); !hint.empty())
            err << "ktmotor-cli line: " << where << hint << '\n';
    }
}

std::string HexLines(const ProgramImage& image) {
    std::string text;
    char cell[4];
    for (std::size_t i = 0; i < image.size(); ++i) {
        std::snprintf(cell, sizeof cell, "%02X", image[i]);
        text += cell;
        text += (i % 16 == 15 || i + 1 == image.size()) ? '\n' : ' ';
    }
    return text;
}

} // namespace

int CompileProgramFile(const std::string& file, std::ostream& err, ProgramImage& image,
                       bool withHint) {
    const FileResult read = ReadProgramBytes(file);
    if (!read.ok) {
        err << file << ": cannot read: " << read.reason << '\n';
        return kExitIoError;
    }
    ProgramCompiler compiler;
    long lineCount = 0;
    const std::string text = ReadProgramFile(read.data);
    const std::uint8_t result = compiler.CompileText(text, lineCount);
    if (result == kNothingToCompile) {
        err << file << ": nothing to compile\n";
        return kExitProgramError;
    }
    if (result != kCompiled) {
        err << file << ':' << lineCount << ": " << CompileMessage(result) << '\n';
        // A line of its own: the message line stays as tools parse it.
        if (const std::string hint = withHint ? ProgramHint(text, result, lineCount) : "";
            !hint.empty())
            err << file << ':' << lineCount << ": hint: " << Windows1252ToUtf8(hint) << '\n';
        return kExitProgramError;
    }
    image = compiler.ProgramBuffer();
    return kExitOk;
}

int RunLineCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
    if (args.size() > 1) {
        err << "ktmotor-cli line: give the line as one argument (quote it)\n";
        return kExitUsage;
    }
    if (args.size() == 1) {
        PrintLineResult(args[0], out, err, {});
        return kExitOk;
    }
    std::string line;
    for (long number = 1;; ++number) {
        const LineRead read = ReadLine(in, line);
        if (read == LineRead::End)
            break;
        if (read == LineRead::TooLong) {
            out << int(kStatementNotIdentified) << ' ' << CompileMessage(kStatementNotIdentified)
                << '\n';
            err << "ktmotor-cli line: line " << number << " is longer than " << kMaxLineBytes
                << " bytes; not compiled\n";
        } else {
            PrintLineResult(line, out, err, "line " + std::to_string(number) + ": ");
        }
        // Output refused (a full disk): reading on would be for nothing.
        if (!out)
            return kExitIoError;
    }
    return kExitOk;
}

int RunCompileCommand(const std::vector<std::string>& args, const CompileOptions& options,
                      std::ostream& out, std::ostream& err) {
    if (args.size() != 1 || (options.image && options.image->empty())) {
        err << "usage: ktmotor-cli compile FILE [--hex] [--image OUT]\n";
        return kExitUsage;
    }
    const std::string& file = args[0];

    ProgramImage image{};
    if (const int failed = CompileProgramFile(file, err, image, true))
        return failed;

    if (options.image) {
        const FileResult written =
            WriteImageFile(*options.image, std::string(image.begin(), image.end()));
        if (!written.ok) {
            err << *options.image << ": cannot write: " << written.reason << '\n';
            return kExitIoError;
        }
    }
    out << CompileMessage(kCompiled) << '\n';
    if (options.hex)
        out << HexLines(image);
    return kExitOk;
}

} // namespace kt::cli
