#include "countdown.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr qint64 kDayMs = 24 * 3600 * 1000LL;

} // namespace

Countdown::Countdown(const std::function<bool()> &busy, QObject *parent)
    : QObject(parent)
    , busy(busy)
{
    // N steps take N ticks: CCO starts as the count would reach 0.
    connect(&timer, &QTimer::timeout, this, [this] {
        if (this->busy()) {
            timer.setInterval(this->stepMs); // a start at once waits in steps, too
            return;
        }
        if (--stepsLeft <= 0) {
            stepsLeft = 0;
            timer.stop();
            emit finished();
            return;
        }
        emit stepped();
    });
}

void Countdown::start(int stepMs, int steps)
{
    this->stepMs = stepMs;
    stepsLeft = steps;
    timer.start(steps > 0 ? stepMs : 0);
}

RestartSchedule::RestartSchedule(const std::function<bool()> &busy, QObject *parent)
    : QObject(parent)
    , busy(busy)
{
    clock.start();
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &RestartSchedule::tick);
}

qint64 RestartSchedule::delay(int endsInARow, qint64 runMs, qint64 first, qint64 longest,
                              qint64 longRun, int *endsAfter)
{
    if (runMs >= longRun)
        endsInARow = 0;
    *endsAfter = endsInARow + 1;
    return qMin<qint64>(first << qMin(endsInARow, 20), longest);
}

void RestartSchedule::schedule(qint64 delayMs)
{
    dueAt = clock.elapsed() + delayMs;
    timer.start(int(qMin<qint64>(delayMs, 1000)));
}

qint64 RestartSchedule::secondsLeft() const
{
    return qMax<qint64>(0, (dueAt - clock.elapsed() + 999) / 1000);
}

int RestartSchedule::inLastDay(const QList<qint64> &times)
{
    const qint64 dayAgo = QDateTime::currentMSecsSinceEpoch() - kDayMs;
    return int(std::count_if(times.begin(), times.end(),
                             [dayAgo](qint64 at) { return at > dayAgo; }));
}

void RestartSchedule::tick()
{
    if (clock.elapsed() < dueAt || busy()) {
        timer.start(int(qBound<qint64>(1, dueAt - clock.elapsed(), 1000)));
        emit ticked();
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    restarts.erase(std::remove_if(restarts.begin(), restarts.end(),
                                  [now](qint64 at) { return at < now - kDayMs; }),
                   restarts.end());
    restarts << now;
    emit due();
}
