#include "supervision.h"

namespace Supervision {

// What each event does in each state. An event without a row for the
// state it meets (nor one for Any) changes nothing. A row whose `to` is
// Decided leaves the step to its action: a start, say, may come to a CCO
// starting, one found running, a wait for the restore tool or another
// program on CCO's port. A null action is the step alone.
const QVector<Row> &table()
{
    using S = State;
    using E = Event;
    static const QVector<Row> rows{
        {S::Idle, E::CountdownAsked, S::Countdown, "startCountdown"},
        {S::Countdown, E::CountdownEnded, S::Decided, "launch"},
        {S::Countdown, E::CancelAsked, S::Idle, nullptr},
        {S::PortHeld, E::CancelAsked, S::Idle, nullptr},
        {S::RestartWait, E::CancelAsked, S::Stopped, "cancelRestart"},
        {Any, E::StartAsked, S::Decided, "launchByPerson"},
        {Any, E::RestartDue, S::Decided, "restartNow"},
        {Any, E::PortLookDue, S::Decided, "lookAtPortAgain"},
        {S::Starting, E::ReadinessLine, S::Starting, "scheduleShow"},
        {S::Starting, E::ShowDue, S::Decided, "showOwn"},
        {S::Starting, E::FirstAnswer, S::Decided, "showAdopted"},
        {S::Starting, E::ReadinessWindowPassed, S::Starting, "explainNotReady"},
        {Any, E::StopLine, S::Decided, "stopLine"},
        {Any, E::Ended, S::Decided, "ended"},
        {Any, E::Gone, S::Decided, "gone"},
        {Any, E::PageMissed, S::Hung, "hung"},
        {S::Hung, E::HungStopped, S::Decided, "restartAfterHang"},
        {S::Ready, E::PageLoadFailed, S::Ready, "pageFailed"},
        {S::Ready, E::PageLoaded, S::Ready, "pageLoaded"},
        {Any, E::TrialPassed, S::Decided, "passTrial"},
        {Any, E::TrialFailed, S::Decided, "backFromTrial"},
        // A stop asked for is a clean one: its CCO's end is no death, and
        // nothing but its own end leads out of it.
        {Any, E::StopAsked, S::Decided, "stopAsked"},
        {S::Ready, E::DailyRestartDue, S::Decided, "dailyRestart"},
        {S::Stopping, E::Ended, S::Stopping, "endedWhenAsked"},
        {S::Stopping, E::StopDone, S::Decided, "stopDone"},
        {S::Stopping, E::StartAsked, S::Stopping, "startWhenStopped"},
        {S::Stopping, E::StopLine, S::Stopping, nullptr},
        {S::Stopping, E::Gone, S::Stopping, nullptr},
        {S::Stopping, E::PageMissed, S::Stopping, nullptr},
        {S::Stopping, E::RestartDue, S::Stopping, nullptr},
        {S::Stopping, E::PortLookDue, S::Stopping, nullptr},
    };
    return rows;
}

const Row *rowFor(State state, Event event)
{
    const Row *any = nullptr;
    for (const Row &row : table()) {
        if (row.event != event)
            continue;
        if (row.from == state)
            return &row;
        if (row.from == Any)
            any = &row;
    }
    return any;
}

Machine::Machine(const QHash<QByteArray, Action> &actions,
                 const QHash<State, std::function<void(State)>> &exits,
                 const QHash<State, Action> &entries, const Action &changed)
    : actions(actions)
    , exits(exits)
    , entries(entries)
    , changed(changed)
{
}

void Machine::deliver(Event event)
{
    const Row *row = rowFor(now, event);
    if (!row)
        return;
    if (row->action)
        actions.value(row->action)();
    if (row->to != State::Decided)
        go(row->to);
}

void Machine::go(State next)
{
    if (next != now) {
        if (exits.contains(now))
            exits.value(now)(next);
        now = next;
        if (entries.contains(next))
            entries.value(next)();
    }
    if (changed)
        changed();
}

QByteArrayList Machine::missing() const
{
    QByteArrayList names;
    for (const Row &row : table()) {
        if (row.action && !actions.contains(row.action) && !names.contains(row.action))
            names << row.action;
    }
    return names;
}

} // namespace Supervision
