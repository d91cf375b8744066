// The supervisor's side of its state machine: the small named actions the
// table gives each state and event, and what entering and leaving a state
// does. What the machine leads to is in supervision.cpp.

#include "ccoprobe.h"
#include "ccosupervisor.h"
#include "installation.h"
#include "tillcounters.h"

#include <QDateTime>

#include <utility>

using Supervision::Event;

std::unique_ptr<Supervision::Machine> CcoSupervisor::newMachine()
{
    const QHash<QByteArray, Supervision::Machine::Action> actions{
        {"startCountdown", [this] { countdown.start(delays.countdownTick, delays.countdownSteps); }},
        {"launch", [this] { launch(false); }},
        {"launchByPerson", [this] { launch(true); }},
        {"cancelRestart",
         [this] {
             restart.cancel();
             say(QStringLiteral("Restart cancelled."));
         }},
        {"restartNow",
         [this] {
             say(QStringLiteral("Restarting CCO (attempt %1).").arg(unexpectedEnds));
             countRestart();
             launch(false);
         }},
        {"lookAtPortAgain", [this] { busy() ? portWait.later(delays.portLook) : launch(false); }},
        // A second readiness line does not put the page off.
        {"scheduleShow",
         [this] {
             readinessTimer.stop();
             notReady = false;
             if (!showTimer.isActive())
                 showTimer.start(delays.show);
         }},
        {"showOwn",
         [this] {
             go(State::Ready);
             watch.watch(ccoPid(), port(), delays.liveness);
             emit showRequested();
         }},
        // A CCO that another started answers: it is ready.
        {"showAdopted",
         [this] {
             if (ownRun)
                 return;
             go(State::Ready);
             emit showRequested();
         }},
        {"explainNotReady", [this] { explainNotReady(); }},
        {"stopLine", [this] { onStopLine(); }},
        {"ended", [this] { onEnded(endedWith.exitCode, endedWith.exitStatus, endedWith.stopLineSeen); }},
        // An adopted CCO is no child of this app: its end is not reported,
        // but seen in its processes.
        {"gone",
         [this] {
             if (ownRun)
                 return;
             lastEnd = End::Gone;
             emit hideRequested();
             stopCcoWithoutRunner();
             restartAfterEnd();
         }},
        {"hung",
         [this] {
             say(CcoWatch::hungLine(delays.liveness, hungJava, port()));
             emit hideRequested();
         }},
        {"restartAfterHang",
         [this] {
             if (!ownRun)
                 restartAfterEnd();
         }},
        // Shown again as soon as a load succeeds; meanwhile the maintenance
        // screen says why.
        {"pageFailed",
         [this] {
             if (page.failed(delays.pageRetry))
                 emit hideRequested();
         }},
        {"pageLoaded",
         [this] {
             page.loaded();
             pageSeen = true;
             emit pageReady();
         }},
        {"passTrial",
         [this] {
             if (ownRun)
                 trial.passed();
         }},
        {"backFromTrial", [this] { backFromTrial = true; }},
        {"stopAsked", [this] { stopFor(startAfterStop); }},
        // A fresh JVM and a fresh page, at a moment nobody uses the till.
        {"dailyRestart",
         [this] {
             say(QStringLiteral("Daily restart of CCO."));
             dailyRestarts << QDateTime::currentMSecsSinceEpoch();
             countRestart(QStringLiteral("scheduled"));
             emit renewViewRequested();
             stopFor(true);
         }},
        {"endedWhenAsked",
         [this] {
             ownRun = false;
             finishStop();
         }},
        {"stopDone", [this] { finishStop(); }},
        {"startWhenStopped", [this] { startAfterStop = true; }},
    };
    auto run = [this](State next) { exitRun(next); };
    const QHash<State, std::function<void(State)>> exits{
        {State::Countdown, [this](State) { countdown.cancel(); }},
        {State::Starting,
         [this, run](State next) {
             showTimer.stop();
             readinessTimer.stop();
             run(next);
         }},
        {State::Ready,
         [this, run](State next) {
             page.reset();
             pageSeen = false;
             run(next);
         }},
        {State::Hung, run},
        {State::PortHeld, [this](State) { portWait.stop(); }},
    };
    // A CCO's readiness window begins afresh with each run, own or found.
    const QHash<State, Supervision::Machine::Action> entries{
        {State::Starting, [this] { notReady = false; }},
    };
    auto machine = std::make_unique<Supervision::Machine>(actions, exits, entries,
                                                          [this] { emit statusChanged(); });
    if (!machine->missing().isEmpty())
        qFatal("The supervision has no action %s", machine->missing().join(", ").constData());
    return machine;
}

