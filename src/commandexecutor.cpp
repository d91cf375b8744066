#include "commandexecutor.h"

#include "ccoprobe.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTextCodec>
#include <QUrl>
#include <QtConcurrent>

#include <cstdio>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A short-lived helper program (pwd, tar, unzip). It gets no terminal and no
// input, so nothing it asks can wait for an answer, and it ends with the app
// or the tool that started it.
class HelperProcess : public QProcess
{
public:
    HelperProcess() { setStandardInputFile(QProcess::nullDevice()); }

protected:
    void setupChildProcess() override
    {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
    }

private:
    const pid_t parent = ::getpid();
};

struct ChildResult
{
    bool ok = false;
    QByteArray standardOutput;
    QByteArray standardError;

    // Why a failed child failed: what it wrote on both channels (unzip gives
    // its reasons on standard output), never empty, so that a failure can
    // never pass for success.
    QString failure(const QString &program) const
    {
        const QString text = QString::fromUtf8(standardOutput + standardError).trimmed();
        return text.isEmpty() ? program + QLatin1String(" failed without saying why") : text;
    }
};

// Runs a short-lived child to its end, with no time limit. Success is a
// normal exit with code 0. `onLine`, when given, sees each line of the
// `channel` as it comes and says whether to keep it for the result.
ChildResult runChild(const QString &program, const QStringList &arguments,
                     const QString &workingDirectory = QString(),
                     const std::function<bool(const QByteArray &)> &onLine = {},
                     QProcess::ProcessChannel channel = QProcess::StandardOutput)
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
    ChildResult result;
    result.ok = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
                && child.error() != QProcess::FailedToStart;
    result.standardOutput = child.readAllStandardOutput();
    result.standardError = child.readAllStandardError();
    (channel == QProcess::StandardOutput ? result.standardOutput : result.standardError).prepend(kept);
    if (child.error() == QProcess::FailedToStart)
        result.standardError += child.errorString().toUtf8();
    return result;
}

// The size of what the gzip file `path` unpacks to (its last four bytes,
// modulo 4 GiB); 0 when it cannot be read.
qint64 gzipUnpackedSize(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 18 || !file.seek(file.size() - 4))
        return 0;
    const QByteArray tail = file.read(4);
    return tail.size() == 4 ? qint64(quint8(tail[0])) | qint64(quint8(tail[1])) << 8
                                  | qint64(quint8(tail[2])) << 16 | qint64(quint8(tail[3])) << 24
                            : 0;
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
// version is put back. Leftover staging and set-aside folders are removed;
// returns a line for each that could not be.
QStringList cleanUpInterruptedReplacement(const QString &baseDir, const QString &name)
{
    QDir base(baseDir);
    const QString prefix = QLatin1Char('.') + name + QLatin1String(".staging-");
    const QFileInfoList leftovers =
        base.entryInfoList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                           QDir::Time);
    QStringList stuck;
    for (const QFileInfo &leftover : leftovers) {
        const bool setAside = leftover.fileName().endsWith(QLatin1String("-previous"));
        if (setAside && !QFileInfo::exists(baseDir + QLatin1Char('/') + name)) {
            qDebug() << "Restoring the previous" << name << "folder from" << leftover.absoluteFilePath();
            base.rename(leftover.fileName(), name);
            continue;
        }
        if (!QDir(leftover.absoluteFilePath()).removeRecursively())
            stuck << QStringLiteral("Could not delete %1, left from an earlier replacement of %2; "
                                    "the next operation tries again.")
                         .arg(leftover.absoluteFilePath(), name);
    }
    return stuck;
}

// Puts the unpacked folder `unpacked` at `destination`, replacing what is
// there: that is set aside at `previous`, and put back when the new folder
// cannot take its place.
bool moveIntoPlace(const QString &unpacked, const QString &destination, const QString &previous,
                   QString *error)
{
    QDir dir;
    if (!QFileInfo::exists(destination)) {
        if (dir.rename(unpacked, destination))
            return true;
        *error = QStringLiteral("cannot move the unpacked files to %1").arg(destination);
        return false;
    }
    if (!dir.rename(destination, previous)) {
        *error = QStringLiteral("cannot move %1 aside").arg(destination);
        return false;
    }
    if (!dir.rename(unpacked, destination)) {
        dir.rename(previous, destination);
        *error = QStringLiteral("cannot move the unpacked files to %1").arg(destination);
        return false;
    }
    return true;
}

