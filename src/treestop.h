#ifndef TREESTOP_H
#define TREESTOP_H

#include <QList>
#include <QObject>
#include <QTimer>

// Stops a process and everything it started as a person would want it
// stopped: SIGTERM to the whole tree, SIGKILL to what is left after a
// while, and one report once every process of it is gone. A process that
// has ended but whose parent has not reaped it yet counts as gone.
class TreeStop : public QObject
{
    Q_OBJECT

public:
    static constexpr int kKillAfterMs = 30000;

    explicit TreeStop(QObject *parent = nullptr);

    // Stops the tree of `root`; false when it is gone already.
    bool stop(qint64 root, int killAfterMs = kKillAfterMs);
    bool isRunning() const { return poll.isActive(); }

signals:
    // Every process of the tree is gone; `killed` when some needed SIGKILL.
    void ended(bool killed);

private:
    void look();

    QList<qint64> tree;
    QTimer poll;
    QTimer kill;
    bool killed = false;
};

#endif // TREESTOP_H
