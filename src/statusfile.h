#ifndef STATUSFILE_H
#define STATUSFILE_H

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

class CcoSupervisor;
class CommandExecutor;

// status.json in the data folder: how the till is, for a fleet's monitor
// (a textfile collector, a check over ssh or adb). Replaced whole on every
// change and at least every minute, so that a reader never sees half of
// it and a stale heartbeat tells that the app is gone. The readers'
// side, for `varnolet-provision status`, is here too.
class StatusFile : public QObject
{
    Q_OBJECT

public:
    static constexpr int kHeartbeatMs = 60000;
    // A heartbeat older than this: the app is gone.
    static constexpr qint64 kStaleSeconds = 180;

    StatusFile(CcoSupervisor *supervisor, CommandExecutor *executor, QObject *parent = nullptr);

    static QString path(const QString &dataFolder);
    // Writes the status now, if anything but the heartbeat changed or
    // `always`.
    void write(bool always = false);

    // No status is larger: a larger file is not read.
    static constexpr qint64 kLargestBytes = 64 * 1024;
    // The status in `path`, read without waiting: false when there is none,
    // it is no regular file, too large, or not JSON; `why` says which.
    static bool read(const QString &path, QJsonObject *status, QString *why = nullptr);
    // The monitoring-plugin convention: 0 ready; 1 on the way (idle,
    // starting, restarting, operation); 2 down (stopped, hung, not-ready,
    // stranger, or the heartbeat stale); 3 unknown.
    static int exitStatus(const QJsonObject &status, const QDateTime &now);
    // The Prometheus text format, for node_exporter's textfile collector.
    static QString prometheus(const QJsonObject &status, const QDateTime &now);
    // One line a field, nested fields as "installation.present".
    static QString forPerson(const QJsonObject &status);

private:
    static QString pinState();
    QJsonObject snapshot() const;
    // idle, starting, ready, restarting, stopped, hung, not-ready or operation.
    QString stateName() const;

    CcoSupervisor *supervisor;
    QPointer<CommandExecutor> executor; // may go first when the view is torn down
    QString dataFolder;
    QTimer heartbeat;
    QString state;
    QDateTime since;
    QJsonObject written;
};

#endif // STATUSFILE_H
