#include "statusreport.h"

#include "supervisionstatus.h"
#include "wholefile.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <optional>

namespace {

// The exit code of a state the app writes, while the app is there.
std::optional<int> exitOf(const QString &state)
{
    for (const PublishedName &published : kPublished) {
        if (state == QLatin1String(published.name))
            return published.exitCode;
    }
    return std::nullopt;
}

// The heartbeat's age in seconds, negative when it lies ahead; none when
// it cannot be read.
std::optional<qint64> heartbeatAge(const QJsonObject &status, const QDateTime &now)
{
    const QDateTime beat = QDateTime::fromString(status.value("heartbeat").toString(), Qt::ISODate);
    return beat.isValid() ? std::optional<qint64>(beat.secsTo(now)) : std::nullopt;
}

bool fresh(std::optional<qint64> age)
{
    return age && *age >= -StatusReport::kAheadSeconds && *age <= StatusReport::kStaleSeconds;
}

QString valueText(const QJsonValue &value)
{
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    if (value.isObject())
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    return value.isNull() ? QStringLiteral("null") : value.toVariant().toString();
}

// HELP text as the text format has it: no line breaks, backslashes doubled.
QString helpText(QString text)
{
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

QString metric(const QString &name, const QString &help, const QString &samples)
{
    return QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n%3").arg(name, helpText(help), samples);
}

QString sample(const QString &name, double value)
{
    return QStringLiteral("%1 %2\n").arg(name).arg(value, 0, 'f', 0);
}

} // namespace

namespace StatusReport {

bool read(const QString &path, QJsonObject *status, QString *why)
{
    QByteArray content;
    QString reason;
    if (WholeFile::read(path, kLargestBytes, &content, &reason) != WholeFile::Read::Done) {
        if (why)
            *why = reason;
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    *status = document.object();
    if (why && !document.isObject())
        *why = content.isEmpty() ? QStringLiteral("it is empty") : error.errorString();
    return document.isObject();
}

Verdict verdict(const QJsonObject &status, const QDateTime &now)
{
    const QString state = status.value("state").toString();
    const std::optional<int> code = exitOf(state);
    const std::optional<qint64> age = heartbeatAge(status, now);
    if (!code || !age)
        return {3, QStringLiteral("the status file has no known state or no heartbeat")};
    if (*age > kStaleSeconds)
        return {2,
                QStringLiteral("the app has not written its status for %1 seconds: it is gone")
                    .arg(*age)};
    if (*age < -kAheadSeconds)
        return {3, QStringLiteral("the heartbeat lies %1 seconds ahead of this clock").arg(-*age)};
    const QString ahead = *age < 0
        ? QStringLiteral(" (the heartbeat lies %1 seconds ahead: the clock stepped back)")
              .arg(-*age)
        : QString();
    if (state != QLatin1String("idle"))
        return {*code, QStringLiteral("CCO is %1").arg(state) + ahead};
    const QJsonObject installation = status.value("installation").toObject();
    if (installation.contains("checkPassed") && !installation.value("checkPassed").toBool())
        return {2, QStringLiteral("CCO cannot start: the installation check failed") + ahead};
    const QDateTime since = QDateTime::fromString(status.value("since").toString(), Qt::ISODate);
    if (since.isValid() && since.secsTo(now) > kIdleSeconds)
        return {2,
                QStringLiteral("nobody has started CCO for %1 minutes (the countdown was "
                               "cancelled, or a start failed)")
                        .arg(since.secsTo(now) / 60)
                    + ahead};
    return {1, QStringLiteral("CCO is not started yet") + ahead};
}

QString prometheus(const QJsonObject &status, const QDateTime &now)
{
    const std::optional<qint64> age = heartbeatAge(status, now);
    const QString state = status.value("state").toString();
    QString states;
    for (const PublishedName &published : kPublished)
        states += QStringLiteral("varnolet_state{state=\"%1\"} %2\n")
                      .arg(QLatin1String(published.name))
                      .arg(state == QLatin1String(published.name));
    return metric("varnolet_up", "Whether the app wrote its status within the last 3 minutes.",
                  sample("varnolet_up", fresh(age)))
        + metric("varnolet_status_readable", "Whether status.json could be read.",
                 sample("varnolet_status_readable", 1))
        + metric("varnolet_cco_ready", "Whether CCO's page is shown.",
                 sample("varnolet_cco_ready", state == QLatin1String("ready")))
        + metric("varnolet_cco_restarts_24h", "Automatic restarts of CCO in the last 24 hours.",
                 sample("varnolet_cco_restarts_24h", status.value("restarts24h").toDouble()))
        + metric(
               "varnolet_heartbeat_timestamp_seconds", "When the app last wrote its status.",
               sample("varnolet_heartbeat_timestamp_seconds",
                      age ? QDateTime::fromString(status.value("heartbeat").toString(), Qt::ISODate)
                                .toSecsSinceEpoch()
                          : 0))
        + metric("varnolet_free_bytes", "Free bytes on the data folder's file system.",
                 sample("varnolet_free_bytes", status.value("freeBytes").toDouble()))
        + metric("varnolet_state", "The till's state: 1 for the one it is in.", states);
}

QString unreadablePrometheus(const QString &why)
{
    return metric("varnolet_up", "Whether the app wrote its status within the last 3 minutes.",
                  sample("varnolet_up", 0))
        + metric("varnolet_status_readable",
                 QStringLiteral("Whether status.json could be read; it could not: %1.").arg(why),
                 sample("varnolet_status_readable", 0));
}

QString forPerson(const QJsonObject &status, const QDateTime &now)
{
    QString text = verdict(status, now).reason + QLatin1Char('\n');
    for (auto it = status.begin(); it != status.end(); ++it) {
        const QJsonObject inner = it.value().toObject();
        if (!it.value().isObject()) {
            text += it.key() + QLatin1String(": ") + valueText(it.value()) + QLatin1Char('\n');
            continue;
        }
        for (auto field = inner.begin(); field != inner.end(); ++field)
            text += it.key() + QLatin1Char('.') + field.key() + QLatin1String(": ")
                + valueText(field.value()) + QLatin1Char('\n');
    }
    return text;
}

} // namespace StatusReport
