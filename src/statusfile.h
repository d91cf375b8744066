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
// it and a stale heartbeat tells that the app is gone. Its readers' side is
// StatusReport.
class StatusFile : public QObject
{
    Q_OBJECT

public:
    static constexpr int kHeartbeatMs = 60000;

    StatusFile(CcoSupervisor *supervisor, CommandExecutor *executor, QObject *parent = nullptr);

    static QString path(const QString &dataFolder);
    // Writes the status now, if anything but the heartbeat changed or
    // `always`.
    void write(bool always = false);

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
