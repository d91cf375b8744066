#ifndef CCOPROCESS_H
#define CCOPROCESS_H

#include "outcome.h"

#include <QObject>
#include <QProcess>
#include <QTextDecoder>

#include <memory>

// Finds CCO's readiness and stop lines in standard output that arrives in
// chunks: a line split across two reads is still found, and a line is found
// once, in the chunk where it ends.
class MarkerScanner
{
public:
    static const QString readinessLine; // "Web container started."
    static const QString stopLine; // "STOP_CCO Bye"

    struct Found
    {
        bool ready = false;
        bool stopped = false;
    };
    Found scan(const QString &chunk);
    void reset() { tail.clear(); }

private:
    // The end of the previous chunk, shorter than either line.
    QString tail;
};

// The one long-lived program of the app: CCO, or its restore tool, started
// with bash from the installation. Its output is decoded per channel, so
// that a UTF-8 sequence split across two reads stays intact, and its
// readiness and stop lines are found across chunks.
class CcoProcess : public QObject
{
    Q_OBJECT

public:
    explicit CcoProcess(QObject *parent = nullptr);
    // A program still running is killed, and its end is not reported.
    ~CcoProcess() override;

    const QProcess &program() const { return process; }
    bool isRunning() const { return process.state() != QProcess::NotRunning; }

    // Runs `command` with bash from `folder`, with `javaHome` ($1) and
    // `values` ($2, $3, ...) as positional parameters, so that no value is
    // ever parsed by the shell; waits up to 30 s for the start.
    Outcome start(const QString &folder, const QString &javaHome, const QString &command,
                  const QStringList &values);

signals:
    // A decoded chunk of either channel, zero bytes removed.
    void output(const QString &text);
    void ready();
    void stopLineFound();
    // The program ended; `stopLineSeen` tells whether it wrote the stop line.
    void ended(int exitCode, QProcess::ExitStatus exitStatus, const QString &error,
               bool stopLineSeen);

private:
    void read(QProcess::ProcessChannel channel);

    QProcess process;
    std::unique_ptr<QTextDecoder> stdoutDecoder;
    std::unique_ptr<QTextDecoder> stderrDecoder;
    MarkerScanner scanner;
    bool stopLineSeen = false;
};

#endif // CCOPROCESS_H
