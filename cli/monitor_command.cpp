#include "cli/monitor_command.h"

#include "cli/compile_commands.h"
#include "cli/drive_session.h"
#include "cli/interruption.h"

#include <QElapsedTimer>

#include <optional>
#include <ostream>

namespace kt::cli {

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

int RunMonitor(const std::vector<std::string>& args, const DriveOptions& options, std::ostream& out,
               std::ostream& err) {
    int failed = 0;
    const std::optional<ValueReads> reads = ParseReads(args, "monitor", err, failed);
    if (!reads)
        return failed;
    Interruption interruption;
    DriveSession session(options, err);
    QElapsedTimer clock;
    std::vector<ValueLine> lines;
    link::ClsKtMotor::Byte result = link::kSent;
    for (long long round = 0; !options.count || round < *options.count; ++round) {
        if (options.intervalMs && round > 0)
            interruption.Wait(round * *options.intervalMs - clock.elapsed());
        if (interruption.Interrupted())
            break;
        if (round == 0)
            clock.start();
        const qint64 stamp = clock.elapsed();
        lines.clear();
        result = reads->Run(session.motor, lines);
        if (result != link::kSent)
            break;
        if (round == 0) {
            // The header, from the first round's lines: a bit group's columns
            // are its bits.
            if (options.csv) {
                out << "ms";
                for (const ValueLine& line : lines)
                    for (const ValueField& field : line.fields)
                        out << ','
                            << CsvField(field.name.empty() ? line.label
                                                           : line.label + '.' + field.name);
            } else {
                out << "# ms";
                for (const ValueLine& line : lines)
                    out << '\t' << line.label;
            }
            out << '\n';
        }
        out << stamp;
        for (const ValueLine& line : lines) {
            if (options.csv) {
                for (const ValueField& field : line.fields)
                    out << ',' << CsvField(field.value);
            } else {
                out << '\t' << line.Text();
            }
        }
        out << '\n';
        // Each round is seen as it comes; refused output (a full disk) ends
        // the monitor at once, the session closing the port on the way out.
        if (!out.flush())
            return kExitIoError;
    }
    return Finish(result, err, "monitor");
}

} // namespace kt::cli
