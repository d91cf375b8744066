#include "tillmaintenance.h"

#include "tillconfig.h"

#include <QCoreApplication>
#include <QEvent>

TillMaintenance::TillMaintenance(const QString &dataFolder, QObject *parent)
    : QObject(parent)
    , dataFolder(dataFolder)
    , held(TillHold::read(dataFolder, now()))
{
    connect(&timer, &QTimer::timeout, this, &TillMaintenance::look);
    // Every touch and key of the app's window passes here first.
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

void TillMaintenance::setConfig(const TillConfig &config)
{
    window = MaintenanceWindow::parse(config.text("maintenance.window"));
    idleMinutes = int(config.number("maintenance.idle"));
    restartMinute = config.line("maintenance.dailyRestart")
        ? MaintenanceWindow::minuteOfDay(config.text("maintenance.dailyRestart"))
        : -1;
    if (timer.isActive())
        look();
}

void TillMaintenance::lookEvery(int ms)
{
    timer.start(ms);
    look();
}

bool TillMaintenance::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::TouchBegin:
    case QEvent::Wheel:
        lastInput.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

qint64 TillMaintenance::idleMs() const
{
    return lastInput.isValid() ? lastInput.elapsed() : MaintenanceWindow::kNeverTouched;
}

Outcome TillMaintenance::setHold(const QString &reason, const QDateTime &until)
{
    if (until.isValid() && until <= now())
        return Outcome::failed(QStringLiteral("its end has passed already"));
    TillHold hold{true,
                  reason.isEmpty() ? QStringLiteral("no reason given")
                                   : reason.left(TillHold::kLongestReason),
                  now(), until};
    const Outcome written = hold.write(dataFolder);
    if (written.ok()) {
        held = TillHold::read(dataFolder, now()); // as the file keeps it: to the second
        look();
    }
    return written;
}

Outcome TillMaintenance::release()
{
    const Outcome released = TillHold::release(dataFolder);
    if (released.ok()) {
        held = TillHold();
        look();
    }
    return released;
}

void TillMaintenance::look()
{
    const QDateTime at = now();
    const TillHold hold = TillHold::read(dataFolder, at);
    bool change = !(hold == held);
    if (change) {
        if (held.set && !hold.set && held.until.isValid() && held.until <= at) {
            emit message(QStringLiteral("The hold has ended: %1.").arg(held.words()));
            TillHold::release(dataFolder).ok();
        } else {
            emit message(hold.set ? QStringLiteral("The till is held: %1.").arg(hold.words())
                                  : QStringLiteral("The till is no longer held."));
        }
        held = hold;
    }
    const MaintenanceWindow::Freedom before = free;
    free = window.freedom(at, held.reason, held.set, idleMs(), idleMinutes);
    change = change || free.free != before.free || free.why != before.why;
    switch (daily.look(at, restartMinute, window.isOpen(at), free.free && pageShown())) {
    case DailyRestart::Step::Restart:
        emit dailyRestartDue();
        break;
    case DailyRestart::Step::LeftForTomorrow:
        emit message(QStringLiteral("The daily restart of CCO is left for tomorrow: the till was "
                                    "not free within the window (%1).")
                         .arg(free.free ? QStringLiteral("CCO's page was not shown") : free.why));
        break;
    case DailyRestart::Step::Nothing:
        break;
    }
    if (change)
        emit changed();
    if (free.free)
        emit freeNow();
}
