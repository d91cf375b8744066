// What a fleet's operator asks of the running till from a shell, through
// varnolet-provision (stop, start, restart, hold, release), and the daily
// restart the till does by itself at a free moment. A stop asked for is a
// clean stop: CCO's end is no death, and the delays start over.

#include "ccosupervisor.h"

#include "installation.h"
#include "pendingupdate.h"

#include <QDateTime>

#include <utility>

void CcoSupervisor::asked(Request *request)
{
    const QString verb = request->verb();
    // A picture of the screen disturbs nothing: taken whatever else is
    // being carried out.
    if (verb == QLatin1String("screenshot")) {
        pictureFailure = QStringLiteral("the app shows no window");
        const QString path = Installation::dataFolder() + QLatin1String("/screenshot.png");
        emit screenshotRequested(path);
        return request->answer(pictureFailure.isEmpty(),
                               pictureFailure.isEmpty()
                                   ? QStringLiteral("Screenshot taken.")
                                   : QStringLiteral("No screenshot: %1.").arg(pictureFailure));
    }
    if (asker)
        return request->answer(false,
                               QStringLiteral("Refused: another request is being carried "
                                              "out; ask again once it is done."));
    const QJsonObject arguments = request->arguments();
    if (verb == QLatin1String("hold") || verb == QLatin1String("release")) {
        const QDateTime until =
            QDateTime::fromString(arguments.value("until").toString(), Qt::ISODate);
        const Outcome done = verb == QLatin1String("hold")
            ? free.setHold(arguments.value("reason").toString(), until)
            : free.release();
        const QString line = !done.ok()
            ? QStringLiteral("The hold could not be changed: %1.").arg(done.why())
            : verb == QLatin1String("hold")
            ? QStringLiteral("The till is held (asked from outside): %1.").arg(free.hold().words())
            : QStringLiteral("The till is no longer held (asked from outside).");
        say(line);
        return request->answer(done.ok(), line);
    }
    if (verb == QLatin1String("update")) {
        const PendingUpdate::Info update = PendingUpdate::pending(Installation::dataFolder());
        if (!update.pending)
            return request->answer(false, QStringLiteral("No update is pending."));
        const MaintenanceWindow::Freedom now = free.freedom();
        if (!arguments.value("now").toBool() && !now.free) {
            say(QStringLiteral("Update %1 queued (asked from outside): applied at the next free "
                               "moment (%2 now).")
                    .arg(update.name, now.why));
            emit statusChanged();
            return request->answer(true,
                                   QStringLiteral("Update queued: applied at the next free "
                                                  "moment (%1 now)")
                                       .arg(now.why));
        }
        asker = request;
        awaits = Awaits::Update;
        return applyUpdate(arguments.value("now").toBool() ? QStringLiteral("asked from outside")
                                                           : QStringLiteral("the till is free"));
    }
    const bool wait = arguments.value("wait").toBool();
    const bool stop = verb == QLatin1String("stop");
    if (!stop && verb != QLatin1String("start") && verb != QLatin1String("restart"))
        return request->answer(false, QStringLiteral("Unknown request '%1'.").arg(verb));
    if (exec && exec->program().state() != QProcess::NotRunning && !ownRun && stop)
        return request->answer(false,
                               QStringLiteral("Refused: the restore tool is running; it "
                                              "ends by itself."));
    const bool running = ccoPid() > 0;
    say(stop ? QStringLiteral("Stopping CCO (asked from outside).")
            : running && verb == QLatin1String("restart")
            ? QStringLiteral("Restarting CCO (asked from outside).")
            : QStringLiteral("Starting CCO (asked from outside)."));
    if (stop && !running) {
        deliver(Supervision::Event::StopAsked);
        const QString line = QStringLiteral("CCO is not running: nothing starts it by itself now.");
        say(line);
        return request->answer(true, line);
    }
    if (running && verb == QLatin1String("restart"))
        countRestart(QStringLiteral("requested"));
    asker = request;
    awaits = stop ? Awaits::Stop : wait ? Awaits::Page : Awaits::Start;
    // A start of a CCO that runs is no start.
    if (verb == QLatin1String("start") && (state() == State::Starting || state() == State::Ready))
        return answerAsker();
    startAfterStop = !stop;
    asking = true;
    deliver(stop || running ? Supervision::Event::StopAsked : Supervision::Event::StartAsked);
    asking = false;
    answerAsker();
}

// Stops the CCO that runs, own or found, and starts it again after
// `thenStart`; with nothing running, no restart or countdown that was due
// starts it by itself either. A stop under way goes on, to that end.
void CcoSupervisor::stopFor(bool thenStart)
{
    startAfterStop = thenStart;
    if (state() == State::Stopping)
        return;
    restart.cancel();
    countdown.cancel();
    const qint64 pid = ccoPid();
    trial.interrupted();
    if (pid > 0 && stopper.stop(pid, delays.stopKillAfter)) {
        emit hideRequested();
        return go(State::Stopping);
    }
    unexpectedEnds = 0;
    const bool asked = std::exchange(asking, true);
    go(State::Stopped);
    if (std::exchange(startAfterStop, false))
        launch(true);
    asking = asked;
}

