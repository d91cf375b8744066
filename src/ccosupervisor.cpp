#include "ccosupervisor.h"

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "installation.h"
#include "statusfile.h"

#include <QDebug>

#include <QRegularExpression>
CcoSupervisor::Delays CcoSupervisor::defaultDelays;

CcoSupervisor::CcoSupervisor(QObject *parent)
    : QObject(parent)
    , trial(Installation::dataFolder(), [this] { return ccoPid(); })
{
    connect(&trial, &InstallationTrial::message, this, &CcoSupervisor::say);
    connect(&trial, &InstallationTrial::rolledBack, this, [this] { backFromTrial = true; });
    connect(&watch, &CcoWatch::answered, this, [this] {
        if (ownRun)
            trial.passed();
    });
    showTimer.setSingleShot(true);
    // A coarse timer may fire 5% late: 150 ms on the page's 3 s.
    showTimer.setTimerType(Qt::PreciseTimer);
    connect(&showTimer, &QTimer::timeout, this, [this] {
        setState(State::Ready);
        watch.watch(ccoPid(), delays.liveness);
        emit showRequested();
    });
    readinessTimer.setSingleShot(true);
    connect(&readinessTimer, &QTimer::timeout, this, &CcoSupervisor::explainNotReady);
    connect(&countdown, &Countdown::stepped, this, &CcoSupervisor::statusChanged);
    connect(&countdown, &Countdown::finished, this, [this] { launch(false); });
    connect(&restart, &RestartSchedule::ticked, this, &CcoSupervisor::statusChanged);
    connect(&restart, &RestartSchedule::due, this, [this] {
        say(QStringLiteral("Restarting CCO (attempt %1).").arg(unexpectedEnds));
        launch(false);
    });
    pageRetryTimer.setSingleShot(true);
    connect(&pageRetryTimer, &QTimer::timeout, this, [this] {
        if (pageFailing && pageShown())
            emit loadRequested();
    });
    connect(&watch, &CcoWatch::firstAnswer, this, [this] {
        if (state != State::Elsewhere || shownElsewhere)
            return;
        shownElsewhere = true;
        emit statusChanged();
        emit showRequested();
    });
    connect(&watch, &CcoWatch::gone, this, [this] {
        if (state != State::Elsewhere)
            return; // this app's own CCO: its end is reported
        say(QStringLiteral("CCO no longer answers on 127.0.0.1:%1.").arg(CcoProbe::ccoPort));
        setState(State::Stopped);
        emit hideRequested();
    });
    connect(&watch, &CcoWatch::hung, this, &CcoSupervisor::onHung);
    connect(&watch, &CcoWatch::stopped, this, [this] {
        // An adopted CCO is no child of this app: its end is not reported.
        if (state == State::Hung && !ownRun)
            restartAfterEnd();
    });
}

CcoSupervisor::~CcoSupervisor() = default;

void CcoSupervisor::setExecutor(CommandExecutor *executor)
{
    if (exec == executor)
        return;
    if (exec)
        disconnect(exec, nullptr, this, nullptr);
    exec = executor;
    delete statusFile;
    statusFile = nullptr;
    if (exec) {
        statusFile = new StatusFile(this, exec, this);
        connect(exec, &CommandExecutor::processOutputChanged, &outputModel, &OutputModel::append);
        connect(exec, &CommandExecutor::desiredTextFound, this, &CcoSupervisor::onReady);
        connect(exec, &CommandExecutor::ccoStopped, this, &CcoSupervisor::onStopLine);
        connect(&exec->program(), QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                this, &CcoSupervisor::onFinished);
    }
    emit executorChanged();
}

QString CcoSupervisor::status() const
{
    if (pageFailing && pageShown())
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
        return tr("CCO is running");
    case State::Elsewhere:
        return tr("CCO is running (started before this app)");
    case State::Hung:
        return tr("CCO stopped answering. Stopping it");
    case State::RestartWait: {
        const qint64 seconds = restart.secondsLeft();
        if (lastHung)
            return tr("CCO stopped answering. Restarting in %1 seconds").arg(seconds);
        return tr("CCO stopped unexpectedly (%1). Restarting in %2 seconds")
            .arg(lastCrashed ? tr("crashed") : tr("exit code %1").arg(lastExitCode))
            .arg(seconds);
    }
    case State::Stopped:
        break;
    }
    return tr("CCO has stopped");
}

qint64 CcoSupervisor::ccoPid() const
{
    if (state == State::Elsewhere || (state == State::Hung && !ownRun))
        return elsewherePid;
    return exec && exec->program().state() != QProcess::NotRunning ? exec->program().processId()
                                                                   : 0;
}

bool CcoSupervisor::busy() const
{
    return exec && exec->isBusy();
}

bool CcoSupervisor::pageShown() const
{
    return state == State::Ready || (state == State::Elsewhere && shownElsewhere);
}

void CcoSupervisor::setState(State next)
{
    if (next != State::Ready && next != State::Elsewhere) {
        watch.stop();
        pageFailing = false;
        pageRetryTimer.stop();
    }
    state = next;
    emit statusChanged();
}

void CcoSupervisor::say(const QString &line)
{
    qDebug().noquote() << line;
    if (exec)
        exec->writeToLog(line);
    outputModel.append(line);
    emit message(line);
}

void CcoSupervisor::note(const QString &line)
{
    if (exec)
        exec->writeToLog(line);
    outputModel.appendNow(line);
}

