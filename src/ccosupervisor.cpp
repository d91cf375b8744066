#include "ccosupervisor.h"

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "installation.h"
#include "pendingupdate.h"
#include "processtree.h"
#include "statusfile.h"

#include <QDebug>

#include <utility>

CcoSupervisor::Delays CcoSupervisor::defaultDelays;

CcoSupervisor::CcoSupervisor(QObject *parent)
    : QObject(parent)
    , trial(Installation::dataFolder(), [this] { return ccoPid(); })
{
    using E = Supervision::Event;
    machine = newMachine();
    // Every event of the supervision reaches it through the machine.
    auto event = [this](E e) { return [this, e] { deliver(e); }; };
    connect(&trial, &InstallationTrial::message, this, &CcoSupervisor::say);
    connect(&trial, &InstallationTrial::rolledBack, this, event(E::TrialFailed));
    connect(&watch, &CcoWatch::answered, this, event(E::TrialPassed));
    showTimer.setSingleShot(true);
    // A coarse timer may fire 5% late: 150 ms on the page's 3 s.
    showTimer.setTimerType(Qt::PreciseTimer);
    connect(&showTimer, &QTimer::timeout, this, event(E::ShowDue));
    readinessTimer.setSingleShot(true);
    connect(&readinessTimer, &QTimer::timeout, this, event(E::ReadinessWindowPassed));
    connect(&countdown, &Countdown::stepped, this, &CcoSupervisor::statusChanged);
    connect(&countdown, &Countdown::finished, this, event(E::CountdownEnded));
    connect(&restart, &RestartSchedule::ticked, this, &CcoSupervisor::statusChanged);
    connect(&restart, &RestartSchedule::due, this, event(E::RestartDue));
    connect(&page, &PageRetry::retry, this, [this] {
        if (pageShown())
            emit loadRequested();
    });
    connect(&watch, &CcoWatch::firstAnswer, this, event(E::FirstAnswer));
    connect(&config, &ConfigWatch::changed, this, &CcoSupervisor::configChanged);
    connect(&watch, &CcoWatch::gone, this, event(E::Gone));
    connect(&watch, &CcoWatch::hung, this, [this](qint64 java) {
        hungJava = java;
        deliver(E::PageMissed);
    });
    connect(&watch, &CcoWatch::stopped, this, event(E::HungStopped));
    connect(&portWait, &PortWait::lookAgain, this, event(E::PortLookDue));
    connect(&stopper, &TreeStop::ended, this, event(E::StopDone));
    connect(&free, &TillMaintenance::message, this, &CcoSupervisor::say);
    connect(&free, &TillMaintenance::changed, this, &CcoSupervisor::statusChanged);
    connect(&free, &TillMaintenance::dailyRestartDue, this, event(E::DailyRestartDue));
    // An update pushed from outside waits for the till's free moment.
    connect(&free, &TillMaintenance::freeNow, this,
            [this] { applyUpdate(QStringLiteral("the till is free")); });
    connect(&trial, &InstallationTrial::rolledBack, this,
            [] { PendingUpdate::rolledBack(Installation::dataFolder()); });
    free.setPageShown([this] { return state() == State::Ready; });
    connect(&requests, &RequestServer::asked, this, &CcoSupervisor::asked);
    connect(&requests, &RequestServer::refused, this, [this](qint64 uid) {
        say(QStringLiteral("A request from another user (uid %1) was refused.").arg(uid));
    });
    // The asker hears what came of its request as soon as it has.
    connect(this, &CcoSupervisor::statusChanged, this, &CcoSupervisor::answerAsker);
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
        // The file's faults, once, where the log keeps them; requests from
        // outside are taken from then on.
        if (!std::exchange(configSaid, true)) {
            for (const QString &line : config.current().sayLines())
                say(line);
            const Outcome listening = requests.listen(Installation::dataFolder());
            if (!listening.ok())
                say(QStringLiteral("Requests from outside cannot be taken: %1.")
                        .arg(listening.why()));
            free.setConfig(config.current());
            free.lookEvery(delays.maintenanceLook);
        }
        statusFile = new StatusFile(this);
        auto publish = [this] { statusFile->publish(published()); };
        publish();
        connect(this, &CcoSupervisor::statusChanged, statusFile, publish);
        connect(exec, &CommandExecutor::operationChanged, statusFile, publish);
        connect(exec, &CommandExecutor::processOutputChanged, &outputModel, &OutputModel::append);
        connect(exec, &CommandExecutor::desiredTextFound, this,
                [this] { deliver(Supervision::Event::ReadinessLine); });
        connect(exec, &CommandExecutor::ccoStopped, this,
                [this] { deliver(Supervision::Event::StopLine); });
        // CCO's end, by this one route.
        connect(exec, &CommandExecutor::programEnded, this,
                [this](int exitCode, QProcess::ExitStatus exitStatus, bool stopLineSeen) {
                    endedWith = {exitCode, exitStatus, stopLineSeen};
                    deliver(Supervision::Event::Ended);
                });
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

void CcoSupervisor::launch(bool byPerson)
{
    if (!exec)
        return;
    // A start by hand ends the countdown: it never starts a second time.
    countdown.cancel();
    if (state() == State::Countdown)
        go(State::Idle);
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
    const QString dataFolder = Installation::dataFolder();
    // The restore tool, whoever started it, is waited for; never taken for CCO.
    const CcoProbe::Cco tool = CcoProbe::runningRestoreTool(dataFolder);
    if (tool.pid > 0)
        return waitForRestoreTool(tool.pid, tool.description);
    const CcoProbe::Cco running = CcoProbe::runningCco(dataFolder, exec->ccoPort());
    if (running.pid > 0)
        return adopt(running.pid, running.description);
    // Another program's page is never shown: CCO starts once it is gone.
    const QString holder = CcoProbe::strangerOnPort(dataFolder, exec->ccoPort());
    if (!holder.isEmpty()) {
        const QString line = portWait.hold(holder, exec->ccoPort(), delays.portLook, byPerson);
        if (!line.isEmpty())
            say(line);
        return go(State::PortHeld);
    }
    if (byPerson)
        unexpectedEnds = 0;
    exec->runCCO();
    if (exec->program().state() == QProcess::NotRunning)
        return; // refused or failed; the backend said why
    ownRun = true;
    stopLine = false;
    free.ccoStarted();
    trial.started(delays.trialWindow, delays.liveness.killAfter, delays.trialDeaths);
    runClock.start();
    readinessTimer.start(delays.readiness);
    go(State::Starting);
}
