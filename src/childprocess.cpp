#include "childprocess.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryFile>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

class HelperProcess : public QProcess
{
public:
    HelperProcess() { setStandardInputFile(QProcess::nullDevice()); }

protected:
    void setupChildProcess() override
    {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the line above took effect.
        if (::getppid() != parent)
            ::_exit(127);
    }

private:
    const pid_t parent = ::getpid();
};

} // namespace

namespace ChildProcess {

Outcome Result::outcome(const QString &program) const
{
    if (ok)
        return Outcome::done();
    // Lines that say nothing of why: unzip's question, which nobody
    // answers, and its note that no __MACOSX/ was there to leave out.
    QStringList lines;
    for (const QString &line :
         QString::fromUtf8(standardOutput + standardError).split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty() && !line.contains(QLatin1String("Continue? (y/n/^C)"))
            && !line.startsWith(QLatin1String("caution: excluded filename not matched")))
            lines << line;
    }
    if (lines.isEmpty())
        return Outcome::failed(program + QLatin1String(" failed without saying why"));
    // Thousands of lines before the reason (a warning for each entry, a
    // checkpoint for each megabyte): its first and last lines are enough,
    // the reason last.
    constexpr int kEachEnd = 5;
    if (lines.size() > 2 * kEachEnd + 1) {
        const int left = lines.size() - 2 * kEachEnd;
        lines = lines.mid(0, kEachEnd)
            + QStringList{QStringLiteral("… %1 lines of %2's output left out …")
                              .arg(QLocale(QLocale::English).toString(left), program)}
            + lines.mid(lines.size() - kEachEnd);
    }
    return Outcome::failed(lines.join(QLatin1Char('\n')).trimmed());
}

Result run(const QString &program, const QStringList &arguments, const QString &workingDirectory,
           const LineHandler &onLine, QProcess::ProcessChannel channel, const Watcher &whileRunning)
{
    HelperProcess child;
    if (!workingDirectory.isEmpty())
        child.setWorkingDirectory(workingDirectory);
    // The channel the handler reads goes to a file, read ten times a second:
    // a program that writes a line per step (tar's checkpoints) would
    // otherwise wake this process for every line.
    QTemporaryFile lines;
    QFile reader;
    if (onLine) {
        if (!lines.open()) {
            Result failed;
            failed.standardError = lines.errorString().toUtf8();
            return failed;
        }
        if (channel == QProcess::StandardOutput)
            child.setStandardOutputFile(lines.fileName());
        else
            child.setStandardErrorFile(lines.fileName());
        reader.setFileName(lines.fileName());
        reader.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    child.start(program, arguments);
    QByteArray kept;
    QByteArray unfinished;
    auto readLines = [&](bool end) {
        unfinished += reader.readAll();
        int start = 0;
        for (int stop; (stop = unfinished.indexOf('\n', start)) >= 0; start = stop + 1) {
            const QByteArray line = unfinished.mid(start, stop + 1 - start);
            if (onLine(line))
                kept += line;
        }
        unfinished.remove(0, start);
        if (end && !unfinished.isEmpty() && onLine(unfinished))
            kept += unfinished;
    };
    if (onLine || whileRunning) {
        while (!child.waitForFinished(100) && child.state() != QProcess::NotRunning) {
            if (onLine)
                readLines(false);
            if (whileRunning)
                whileRunning(child.processId());
        }
        if (onLine)
            readLines(true);
    }
    child.waitForFinished(-1);
    Result result;
    result.ok = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
        && child.error() != QProcess::FailedToStart;
    result.standardOutput = child.readAllStandardOutput();
    result.standardError = child.readAllStandardError();
    (channel == QProcess::StandardOutput ? result.standardOutput : result.standardError)
        .prepend(kept);
    if (child.error() == QProcess::FailedToStart)
        result.standardError += child.errorString().toUtf8();
    return result;
}

} // namespace ChildProcess