// Leaving a state of a running CCO: its watch ends with its page, the CCO
// another started is forgotten once the run is over.
void CcoSupervisor::exitRun(State next)
{
    if (next != State::Ready && next != State::Starting)
        watch.stop();
    if (next != State::Ready && next != State::Starting && next != State::Hung)
        adoptedPid = 0;
}

void CcoSupervisor::onStopLine()
{
    // No page of a CCO that is going away: leaving starting stops its timers.
    const bool adopted = adoptedPid > 0 && (state() == State::Starting || state() == State::Ready);
    if (adopted)
        say(QStringLiteral("CCO, started before this app, has stopped."));
    if (adopted || ownRun) {
        stopLine = true;
        go(State::Stopped);
    }
    emit hideRequested();
}

void CcoSupervisor::onEnded(int exitCode, QProcess::ExitStatus exitStatus, bool stopLineSeen)
{
    // A program that never wrote its stop line (killed, out of memory, a
    // failing script) is stopped all the same. Its timers stop here: the
    // state may stay starting, for the previous installation after a
    // failed trial.
    if (!stopLineSeen) {
        showTimer.stop();
        readinessTimer.stop();
        emit hideRequested();
    }
    if (!ownRun)
        return;
    ownRun = false;
    if (stopLine) {
        unexpectedEnds = 0;
        go(State::Stopped);
        if (std::exchange(startWhenEnded, false))
            launch(true);
        return;
    }
    lastEnd = state() == State::Hung        ? End::Hung
        : exitStatus == QProcess::CrashExit ? End::Crashed
                                            : End::ExitCode;
    lastExitCode = exitCode;
    stopCcoWithoutRunner();
    // A new installation that failed its trial: the previous one at once.
    if (trial.died()) {
        countRestart();
        return launch(false);
    }
    restartAfterEnd();
}

void CcoSupervisor::countRestart(const QString &reason)
{
    const QString why = !reason.isEmpty() ? reason
        : lastEnd == End::Hung            ? QStringLiteral("hung")
        : lastEnd == End::Gone            ? QStringLiteral("gone")
        : lastEnd == End::Crashed         ? QStringLiteral("crashed")
                                          : QStringLiteral("exit");
    const Outcome counted = TillCounters::addRestart(Installation::dataFolder(), why);
    if (!counted.ok())
        say(QStringLiteral("The restart could not be counted: %1.").arg(counted.why()));
}

void CcoSupervisor::restartAfterEnd()
{
    const qint64 delay = restartDelay(unexpectedEnds, runClock.isValid() ? runClock.elapsed() : 0,
                                      delays, &unexpectedEnds);
    ended = true;
    if (state() == State::Hung)
        lastEnd = End::Hung;
    restart.schedule(delay);
    // Said as the wait begins, before the status file is written for it.
    const QString how =
        (lastEnd == End::Hung ? QStringLiteral("it ") : QString()) + lastEndInWords();
    say(QStringLiteral("CCO stopped unexpectedly (%1). Restarting in %2 seconds.")
            .arg(how)
            .arg((delay + 999) / 1000));
    go(State::RestartWait);
}

void CcoSupervisor::explainNotReady()
{
    if (ccoPid() == 0)
        return;
    notReady = true;
    emit statusChanged();
    for (const QString &line : CcoProbe::whoServes(Installation::dataFolder(), delays.readiness, port()))
        say(line);
}
