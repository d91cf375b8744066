#ifndef SUPERVISION_H
#define SUPERVISION_H

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QVector>

#include <functional>

// The supervision of CCO as one state machine: its states, the events that
// reach it, and for each state and event the one named action taken and
// the state it leads to. Each state may have an entry and an exit action.
// The machine knows nothing of processes: the supervisor carries the
// actions out, and the table can be tested alone.
namespace Supervision {
Q_NAMESPACE

enum class State {
    Idle, // before the countdown, or after it was cancelled
    Countdown, // to the first start; also while the restore tool runs
    Starting, // CCO runs, its page not shown yet
    Ready, // CCO's page is shown
    Hung, // CCO stopped answering and is being stopped
    RestartWait, // after an unexpected end
    Stopped, // CCO said its stop line, or a restart was cancelled
    PortHeld, // another program holds CCO's address
    Stopping, // asked from outside, or for the daily restart: no death
    // Room for what comes next: held by a fleet's operator, waiting for a
    // free moment, updating.
    Held,
    WaitingForFreeMoment,
    Updating,
    // In a row of the table: the action decides where the machine goes.
    Decided,
};
Q_ENUM_NS(State)

enum class Event {
    CountdownAsked, // the view is up with a runnable installation
    CountdownEnded,
    StartAsked, // a person's Run CCO
    CancelAsked, // a tap on the status line
    RestartDue,
    PortLookDue, // time to look at CCO's address again
    ReadinessLine,
    ShowDue, // the wait from the readiness line to the page is over
    FirstAnswer, // a CCO started elsewhere answered
    ReadinessWindowPassed,
    StopLine,
    Ended, // the program CCO ran in ended: the one route of its end
    Gone, // a CCO started elsewhere is gone
    PageMissed, // CCO missed its answers in a row: hung
    HungStopped, // a hung CCO's processes were told to end
    PageLoadFailed,
    PageLoaded,
    TrialPassed,
    TrialFailed, // the new installation was rolled back
    StopAsked, // from outside
    StopDone, // every process of a CCO being stopped is gone
    DailyRestartDue, // the till is free and CCO's page shown
    // For what comes next.
    OperationBegan,
    OperationEnded,
    RestoreToolBegan,
    RestoreToolEnded,
    Hold,
    Release,
    WindowOpened,
    UpdatePending,
};
Q_ENUM_NS(Event)

inline uint qHash(State state, uint seed = 0)
{
    return ::qHash(int(state), seed);
}

// A cell of the table: in `from` (Any: in every state without a row of
// its own), `event` runs `action` and leads to `to`.
constexpr State Any = State::Decided;
struct Row
{
    State from;
    Event event;
    State to;
    const char *action;
};
const QVector<Row> &table();
// The row that handles `event` in `state`; null when the event changes
// nothing there.
const Row *rowFor(State state, Event event);

class Machine
{
public:
    using Action = std::function<void()>;
    // `actions` by the names the table gives them; `exits` run on leaving
    // a state (told where to), `entries` on entering one; `changed` after
    // every step, also one that stays.
    Machine(const QHash<QByteArray, Action> &actions, const QHash<State, std::function<void(State)>> &exits,
            const QHash<State, Action> &entries, const Action &changed);

    State state() const { return now; }
    void deliver(Event event);
    // Where an action decides: exits the state, enters `next`.
    void go(State next);
    // The table's actions that were not given: none, in a sound build.
    QByteArrayList missing() const;

private:
    QHash<QByteArray, Action> actions;
    QHash<State, std::function<void(State)>> exits;
    QHash<State, Action> entries;
    Action changed;
    State now = State::Idle;
};

} // namespace Supervision

#endif // SUPERVISION_H
