#include "commandexecutor.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QUrl>

namespace {

const QString kJreDirName = QStringLiteral("sapmachine-jre-17.0.6");
const QString kCcoDirName = QStringLiteral("CustomerCheckout");
const QString kReadinessLine = QStringLiteral("Web container started.");
const QString kStopLine = QStringLiteral("STOP_CCO Bye");

// The scripts and jars the patch copies from the assets folder into the
// CCO folder, in this order.
const char *const kPatchFiles[] = {
    "run.sh", "run_cco_restore.sh", "run_cco_restore_silent.sh", "ui-test-1.0-SNAPSHOT.jar",
    "CCO_Restore.jar",
};

// rwxr-xr-x: the copies are run by the app, and nobody else may rewrite them.
constexpr QFileDevice::Permissions kPatchPermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser
    | QFileDevice::WriteUser | QFileDevice::ExeUser | QFileDevice::ReadGroup | QFileDevice::ExeGroup
    | QFileDevice::ReadOther | QFileDevice::ExeOther;

QString appDataLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

std::unique_ptr<QTextDecoder> makeUtf8Decoder()
{
    return std::unique_ptr<QTextDecoder>(QTextCodec::codecForName("UTF-8")->makeDecoder());
}

// Whether `marker` occurs in `text` at a place that ends after the first
// `seenLength` characters, i.e. an occurrence not already reported with an
// earlier chunk.
bool containsNewOccurrence(const QString &text, const QString &marker, int seenLength)
{
    return text.indexOf(marker, qMax(0, seenLength - marker.size() + 1)) >= 0;
}

struct ChildResult
{
    bool ok = false;
    QByteArray standardOutput;
    QByteArray standardError;

    // Why a failed child failed: what it wrote on its standard error, which
    // is never empty, so that a failure can never pass for success.
    QString failure(const QString &program) const
    {
        const QString text = QString::fromUtf8(standardError);
        return text.isEmpty() ? program + QLatin1String(" failed without saying why") : text;
    }
};

// Runs a short-lived child to its end, with no time limit. Success is a
// normal exit with code 0.
ChildResult runChild(const QString &program, const QStringList &arguments,
                     const QString &workingDirectory = QString())
{
    QProcess child;
    if (!workingDirectory.isEmpty())
        child.setWorkingDirectory(workingDirectory);
    child.start(program, arguments);
    // Nothing is ever typed into a child: a question (unzip asks one on a
    // full disk) gets end-of-file instead of blocking the app for good.
    child.closeWriteChannel();
    child.waitForFinished(-1);
    ChildResult result;
    result.ok = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
                && child.error() != QProcess::FailedToStart;
    result.standardOutput = child.readAllStandardOutput();
    result.standardError = child.readAllStandardError();
    if (child.error() == QProcess::FailedToStart)
        result.standardError += child.errorString().toUtf8();
    return result;
}

// The assets folder shipped with the app: the current working directory as
// `pwd` reports it, followed by "/assets/"; empty when `pwd` fails.
QString assetsPrefix()
{
    const ChildResult pwd = runChild(QStringLiteral("pwd"), {});
    if (!pwd.ok)
        return QString();
    const QString prefix = QString::fromUtf8(pwd.standardOutput.trimmed() + "/assets/");
    qDebug() << "PWD " << prefix;
    return prefix;
}

QString stagingPattern(const QString &baseDir, const QString &name)
{
    return baseDir + QLatin1String("/.") + name + QLatin1String(".staging-XXXXXX");
}

// Undoes what an interrupted replacement of baseDir/name left behind: when
// the folder itself is missing but its previous version was set aside, that
// version is put back. Leftover staging folders are removed.
void cleanUpInterruptedReplacement(const QString &baseDir, const QString &name)
{
    QDir base(baseDir);
    const QString prefix = QLatin1Char('.') + name + QLatin1String(".staging-");
    const QFileInfoList leftovers =
        base.entryInfoList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                           QDir::Time);
    for (const QFileInfo &leftover : leftovers) {
        const bool setAside = leftover.fileName().endsWith(QLatin1String("-previous"));
        if (setAside && !QFileInfo::exists(baseDir + QLatin1Char('/') + name)) {
            qDebug() << "Restoring the previous" << name << "folder from" << leftover.absoluteFilePath();
            base.rename(leftover.fileName(), name);
            continue;
        }
        QDir(leftover.absoluteFilePath()).removeRecursively();
    }
}