// Done once every process is gone and this app's program has ended.
void CcoSupervisor::finishStop()
{
    if (state() != State::Stopping || stopper.isRunning() || ownRun)
        return;
    say(QStringLiteral("CCO stopped."));
    unexpectedEnds = 0;
    adoptedPid = 0;
    if (std::exchange(updateAfterStop, false))
        return importUpdate();
    // The asker hears of the start, not of the moment between.
    asking = true;
    go(State::Stopped);
    if (std::exchange(startAfterStop, false))
        launch(true);
    asking = false;
    answerAsker();
}

QString CcoSupervisor::startRefusal() const
{
    switch (state()) {
    case State::Starting:
    case State::Ready:
    case State::Stopping:
        return QString();
    case State::PortHeld:
        return QStringLiteral("Refused: another program holds CCO's address (%1).")
            .arg(portWait.holderNow());
    case State::Countdown:
        return QStringLiteral(
            "Refused: the restore tool is running; CCO starts once it has ended.");
    default:
        break;
    }
    if (exec && exec->isBusy())
        return QStringLiteral(
            "Refused: an operation (an import, an unpack or a patch) is under way.");
    if (exec && exec->program().state() != QProcess::NotRunning && !ownRun)
        return QStringLiteral("Refused: the restore tool is running.");
    return QStringLiteral("CCO did not start: the output area says why.");
}

// Called after every step: the asker hears once what it waits for came.
void CcoSupervisor::answerAsker()
{
    if (!asker) {
        awaits = Awaits::Nothing;
        return;
    }
    if (asking || state() == State::Stopping)
        return;
    auto answer = [this](bool ok, const QString &line) {
        asker->answer(ok, line);
        asker = nullptr;
        awaits = Awaits::Nothing;
    };
    if (awaits == Awaits::Stop)
        return answer(true, QStringLiteral("CCO stopped."));
    if (awaits == Awaits::Update)
        return updateOutcome.isEmpty() ? void() : answer(updateApplied, updateOutcome);
    const QString refused = startRefusal();
    if (!refused.isEmpty())
        return answer(false, refused);
    if (awaits == Awaits::Start)
        return answer(true,
                      state() == State::Ready ? QStringLiteral("CCO is running.")
                                              : QStringLiteral("CCO is starting."));
    if (state() == State::Ready && pageSeen)
        return answer(true, QStringLiteral("CCO's page is shown."));
    if (notReady)
        return answer(false,
                      QStringLiteral("CCO did not get ready within %1 seconds.")
                          .arg(delays.readiness / 1000));
    if (state() != State::Starting && state() != State::Ready)
        answer(false,
               QStringLiteral("CCO stopped before it was ready (%1).").arg(lastEndInWords()));
}

void CcoSupervisor::applyUpdate(const QString &why)
{
    const PendingUpdate::Info update = PendingUpdate::pending(Installation::dataFolder());
    // Not while another request is being carried out, nor while an operation
    // or the restore tool runs (the import would be refused, and the update
    // lost): a later free moment takes it.
    if (!update.pending || updating || !exec || busy() || (asker && awaits != Awaits::Update)) {
        if (awaits == Awaits::Update && !updating) {
            updateApplied = false;
            updateOutcome = update.pending
                ? QStringLiteral("Refused for now: an operation or the restore tool runs; the "
                                 "update stays queued for the next free moment.")
                : QStringLiteral("No update is pending.");
        }
        return answerAsker();
    }
    updating = true;
    updateOutcome.clear();
    say(QStringLiteral("Applying the update %1 (%2).").arg(update.name, why));
    if (ccoPid() > 0) {
        updateAfterStop = true;
        say(QStringLiteral("Stopping CCO (for the update)."));
        stopFor(false);
        if (state() == State::Stopping)
            return;
        updateAfterStop = false;
    }
    importUpdate();
}

void CcoSupervisor::importUpdate()
{
    const QString data = Installation::dataFolder();
    const PendingUpdate::Info update = PendingUpdate::pending(data);
    restart.cancel();
    countdown.cancel();
    asking = true;
    go(State::Updating);
    updateApplied =
        exec->extractCustomCCOZip(PendingUpdate::zip(data), Installation::ccoFolderName, true);
    const QString failure = exec->lastImportFailure();
    PendingUpdate::clear(data);
    PendingUpdate::record(data, update,
                          updateApplied ? QStringLiteral("applied") : QStringLiteral("failed"),
                          updateApplied ? QString() : failure);
    updateOutcome = updateApplied
        ? QStringLiteral("Update %1 applied: CCO is starting.").arg(update.name)
        : QStringLiteral("The update %1 failed (%2): the installation is as it was; CCO is "
                         "started again.")
              .arg(update.name, failure);
    say(updateOutcome);
    updating = false;
    go(State::Stopped);
    launch(true);
    asking = false;
    answerAsker();
}
