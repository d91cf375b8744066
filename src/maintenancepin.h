#ifndef MAINTENANCEPIN_H
#define MAINTENANCEPIN_H

#include "outcome.h"

#include <QDateTime>
#include <QString>

// The maintenance PIN: the till's maintenance buttons are for staff. The
// PIN is never stored, only a salted key derived from it (PBKDF2 with
// SHA-256, 100,000 iterations, a random 16-byte salt), in a file only its
// owner may read or write, beside the count of wrong PINs in a row and the
// lock they earned, so that closing the app does not lift it. Five wrong
// PINs in a row lock every PIN, the right one too, for a minute; each
// further wrong one doubles that, up to an hour; a lock never lasts longer
// than its length from now, whatever the clock did meanwhile. The PIN fails
// closed: a file that is there but cannot be read, or lacks a field, refuses
// every PIN, and a wrong PIN whose count cannot be saved is refused
// uncounted; only a missing file means no PIN.
class MaintenancePin
{
public:
    static constexpr int kIterations = 100000;
    static constexpr int kFreeTries = 5;
    static constexpr qint64 kLongestLockSeconds = 3600;

    // The file in `configFolder`: the app's own configuration folder.
    explicit MaintenancePin(const QString &configFolder);
    static QString defaultFolder();

    enum class File { None, Sound, Damaged };
    // Whether a PIN is set, and whether its file can be read; `why` says
    // what is wrong with a damaged one.
    File file(QString *why = nullptr) const;
    QString path() const { return filePath; }
    // A PIN of 4 to 12 digits.
    static bool isValid(const QString &pin);
    Outcome set(const QString &pin);
    Outcome clear();

    struct Verdict
    {
        // Damaged: the PIN file cannot be read; Unsaved: a wrong PIN whose
        // count cannot be written. Neither lets anything run.
        enum Kind { Right, Wrong, Locked, Damaged, Unsaved } kind = Wrong;
        // Wrong PINs in a row so far, and, when locked, for how long yet.
        int failures = 0;
        qint64 lockedSeconds = 0;
        // Why the file is damaged or could not be written; for a right PIN,
        // why the count could not be reset.
        QString why;
    };
    // Tries `pin` at `now`; a wrong one is counted and may lock.
    Verdict verify(const QString &pin, const QDateTime &now = QDateTime::currentDateTimeUtc());
    // Whether `pin` is the one set, for a fleet's tool that keeps it in
    // place: neither counted nor held back by a lock. Whoever may run it
    // may read the PIN file, and so could try PINs against it anyway.
    bool matches(const QString &pin) const;

private:
    struct Stored
    {
        QByteArray salt;
        QByteArray key;
        int iterations = kIterations;
        int failures = 0;
        qint64 lockedUntil = 0; // seconds since the epoch
        qint64 lockSeconds = 0; // the lock's length
    };
    File load(Stored *stored, QString *why) const;
    Outcome save(const Stored &stored) const;

    QString filePath;
};

#endif // MAINTENANCEPIN_H
