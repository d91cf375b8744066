#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// Helpers shared by the backend tests: a throw-away data home, scripts
// written on the fly, and a capture of the debug log.

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

#include "translations.h"

// As the app does at its start: the plural forms of its lines come from
// its catalogues.
static void installAppTranslations()
{
    installTranslations(QCoreApplication::instance());
}
Q_COREAPP_STARTUP_FUNCTION(installAppTranslations)

inline bool writeFile(const QString &path, const QByteArray &content,
                      QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(content) == content.size();
    file.close();
    return written && file.setPermissions(permissions);
}

inline bool writeScript(const QString &path, const QByteArray &body)
{
    return writeFile(path, "#!/bin/bash\n" + body + "\n",
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// The scripts and jars the patch copies, in its order.
const char *const kPatchFileNames[] = {"run.sh", "run_cco_restore.sh", "run_cco_restore_silent.sh",
                                       "ui-test-1.0-SNAPSHOT.jar", "CCO_Restore.jar"};

// A fresh data home for one test. The app data location lies inside it, so
// no test ever touches the user's real data folder.
class DataHome
{
public:
    explicit DataHome(const QString &subFolder = QStringLiteral("data"))
    {
        QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
        root = QDir(dir.path()).filePath(subFolder);
        QDir().mkpath(root);
        qputenv("XDG_DATA_HOME", QFile::encodeName(root));
        // Named as on a device: the content-sharing service purges only
        // what it delivered into a .cache folder.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(".cache")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    }

    // The folder the backend calls the app data location.
    QString appData() const { return root + QLatin1String("/varnolet.quindrel"); }
    QString cco() const { return appData() + QLatin1String("/CustomerCheckout"); }
    QString jre() const { return appData() + QLatin1String("/sapmachine-jre-17.0.6"); }
    // Where the content-sharing service delivers picked files.
    QString incoming() const { return dir.filePath(".cache/varnolet.quindrel/HubIncoming"); }
    // A runtime that can run CCO: an executable bin/java.
    bool makeRuntime() const { return writeScript(jre() + "/bin/java", "echo java \"$@\""); }
    // A runnable installation of a few files whose run.sh says `tag`.
    bool makeInstallation(const QByteArray &tag = "old") const
    {
        return writeScript(cco() + "/run.sh", "echo " + tag + " installation")
            && writeFile(cco() + "/lib/cco.jar", tag + " jar")
            && writeFile(cco() + "/config/pos.properties", "prefix=" + tag + "\n");
    }
    // The patch files in the assets folder `assets`, each saying "new <name>".
    static bool makeAssets(const QString &assets)
    {
        for (const char *name : kPatchFileNames) {
            if (!writeFile(assets + "/" + name, QByteArray("new ") + name))
                return false;
        }
        return true;
    }
    // A scratch folder beside the data home, for inputs of the test.
    QString scratch(const QString &name) const
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(path);
        return path;
    }

private:
    QTemporaryDir dir;
    QString root;
};

// Starts a CCO that this app did not start, in `process`: a program of the
// data folder (`program`, a copy of sleep) for a minute, working in
// `workingDirectory` (by default outside the data folder).
inline bool startCcoElsewhere(QProcess &process, const QString &program,
                              const QString &workingDirectory = QDir::tempPath())
{
    QDir().mkpath(QFileInfo(program).absolutePath());
    QFile::remove(program);
    if (!QFile::copy("/bin/sleep", program)
        || !QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner))
        return false;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, {"60"});
    return process.waitForStarted();
}

// Runs a program to its end; true when it exits with code 0.
inline bool run(const QString &program, const QStringList &arguments, const QString &workingDirectory = {})
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    const bool ok =
        process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning() << program << arguments << process.errorString() << process.readAll();
    return ok;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Collects the debug lines logged while it lives.
struct LogCapture
{
    LogCapture() { lines().clear(); }
    ~LogCapture() { qInstallMessageHandler(previous); }
    static QStringList &lines()
    {
        static QStringList collected;
        return collected;
    }
    QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &line) {
            if (type == QtDebugMsg)
                lines() << line;
        });
};

#endif // TESTSUPPORT_H
