// Runs the command-line program as a process, as other tools do.
#pragma once

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <string>

namespace kt::cli::test {

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

// Waits with this process's events flowing, so a drive it serves keeps
// answering; a hang is killed and fails the test instead of the suite.
inline void Await(QProcess& process, int timeoutMs = 30000) {
    QEventLoop wait;
    QObject::connect(&process, &QProcess::finished, &wait, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        wait.exec();
    const bool finished = process.state() == QProcess::NotRunning;
    EXPECT_TRUE(finished) << "still running after " << timeoutMs << " ms: killed";
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
}

// With outputFile, standard output goes into that file as a shell's
// "> FILE" puts it, and out stays empty.
inline CliRun RunProgram(const QString& program, const QStringList& args,
                         const QByteArray& input = {}, int timeoutMs = 30000,
                         const QString& outputFile = {}) {
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(program, args);
    EXPECT_TRUE(process.waitForStarted());
    process.write(input);
    process.closeWriteChannel();
    Await(process, timeoutMs);
    const bool normal =
        process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
    return {normal ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

inline CliRun RunCli(const QStringList& args, const QByteArray& input = {}, int timeoutMs = 30000,
                     const QString& outputFile = {}) {
    return RunProgram(KTMOTOR_CLI, args, input, timeoutMs, outputFile);
}

class CliTest : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    QTemporaryDir m_dir;
};

} // namespace kt::cli::test
