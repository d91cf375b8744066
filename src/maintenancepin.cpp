#include "maintenancepin.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

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
    : file(configFolder + QLatin1String("/maintenance-pin.json"))
{ }

QString MaintenancePin::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

bool MaintenancePin::isSet() const
{
    Stored stored;
    return load(&stored);
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
    if (QFile::exists(file) && !QFile::remove(file))
        return Outcome::failed(QStringLiteral("cannot remove %1").arg(file));
    return Outcome::done();
}

MaintenancePin::Verdict MaintenancePin::verify(const QString &pin, const QDateTime &now)
{
    Verdict verdict;
    Stored stored;
    if (!load(&stored)) {
        verdict.kind = Verdict::Right; // no PIN: nothing to guard
        return verdict;
    }
    const qint64 seconds = now.toSecsSinceEpoch();
    verdict.failures = stored.failures;
    if (stored.lockedUntil > seconds) {
        verdict.kind = Verdict::Locked;
        verdict.lockedSeconds = stored.lockedUntil - seconds;
        return verdict;
    }
    if (sameKey(derive(pin, stored.salt, stored.iterations), stored.key)) {
        verdict.kind = Verdict::Right;
        stored.failures = 0;
        stored.lockedUntil = 0;
    } else {
        verdict.failures = ++stored.failures;
        if (stored.failures >= kFreeTries) {
            const int doublings = qMin(stored.failures - kFreeTries, 6);
            verdict.lockedSeconds = qMin<qint64>(60LL << doublings, kLongestLockSeconds);
            stored.lockedUntil = seconds + verdict.lockedSeconds;
        }
    }
    save(stored);
    return verdict;
}

bool MaintenancePin::load(Stored *stored) const
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject json = QJsonDocument::fromJson(input.readAll()).object();
    stored->salt = QByteArray::fromBase64(json.value("salt").toString().toLatin1());
    stored->key = QByteArray::fromBase64(json.value("key").toString().toLatin1());
    stored->iterations = json.value("iterations").toInt(kIterations);
    stored->failures = json.value("failures").toInt();
    stored->lockedUntil = qint64(json.value("lockedUntil").toDouble());
    return !stored->salt.isEmpty() && !stored->key.isEmpty();
}

Outcome MaintenancePin::save(const Stored &stored) const
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile output(file);
    if (!output.open(QIODevice::WriteOnly))
        return Outcome::failed(output.errorString());
    output.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    const QJsonObject json{{"kdf", "PBKDF2-SHA256"},
                           {"iterations", stored.iterations},
                           {"salt", QString::fromLatin1(stored.salt.toBase64())},
                           {"key", QString::fromLatin1(stored.key.toBase64())},
                           {"failures", stored.failures},
                           {"lockedUntil", double(stored.lockedUntil)}};
    output.write(QJsonDocument(json).toJson());
    return output.commit() ? Outcome::done() : Outcome::failed(output.errorString());
}
