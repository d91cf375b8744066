#ifndef UPDATES_H
#define UPDATES_H

#include "outcome.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Safe updates of the CCO installation. An import keeps the installation it
// replaced as CustomerCheckout.previous (one, the newest), where the disk
// has room for both. The first start after an import is a trial, kept on
// disk beside the installation so that it survives a restart of the app or
// the device: the new installation passes when CCO says it is ready and its
// page answers, and fails when CCO dies three times in a row before that or
// does not get ready in time. A failed one is put aside as
// CustomerCheckout.failed and the previous one put back, once.
namespace Updates {

// The least free space that keeping the previous installation may leave:
// this many bytes and a tenth of the disk.
constexpr qint64 kMinimumFreeBytes = 500LL * 1000 * 1000;
constexpr int kTrialDeaths = 3;

QString previousFolder(const QString &dataFolder);
QString failedFolder(const QString &dataFolder);
bool hasPrevious(const QString &dataFolder);

// Whether keeping the previous installation leaves `available` bytes of a
// disk of `total`: enough when they are `minimumFree` and a tenth.
bool roomToKeep(qint64 available, qint64 total, qint64 minimumFree = kMinimumFreeBytes);

enum class Kept { Kept, NoRoom, Failed };
// Keeps the installation that an import replaced (set aside at
// `replaced`) as the previous one, replacing an older one; on the
// deletion's thread.
Kept keepAsPrevious(const QString &replaced, const QString &dataFolder, qint64 minimumFree);
// Keeps the replaced installation (`keep`) or deletes the replaced folder;
// a line saying what could not be done, or nothing.
QString keepOrDelete(const QString &replaced, const QString &dataFolder, bool keep,
                     qint64 minimumFree = kMinimumFreeBytes);

// Puts the previous installation back in place. The current one becomes
// the previous one, or, after a failed trial (`failed`), the failed one.
Outcome rollBack(const QString &dataFolder, bool failed);

// Where the trial of a new installation keeps its deaths so far.
QString trialFile(const QString &dataFolder);
void beginTrial(const QString &dataFolder);

} // namespace Updates

// The trial of a freshly imported installation, as CCO runs it.
class InstallationTrial : public QObject
{
    Q_OBJECT

public:
    // `ccoPid` tells the process of the CCO on trial.
    InstallationTrial(const QString &dataFolder, const std::function<qint64()> &ccoPid,
                      QObject *parent = nullptr);

    bool isOn() const;
    // CCO started from the installation; not ready within `readinessMs`
    // (when the trial is on) it fails, and CCO is stopped: SIGTERM, and
    // SIGKILL `killAfterMs` later. `deaths` in a row fail it too.
    void started(int readinessMs, int killAfterMs, int deaths);
    // CCO said it is ready and its page answered.
    void passed();
    // CCO is stopped on purpose: no failure, and the trial goes on with its
    // next start.
    void interrupted() { readiness.stop(); }
    // CCO ended unexpectedly; true when that ends the trial by a rollback,
    // which is done by then (rolledBack() or rollbackFailed() said so).
    bool died();

signals:
    void rolledBack();
    // A line for the output area and the log.
    void message(const QString &line);

private:
    QString file() const;
    int deaths() const;
    void setDeaths(int deaths);
    bool rollBack();

    QString dataFolder;
    std::function<qint64()> ccoPid;
    int killAfter = 10000;
    int deathsToFail = Updates::kTrialDeaths;
    QTimer readiness;
    bool failedNow = false;
};

#endif // UPDATES_H
