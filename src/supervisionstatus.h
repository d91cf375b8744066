#ifndef SUPERVISIONSTATUS_H
#define SUPERVISIONSTATUS_H

#include <QString>

// How the supervision of CCO stands, as the supervisor hands it out after
// every change, for the status file to write.
struct SupervisionStatus
{
    // idle, starting, ready, restarting, stopped, hung, not-ready, stranger
    // or operation.
    QString state = QStringLiteral("idle");
    qint64 pid = 0; // CCO's process; 0 when none runs
    int restarts24h = 0;
    QString lastEnd; // the last unexpected end in words; empty before one

    bool operator==(const SupervisionStatus &other) const
    {
        return state == other.state && pid == other.pid && restarts24h == other.restarts24h
            && lastEnd == other.lastEnd;
    }
};

#endif // SUPERVISIONSTATUS_H