void CcoSupervisor::startCountdown()
{
    if (state != State::Idle)
        return;
    countdown.start(delays.countdownTick);
    setState(State::Countdown);
}

void CcoSupervisor::cancelPending()
{
    if (state == State::RestartWait) {
        cancelRestart();
    } else if (state == State::Countdown) {
        countdown.cancel();
        setState(State::Idle);
    }
}

void CcoSupervisor::start()
{
    launch(true);
}

void CcoSupervisor::launch(bool byPerson)
{
    if (!exec)
        return;
    // A start by hand ends the countdown: it never starts a second time.
    countdown.cancel();
    if (state == State::Countdown)
        setState(State::Idle);
    if (exec->program().state() != QProcess::NotRunning) {
        exec->runCCO(); // refused, and the backend says why
        return;
    }
    restart.cancel();
    showTimer.stop();
    notReady = false;
    const QString running = CcoProbe::runningCco(Installation::dataFolder());
    if (!running.isEmpty()) {
        say(QStringLiteral("CCO is already running (%1): showing it instead of starting another.")
                .arg(running));
        shownElsewhere = false;
        static const QRegularExpression pid(QStringLiteral("^pid (\\d+)"));
        elsewherePid = pid.match(running).captured(1).toLongLong();
        setState(State::Elsewhere);
        watch.watch(elsewherePid, delays.liveness, delays.watch);
        return;
    }
    if (byPerson)
        unexpectedEnds = 0;
    exec->runCCO();
    if (exec->program().state() == QProcess::NotRunning)
        return; // refused or failed; the backend said why
    ownRun = true;
    stopLine = false;
    trial.started(delays.readiness, delays.liveness.killAfter);
    runClock.start();
    readinessTimer.start(delays.readiness);
    setState(State::Starting);
}

void CcoSupervisor::cancelRestart()
{
    if (state != State::RestartWait)
        return;
    restart.cancel();
    say(QStringLiteral("Restart cancelled."));
    setState(State::Stopped);
}

void CcoSupervisor::onReady()
{
    readinessTimer.stop();
    notReady = false;
    // A second readiness line does not put the page off.
    if (!showTimer.isActive() && state == State::Starting)
        showTimer.start(delays.show);
}

void CcoSupervisor::onStopLine()
{
    // The stop line, or the end of a program that never wrote it: no page of
    // a CCO that is going away.
    showTimer.stop();
    readinessTimer.stop();
    if (ownRun && exec && exec->program().state() != QProcess::NotRunning) {
        stopLine = true;
        setState(State::Stopped);
    }
    if (state != State::Elsewhere)
        emit hideRequested();
}

void CcoSupervisor::onFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    // The backend has reported the end as a stop already (onStopLine).
    if (!ownRun)
        return;
    ownRun = false;
    if (stopLine) {
        unexpectedEnds = 0;
        setState(State::Stopped);
        return;
    }
    lastHung = state == State::Hung;
    lastCrashed = exitStatus == QProcess::CrashExit;
    lastExitCode = exitCode;
    // A new installation that failed its trial: the previous one at once.
    if (trial.died())
        return launch(false);
    restartAfterEnd();
}

void CcoSupervisor::restartAfterEnd()
{
    const qint64 delay = restartDelay(unexpectedEnds, runClock.isValid() ? runClock.elapsed() : 0,
                                      delays, &unexpectedEnds);
    ended = true;
    lastHung = lastHung || state == State::Hung;
    restart.schedule(delay);
    setState(State::RestartWait);
    const QString how = (lastHung ? QStringLiteral("it ") : QString()) + lastEndInWords();
    say(QStringLiteral("CCO stopped unexpectedly (%1). Restarting in %2 seconds.")
            .arg(how)
            .arg((delay + 999) / 1000));
}

void CcoSupervisor::explainNotReady()
{
    if (!exec || exec->program().state() == QProcess::NotRunning)
        return;
    notReady = true;
    emit statusChanged();
    say(QStringLiteral("CCO has not said \"Web container started.\" %1 seconds after its start; "
                       "it keeps running.")
            .arg(delays.readiness / 1000));
    for (const QString &line : CcoProbe::whoServes(Installation::dataFolder()))
        say(line);
}

void CcoSupervisor::onHung(qint64 java)
{
    const CcoWatch::Timing &t = delays.liveness;
    say(QStringLiteral("CCO has not answered on 127.0.0.1:%1 for %2 seconds while it runs: it "
                       "is hung. %3")
            .arg(CcoProbe::ccoPort)
            .arg(qint64(t.hungAfter) * qMax(t.interval, t.deadline) / 1000)
            .arg(java > 0 ? QStringLiteral("Asked its Java (pid %1) for a thread dump; stopping "
                                           "it.")
                                .arg(java)
                          : QStringLiteral("No Java in its processes to ask for a thread dump; "
                                           "stopping it.")));
    setState(State::Hung);
    emit hideRequested();
}

void CcoSupervisor::pageLoadFailed()
{
    if (!pageShown())
        return;
    // Shown again as soon as a load succeeds; meanwhile the maintenance
    // screen says why.
    if (!pageFailing) {
        pageFailing = true;
        emit hideRequested();
        emit statusChanged();
    }
    pageRetryTimer.start(delays.pageRetry);
}

void CcoSupervisor::pageLoaded()
{
    if (!pageFailing || !pageShown())
        return;
    pageFailing = false;
    pageRetryTimer.stop();
    emit statusChanged();
    emit pageReady();
}
