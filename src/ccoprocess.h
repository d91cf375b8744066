#ifndef CCOPROCESS_H
#define CCOPROCESS_H

#include "ccooutput.h"
#include "outcome.h"

#include <QObject>
#include <QProcess>

// The one long-lived program of the app: CCO, or its restore tool, started
// with bash from the installation under varnolet-run, which keeps its output
// in files of the data folder (ccooutput.h), so that it runs on unharmed when
// the app is closed. What it writes, and what a CCO that was running when the
// app opened writes, comes out of output(), ready() and stopLineFound().
class CcoProcess : public QObject
{
    Q_OBJECT

public:
    explicit CcoProcess(const QString &dataFolder, QObject *parent = nullptr);
    // A program still running is killed with everything it started, and its
    // end is not reported.
    ~CcoProcess() override;

    // varnolet-run: beside the app, or where the build put it.
    static QString runner();

    // Follows the output files from now on (see CcoOutput::follow()).
    void follow() { followed.follow(); }
    const QProcess &program() const { return process; }
    bool isRunning() const { return process.state() != QProcess::NotRunning; }

    // Runs `command` with bash from `folder`, with `javaHome` ($1) and
    // `values` ($2, $3, ...) as positional parameters, so that no value is
    // ever parsed by the shell; waits up to 30 s for the start.
    Outcome start(const QString &folder, const QString &javaHome, const QString &command,
                  const QStringList &values);

signals:
    void output(const QString &text);
    void ready();
    void stopLineFound();
    // The program ended, all its output read; `stopLineSeen` tells whether
    // it wrote the stop line.
    void ended(int exitCode, QProcess::ExitStatus exitStatus, const QString &error,
               bool stopLineSeen);

private:
    QString dataFolder;
    QProcess process;
    CcoOutput followed;
};

#endif // CCOPROCESS_H
