#include "dailyrestart.h"

DailyRestart::Step DailyRestart::look(const QDateTime &now, int minute, bool windowOpen,
                                      bool freeAndShown)
{
    if (minute < 0) {
        due = QDateTime();
        return Step::Nothing;
    }
    const QDateTime today(now.date(), QTime(minute / 60, minute % 60), now.timeSpec());
    const QDateTime last = today <= now ? today : today.addDays(-1);
    if (last != due) {
        const bool first = !due.isValid();
        const bool missed = !first && pending();
        due = last;
        openSeen = false;
        done = first;
        if (missed)
            return Step::LeftForTomorrow;
    }
    if (!pending())
        return Step::Nothing;
    openSeen = openSeen || windowOpen;
    if (freeAndShown) {
        done = true;
        return Step::Restart;
    }
    if (openSeen && !windowOpen) {
        done = true;
        return Step::LeftForTomorrow;
    }
    return Step::Nothing;
}
