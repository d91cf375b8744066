#ifndef STATUSFILE_H
#define STATUSFILE_H

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include "supervisionstatus.h"

// status.json in the data folder: how the till is, for a fleet's monitor
// (a textfile collector, a check over ssh or adb). Replaced whole on every
// change and at least every minute, so that a reader never sees half of
// it and a stale heartbeat tells that the app is gone. It writes what the
// supervisor publishes and what the data folder shows, and knows nothing
// else of the app. Its readers' side is StatusReport.
class StatusFile : public QObject
{
    Q_OBJECT

public:
    static constexpr int kHeartbeatMs = 60000;

    explicit StatusFile(QObject *parent = nullptr);

    static QString path(const QString &dataFolder);
    // The supervision's status, written at once where it changed.
    void publish(const SupervisionStatus &status);
    // Writes the status now, if anything but the heartbeat changed or
    // `always`.
    void write(bool always = false);
    // Whether a maintenance PIN guards the till: "none", "set", "damaged".
    static QString pinState();

private:
    QJsonObject snapshot() const;

    SupervisionStatus published;
    QString dataFolder;
    QTimer heartbeat;
    QString state;
    QDateTime since;
    QJsonObject written;
};

#endif // STATUSFILE_H
