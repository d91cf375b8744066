#include "maintenancelock.h"

#include "commandexecutor.h"
#include "maintenancepin.h"

namespace {

QString duration(qint64 seconds)
{
    return MaintenanceLock::tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

} // namespace

bool MaintenanceLock::pinSet() const
{
    return MaintenancePin(MaintenancePin::defaultFolder()).isSet();
}

QString MaintenanceLock::tryPin(const QString &pin)
{
    MaintenancePin stored(MaintenancePin::defaultFolder());
    const MaintenancePin::Verdict verdict = stored.verify(pin);
    switch (verdict.kind) {
    case MaintenancePin::Verdict::Right:
        return QString();
    case MaintenancePin::Verdict::Locked:
        log(QStringLiteral(
                "A maintenance PIN was refused: every PIN is locked for %1 more seconds.")
                .arg(verdict.lockedSeconds));
        return tr("Too many wrong PINs. Try again in %1.").arg(duration(verdict.lockedSeconds));
    case MaintenancePin::Verdict::Wrong:
        break;
    }
    log(QStringLiteral("A wrong maintenance PIN was entered (%1 in a row).").arg(verdict.failures));
    if (verdict.lockedSeconds == 0)
        return tr("Wrong PIN");
    log(QStringLiteral(
            "Every maintenance PIN is locked for %1 seconds after %2 wrong ones in a row.")
            .arg(verdict.lockedSeconds)
            .arg(verdict.failures));
    return tr("Wrong PIN. Too many wrong PINs: try again in %1.")
        .arg(duration(verdict.lockedSeconds));
}

void MaintenanceLock::log(const QString &line)
{
    qDebug().noquote() << line;
    if (exec)
        exec->writeToLog(line);
}
