#include "installation.h"

#include "childprocess.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// rwxr-xr-x: the copies are run by the app, and nobody else may rewrite them.
constexpr QFileDevice::Permissions kPatchPermissions = QFileDevice::ReadOwner
    | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser
    | QFileDevice::WriteUser | QFileDevice::ExeUser | QFileDevice::ReadGroup | QFileDevice::ExeGroup
    | QFileDevice::ReadOther | QFileDevice::ExeOther;

// A complete copy of `source` in a temporary file beside `destination`,
// of mode `permissions`; nothing, and why, when it cannot be made.
std::unique_ptr<QTemporaryFile> copyBeside(const QString &source, const QString &destination,
                                           QFileDevice::Permissions permissions, QString *why)
{
    const QString folder = QFileInfo(destination).absolutePath();
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        *why = input.errorString();
        return nullptr;
    }
    auto copy = std::make_unique<QTemporaryFile>(folder + QLatin1String("/.")
                                                 + QFileInfo(destination).fileName()
                                                 + QLatin1String(".patch-XXXXXX"));
    if (!copy->open()) {
        *why = QStringLiteral("%1 (in %2)").arg(copy->errorString(), folder);
        return nullptr;
    }
    QByteArray block;
    bool written = true;
    while (written && !(block = input.read(1 << 20)).isEmpty())
        written = copy->write(block) == block.size();
    if (input.error() != QFileDevice::NoError) {
        *why = input.errorString();
        return nullptr;
    }
    if (!written || !copy->flush()) {
        *why = QStringLiteral("cannot write the copy in %1 (is the disk full?)").arg(folder);
        return nullptr;
    }
    if (!copy->setPermissions(permissions)) {
        *why = copy->errorString();
        return nullptr;
    }
    copy->close();
    return copy;
}

} // namespace

namespace Installation {

const QString runtimeFolderName = QStringLiteral("sapmachine-jre-17.0.6");
const QString ccoFolderName = QStringLiteral("CustomerCheckout");

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString runtimeFolder(const QString &dataFolder)
{
    return dataFolder + QLatin1Char('/') + runtimeFolderName;
}

QString ccoFolder(const QString &dataFolder)
{
    return dataFolder + QLatin1Char('/') + ccoFolderName;
}

QString javaOf(const QString &runtimeFolder)
{
    return runtimeFolder + QLatin1String("/bin/java");
}

QString importedMarker(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/.imported");
}

QString zipHashFile(const QString &ccoFolder)
{
    return ccoFolder + QLatin1String("/.varnolet-zip.sha256");
}

QString zipHash(const QString &ccoFolder)
{
    QFile file(zipHashFile(ccoFolder));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.read(64)).trimmed() : QString();
}

QString runtimeArchiveFor(const QString &cpuArchitecture)
{
    if (cpuArchitecture == QLatin1String("x86_64"))
        return QStringLiteral("sapmachine-jre-17.0.6_linux-x64_bin.tar.gz");
    if (cpuArchitecture == QLatin1String("arm64"))
        return QStringLiteral("sapmachine-jre-17.0.6_linux-aarch64_bin.tar.gz");
    return QString();
}

QString assetsPrefix()
{
    const ChildProcess::Result pwd = ChildProcess::run(QStringLiteral("pwd"), {});
    if (!pwd.ok)
        return QString();
    return QString::fromUtf8(pwd.standardOutput.trimmed() + "/assets/");
}

