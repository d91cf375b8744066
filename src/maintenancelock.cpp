#include "maintenancelock.h"

#include "commandexecutor.h"

namespace {

QString duration(qint64 seconds)
{
    return MaintenanceLock::tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

} // namespace

MaintenanceLock::MaintenanceLock(QObject *parent)
    : QObject(parent)
{
    look();
    // A PIN removed while nobody asks for one is in the log within a minute.
    connect(&lookAgain, &QTimer::timeout, this, &MaintenanceLock::look);
    lookAgain.start(60000);
}

MaintenancePin::File MaintenanceLock::look()
{
    const MaintenancePin::File file = MaintenancePin(MaintenancePin::defaultFolder()).file();
    if (file != MaintenancePin::File::None) {
        sawPin = true;
        removalSaid = false;
    } else if (sawPin && !removalSaid) {
        removalSaid = true;
        log(QStringLiteral("The maintenance PIN was removed: maintenance is open"));
    }
    return file;
}

bool MaintenanceLock::pinSet()
{
    return look() != MaintenancePin::File::None;
}

QString MaintenanceLock::tryPin(const QString &pin)
{
    MaintenancePin stored(MaintenancePin::defaultFolder());
    const MaintenancePin::Verdict verdict = stored.verify(pin);
    switch (verdict.kind) {
    case MaintenancePin::Verdict::Right:
        if (!verdict.why.isEmpty())
            log(QStringLiteral("The count of wrong maintenance PINs could not be reset: %1")
                    .arg(verdict.why));
        break;
    case MaintenancePin::Verdict::Damaged:
        log(QStringLiteral("A maintenance action was refused: the maintenance PIN file is damaged "
                           "(%1). Set the PIN again over a shell.")
                .arg(verdict.why));
        break;
    case MaintenancePin::Verdict::Unsaved:
        log(QStringLiteral("A maintenance PIN was refused unchecked: the count of wrong PINs "
                           "cannot be saved (%1).")
                .arg(verdict.why));
        break;
    case MaintenancePin::Verdict::Locked:
        log(QStringLiteral(
                "A maintenance PIN was refused: every PIN is locked for %1 more seconds.")
                .arg(verdict.lockedSeconds));
        break;
    case MaintenancePin::Verdict::Wrong:
        log(QStringLiteral("A wrong maintenance PIN was entered (%1 in a row).").arg(verdict.failures));
        if (verdict.lockedSeconds > 0)
            log(QStringLiteral(
                    "Every maintenance PIN is locked for %1 seconds after %2 wrong ones in a row.")
                    .arg(verdict.lockedSeconds)
                    .arg(verdict.failures));
        break;
    }
    return refusal(verdict);
}

QString MaintenanceLock::refusal(const MaintenancePin::Verdict &verdict)
{
    switch (verdict.kind) {
    case MaintenancePin::Verdict::Right:
        return QString();
    case MaintenancePin::Verdict::Damaged:
        return tr("The maintenance PIN file is damaged: set the PIN again over a shell");
    case MaintenancePin::Verdict::Unsaved:
        return tr("The PIN cannot be checked now: its file cannot be written");
    case MaintenancePin::Verdict::Locked:
        return tr("Too many wrong PINs. Try again in %1.").arg(duration(verdict.lockedSeconds));
    case MaintenancePin::Verdict::Wrong:
        break;
    }
    if (verdict.lockedSeconds == 0)
        return tr("Wrong PIN");
    return tr("Wrong PIN. Too many wrong PINs: try again in %1.")
        .arg(duration(verdict.lockedSeconds));
}

void MaintenanceLock::log(const QString &line)
{
    qDebug().noquote() << line;
    if (exec)
        exec->writeToLog(line);
}
