#include "ccosupervisor.h"

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "installation.h"
#include "processtree.h"
#include "statusfile.h"

#include <QDebug>

#include <utility>

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
    connect(&page, &PageRetry::retry, this, [this] {
        if (pageShown())
            emit loadRequested();
    });
    // A CCO that another started answers: it is ready.
    connect(&watch, &CcoWatch::firstAnswer, this, [this] {
        if (ownRun || state != State::Starting)
            return;
        readinessTimer.stop();
        showTimer.stop();
        setState(State::Ready);
        emit showRequested();
    });
    // An adopted CCO is no child of this app: its end is not reported, but
    // seen in its processes.
    connect(&watch, &CcoWatch::gone, this, [this] {
        if (ownRun)
            return;
        lastEnd = End::Gone;
        emit hideRequested();
        stopCcoWithoutRunner();
        restartAfterEnd();
    });
    connect(&watch, &CcoWatch::hung, this, &CcoSupervisor::onHung);
    connect(&watch, &CcoWatch::stopped, this, [this] {
        if (state == State::Hung && !ownRun)
            restartAfterEnd();
    });
    connect(&portWait, &PortWait::lookAgain, this,
            [this] { busy() ? portWait.later(delays.portLook) : launch(false); });
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
        statusFile = new StatusFile(this);
        auto publish = [this] { statusFile->publish(published()); };
        publish();
        connect(this, &CcoSupervisor::statusChanged, statusFile, publish);
        connect(exec, &CommandExecutor::operationChanged, statusFile, publish);
        connect(exec, &CommandExecutor::processOutputChanged, &outputModel, &OutputModel::append);
        connect(exec, &CommandExecutor::desiredTextFound, this, &CcoSupervisor::onReady);
        connect(exec, &CommandExecutor::ccoStopped, this, &CcoSupervisor::onStopLine);
        connect(&exec->program(), QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                this, &CcoSupervisor::onFinished);
        exec->followCcoOutput();
    }
    emit executorChanged();
}

qint64 CcoSupervisor::ccoPid() const
{
    if (adoptedPid > 0)
        return adoptedPid;
    return exec && exec->program().state() != QProcess::NotRunning ? exec->program().processId()
                                                                   : 0;
}

bool CcoSupervisor::busy() const
{
    // An operation, or the restore tool: nothing starts CCO under either.
    // A waited process once gone is forgotten, so that its pid, given to
    // another process later, holds nothing up.
    if (waitedPid > 0 && !ProcessTree::exists(waitedPid))
        waitedPid = 0;
    return exec
        && (exec->isBusy() || (exec->program().state() != QProcess::NotRunning && !ownRun)
            || waitedPid > 0);
}

void CcoSupervisor::setState(State next)
{
    if (next != State::Ready && next != State::Starting)
        watch.stop();
    if (next != State::Ready && next != State::Starting && next != State::Hung)
        adoptedPid = 0;
    if (next != State::Ready)
        page.reset();
    if (next != State::PortHeld)
        portWait.stop();
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
    } else if (state == State::Countdown || state == State::PortHeld) {
        countdown.cancel();
        setState(State::Idle);
    }
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
        // A CCO that said its stop line takes a moment to end: a person's
        // start then comes once it has.
        if (byPerson && ownRun && stopLine) {
            startWhenEnded = true;
            return say(QStringLiteral("CCO is still ending: it starts again once it has ended."));
        }
        exec->runCCO(); // refused, and the backend says why
        return;
    }
    restart.cancel();
    showTimer.stop();
    notReady = false;
    const QString dataFolder = Installation::dataFolder();
    // The restore tool, whoever started it, is waited for; never taken for CCO.
    const CcoProbe::Cco tool = CcoProbe::runningRestoreTool(dataFolder);
    if (tool.pid > 0)
        return waitForRestoreTool(tool.pid, tool.description);
    const CcoProbe::Cco running = CcoProbe::runningCco(dataFolder);
    if (running.pid > 0)
        return adopt(running.pid, running.description);
    // Another program's page is never shown: CCO starts once it is gone.
    const QString holder = CcoProbe::strangerOnPort(dataFolder);
    if (!holder.isEmpty()) {
        const QString line = portWait.hold(holder, delays.portLook, byPerson);
        if (!line.isEmpty())
            say(line);
        return setState(State::PortHeld);
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
    const bool adopted = adoptedPid > 0 && (state == State::Starting || state == State::Ready);
    if (adopted)
        say(QStringLiteral("CCO, started before this app, has stopped."));
    if (adopted || (ownRun && exec && exec->ccoStopLineSeen())) {
        stopLine = true;
        setState(State::Stopped);
    }
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
        if (std::exchange(startWhenEnded, false))
            launch(true);
        return;
    }
    lastEnd = state == State::Hung          ? End::Hung
        : exitStatus == QProcess::CrashExit ? End::Crashed
                                            : End::ExitCode;
    lastExitCode = exitCode;
    stopCcoWithoutRunner();
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
    if (state == State::Hung)
        lastEnd = End::Hung;
    restart.schedule(delay);
    // Said as the wait begins, before the status file is written for it.
    const QString how =
        (lastEnd == End::Hung ? QStringLiteral("it ") : QString()) + lastEndInWords();
    say(QStringLiteral("CCO stopped unexpectedly (%1). Restarting in %2 seconds.")
            .arg(how)
            .arg((delay + 999) / 1000));
    setState(State::RestartWait);
}

void CcoSupervisor::explainNotReady()
{
    if (ccoPid() == 0)
        return;
    notReady = true;
    emit statusChanged();
    for (const QString &line : CcoProbe::whoServes(Installation::dataFolder(), delays.readiness))
        say(line);
}

void CcoSupervisor::onHung(qint64 java)
{
    say(CcoWatch::hungLine(delays.liveness, java));
    setState(State::Hung);
    emit hideRequested();
}

void CcoSupervisor::pageLoadFailed()
{
    // Shown again as soon as a load succeeds; meanwhile the maintenance
    // screen says why.
    if (pageShown() && page.failed(delays.pageRetry)) {
        emit hideRequested();
        emit statusChanged();
    }
}

void CcoSupervisor::pageLoaded()
{
    if (!pageShown())
        return;
    if (page.loaded())
        emit statusChanged();
    emit pageReady();
}
