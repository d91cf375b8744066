#include "ccoprocess.h"

#include "outputlog.h"
#include "processtree.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <csignal>

CcoProcess::CcoProcess(const QString &dataFolder, QObject *parent)
    : QObject(parent)
    , dataFolder(dataFolder)
    , followed(dataFolder)
{
    connect(&followed, &CcoOutput::output, this, &CcoProcess::output);
    connect(&followed, &CcoOutput::ready, this, &CcoProcess::ready);
    connect(&followed, &CcoOutput::stopLineFound, this, &CcoProcess::stopLineFound);
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus exitStatus) {
                // varnolet-run ends once the output is in its files.
                followed.poll();
                emit ended(exitCode, exitStatus, process.errorString(), followed.stopLineSeen());
            });
}

CcoProcess::~CcoProcess()
{
    // Nothing of this object, nor of its owner, is there to hear of it.
    process.disconnect();
    if (isRunning()) {
        ProcessTree::signal(ProcessTree::of(process.processId()), SIGKILL);
        process.waitForFinished(1000);
    }
}

QString CcoProcess::runner()
{
    const QString beside = QCoreApplication::applicationDirPath() + QLatin1String("/varnolet-run");
#ifdef VARNOLET_RUN_BUILT
    if (!QFileInfo::exists(beside))
        return QStringLiteral(VARNOLET_RUN_BUILT);
#endif
    return beside;
}

Outcome CcoProcess::start(const QString &folder, const QString &javaHome, const QString &command,
                          const QStringList &values)
{
    OutputLog::logsFolder(dataFolder);
    // $1 is the runtime folder, $2... the values. bash hands them to the
    // script as they are: they are never parsed as shell code.
    QStringList arguments{CcoOutput::outputFile(dataFolder),
                          CcoOutput::errorFile(dataFolder),
                          QString::number(CcoOutput::kRotateBytes),
                          QStringLiteral("/bin/bash"),
                          QStringLiteral("-c"),
                          QLatin1String("JAVA_HOME=\"$1\" exec ") + command,
                          QStringLiteral("varnolet"),
                          javaHome};
    arguments += values;
    followed.restart();
    followed.follow();
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(runner(), arguments);
    if (!process.waitForStarted(30000))
        return Outcome::failed(process.errorString());
    return Outcome::done();
}
