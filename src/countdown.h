#ifndef COUNTDOWN_H
#define COUNTDOWN_H

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// The waits of the supervision that stand still while the backend is busy
// (an import, an unpack, a patch): nothing starts CCO under one of those.

// The countdown to the first start: some steps (five unless set otherwise)
// down to 0, then finished(); with none, finished() at the next turn of the
// event loop, when nothing is busy.
class Countdown : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSteps = 5;

    Countdown(const std::function<bool()> &busy, QObject *parent = nullptr);

    void start(int stepMs, int steps = kSteps);
    void cancel() { timer.stop(); }
    int left() const { return stepsLeft; }

signals:
    void stepped();
    void finished();

private:
    std::function<bool()> busy;
    QTimer timer;
    int stepsLeft = kSteps;
    int stepMs = 1000;
};

// The restart after an unexpected end: due after a delay, or as soon as
// the backend is free once that has passed. Remembers the restarts of the
// last 24 hours.
class RestartSchedule : public QObject
{
    Q_OBJECT

public:
    RestartSchedule(const std::function<bool()> &busy, QObject *parent = nullptr);

    // The wait after an end that `endsInARow` ends came before, of a run
    // that lasted `runMs`: `first`, doubled for each end before, at most
    // `longest`; a run of `longRun` counts as a fresh start. The ends in a
    // row counting this one go to `endsAfter`.
    static qint64 delay(int endsInARow, qint64 runMs, qint64 first, qint64 longest, qint64 longRun,
                        int *endsAfter);

    void schedule(qint64 delayMs);
    void cancel() { timer.stop(); }
    bool isPending() const { return timer.isActive(); }
    qint64 secondsLeft() const;
    int restartsInLastDay() const { return inLastDay(restarts); }
    // How many of `times`, in milliseconds since the epoch, lie within the last 24 hours.
    static int inLastDay(const QList<qint64> &times);

signals:
    // Each second while it waits, for the status line.
    void ticked();
    void due();

private:
    void tick();

    std::function<bool()> busy;
    QTimer timer;
    QElapsedTimer clock;
    qint64 dueAt = 0;
    // When the restarts came, in milliseconds since the epoch.
    QList<qint64> restarts;
};

#endif // COUNTDOWN_H
