#ifndef COMMANDEXECUTOR_H
#define COMMANDEXECUTOR_H

#include "ccoprobe.h"
#include "ccoprocess.h"
#include "installation.h"
#include "longoperation.h"
#include "outcome.h"
#include "outputlog.h"
#include "unpacking.h"
#include "updates.h"

#include <QFuture>
#include <QObject>
#include <QString>

#include <functional>

// The backend as the user interface sees it: every operation the
// maintenance screen asks for, one at a time. It words every outcome for
// the output area and the log; the work itself is done by the parts it
// calls (the installation, the archives, folder swaps, CCO's process). Long
// operations run on another thread while this one keeps drawing.
class CommandExecutor : public QObject
{
    Q_OBJECT
    // The long operation under way (an import, an unpack, a patch), or
    // nothing, and the share of it done, from 0 to 1; -1 when none runs.
    Q_PROPERTY(QString operation READ operation NOTIFY operationChanged)
    Q_PROPERTY(double progress READ progress NOTIFY operationChanged)
    // Where CCO serves its page: 127.0.0.1 and CCO's port.
    Q_PROPERTY(QString ccoAddress READ ccoAddress CONSTANT)

public:
    explicit CommandExecutor(QObject *parent = nullptr);
    ~CommandExecutor() override;

    // The JRE archive shipped for a processor architecture as reported by
    // QSysInfo::currentCpuArchitecture(); empty when none is shipped.
    static QString jreArchiveFor(const QString &cpuArchitecture)
    {
        return Installation::runtimeArchiveFor(cpuArchitecture);
    }

    // CCO's port, the same for every part that looks at CCO; another than
    // the real one only for a backend that a test makes.
    quint16 ccoPort() const { return port; }
    void setCcoPort(quint16 ccoPort) { port = ccoPort; }
    QString ccoAddress() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    // The least free space that keeping a replaced installation may leave
    // (and a tenth of the disk).
    void setMinimumFreeBytes(qint64 bytes) { minimumFree = bytes; }

    // The process CCO and the restore tool run in, for watching its state.
    const QProcess &program() const { return ccoProcess.program(); }
    // Passes on what a CCO writes from now on, whoever started it.
    void followCcoOutput() { ccoProcess.follow(); }
    // Named in English for the output area's lines; shown in the device's
    // language.
    QString operation() const { return tr(running.name().toUtf8().constData()); }
    double progress() const { return running.progress(); }
    bool isBusy() const { return running.isRunning(); }
    // Writes a line of another part of the app (the supervisor, the view)
    // to the log, which keeps every line of the output area.
    void writeToLog(const QString &line) { log->append(line, OutputLog::Line); }
    // Says so and returns true while a long operation runs.
    bool refuseWhileBusy();
    // Whether a CCO runs from the installation, this app's or any other;
    // if so, a line refusing `operation` says who.
    bool ccoRunsFromInstallation(const QString &operation);
    // Shows a line in the output area and logs it, from any thread.
    void say(const QString &line);
    // Puts the previous installation back in place by hand, the current one
    // becoming the previous one; refused while anything runs.
    bool goBack();
    // The installation check, its findings in `lines`.
    bool checkInstallation(QStringList *lines);
    // Why the last import failed; empty after one that succeeded.
    QString lastImportFailure() const { return importFailure; }

signals:
    void processOutputChanged(const QString &output);
    void desiredTextFound();
    // CCO's stop line.
    void ccoStopped();
    // The program CCO or the restore tool ran in ended, its line said: the
    // one report of its end.
    void programEnded(int exitCode, QProcess::ExitStatus exitStatus, bool stopLineSeen);
    void operationChanged();

public slots:
    QString runExtractJDK();
    QString runCCO() { return launch(QStringLiteral("./run.sh"), {}); }
    QString runCCORestore(const QString &newPrefix)
    {
        return launch(QStringLiteral("./run_cco_restore_silent.sh -ccoPath \"$2\" -prefix \"$3\""),
                      {newPrefix});
    }
    QString runCCORestoreUI()
    {
        return launch(QStringLiteral("./run_cco_restore.sh -ccoPath \"$2\""), {});
    }
    bool patchInstallation();
    bool extractCustomCCOZip(const QString &filePath, const QString &extractedDirName, bool force);
    // Removes a copy the content-sharing service delivered for an import
    // that will not be made (a file that is not a zip); any other file is
    // left alone.
    void discardDeliveredCopy(const QString &fileUrl);
    bool checkDirectoryValidity();

private:
    // Logs a fixed text and its value, and shows both in the output area.
    void report(const char *text, const QString &value);
    // A chunk of the running program's output, or a whole line of the app's.
    void show(const QString &text, bool wholeLine);
    void sayLogsMovedAside(const QString &to);
    // Removes `path` when it is a delivered copy, and says so.
    void discardDelivered(const QString &path);
    void onEnded(int exitCode, QProcess::ExitStatus exitStatus, const QString &error,
                 bool stopLineSeen);

    // Starts `command` from the CCO folder in the long-lived process, with
    // the installation and `values` as $2, $3, ...; a refused or failed
    // start is said. Returns the data folder.
    QString launch(const QString &command, const QStringList &values);
    // The assets folder, logged.
    static QString assetsPrefix();
    // Whether `name` may be unpacked in `baseDir`: not when it exists and
    // `force` is false (which is said).
    bool mayReplace(const QString &baseDir, const QString &name, bool force);
    // Waits for the deletion of a replaced folder, then undoes what an
    // interrupted replacement of baseDir/name left; says what it could not.
    void recover(const QString &baseDir, const QString &name);
    // Runs `unpack`, which replaces baseDir/name, as the long operation
    // `operation`, after recovering from an interrupted replacement; then
    // deletes the replaced folder while the app goes on.
    Outcome replacing(const QString &operation, const QString &baseDir, const QString &name,
                      const std::function<Unpacking::Result()> &unpack);

    quint16 port = CcoProbe::kDefaultPort;
    QString importFailure;
    qint64 minimumFree = Updates::kMinimumFreeBytes;
    CcoProcess ccoProcess;
    OutputLog *log = nullptr;
    LongOperation running;
    // The deletion of a replaced folder, which goes on after the operation.
    QFuture<void> deletion;
};

#endif // COMMANDEXECUTOR_H
