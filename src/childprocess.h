#ifndef CHILDPROCESS_H
#define CHILDPROCESS_H

#include "outcome.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <functional>

// Short-lived helper programs (pwd, tar, unzip): started without a terminal
// and without input, so that nothing they ask can wait for an answer, and
// ended with the app or the tool that started them.
namespace ChildProcess {

struct Result
{
    bool ok = false;
    QByteArray standardOutput;
    QByteArray standardError;

    // Done, or why the child failed: what it wrote on both channels (unzip
    // gives its reasons on standard output), its first and last five lines
    // where it wrote more, or that `program` said nothing.
    Outcome outcome(const QString &program) const;
};

// Sees each line of a channel as it comes; says whether to keep it for the
// result.
using LineHandler = std::function<bool(const QByteArray &line)>;

// Sees the running child, by its process id, ten times a second.
using Watcher = std::function<void(qint64 pid)>;

// Runs `program` to its end, with no time limit. Success is a normal exit
// with code 0.
Result run(const QString &program, const QStringList &arguments,
           const QString &workingDirectory = QString(), const LineHandler &onLine = {},
           QProcess::ProcessChannel channel = QProcess::StandardOutput,
           const Watcher &whileRunning = {});

} // namespace ChildProcess

#endif // CHILDPROCESS_H
