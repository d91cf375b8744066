// What the supervisor says of CCO: the status line in the device's
// language, the last unexpected end in words for the log and a monitor, and
// the status it publishes.

#include "ccosupervisor.h"

QString CcoSupervisor::status() const
{
    if (page.failing() && pageShown())
        return tr("CCO's page does not answer yet");
    if (backFromTrial && state == State::Starting)
        return tr("The new installation never got ready; the previous one is back");
    switch (state) {
    case State::Idle:
        return QString();
    case State::Countdown:
        return tr("Starting CCO in %1 seconds").arg(countdown.left());
    case State::Starting:
        return tr("CCO is starting");
    case State::Ready:
        return adoptedPid > 0 ? tr("CCO is running (started before this app)")
                              : tr("CCO is running");
    case State::PortHeld:
        return portWait.statusLine();
    case State::Hung:
        return tr("CCO stopped answering. Stopping it");
    case State::RestartWait: {
        const qint64 seconds = restart.secondsLeft();
        if (lastEnd == End::Hung)
            return tr("CCO stopped answering. Restarting in %1 seconds").arg(seconds);
        return tr("CCO stopped unexpectedly (%1). Restarting in %2 seconds")
            .arg(lastEnd == End::Crashed    ? tr("crashed")
                     : lastEnd == End::Gone ? tr("its processes are gone")
                                            : tr("exit code %1").arg(lastExitCode))
            .arg(seconds);
    }
    case State::Stopped:
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
    static const QMap<State, QString> names{{State::Idle, QStringLiteral("idle")},
                                            {State::Countdown, QStringLiteral("idle")},
                                            {State::Starting, QStringLiteral("starting")},
                                            {State::Ready, QStringLiteral("ready")},
                                            {State::RestartWait, QStringLiteral("restarting")},
                                            {State::Stopped, QStringLiteral("stopped")},
                                            {State::PortHeld, QStringLiteral("stranger")},
                                            {State::Hung, QStringLiteral("hung")}};
    SupervisionStatus status;
    status.state = exec && exec->isBusy()      ? QStringLiteral("operation")
        : state == State::Starting && notReady ? QStringLiteral("not-ready")
        : page.failing()                       ? QStringLiteral("starting")
                                               : names.value(state);
    status.pid = state == State::RestartWait || state == State::Stopped ? 0 : ccoPid();
    status.restarts24h = restart.restartsInLastDay();
    status.lastEnd = lastEndInWords();
    return status;
}
