#ifndef DAILYRESTART_H
#define DAILYRESTART_H

#include <QDateTime>

// When the daily restart of CCO falls: once a day, at the first look at or
// after its time when the till is free and CCO's page is shown. A CCO
// started afresh after that time needs none that day. One that the window
// closes on before the till was free, or that the next day's time comes
// upon, is left for the next day. A time that passed before the first look
// (before the app was opened) is not caught up. The clock is the caller's.
class DailyRestart
{
public:
    enum class Step { Nothing, Restart, LeftForTomorrow };

    // CCO started afresh at `at`.
    void fresh(const QDateTime &at) { freshAt = at; }
    // `minute`: the time of day of the restart in minutes; -1 when none is set.
    Step look(const QDateTime &now, int minute, bool windowOpen, bool freeAndShown);

private:
    bool pending() const { return !done && !(freshAt.isValid() && freshAt >= due); }

    QDateTime due; // the last time of the restart that came
    QDateTime freshAt;
    bool openSeen = false; // the window was open since `due`
    bool done = false; // taken, left for the next day, or before the first look
};

#endif // DAILYRESTART_H
