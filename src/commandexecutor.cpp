// The backend as the view sees it: its output and log, the launch of CCO
// and of the restore tool, the patch and the installation check. The
// operations that replace a folder of the data folder are in
// commandexecutorreplace.cpp.

#include "commandexecutor.h"

#include "ccoprobe.h"
#include "folderswap.h"
#include "installation.h"
#include "sitefiles.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QThread>

using Installation::ccoFolderName;
using Installation::runtimeFolderName;

CommandExecutor::CommandExecutor(QObject *parent)
    : QObject(parent)
    , ccoProcess(Installation::dataFolder())
    , log(new OutputLog(Installation::dataFolder(), this))
{
    connect(&running, &LongOperation::changed, this, &CommandExecutor::operationChanged);
    connect(&ccoProcess, &CcoProcess::output, this,
            [this](const QString &text) { show(text, false); });
    connect(&ccoProcess, &CcoProcess::ready, this, &CommandExecutor::desiredTextFound);
    connect(&ccoProcess, &CcoProcess::stopLineFound, this, &CommandExecutor::ccoStopped);
    connect(&ccoProcess, &CcoProcess::ended, this, &CommandExecutor::onEnded);
    connect(log, &OutputLog::writableChanged, this, [this](bool writable, const QString &why) {
        say(writable ? QStringLiteral("The log can be written again.")
                     : QStringLiteral("The log cannot be written (%1): its lines are being lost "
                                      "until it can.")
                           .arg(why));
    });
    connect(log, &OutputLog::logsMovedAside, this, &CommandExecutor::sayLogsMovedAside);
}

void CommandExecutor::sayLogsMovedAside(const QString &to)
{
    say(QStringLiteral("The data folder's logs was not a folder of its own: it was moved aside to "
                       "%1, and a new private logs folder was made.")
            .arg(to));
}

CommandExecutor::~CommandExecutor()
{
    deletion.waitForFinished();
    // What the deletion said, before the log closes.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CommandExecutor::show(const QString &text, bool wholeLine)
{
    log->append(text, wholeLine ? OutputLog::Line : OutputLog::Chunk);
    emit processOutputChanged(text);
}

void CommandExecutor::say(const QString &line)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, line] { say(line); }, Qt::QueuedConnection);
        return;
    }
    qDebug().noquote() << line;
    show(line, true);
}

void CommandExecutor::report(const char *text, const QString &value)
{
    qDebug() << text << value;
    show(QLatin1String(text) + QLatin1Char(' ') + value, true);
}

bool CommandExecutor::refuseWhileBusy()
{
    if (!running.isRunning())
        return false;
    say(QStringLiteral("Busy: %1. Try again when it has finished.").arg(running.name()));
    return true;
}

void CommandExecutor::onEnded(int exitCode, QProcess::ExitStatus exitStatus, const QString &error,
                              bool stopLineSeen)
{
    if (exitStatus == QProcess::CrashExit)
        say(QStringLiteral("The program crashed (%1).").arg(error));
    else
        say(QStringLiteral("The program ended with exit code %1.").arg(exitCode));
    emit programEnded(exitCode, exitStatus, stopLineSeen);
}

QString CommandExecutor::launch(const QString &command, const QStringList &values)
{
    const QString dataDir = Installation::dataFolder();
    const QString scriptName = command.section(QLatin1Char(' '), 0, 0);
    if (refuseWhileBusy())
        return dataDir;
    if (ccoProcess.isRunning()) {
        say(QStringLiteral("Not starting %1: another program is still running.").arg(scriptName));
        return dataDir;
    }
    // The restore tool rewrites the installation: never under a running CCO,
    // nor anything under a running restore tool, whoever started either.
    const CcoProbe::InTheWay other =
        CcoProbe::inTheWay(dataDir, scriptName != QLatin1String("./run.sh"), port);
    if (!other.who.isEmpty()) {
        say(QStringLiteral("Not starting %1: %2 is running (%3).")
                .arg(scriptName, other.who, other.description));
        return dataDir;
    }
    // CCO's runner writes its output there.
    QString moved;
    OutputLog::logsFolder(dataDir, &moved);
    if (!moved.isEmpty())
        sayLogsMovedAside(moved);
    // $2 is the installation, for the restore tool's -ccoPath.
    const QString folder = Installation::ccoFolder(dataDir);
    const Outcome started = ccoProcess.start(folder, Installation::runtimeFolder(dataDir), command,
                                             QStringList{folder} + values);
    if (!started.ok())
        say(QStringLiteral("Could not start %1: %2").arg(scriptName, started.why()));
    return dataDir;
}