bool isRegularFile(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool isExecutableFile(const QString &path)
{
    return isRegularFile(path) && ::access(QFile::encodeName(path).constData(), X_OK) == 0;
}

bool runtimeCanRun(const QString &runtimeFolder)
{
    return isExecutableFile(javaOf(runtimeFolder));
}

Findings check(const QString &dataFolder)
{
    Findings findings;
    const QString cco = ccoFolder(dataFolder);
    const QString runScript = cco + QLatin1String("/run.sh");
    if (!QDir(cco).exists()) {
        findings.ccoFolderWasMissing = true;
        if (!QDir().mkdir(cco)) {
            findings.problem = Findings::CannotCreateCcoFolder;
            return findings;
        }
    }
    if (!QDir(dataFolder).exists(runtimeFolderName))
        findings.problem = Findings::NoRuntimeFolder;
    else if (!QFileInfo::exists(runScript))
        findings.problem = Findings::NoRunScript;
    else if (!isExecutableFile(runScript))
        findings.problem = Findings::RunScriptNotExecutable;
    else if (!runtimeCanRun(runtimeFolder(dataFolder)))
        findings.problem = Findings::NoJava;
    return findings;
}

QStringList checkLines(const QString &dataFolder, const Findings &findings)
{
    // As the debug stream writes them: each value quoted and escaped.
    auto line = [](const char *text, const QString &value = QString()) {
        QString written;
        QDebug stream(&written);
        stream << text;
        if (!value.isNull())
            stream << value;
        return written;
    };
    const QString cco = QDir(ccoFolder(dataFolder)).absolutePath();
    const QString runScript = cco + QLatin1String("/run.sh");
    QStringList lines;
    if (findings.ccoFolderWasMissing)
        lines << line("CustomerCheckout directory does not exist at:", cco)
              << line(findings.problem == Findings::CannotCreateCcoFolder
                          ? "Failed to create CustomerCheckout directory."
                          : "Successfully created CustomerCheckout directory.");
    switch (findings.problem) {
    case Findings::None:
        lines << line("All checks passed for directory and files.");
        break;
    case Findings::CannotCreateCcoFolder:
        break;
    case Findings::NoRuntimeFolder:
        lines << line("sapmachine-jre-17.0.6 sub-directory does not exist in:",
                      QDir(dataFolder).absolutePath());
        break;
    case Findings::NoRunScript:
        lines << line("run.sh script file does not exist at:", runScript);
        break;
    case Findings::RunScriptNotExecutable:
        lines << line("run.sh script file is not an executable file at:", runScript);
        break;
    case Findings::NoJava:
        lines << line("sapmachine-jre-17.0.6 has no executable bin/java at:",
                      javaOf(QDir(dataFolder).absoluteFilePath(runtimeFolderName)));
        break;
    }
    // The stream leaves a blank after the last item.
    for (QString &each : lines)
        each.chop(each.endsWith(QLatin1Char(' ')) ? 1 : 0);
    return lines;
}

QStringList patchFiles()
{
    return {QStringLiteral("run.sh"), QStringLiteral("run_cco_restore.sh"),
            QStringLiteral("run_cco_restore_silent.sh"), QStringLiteral("ui-test-1.0-SNAPSHOT.jar"),
            QStringLiteral("CCO_Restore.jar")};
}

PatchResult patch(const QString &assetsPrefix, const QString &ccoFolder,
                  const std::function<void(double)> &progress, const QList<Copy> &more)
{
    QList<Copy> files;
    for (const QString &name : patchFiles())
        files.append({assetsPrefix + name, ccoFolder + QLatin1Char('/') + name, kPatchPermissions});
    return copyAll(files + more, progress);
}

PatchResult copyAll(const QList<Copy> &files, const std::function<void(double)> &progress)
{
    PatchResult result;
    std::vector<std::unique_ptr<QTemporaryFile>> copies;
    for (const Copy &file : files) {
        QString why;
        copies.push_back(copyBeside(file.source, file.destination, file.permissions, &why));
        if (!copies.back())
            result.copyFailures.append({file.source, file.destination, why});
        progress(double(copies.size()) / files.size());
    }
    if (!result.copyFailures.isEmpty())
        return result;
    for (int i = 0; i < files.size(); ++i) {
        if (std::rename(QFile::encodeName(copies[i]->fileName()).constData(),
                        QFile::encodeName(files[i].destination).constData())
            != 0) {
            result.placeFailures.append({files[i].source, files[i].destination,
                                         QString::fromLocal8Bit(std::strerror(errno))});
            continue;
        }
        copies[i]->setAutoRemove(false);
        result.placed << files[i];
    }
    return result;
}

} // namespace Installation
