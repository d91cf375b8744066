#ifndef MAINTENANCELOCK_H
#define MAINTENANCELOCK_H

#include <QObject>
#include <QPointer>

class CommandExecutor;

// The maintenance PIN as the view sees it: whether one is set, and what a
// PIN typed into its dialog comes to. Each wrong PIN and each lock goes to
// the log, never the digits.
class MaintenanceLock : public QObject
{
    Q_OBJECT
    // For the log.
    Q_PROPERTY(CommandExecutor *executor MEMBER exec)

public:
    using QObject::QObject;

    // Read afresh each time: a PIN may be set over a shell while the app runs.
    Q_INVOKABLE bool pinSet() const;

    // Empty when `pin` is right; otherwise what the dialog says: a wrong
    // PIN, or how long every PIN is refused.
    Q_INVOKABLE QString tryPin(const QString &pin);

private:
    void log(const QString &line);

    QPointer<CommandExecutor> exec;
};

#endif // MAINTENANCELOCK_H
