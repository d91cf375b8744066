#include "maintenancepin.h"

#include "ownfolder.h"
#include "wholefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

namespace {

QByteArray derive(const QString &pin, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, pin.toUtf8(), salt,
                                              iterations, 32);
}

// Whether two keys are equal, in a time that does not tell where they differ.
bool sameKey(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    char difference = 0;
    for (int i = 0; i < a.size(); ++i)
        difference |= a[i] ^ b[i];
    return difference == 0;
}

} // namespace

MaintenancePin::MaintenancePin(const QString &configFolder)
    : filePath(configFolder + QLatin1String("/maintenance-pin.json"))
{ }

QString MaintenancePin::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

MaintenancePin::File MaintenancePin::file(QString *why) const
{
    Stored stored;
    QString reason;
    const File found = load(&stored, &reason);
    if (why)
        *why = reason;
    return found;
}

bool MaintenancePin::isValid(const QString &pin)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{4,12}$"));
    return digits.match(pin).hasMatch();
}

Outcome MaintenancePin::set(const QString &pin)
{
    if (!isValid(pin))
        return Outcome::failed(QStringLiteral("a PIN has 4 to 12 digits"));
    Stored stored;
    stored.salt.resize(16);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(stored.salt.data()), 4);
    stored.key = derive(pin, stored.salt, stored.iterations);
    return save(stored);
}

Outcome MaintenancePin::clear()
{
    if (OwnFolder::isThere(filePath) && !QFile::remove(filePath))
        return Outcome::failed(QStringLiteral("cannot remove %1").arg(filePath));
    return Outcome::done();
}

bool MaintenancePin::matches(const QString &pin) const
{
    Stored stored;
    QString why;
    return load(&stored, &why) == File::Sound
        && sameKey(derive(pin, stored.salt, stored.iterations), stored.key);
}

MaintenancePin::Verdict MaintenancePin::verify(const QString &pin, const QDateTime &now)
{
    Verdict verdict;
    Stored stored;
    switch (load(&stored, &verdict.why)) {
    case File::None:
        verdict.kind = Verdict::Right; // no PIN: nothing to guard
        return verdict;
    case File::Damaged:
        verdict.kind = Verdict::Damaged;
        return verdict;
    case File::Sound:
        break;
    }
    const qint64 seconds = now.toSecsSinceEpoch();
    verdict.failures = stored.failures;
    // A lock set while the clock was ahead lasts its length from now, no more.
    const qint64 length = stored.lockSeconds > 0 ? qMin(stored.lockSeconds, kLongestLockSeconds)
                                                 : kLongestLockSeconds;
    const bool clockWentBack = stored.lockedUntil > seconds + length;
    if (clockWentBack)
        stored.lockedUntil = seconds + length;
    if (stored.lockedUntil > seconds) {
        verdict.kind = Verdict::Locked;
        verdict.lockedSeconds = stored.lockedUntil - seconds;
        if (clockWentBack) // still locked when this cannot be saved
            verdict.why = save(stored).why();
        return verdict;
    }
    if (sameKey(derive(pin, stored.salt, stored.iterations), stored.key)) {
        verdict.kind = Verdict::Right;
        if (stored.failures == 0 && stored.lockedUntil == 0)
            return verdict;
        stored.failures = 0;
        stored.lockedUntil = 0;
        stored.lockSeconds = 0;
        verdict.why = save(stored).why();
        return verdict;
    }
    verdict.failures = ++stored.failures;
    if (stored.failures >= kFreeTries) {
        const int doublings = qMin(stored.failures - kFreeTries, 6);
        verdict.lockedSeconds = qMin<qint64>(60LL << doublings, kLongestLockSeconds);
        stored.lockedUntil = seconds + verdict.lockedSeconds;
        stored.lockSeconds = verdict.lockedSeconds;
    }
    const Outcome saved = save(stored);
    if (!saved.ok()) {
        // Uncounted, a wrong PIN could be tried for ever: refused instead.
        verdict.kind = Verdict::Unsaved;
        verdict.failures = stored.failures - 1;
        verdict.lockedSeconds = 0;
        verdict.why = saved.why();
    }
    return verdict;
}

MaintenancePin::File MaintenancePin::load(Stored *stored, QString *why) const
{
    QByteArray content;
    switch (WholeFile::read(filePath, 64 * 1024, &content, why)) {
    case WholeFile::Read::Missing:
        // A link that leads nowhere is no missing file.
        if (!QFileInfo(filePath).isSymLink())
            return File::None;
        break;
    case WholeFile::Read::Failed:
        break;
    case WholeFile::Read::Done: {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(content, &error);
        const QJsonObject json = document.object();
        const QStringList fields{"kdf", "iterations", "salt", "key", "failures", "lockedUntil"};
        const auto missing = std::find_if(fields.begin(), fields.end(), [&](const QString &field) {
            return !json.contains(field);
        });
        stored->salt = QByteArray::fromBase64(json.value("salt").toString().toLatin1());
        stored->key = QByteArray::fromBase64(json.value("key").toString().toLatin1());
        stored->iterations = json.value("iterations").toInt();
        stored->failures = json.value("failures").toInt(-1);
        stored->lockedUntil = qint64(json.value("lockedUntil").toDouble(-1));
        stored->lockSeconds = qint64(json.value("lockSeconds").toDouble());
        if (!document.isObject())
            *why = QStringLiteral("not a JSON object (%1)").arg(error.errorString());
        else if (missing != fields.end())
            *why = QStringLiteral("it has no field \"%1\"").arg(*missing);
        else if (json.value("kdf").toString() != QLatin1String("PBKDF2-SHA256"))
            *why = QStringLiteral("its key derivation is not PBKDF2-SHA256");
        else if (stored->iterations < 1 || stored->iterations > 10 * kIterations
                 || stored->salt.isEmpty() || stored->key.size() != 32 || stored->failures < 0
                 || stored->lockedUntil < 0)
            *why = QStringLiteral("a field holds no sound value");
        else
            return File::Sound;
        break;
    }
    }
    *why = QStringLiteral("%1: %2").arg(
        filePath, why->isEmpty() ? QStringLiteral("a link to nothing") : *why);
    return File::Damaged;
}

Outcome MaintenancePin::save(const Stored &stored) const
{
    const QJsonObject json{{"kdf", "PBKDF2-SHA256"},
                           {"iterations", stored.iterations},
                           {"salt", QString::fromLatin1(stored.salt.toBase64())},
                           {"key", QString::fromLatin1(stored.key.toBase64())},
                           {"failures", stored.failures},
                           {"lockedUntil", double(stored.lockedUntil)},
                           {"lockSeconds", double(stored.lockSeconds)}};
    return WholeFile::replace(filePath, QJsonDocument(json).toJson());
}
