#ifndef MAINTENANCELOCK_H
#define MAINTENANCELOCK_H

#include "maintenancepin.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class CommandExecutor;

// The maintenance PIN as the view sees it: whether one is set, and what a
// PIN typed into its dialog comes to. Each wrong PIN and each lock goes to
// the log, never the digits; so does a damaged PIN file, and a PIN seen at
// start that is gone.
class MaintenanceLock : public QObject
{
    Q_OBJECT
    // For the log.
    Q_PROPERTY(CommandExecutor *executor MEMBER exec)

public:
    explicit MaintenanceLock(QObject *parent = nullptr);

    // Read afresh each time: a PIN may be set over a shell while the app
    // runs. A damaged PIN file counts as set: its dialog refuses every PIN.
    Q_INVOKABLE bool pinSet();

    // Empty when `pin` is right; otherwise what the dialog says: a wrong
    // PIN, how long every PIN is refused, or why no PIN can be checked.
    Q_INVOKABLE QString tryPin(const QString &pin);
    // What the dialog says of `verdict`; empty for a right PIN.
    static QString refusal(const MaintenancePin::Verdict &verdict);

private:
    void log(const QString &line);
    // Says once that a PIN seen before is gone.
    MaintenancePin::File look();

    QPointer<CommandExecutor> exec;
    bool sawPin = false;
    bool removalSaid = false;
    QTimer lookAgain;
};

#endif // MAINTENANCELOCK_H