// Puts the unpacked folder `unpacked` at `destination`, replacing what is
// there. The previous folder is only deleted once the new one is in place.
bool moveIntoPlace(const QString &unpacked, const QString &destination, QString *error)
{
    QDir dir;
    if (!QFileInfo::exists(destination)) {
        if (dir.rename(unpacked, destination))
            return true;
        *error = QStringLiteral("cannot move the unpacked files to %1").arg(destination);
        return false;
    }
    // Beside the staging folder, so that an interrupted run is recognised
    // and undone by the next one.
    const QString previous = unpacked + QLatin1String("-previous");
    if (!dir.rename(destination, previous)) {
        *error = QStringLiteral("cannot move %1 aside").arg(destination);
        return false;
    }
    if (!dir.rename(unpacked, destination)) {
        dir.rename(previous, destination);
        *error = QStringLiteral("cannot move the unpacked files to %1").arg(destination);
        return false;
    }
    QDir(previous).removeRecursively();
    return true;
}

// Unpacks with `program` and `arguments` into a fresh staging folder beside
// baseDir/name and, only when that succeeded, puts the unpacked folder in
// place of baseDir/name: `unpackedFolder` inside the staging folder, or the
// staging folder itself when it is empty. Returns why it failed, or nothing.
QString unpackReplacing(const QString &baseDir, const QString &name, const QString &program,
                        const QStringList &arguments, const QString &unpackedFolder)
{
    cleanUpInterruptedReplacement(baseDir, name);
    QTemporaryDir staging(stagingPattern(baseDir, name));
    if (!staging.isValid())
        return staging.errorString();
    const ChildResult child = runChild(program, arguments, staging.path());
    if (!child.ok)
        return child.failure(program);
    const QString unpacked =
        unpackedFolder.isEmpty() ? staging.path() : staging.path() + QLatin1Char('/') + unpackedFolder;
    if (!QDir(unpacked).exists())
        return QStringLiteral("the archive holds no %1 folder").arg(unpackedFolder);

    const QString destination = baseDir + QLatin1Char('/') + name;
    if (name == kCcoDirName && QDir(destination).exists())
        qDebug() << "Deleting existing CustomerCheckout folder";
    QString error;
    if (moveIntoPlace(unpacked, destination, &error) && unpackedFolder.isEmpty())
        staging.setAutoRemove(false);
    return error;
}

} // namespace

CommandExecutor::CommandExecutor(QObject *parent)
    : QObject(parent)
    , stdoutDecoder(makeUtf8Decoder())
    , stderrDecoder(makeUtf8Decoder())
{
    connect(&process, &QProcess::readyReadStandardOutput, this,
            &CommandExecutor::onReadyReadStandardOutput);
    connect(&process, &QProcess::readyReadStandardError, this,
            &CommandExecutor::onReadyReadStandardError);
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &CommandExecutor::onProcessFinished);
}

CommandExecutor::~CommandExecutor() = default;

QString CommandExecutor::jreArchiveFor(const QString &cpuArchitecture)
{
    if (cpuArchitecture == QLatin1String("x86_64"))
        return QStringLiteral("sapmachine-jre-17.0.6_linux-x64_bin.tar.gz");
    if (cpuArchitecture == QLatin1String("arm64"))
        return QStringLiteral("sapmachine-jre-17.0.6_linux-aarch64_bin.tar.gz");
    return QString();
}

void CommandExecutor::report(const char *text, const QString &value)
{
    qDebug() << text << value;
    emit processOutputChanged(QLatin1String(text) + QLatin1Char(' ') + value);
}

void CommandExecutor::say(const QString &line)
{
    qDebug().noquote() << line;
    emit processOutputChanged(line);
}

// ---------------------------------------------------------------------------
// Output of the program in `process`

void CommandExecutor::onReadyReadStandardOutput()
{
    QString output = stdoutDecoder->toUnicode(process.readAllStandardOutput());
    output.remove(QChar(0));

    // Look for the markers in the new text together with the end of the
    // previous chunk, counting only occurrences that end in the new text.
    const QString window = stdoutTail + output;
    const int seen = stdoutTail.size();
    const bool ready = containsNewOccurrence(window, kReadinessLine, seen);
    const bool stopped = containsNewOccurrence(window, kStopLine, seen);
    stdoutTail = window.right(qMax(kReadinessLine.size(), kStopLine.size()) - 1);
    if (stopped)
        stopLineSeen = true;

    emit processOutputChanged(output);
    if (ready)
        emit desiredTextFound();
    if (stopped)
        emit ccoStopped();
}

