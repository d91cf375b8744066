#include "ccosupervisor.h"

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "installation.h"
#include "statusfile.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>

CcoSupervisor::Delays CcoSupervisor::defaultDelays;

CcoSupervisor::CcoSupervisor(QObject *parent)
    : QObject(parent)
{
    clock.start();
    showTimer.setSingleShot(true);
    // A coarse timer may fire 5% late: 150 ms on the page's 3 s.
    showTimer.setTimerType(Qt::PreciseTimer);
    connect(&showTimer, &QTimer::timeout, this, [this] {
        setState(State::Ready);
        emit showRequested();
    });
    readinessTimer.setSingleShot(true);
    connect(&readinessTimer, &QTimer::timeout, this, &CcoSupervisor::explainNotReady);
    restartTimer.setInterval(1000);
    connect(&restartTimer, &QTimer::timeout, this, &CcoSupervisor::restartTick);
    connect(&watchTimer, &QTimer::timeout, this, &CcoSupervisor::watchElsewhere);
    connect(&countdownTimer, &QTimer::timeout, this, &CcoSupervisor::countdownTick);
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
    switch (state) {
    case State::Idle:
        return QString();
    case State::Countdown:
        return tr("Starting CCO in %1 seconds").arg(countdownLeft);
    case State::Starting:
        return tr("CCO is starting");
    case State::Ready:
        return tr("CCO is running");
    case State::Elsewhere:
        return tr("CCO is running (started before this app)");
    case State::RestartWait:
        return tr("CCO stopped unexpectedly (%1). Restarting in %2 seconds")
            .arg(lastCrashed ? tr("crashed") : tr("exit code %1").arg(lastExitCode))
            .arg(qMax<qint64>(0, (restartDue - clock.elapsed() + 999) / 1000));
    case State::Stopped:
        break;
    }
    return tr("CCO has stopped");
}

CcoSupervisor::Health CcoSupervisor::health() const
{
    static const QMap<State, QString> names{{State::Idle, QStringLiteral("idle")},
                                            {State::Countdown, QStringLiteral("idle")},
                                            {State::Starting, QStringLiteral("starting")},
                                            {State::Ready, QStringLiteral("ready")},
                                            {State::RestartWait, QStringLiteral("restarting")},
                                            {State::Stopped, QStringLiteral("stopped")}};
    Health health;
    health.state = names.value(state);
    if (state == State::Elsewhere)
        health.state = shownElsewhere ? QStringLiteral("ready") : QStringLiteral("starting");
    if (state == State::Starting && notReady)
        health.state = QStringLiteral("not-ready");
    if (exec && exec->isBusy())
        health.state = QStringLiteral("operation");
    if (state == State::Elsewhere)
        health.pid = elsewherePid;
    else if (exec && exec->program().state() != QProcess::NotRunning)
        health.pid = exec->program().processId();
    const qint64 dayAgo = QDateTime::currentMSecsSinceEpoch() - 24 * 3600 * 1000LL;
    health.restarts24h = int(std::count_if(restarts.begin(), restarts.end(),
                                           [dayAgo](qint64 at) { return at > dayAgo; }));
    if (ended)
        health.lastEnd = lastCrashed ? QStringLiteral("crashed")
                                     : QStringLiteral("exit code %1").arg(lastExitCode);
    return health;
}

void CcoSupervisor::setState(State next)
{
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
    countdownLeft = kCountdownSteps;
    countdownTimer.start(delays.countdownTick);
    setState(State::Countdown);
}

void CcoSupervisor::countdownTick()
{
    // No step while an import, an unpack or a patch runs.
    if (exec && exec->isBusy())
        return;
    if (countdownLeft > 0) {
        --countdownLeft;
        emit statusChanged();
        return;
    }
    countdownTimer.stop();
    start();
}

void CcoSupervisor::cancelPending()
{
    if (state == State::RestartWait) {
        cancelRestart();
    } else if (state == State::Countdown) {
        countdownTimer.stop();
        setState(State::Idle);
    }
}

void CcoSupervisor::start()
{
    if (!exec)
        return;
    // A start by hand ends the countdown: it never starts a second time.
    countdownTimer.stop();
    if (state == State::Countdown)
        setState(State::Idle);
    if (exec->program().state() != QProcess::NotRunning) {
        exec->runCCO(); // refused, and the backend says why
        return;
    }
    restartTimer.stop();
    showTimer.stop();
    const QString running = CcoProbe::runningCco(Installation::dataFolder());
    if (!running.isEmpty()) {
        say(QStringLiteral("CCO is already running (%1): showing it instead of starting another.")
                .arg(running));
        missedAnswers = 0;
        shownElsewhere = false;
        notReady = false;
        static const QRegularExpression pid(QStringLiteral("^pid (\\d+)"));
        elsewherePid = pid.match(running).captured(1).toLongLong();
        setState(State::Elsewhere);
        watchElsewhere();
        watchTimer.start(delays.watch);
        return;
    }
    watchTimer.stop();
    exec->runCCO();
    if (exec->program().state() == QProcess::NotRunning)
        return; // refused or failed; the backend said why
    ownRun = true;
    stopLine = false;
    notReady = false;
    runClock.start();
    readinessTimer.start(delays.readiness);
    setState(State::Starting);
}

