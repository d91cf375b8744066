// What the supervisor does about the processes of the installation it did
// not start itself: a CCO found running, looked after as its own; the
// restore tool found running, waited for; a CCO whose runner has ended,
// stopped and started again so that its output is kept.

#include "ccoprobe.h"
#include "ccosupervisor.h"
#include "processtree.h"

#include <csignal>

void CcoSupervisor::adopt(qint64 pid, const QString &description)
{
    say(QStringLiteral("CCO is already running (%1): looking after it instead of starting "
                       "another.")
            .arg(description));
    stopLine = false;
    adoptedPid = pid;
    go(State::Starting);
    runClock.start();
    readinessTimer.start(delays.readiness);
    // Shown at its first answer, or after its readiness line.
    watch.watch(pid, port(), delays.liveness, delays.watch);
}

void CcoSupervisor::waitForRestoreTool(qint64 pid, const QString &description)
{
    if (pid != waitedPid)
        say(QStringLiteral("The restore tool is running (%1): CCO starts once it has ended.")
                .arg(description));
    waitedPid = pid;
    // The countdown stands still while the tool runs, and starts CCO after it.
    countdown.start(delays.countdownTick, delays.countdownSteps);
    go(State::Countdown);
}

void CcoSupervisor::stopCcoWithoutRunner()
{
    const CcoProbe::Cco orphan = CcoProbe::runningCco(Installation::dataFolder(), port());
    if (orphan.pid == 0)
        return;
    say(QStringLiteral("CCO runs on without its runner (%1): its output can no longer be kept. "
                       "Stopping it to start it again.")
            .arg(orphan.description));
    const QList<qint64> tree = ProcessTree::of(orphan.pid);
    ProcessTree::signal(tree, SIGTERM);
    QTimer::singleShot(delays.liveness.killAfter, this,
                       [tree] { ProcessTree::signal(tree, SIGKILL); });
    // The restart waits for its end.
    waitedPid = orphan.pid;
}