void CommandExecutor::onReadyReadStandardError()
{
    QString output = stderrDecoder->toUnicode(process.readAllStandardError());
    output.remove(QChar(0));
    emit processOutputChanged(output);
}

void CommandExecutor::onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (exitStatus == QProcess::CrashExit)
        say(QStringLiteral("The program crashed (%1).").arg(process.errorString()));
    else
        say(QStringLiteral("The program ended with exit code %1.").arg(exitCode));
    // A CCO that ends without its stop line (killed, out of memory, a failing
    // script) is stopped all the same.
    if (!stopLineSeen) {
        stopLineSeen = true;
        emit ccoStopped();
    }
}

// ---------------------------------------------------------------------------
// Launching CCO and the restore tool

QString CommandExecutor::runCCO()
{
    const QString dataDir = appDataLocation();
    launch(dataDir, QStringLiteral("./run.sh"), {});
    return dataDir;
}

QString CommandExecutor::runCCORestore(const QString &newPrefix)
{
    const QString dataDir = appDataLocation();
    launch(dataDir, QStringLiteral("./run_cco_restore_silent.sh -ccoPath \"$2\" -prefix \"$3\""),
           {dataDir + QLatin1Char('/') + kCcoDirName, newPrefix});
    return dataDir;
}

QString CommandExecutor::runCCORestoreUI()
{
    const QString dataDir = appDataLocation();
    launch(dataDir, QStringLiteral("./run_cco_restore.sh -ccoPath \"$2\""),
           {dataDir + QLatin1Char('/') + kCcoDirName});
    return dataDir;
}

void CommandExecutor::launch(const QString &dataDir, const QString &command,
                             const QStringList &values)
{
    const QString scriptName = command.section(QLatin1Char(' '), 0, 0);
    if (process.state() != QProcess::NotRunning) {
        say(QStringLiteral("Not starting %1: another program is still running.").arg(scriptName));
        return;
    }

    // $1 is the runtime folder, $2... the values. bash hands them to the
    // script as they are: they are never parsed as shell code.
    QStringList arguments{QStringLiteral("-c"), QLatin1String("JAVA_HOME=\"$1\" exec ") + command,
                          QStringLiteral("varnolet"), dataDir + QLatin1Char('/') + kJreDirName};
    arguments += values;

    stdoutDecoder = makeUtf8Decoder();
    stderrDecoder = makeUtf8Decoder();
    stdoutTail.clear();
    stopLineSeen = false;

    process.setWorkingDirectory(dataDir + QLatin1Char('/') + kCcoDirName);
    process.start(QStringLiteral("/bin/bash"), arguments);
    if (!process.waitForStarted(30000))
        say(QStringLiteral("Could not start %1: %2").arg(scriptName, process.errorString()));
}

// ---------------------------------------------------------------------------
// Installation check and patch

bool CommandExecutor::checkDirectoryValidity()
{
    const QString dataDir = appDataLocation();
    cleanUpInterruptedReplacement(dataDir, kCcoDirName);

    const QDir ccoDir(dataDir + QLatin1Char('/') + kCcoDirName);
    const QDir dataQDir(dataDir);
    const QString runScript = ccoDir.absoluteFilePath(QStringLiteral("run.sh"));

    if (!ccoDir.exists()) {
        qDebug() << "CustomerCheckout directory does not exist at:" << ccoDir.absolutePath();
        if (!ccoDir.mkdir(ccoDir.absolutePath())) {
            qDebug() << "Failed to create CustomerCheckout directory.";
            return false;
        }
        qDebug() << "Successfully created CustomerCheckout directory.";
    }
    if (!dataQDir.exists(kJreDirName)) {
        qDebug() << "sapmachine-jre-17.0.6 sub-directory does not exist in:" << dataQDir.absolutePath();
        return false;
    }
    if (!QFile::exists(runScript)) {
        qDebug() << "run.sh script file does not exist at:" << runScript;
        return false;
    }
    qDebug() << "All checks passed for directory and files.";
    return true;
}

bool CommandExecutor::patchInstallation()
{
    const QString ccoDir = appDataLocation() + QLatin1Char('/') + kCcoDirName + QLatin1Char('/');
    const QString prefix = assetsPrefix();
    bool allPatched = true;
    for (const char *name : kPatchFiles)
        allPatched = copyAndMakeExecutable(prefix + QLatin1String(name), ccoDir + QLatin1String(name))
                     && allPatched;
    return allPatched;
}