void CcoSupervisor::cancelRestart()
{
    if (state != State::RestartWait)
        return;
    restartTimer.stop();
    say(QStringLiteral("Restart cancelled."));
    setState(State::Stopped);
}

void CcoSupervisor::onReady()
{
    readinessTimer.stop();
    notReady = false;
    // A second readiness line does not put the page off.
    if (!showTimer.isActive())
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
    // Growing delays, as a service supervisor gives them; a long run since
    // the last start counts as a fresh start.
    if (runClock.elapsed() >= delays.longRun)
        unexpectedEnds = 0;
    const qint64 delay = qMin<qint64>(qint64(delays.firstRestart) << qMin(unexpectedEnds, 20),
                                      delays.longestRestart);
    ++unexpectedEnds;
    ended = true;
    lastCrashed = exitStatus == QProcess::CrashExit;
    lastExitCode = exitCode;
    restartDue = clock.elapsed() + delay;
    restartTimer.start(int(qMin<qint64>(delay, 1000)));
    setState(State::RestartWait);
    say(QStringLiteral("CCO stopped unexpectedly (%1). Restarting in %2 seconds.")
            .arg(lastCrashed ? QStringLiteral("crashed")
                             : QStringLiteral("exit code %1").arg(exitCode))
            .arg((delay + 999) / 1000));
}

void CcoSupervisor::restartTick()
{
    // Nothing starts during an import, an unpack or a patch: the restart
    // waits for its end.
    if (clock.elapsed() < restartDue || (exec && exec->isBusy())) {
        restartTimer.start(int(qBound<qint64>(1, restartDue - clock.elapsed(), 1000)));
        emit statusChanged();
        return;
    }
    restartTimer.stop();
    say(QStringLiteral("Restarting CCO (attempt %1).").arg(unexpectedEnds));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    restarts.erase(std::remove_if(restarts.begin(), restarts.end(),
                                  [now](qint64 at) { return at < now - 24 * 3600 * 1000LL; }),
                   restarts.end());
    restarts << now;
    start();
}

void CcoSupervisor::explainNotReady()
{
    if (!exec || exec->program().state() == QProcess::NotRunning)
        return;
    notReady = true;
    emit statusChanged();
    say(QStringLiteral(
            "CCO has not said \"Web container started.\" %1 seconds after its start; it keeps "
            "running.")
            .arg(delays.readiness / 1000));
    const QStringList holders = CcoProbe::listenersOn(CcoProbe::ccoPort);
    say(holders.isEmpty()
            ? QStringLiteral("Nothing listens on 127.0.0.1:%1 yet.").arg(CcoProbe::ccoPort)
            : QStringLiteral("127.0.0.1:%1 is held by %2.")
                  .arg(CcoProbe::ccoPort)
                  .arg(holders.join(QLatin1String("; "))));
    const QString java =
        Installation::javaOf(Installation::runtimeFolder(Installation::dataFolder()));
    say(QFileInfo::exists(java)
            ? QStringLiteral("The runtime's bin/java exists: %1").arg(java)
            : QStringLiteral("The runtime's bin/java is missing: %1").arg(java));
}

void CcoSupervisor::watchElsewhere()
{
    // One look at a time, never waiting for the answer here; a look still
    // unanswered at the next one counts as no answer.
    if (watchSocket)
        lookedElsewhere(false);
    watchSocket = new QTcpSocket(this);
    connect(watchSocket, &QTcpSocket::connected, this, [this] { lookedElsewhere(true); });
    connect(watchSocket, &QTcpSocket::errorOccurred, this, [this] { lookedElsewhere(false); });
    watchSocket->connectToHost(QStringLiteral("127.0.0.1"), CcoProbe::ccoPort);
}

void CcoSupervisor::lookedElsewhere(bool answered)
{
    watchSocket->disconnect(this);
    watchSocket->abort();
    watchSocket->deleteLater();
    watchSocket = nullptr;
    if (state != State::Elsewhere)
        return;
    if (answered) {
        missedAnswers = 0;
        if (!shownElsewhere) {
            shownElsewhere = true;
            emit statusChanged();
            emit showRequested();
        }
    } else if (++missedAnswers >= 2) {
        watchTimer.stop();
        say(QStringLiteral("CCO no longer answers on 127.0.0.1:%1.").arg(CcoProbe::ccoPort));
        setState(State::Stopped);
        emit hideRequested();
    }
}