// What the symbolic link `path` holds, as it is; empty for anything else.
QString linkTarget(const QString &path)
{
    char buffer[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return length > 0 ? QFile::decodeName(QByteArray(buffer, int(length))) : QString();
}

// Where the symbolic link `link` leads, following every link on the way as
// the system would; empty when it leads to an absolute path or in circles.
QString resolveRelativeLink(const QString &link)
{
    QString current = QFileInfo(link).absolutePath();
    QStringList rest = linkTarget(link).split(QLatin1Char('/'));
    if (rest.first().isEmpty())
        return QString(); // absolute
    for (int hops = 0; !rest.isEmpty();) {
        const QString part = rest.takeFirst();
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            current = QFileInfo(current).path();
            continue;
        }
        const QString next = current + QLatin1Char('/') + part;
        const QString inner = linkTarget(next);
        if (inner.isEmpty()) {
            current = next;
            continue;
        }
        if (inner.startsWith(QLatin1Char('/')) || ++hops > 40)
            return QString();
        rest = inner.split(QLatin1Char('/')) + rest;
    }
    return current;
}

// The first symbolic link below `root` that leads out of it or to an
// absolute path, named with its target; empty when every link stays inside.
QString linkLeadingOut(const QString &root)
{
    QDirIterator it(root, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isSymLink())
            continue;
        const QString end = resolveRelativeLink(path);
        if (end != root && !end.startsWith(root + QLatin1Char('/')))
            return QStringLiteral("the entry %1 links to %2, outside the installation")
                .arg(QDir(root).relativeFilePath(path), linkTarget(path));
    }
    return QString();
}

// Lists the zip `zip` with unzip's zipinfo mode: how many entries it holds,
// whether any is encrypted, and whether all lie in one top folder `folder`.
struct ZipListing
{
    QString error;
    int entries = 0;
    QString encrypted;
    bool allInside = true;

    explicit ZipListing(const QString &zip, const QString &folder)
    {
        const ChildResult zipinfo = runChild(QStringLiteral("unzip"), {QStringLiteral("-Z"), zip});
        if (!zipinfo.ok) {
            error = zipinfo.failure(QStringLiteral("unzip"));
            return;
        }
        // "-rw-r--r--  3.0 unx  2 tx stor 26-Dec-06 23:41 name": an upper-case
        // T or B marks an encrypted entry.
        static const QRegularExpression entry(QStringLiteral(
            "^\\S+\\s+\\S+\\s+\\S+\\s+\\d+\\s+([tbTB])\\S\\s+\\S+\\s+\\S+\\s+\\S+\\s(.*)$"));
        for (const QByteArray &line : zipinfo.standardOutput.split('\n')) {
            const QRegularExpressionMatch match = entry.match(QString::fromUtf8(line));
            if (!match.hasMatch())
                continue;
            ++entries;
            const QString name = match.captured(2);
            if (encrypted.isEmpty() && match.captured(1).at(0).isUpper())
                encrypted = name;
            if (!name.startsWith(folder + QLatin1Char('/')))
                allInside = false;
        }
        allInside = allInside && entries > 0;
    }
};

