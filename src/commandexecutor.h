#ifndef COMMANDEXECUTOR_H
#define COMMANDEXECUTOR_H

#include <QAtomicInt>
#include <QFuture>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTextDecoder>

#include <functional>
#include <memory>

class QTemporaryFile;

// The backend of the launcher: every file-system operation and every child
// process the user interface asks for. CCO and its restore tool run in the
// one long-lived `process`; everything else (pwd, tar, unzip) runs in a
// short-lived process of the operation that needs it.
class CommandExecutor : public QObject
{
    Q_OBJECT
    // The long operation under way (an import, an unpack, a patch), or
    // nothing, and the share of it done, from 0 to 1; -1 when none runs.
    Q_PROPERTY(QString operation READ operation NOTIFY operationChanged)
    Q_PROPERTY(double progress READ progress NOTIFY operationChanged)

public:
    explicit CommandExecutor(QObject *parent = nullptr);
    ~CommandExecutor() override;

    // The JRE archive shipped for a processor architecture as reported by
    // QSysInfo::currentCpuArchitecture(); empty when none is shipped.
    static QString jreArchiveFor(const QString &cpuArchitecture);

    // The process CCO and the restore tool run in, for watching its state.
    const QProcess &program() const { return process; }
    QString operation() const { return operationName; }
    double progress() const { return progressShare; }
    bool isBusy() const { return !operationName.isEmpty(); }

signals:
    void processOutputChanged(const QString &output);
    void desiredTextFound();
    void ccoStopped();
    void operationChanged();

public slots:
    QString runExtractJDK();
    QString runCCO();
    QString runCCORestore(const QString &newPrefix);
    QString runCCORestoreUI();
    bool patchInstallation();
    bool extractCustomCCOZip(const QString &filePath, const QString &extractedDirName, bool force);
    bool checkDirectoryValidity();

private slots:
    void onReadyReadStandardOutput();
    void onReadyReadStandardError();

private:
    void onProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);
    bool extract(const QString &targetDir, const QString &filePath, const QString &extractedDirName,
                 bool force);
    // Copies `source` to a temporary file beside `destination`, mode 0755;
    // nothing (and a line naming both) when it cannot.
    std::unique_ptr<QTemporaryFile> copyBeside(const QString &source, const QString &destination);
    // Whether a CCO runs from the installation, this app's or any other;
    // if so, a line refusing `operation` names it.
    bool ccoRunsFromInstallation(const QString &operation);
    static bool runtimeCanRun(const QString &jreDir);
    // Removes what interrupted replacements of baseDir/name left, and says
    // what it could not remove.
    void cleanUpLeftovers(const QString &baseDir, const QString &name);

    // A fresh folder beside the one being replaced, and in it the folder
    // that is to take its place.
    struct Staging
    {
        QString path;
        QString unpacked;
    };
    // Lets `unpack` fill a staging folder beside baseDir/name and, when it
    // returns no error, puts the unpacked folder in place of baseDir/name;
    // returns why it failed, or nothing. unpackReplacing does it as the long
    // operation `operation`, unpackReplacingNow on the calling thread.
    QString unpackReplacing(const QString &operation, const QString &baseDir, const QString &name,
                            const std::function<QString(Staging &)> &unpack);
    QString unpackReplacingNow(const QString &baseDir, const QString &name,
                               const std::function<QString(Staging &)> &unpack);

    // Runs `work` as the long operation `name` on another thread, keeping
    // this one's events (drawing, timers) going until it is done; returns
    // what `work` returns.
    template <typename Work>
    auto whileDrawing(const QString &name, Work work) -> decltype(work());
    // Says so and returns true while a long operation runs.
    bool refuseWhileBusy();
    void setOperation(const QString &name);
    // How far the long operation is; callable from its thread.
    void reportProgress(double share);
    // Creates `baseDir` when it is missing and returns the path of the folder
    // `name` in it; empty (and a line saying so) when that folder exists and
    // `force` is false.
    QString prepareDestination(const QString &baseDir, const QString &name, bool force);

    // Starts `command` from the CCO folder in `process` with bash, with
    // JAVA_HOME ($1) and `values` ($2, $3, ...) as positional parameters, so
    // that no value is ever parsed by the shell. A refused or failed start is
    // reported on the output signal.
    void launch(const QString &dataDir, const QString &command, const QStringList &values);
    // Logs a fixed text and its value, and shows both in the output area.
    void report(const char *text, const QString &value);
    // Logs a line and shows it in the output area.
    void say(const QString &line);

    QProcess process;
    // Per-channel decoders keep a UTF-8 sequence that is split across two
    // reads intact.
    std::unique_ptr<QTextDecoder> stdoutDecoder;
    std::unique_ptr<QTextDecoder> stderrDecoder;
    // The end of the previous standard-output chunk, so that a marker split
    // across two reads is still recognised.
    QString stdoutTail;
    // Whether the program now in `process` has written CCO's stop line.
    bool stopLineSeen = false;
    QString operationName;
    double progressShare = -1;
    QAtomicInt lastPercent = -1;
    // The deletion of a replaced folder, which goes on after the operation.
    QFuture<void> deletion;
};

#endif // COMMANDEXECUTOR_H