bool CommandExecutor::ccoRunsFromInstallation(const QString &operation)
{
    if (ccoProcess.isRunning()) {
        say(QStringLiteral("%1 refused: a program is running from the installation. Stop it "
                           "first; nothing was changed.")
                .arg(operation));
        return true;
    }
    const CcoProbe::InTheWay other = CcoProbe::inTheWay(Installation::dataFolder(), true, port);
    if (other.who.isEmpty())
        return false;
    say(QStringLiteral("%1 refused: %2 is running (%3). %4; nothing was changed.")
            .arg(operation, other.who, other.description,
                 other.cco ? QStringLiteral("Stop it first") : QStringLiteral("Wait for its end")));
    return true;
}

QString CommandExecutor::assetsPrefix()
{
    const QString prefix = Installation::assetsPrefix();
    if (!prefix.isEmpty())
        qDebug() << "PWD " << prefix;
    return prefix;
}

void CommandExecutor::recover(const QString &baseDir, const QString &name)
{
    deletion.waitForFinished();
    const FolderSwap::Recovery recovery = FolderSwap::recover(baseDir, name);
    if (!recovery.restoredFrom.isEmpty())
        qDebug() << "Restoring the previous" << name << "folder from" << recovery.restoredFrom;
    for (const QString &line : recovery.stuck)
        say(line);
}

bool CommandExecutor::checkDirectoryValidity()
{
    QStringList lines;
    const bool passed = checkInstallation(&lines);
    for (const QString &line : qAsConst(lines))
        qDebug().noquote() << line;
    return passed;
}

bool CommandExecutor::checkInstallation(QStringList *lines)
{
    const QString dataDir = Installation::dataFolder();
    recover(dataDir, ccoFolderName);
    const Installation::Findings findings = Installation::check(dataDir);
    *lines = Installation::checkLines(dataDir, findings);
    return findings.passed();
}

bool CommandExecutor::patchInstallation()
{
    const QString ccoDir = Installation::ccoFolder(Installation::dataFolder());
    if (refuseWhileBusy() || ccoRunsFromInstallation(QStringLiteral("Patch")))
        return false;
    const QString prefix = assetsPrefix();
    // The till's own files come last, over what the patch brings.
    QList<Installation::Copy> site;
    const Outcome siteFound = SiteFiles::copies(Installation::dataFolder(), ccoDir, &site);
    if (!siteFound.ok()) {
        say(QStringLiteral("Nothing was patched: %1.").arg(siteFound.why()));
        return false;
    }
    const Installation::PatchResult result =
        running.run(QStringLiteral(QT_TR_NOOP("Patching the installation")),
                    [=] { return Installation::patch(prefix, ccoDir, running.reporter(), site); });
    auto failed = [this](const Installation::PatchFailure &failure) {
        say(QStringLiteral("Failed to copy %1 to %2: %3")
                .arg(failure.source, failure.destination, failure.why));
    };
    for (const Installation::PatchFailure &failure : result.copyFailures)
        failed(failure);
    if (!result.copyFailures.isEmpty()) {
        say(QStringLiteral("Nothing was patched: the installed files are as they were."));
        return false;
    }
    for (const Installation::Copy &placed : result.placed) {
        qDebug() << "Copied" << placed.source << "to" << placed.destination << "successfully";
        if (placed.permissions & QFileDevice::ExeOwner)
            qDebug() << "Set executable permissions for" << placed.destination;
    }
    for (const Installation::PatchFailure &failure : result.placeFailures)
        failed(failure);
    return result.patched();
}