bool isRegularFile(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool isExecutableFile(const QString &path)
{
    return isRegularFile(path) && ::access(QFile::encodeName(path).constData(), X_OK) == 0;
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

CommandExecutor::~CommandExecutor()
{
    deletion.waitForFinished();
}

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

bool CommandExecutor::refuseWhileBusy()
{
    if (operationName.isEmpty())
        return false;
    say(QStringLiteral("Busy: %1. Try again when it has finished.").arg(operationName));
    return true;
}

void CommandExecutor::setOperation(const QString &name)
{
    operationName = name;
    progressShare = name.isEmpty() ? -1 : 0;
    emit operationChanged();
}

void CommandExecutor::reportProgress(double share)
{
    // From the operation's thread: the share is shown by the interface's.
    const int percent = qBound(0, int(share * 100), 100);
    if (percent == lastPercent.fetchAndStoreRelaxed(percent))
        return;
    QMetaObject::invokeMethod(this, [this, percent] {
        if (operationName.isEmpty())
            return;
        progressShare = percent / 100.0;
        emit operationChanged();
    }, Qt::QueuedConnection);
}

template <typename Work>
auto CommandExecutor::whileDrawing(const QString &name, Work work) -> decltype(work())
{
    using Result = decltype(work());
    setOperation(name);
    lastPercent = -1;
    // The operation runs on a thread of the pool while this thread keeps
    // drawing and keeps its timers; nothing else can start meanwhile.
    QFutureWatcher<Result> watcher;
    QEventLoop loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(work));
    if (!watcher.isFinished())
        loop.exec();
    // What the operation said reaches the interface before its result does.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    setOperation(QString());
    return watcher.result();
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
    if (refuseWhileBusy())
        return;
    if (process.state() != QProcess::NotRunning) {
        say(QStringLiteral("Not starting %1: another program is still running.").arg(scriptName));
        return;
    }
    // The restore tool rewrites the installation: never under a running CCO.
    if (scriptName != QLatin1String("./run.sh")) {
        const QString running = CcoProbe::runningCco(dataDir);
        if (!running.isEmpty()) {
            say(QStringLiteral("Not starting %1: CCO is running (%2).").arg(scriptName, running));
            return;
        }
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

bool CommandExecutor::ccoRunsFromInstallation(const QString &operation)
{
    if (process.state() != QProcess::NotRunning) {
        say(QStringLiteral("%1 refused: a program is running from the installation. Stop it first; "
                           "nothing was changed.")
                .arg(operation));
        return true;
    }
    const QString running = CcoProbe::runningCco(appDataLocation());
    if (running.isEmpty())
        return false;
    say(QStringLiteral("%1 refused: CCO is running (%2). Stop it first; nothing was changed.")
            .arg(operation, running));
    return true;
}

void CommandExecutor::cleanUpLeftovers(const QString &baseDir, const QString &name)
{
    deletion.waitForFinished();
    for (const QString &line : cleanUpInterruptedReplacement(baseDir, name))
        say(line);
}

bool CommandExecutor::runtimeCanRun(const QString &jreDir)
{
    return isExecutableFile(jreDir + QLatin1String("/bin/java"));
}

bool CommandExecutor::checkDirectoryValidity()
{
    const QString dataDir = appDataLocation();
    cleanUpLeftovers(dataDir, kCcoDirName);

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
    if (!QFileInfo::exists(runScript)) {
        qDebug() << "run.sh script file does not exist at:" << runScript;
        return false;
    }
    if (!isExecutableFile(runScript)) {
        qDebug() << "run.sh script file is not an executable file at:" << runScript;
        return false;
    }
    if (!runtimeCanRun(dataQDir.absoluteFilePath(kJreDirName))) {
        qDebug() << "sapmachine-jre-17.0.6 has no executable bin/java at:"
                 << dataQDir.absoluteFilePath(kJreDirName + QLatin1String("/bin/java"));
        return false;
    }
    qDebug() << "All checks passed for directory and files.";
    return true;
}

bool CommandExecutor::patchInstallation()
{
    const QString ccoDir = appDataLocation() + QLatin1Char('/') + kCcoDirName + QLatin1Char('/');
    if (refuseWhileBusy() || ccoRunsFromInstallation(QStringLiteral("Patch")))
        return false;
    const QString prefix = assetsPrefix();
    return whileDrawing(tr("Patching the installation"), [=] {
        // Every file is first copied beside the one it replaces, and only
        // when all five copies are complete are they renamed over the
        // installed files: a failed patch changes nothing.
        std::vector<std::unique_ptr<QTemporaryFile>> copies;
        for (const char *name : kPatchFiles) {
            copies.push_back(copyBeside(prefix + QLatin1String(name), ccoDir + QLatin1String(name)));
            reportProgress(double(copies.size()) / std::size(kPatchFiles));
        }
        if (std::any_of(copies.begin(), copies.end(), [](const auto &copy) { return !copy; })) {
            say(QStringLiteral("Nothing was patched: the installed files are as they were."));
            return false;
        }
        bool allPatched = true;
        for (size_t i = 0; i < copies.size(); ++i) {
            const QString source = prefix + QLatin1String(kPatchFiles[i]);
            const QString destination = ccoDir + QLatin1String(kPatchFiles[i]);
            if (std::rename(QFile::encodeName(copies[i]->fileName()).constData(),
                            QFile::encodeName(destination).constData())
                != 0) {
                say(QStringLiteral("Failed to copy %1 to %2: %3")
                        .arg(source, destination, QString::fromLocal8Bit(strerror(errno))));
                allPatched = false;
                continue;
            }
            copies[i]->setAutoRemove(false);
            qDebug() << "Copied" << source << "to" << destination << "successfully";
            qDebug() << "Set executable permissions for" << destination;
        }
        return allPatched;
    });
}

std::unique_ptr<QTemporaryFile> CommandExecutor::copyBeside(const QString &source,
                                                            const QString &destination)
{
    const QString folder = QFileInfo(destination).absolutePath();
    auto fail = [&](const QString &why) {
        qDebug() << "Failed to copy" << source << "to" << destination << why;
        emit processOutputChanged(
            QStringLiteral("Failed to copy %1 to %2: %3").arg(source, destination, why));
        return std::unique_ptr<QTemporaryFile>();
    };
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly))
        return fail(input.errorString());
    auto copy = std::make_unique<QTemporaryFile>(folder + QLatin1String("/.")
                                                 + QFileInfo(destination).fileName()
                                                 + QLatin1String(".patch-XXXXXX"));
    if (!copy->open())
        return fail(QStringLiteral("%1 (in %2)").arg(copy->errorString(), folder));
    QByteArray block;
    bool written = true;
    while (written && !(block = input.read(1 << 20)).isEmpty())
        written = copy->write(block) == block.size();
    if (input.error() != QFileDevice::NoError)
        return fail(input.errorString());
    if (!written || !copy->flush())
        return fail(QStringLiteral("cannot write the copy in %1 (is the disk full?)").arg(folder));
    if (!copy->setPermissions(kPatchPermissions))
        return fail(copy->errorString());
    copy->close();
    return copy;
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
    // A runtime folder that cannot run CCO is replaced, not kept.
    const QString jreDir = dataDir + QLatin1Char('/') + kJreDirName;
    const bool broken = QFileInfo::exists(jreDir) && !runtimeCanRun(jreDir);
    extract(dataDir, prefix + archive, kJreDirName, broken);
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
    const QString archive = QDir(targetDir).absoluteFilePath(filePath);
    if (refuseWhileBusy() || ccoRunsFromInstallation(QStringLiteral("Unpacking the runtime")))
        return false;
    // Said only once nothing stands in the way of the replacement.
    if (force && QFileInfo::exists(destination))
        report("The runtime has no executable bin/java and is replaced:", destination);
    QString error;
    if (!isRegularFile(archive)) {
        error = QStringLiteral("%1 is not a readable archive file").arg(archive);
    } else {
        error = unpackReplacing(tr("Unpacking the Java runtime"), targetDir, extractedDirName,
                                [=](Staging &staging) {
            // tar says every megabyte how far into the unpacked archive it
            // is; gzip's trailer says how large that is.
            const qint64 total = gzipUnpackedSize(archive);
            auto progress = [&](const QByteArray &line) {
                static const QRegularExpression read(QStringLiteral("^\\S*tar: r: (\\d+) "));
                const QRegularExpressionMatch match = read.match(QString::fromLatin1(line));
                if (!match.hasMatch())
                    return true;
                if (total > 0)
                    reportProgress(double(match.captured(1).toLongLong()) / total);
                return false;
            };
            const ChildResult tar = runChild(
                QStringLiteral("tar"),
                {QStringLiteral("-xzf"), archive, QStringLiteral("--checkpoint=100"),
                 QStringLiteral("--checkpoint-action=echo=%{r}T")},
                staging.unpacked, progress, QProcess::StandardError);
            if (!tar.ok)
                return tar.failure(QStringLiteral("tar"));
            staging.unpacked += QLatin1Char('/') + extractedDirName;
            return QDir(staging.unpacked).exists()
                       ? QString()
                       : QStringLiteral("the archive holds no %1 folder").arg(extractedDirName);
        });
    }
    if (!error.isEmpty()) {
        report("Failed to extract file. Error:", error);
        return false;
    }
    report("File extracted successfully to", targetDir);
    return true;
}

QString CommandExecutor::unpackReplacing(const QString &operation, const QString &baseDir,
                                         const QString &name,
                                         const std::function<QString(Staging &)> &unpack)
{
    return whileDrawing(operation, [=] { return unpackReplacingNow(baseDir, name, unpack); });
}

QString CommandExecutor::unpackReplacingNow(const QString &baseDir, const QString &name,
                                            const std::function<QString(Staging &)> &unpack)
{
    cleanUpLeftovers(baseDir, name);
    QTemporaryDir folder(stagingPattern(baseDir, name));
    if (!folder.isValid())
        return QStringLiteral("%1 (in %2)").arg(folder.errorString(), baseDir);
    Staging staging{folder.path(), folder.path() + QLatin1String("/unpacked")};
    if (!QDir().mkdir(staging.unpacked))
        return QStringLiteral("cannot create %1").arg(staging.unpacked);
    const QString error = unpack(staging);
    if (!error.isEmpty())
        return error;

    const QString destination = baseDir + QLatin1Char('/') + name;
    if (name == kCcoDirName && QDir(destination).exists())
        qDebug() << "Deleting existing CustomerCheckout folder";
    QString failure;
    // Beside the staging folder, so that an interrupted run is recognised
    // and undone by the next one.
    const QString previous = folder.path() + QLatin1String("-previous");
    if (moveIntoPlace(staging.unpacked, destination, previous, &failure) && QFileInfo::exists(previous)) {
        // The new folder is in place: the replaced one is deleted while the
        // app goes on, and the next operation waits for that.
        deletion = QtConcurrent::run([this, previous] {
            if (!QDir(previous).removeRecursively())
                say(QStringLiteral("Could not delete the replaced folder, set aside at %1; the next "
                                   "operation tries again.")
                        .arg(previous));
        });
    }
    return failure;
}

bool CommandExecutor::extractCustomCCOZip(const QString &filePath, const QString &extractedDirName,
                                          bool force)
{
    const QString dataDir = appDataLocation();
    if (filePath.isEmpty()) {
        report("File not found:", filePath);
        return false;
    }
    if (refuseWhileBusy() || ccoRunsFromInstallation(QStringLiteral("Import")))
        return false;
    const QUrl url(filePath, QUrl::TolerantMode);
    const QString zipPath = url.isLocalFile() ? url.toLocalFile() : filePath;

    const QString destination = prepareDestination(dataDir, extractedDirName, force);
    if (destination.isEmpty())
        return false;
    // A relative zip path names a file in the destination folder.
    const QString zipFile = QDir(destination).absoluteFilePath(zipPath);

    // unzip reads [, ], * and ? in a zip's name as a pattern: it is handed
    // the zip under a plain name, a link in the staging folder.
    auto unzipInto = [=](Staging &staging, const QString &folder) {
        const QString link = staging.path + QLatin1String("/archive.zip");
        if (!QFile::link(zipFile, link))
            return QStringLiteral("cannot link %1 into %2").arg(zipFile, staging.path);
        const ZipListing listing(link, kCcoDirName);
        if (!listing.error.isEmpty())
            return QString(listing.error).replace(link, zipFile);
        if (!listing.encrypted.isEmpty())
            return QStringLiteral("the zip is encrypted (%1 needs a password); import an "
                                  "unencrypted zip")
                .arg(listing.encrypted);
        // unzip names each entry as it unpacks it; the listing gave the total.
        int done = 0;
        auto progress = [&](const QByteArray &line) {
            static const QRegularExpression entry(
                QStringLiteral("^\\s*(inflating|extracting|creating|linking):"));
            if (entry.match(QString::fromUtf8(line)).hasMatch())
                reportProgress(double(++done) / listing.entries);
            return true;
        };
        const ChildResult unzip =
            runChild(QStringLiteral("unzip"), {QStringLiteral("-o"), link}, folder, progress);
        if (!unzip.ok)
            return unzip.failure(QStringLiteral("unzip")).replace(link, zipFile);
        if (listing.allInside && folder == staging.unpacked) {
            say(QStringLiteral("The zip holds the CustomerCheckout folder itself: importing what is "
                               "inside it."));
            staging.unpacked += QLatin1Char('/') + kCcoDirName;
        }
        return QString();
    };

    QString error;
    if (!isRegularFile(zipFile)) {
        error = QStringLiteral("%1 is not a readable zip file").arg(zipFile);
    } else if (extractedDirName == kCcoDirName) {
        // Replace the installation only once the whole zip has been unpacked:
        // a failed import leaves the existing one as it was.
        error = unpackReplacing(tr("Importing the CCO installation"), dataDir, extractedDirName,
                                [=](Staging &staging) {
            const QString failure = unzipInto(staging, staging.unpacked);
            return failure.isEmpty() ? linkLeadingOut(staging.unpacked) : failure;
        });
    } else {
        // Any other folder is unpacked into, keeping the files the zip
        // does not hold.
        if (!QDir(destination).exists())
            QDir(destination).mkpath(QStringLiteral("."));
        error = whileDrawing(tr("Importing into %1").arg(extractedDirName), [=] {
            QTemporaryDir folder(stagingPattern(dataDir, extractedDirName));
            Staging staging{folder.path(), destination};
            return folder.isValid() ? unzipInto(staging, destination) : folder.errorString();
        });
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
