#include "childprocess.h"

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
    const QString text = QString::fromUtf8(standardOutput + standardError).trimmed();
    return Outcome::failed(text.isEmpty() ? program + QLatin1String(" failed without saying why")
                                          : text);
}

Result run(const QString &program, const QStringList &arguments, const QString &workingDirectory,
           const LineHandler &onLine, QProcess::ProcessChannel channel)
{
    HelperProcess child;
    if (!workingDirectory.isEmpty())
        child.setWorkingDirectory(workingDirectory);
    child.start(program, arguments);
    QByteArray kept;
    if (onLine) {
        child.setReadChannel(channel);
        bool running = true;
        while (running) {
            running = !child.waitForFinished(100) && child.state() != QProcess::NotRunning;
            while (child.canReadLine() || (!running && child.bytesAvailable() > 0)) {
                const QByteArray line = child.readLine();
                if (onLine(line))
                    kept += line;
            }
        }
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
