#include "cli/monitor_command.h"

#include "cli/compile_commands.h"
#include "cli/drive_session.h"
#include "cli/interruption.h"
#include "drivemap/recording_csv.h"

#include <QElapsedTimer>

#include <optional>
#include <ostream>

namespace kt::cli {

int RunMonitor(const std::vector<std::string>& args, const DriveOptions& options, std::ostream& out,
               std::ostream& err) {
    int failed = 0;
    const std::optional<ValueReads> reads = ParseReads(args, "monitor", err, failed);
    if (!reads)
        return failed;
    Interruption interruption;
    DriveSession session(options, err);
    QElapsedTimer clock;
    const drivemap::RecordingCsv csv(reads->Values());
    std::vector<ValueLine> lines;
    std::vector<double> readings;
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
        result = reads->Run(session.motor, session.com, lines);
        if (result != link::kSent)
            break;
        if (round == 0) {
            // Both forms name the values as read names them.
            if (options.csv) {
                out << csv.Header();
            } else {
                out << "# ms";
                for (const ValueLine& line : lines)
                    out << '\t' << line.Label();
                out << '\n';
            }
        }
        if (options.csv) {
            readings.clear();
            for (const ValueLine& line : lines)
                readings.push_back(line.reading);
            out << csv.Row(stamp, readings);
        } else {
            out << stamp;
            for (const ValueLine& line : lines)
                out << '\t' << line.Text();
            out << '\n';
        }
        // Each round is seen as it comes; refused output (a full disk) ends
        // the monitor at once, the session closing the port on the way out.
        if (!out.flush())
            return kExitIoError;
    }
    return session.Finish(result, "monitor");
}

} // namespace kt::cli
