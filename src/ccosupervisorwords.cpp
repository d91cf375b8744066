// What the supervisor says of CCO: the status line in the device's
// language, the last unexpected end in words for the log and a monitor, and
// the status it publishes.

#include "ccosupervisor.h"

#include "installation.h"
#include "pendingupdate.h"

QString CcoSupervisor::status() const
{
    Shown shown;
    shown.state = state();
    shown.pageFailing = page.failing() && pageShown();
    shown.backFromTrial = backFromTrial;
    shown.adopted = adoptedPid > 0;
    shown.countdownLeft = countdown.left();
    shown.restartLeft = restart.secondsLeft();
    shown.portHolder = portWait.holderNow();
    shown.port = port();
    shown.lastEnd = lastEnd;
    shown.exitCode = lastExitCode;
    shown.hold = free.hold().set ? free.hold().reason : QString();
    shown.updatePending = PendingUpdate::pending(Installation::dataFolder()).pending;
    return statusLine(shown);
}

QString CcoSupervisor::statusLine(const Shown &shown)
{
    QStringList parts{stateLine(shown)};
    if (!shown.hold.isEmpty())
        parts << tr("held: %1").arg(shown.hold);
    if (shown.updatePending)
        parts << tr("update pending");
    parts.removeAll(QString());
    QString line = parts.join(QStringLiteral(" · "));
    if (!line.isEmpty())
        line[0] = line[0].toUpper();
    return line;
}

QString CcoSupervisor::stateLine(const Shown &shown)
{
    if (shown.pageFailing)
        return tr("CCO's page does not answer yet");
    if (shown.backFromTrial && shown.state == State::Starting)
        return tr("The new installation never got ready; the previous one is back");
    switch (shown.state) {
    case State::Idle:
        return QString();
    case State::Countdown:
        return tr("Starting CCO in %n second(s)", nullptr, int(shown.countdownLeft));
    case State::Starting:
        return tr("CCO is starting");
    case State::Ready:
        return shown.adopted ? tr("CCO is running (started before this app)") : tr("CCO is running");
    case State::PortHeld:
        return PortWait::statusLine(shown.portHolder, shown.port);
    case State::Hung:
        return tr("CCO stopped answering. Stopping it");
    case State::Stopping:
        return tr("Stopping CCO");
    case State::Updating:
        return tr("Updating CCO");
    case State::RestartWait: {
        const int seconds = int(shown.restartLeft);
        if (shown.lastEnd == End::Hung)
            return tr("CCO stopped answering. Restarting in %n second(s)", nullptr, seconds);
        const QString how = shown.lastEnd == End::Crashed ? tr("crashed")
            : shown.lastEnd == End::Gone                  ? tr("its processes are gone")
                                                          : tr("exit code %1").arg(shown.exitCode);
        return tr("CCO stopped unexpectedly (%1). Restarting in %n second(s)", nullptr, seconds)
            .arg(how);
    }
    case State::Stopped:
    default:
        break;
    }
    return tr("CCO has stopped");
}

QString CcoSupervisor::lastEndInWords() const
{
    return !ended                 ? QString()
        : lastEnd == End::Hung    ? QStringLiteral("stopped answering")
        : lastEnd == End::Gone    ? QStringLiteral("its processes are gone")
        : lastEnd == End::Crashed ? QStringLiteral("crashed")
                                  : QStringLiteral("exit code %1").arg(lastExitCode);
}

SupervisionStatus CcoSupervisor::published() const
{
    Published now = Published::Idle;
    switch (state()) {
    case State::Starting:
        now = notReady ? Published::NotReady : Published::Starting;
        break;
    case State::Ready:
        now = page.failing() ? Published::Starting : Published::Ready;
        break;
    case State::RestartWait:
        now = Published::Restarting;
        break;
    case State::Stopped:
        now = Published::Stopped;
        break;
    case State::PortHeld:
        now = Published::Stranger;
        break;
    case State::Hung:
        now = Published::Hung;
        break;
    case State::Stopping:
        now = Published::Stopping;
        break;
    case State::Updating:
        now = Published::Operation;
        break;
    default: // idle, counting down, and the states still to come
        break;
    }
    SupervisionStatus status;
    status.state = nameOf(exec && exec->isBusy() ? Published::Operation : now);
    status.pid = state() == State::RestartWait || state() == State::Stopped ? 0 : ccoPid();
    status.restarts24h = restart.restartsInLastDay();
    status.restartAttempt = state() == State::RestartWait ? unexpectedEnds : 0;
    status.lastEnd = lastEndInWords();
    status.scheduledRestarts24h = RestartSchedule::inLastDay(dailyRestarts);
    status.hold = free.hold().json();
    status.free = free.freedom().free;
    status.notFree = free.freedom().why;
    return status;
}