bool CommandExecutor::copyAndMakeExecutable(const QString &source, const QString &destination)
{
    if (QFile::exists(destination))
        QFile::remove(destination);
    if (!QFile::copy(source, destination)) {
        qDebug() << "Failed to copy" << source << "to" << destination;
        emit processOutputChanged(QStringLiteral("Failed to copy %1 to %2").arg(source, destination));
        return false;
    }
    qDebug() << "Copied" << source << "to" << destination << "successfully";
    if (!QFile(destination).setPermissions(kPatchPermissions)) {
        report("Failed to set executable permissions for", destination);
        return false;
    }
    qDebug() << "Set executable permissions for" << destination;
    return true;
}

// ---------------------------------------------------------------------------
// Archive extraction

QString CommandExecutor::runExtractJDK()
{
    const QString dataDir = appDataLocation();
    const QString prefix = assetsPrefix();
    const QString archive = jreArchiveFor(QSysInfo::currentCpuArchitecture());
    if (archive.isEmpty()) {
        report("Unsupported architecture:", QSysInfo::currentCpuArchitecture());
        return dataDir;
    }
    extract(dataDir, prefix + archive, kJreDirName, false);
    return dataDir;
}

QString CommandExecutor::prepareDestination(const QString &baseDir, const QString &name, bool force)
{
    QDir base(baseDir);
    if (!base.exists())
        base.mkpath(QStringLiteral("."));
    const QString destination = baseDir + QLatin1Char('/') + name;
    if (!force && QDir(destination).exists()) {
        report("Directory already exists:", QDir(destination).absolutePath());
        return QString();
    }
    return destination;
}

bool CommandExecutor::extract(const QString &targetDir, const QString &filePath,
                              const QString &extractedDirName, bool force)
{
    if (filePath.isEmpty()) {
        report("File not found:", filePath);
        return false;
    }
    const QString destination = prepareDestination(targetDir, extractedDirName, force);
    if (destination.isEmpty())
        return false;

    // Unpack beside the destination and move the folder into place only when
    // tar succeeded, so a failed run never leaves a half-filled runtime.
    const QString error = unpackReplacing(
        targetDir, extractedDirName, QStringLiteral("tar"),
        {QStringLiteral("-xzf"), QDir(targetDir).absoluteFilePath(filePath)}, extractedDirName);
    if (!error.isEmpty()) {
        report("Failed to extract file. Error:", error);
        return false;
    }
    report("File extracted successfully to", targetDir);
    return true;
}

bool CommandExecutor::extractCustomCCOZip(const QString &filePath, const QString &extractedDirName,
                                          bool force)
{
    const QString dataDir = appDataLocation();
    if (filePath.isEmpty()) {
        report("File not found:", filePath);
        return false;
    }
    if (process.state() != QProcess::NotRunning) {
        say(QStringLiteral("Import refused: a program is running from the installation. Stop it "
                           "first; nothing was changed."));
        return false;
    }
    const QUrl url(filePath, QUrl::TolerantMode);
    const QString zipPath = url.isLocalFile() ? url.toLocalFile() : filePath;

    const QString destination = prepareDestination(dataDir, extractedDirName, force);
    if (destination.isEmpty())
        return false;
    // A relative zip path names a file in the destination folder.
    const QString zipFile = QDir(destination).absoluteFilePath(zipPath);

    QString error;
    if (extractedDirName == kCcoDirName) {
        // Replace the installation only once the whole zip has been unpacked:
        // a failed import leaves the existing one as it was.
        error = unpackReplacing(dataDir, extractedDirName, QStringLiteral("unzip"),
                                {QStringLiteral("-o"), zipFile}, QString());
    } else {
        // Any other folder is unpacked into, keeping the files the zip
        // does not hold.
        if (!QDir(destination).exists())
            QDir(destination).mkpath(QStringLiteral("."));
        const ChildResult unzip =
            runChild(QStringLiteral("unzip"), {QStringLiteral("-o"), zipFile}, destination);
        if (!unzip.ok)
            error = unzip.failure(QStringLiteral("unzip"));
    }

    if (!error.isEmpty()) {
        qDebug() << "Failed to extract file. Error:" << error;
        emit processOutputChanged(QStringLiteral("Failed to extract file. Error:") + error);
        return false;
    }
    qDebug() << "File extracted successfully to" << dataDir;
    emit processOutputChanged(QStringLiteral("File extracted successfully to") + dataDir);
    return true;
}
