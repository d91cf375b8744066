#ifndef SUPERVISIONSTATUS_H
#define SUPERVISIONSTATUS_H

#include <QJsonValue>
#include <QString>

// The states a status file names, each spelled here alone, and what each
// tells a monitor while the app is there: 0 ready, 1 on the way, 2 down.
enum class Published {
    Idle,
    Starting,
    Ready,
    Restarting,
    Stopped,
    Hung,
    NotReady,
    Stranger,
    Operation,
    Stopping
};
struct PublishedName
{
    Published state;
    const char *name;
    int exitCode;
};
inline constexpr PublishedName kPublished[] = {
    {Published::Idle, "idle", 1},         {Published::Starting, "starting", 1},
    {Published::Ready, "ready", 0},       {Published::Restarting, "restarting", 1},
    {Published::Stopped, "stopped", 2},   {Published::Hung, "hung", 2},
    {Published::NotReady, "not-ready", 2}, {Published::Stranger, "stranger", 2},
    {Published::Operation, "operation", 1}, {Published::Stopping, "stopping", 1},
};
inline QString nameOf(Published state)
{
    for (const PublishedName &published : kPublished) {
        if (published.state == state)
            return QLatin1String(published.name);
    }
    return QString();
}

// How the supervision of CCO stands, as the supervisor hands it out after
// every change, for the status file to write.
struct SupervisionStatus
{
    QString state = nameOf(Published::Idle);
    qint64 pid = 0; // CCO's process; 0 when none runs
    int restarts24h = 0;
    int restartAttempt = 0; // the restart that is waited for; 0 when none
    QString lastEnd; // the last unexpected end in words; empty before one
    int scheduledRestarts24h = 0; // the daily restarts, never counted as deaths
    QJsonValue hold; // reason, since, until; null when none
    bool free = true; // whether disruptive work may be done now
    QString notFree; // why not: "outside the window", "held: REASON", "in use"

    bool operator==(const SupervisionStatus &other) const
    {
        return state == other.state && pid == other.pid && restarts24h == other.restarts24h
            && restartAttempt == other.restartAttempt
            && lastEnd == other.lastEnd && scheduledRestarts24h == other.scheduledRestarts24h
            && hold == other.hold && free == other.free && notFree == other.notFree;
    }
};

#endif // SUPERVISIONSTATUS_H
