#pragma once
// The built counter run as a user runs it, for the counter tests: its exit status and both outputs.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <functional>
#include <string>

struct ProcessRun {
    int exitCode = -1;  // -1: the counter did not end normally
    std::string out;
    std::string err;
};

// childSetup runs in the child before the counter starts (limits, descriptors); stdoutFile, when
// given, receives the standard output; locale is the counter's LC_ALL.
inline ProcessRun runCounter(const QStringList& arguments, const std::function<void()>& childSetup = {},
                             const QString& stdoutFile = {}, const QString& locale = QStringLiteral("C.UTF-8"))
{
    QProcess process;
    if (childSetup) process.setChildProcessModifier(childSetup);
    if (!stdoutFile.isEmpty()) process.setStandardOutputFile(stdoutFile);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SPOTTALLY_COUNTER), arguments);
    process.waitForFinished(120000);
    ProcessRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}
