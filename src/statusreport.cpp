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

QString valueText(const QJsonValue &value)
{
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    if (value.isObject())
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    return value.isNull() ? QStringLiteral("null") : value.toVariant().toString();
}

QString withSince(const QString &what, const QJsonObject &status)
{
    const QString since = status.value("since").toString();
    return since.isEmpty() ? what : QStringLiteral("%1 since %2").arg(what, since);
}

// Why CCO is being started again, in the words of status.json's lastEnd.
QString restarting(const QJsonObject &status)
{
    const QString end = status.value("lastEnd").toString();
    const QString after = end == QLatin1String("crashed") ? QStringLiteral("a crash")
        : end == QLatin1String("stopped answering")       ? QStringLiteral("it stopped answering")
        : end == QLatin1String("its processes are gone")  ? QStringLiteral("its processes were gone")
                                                           : end;
    QString text = after.isEmpty() ? QStringLiteral("restarting CCO")
                                   : QStringLiteral("restarting after %1").arg(after);
    const int attempt = status.value("restartAttempt").toInt();
    return attempt > 0 ? text + QStringLiteral(" (attempt %1)").arg(attempt) : text;
}

// What a running state comes to in a few words.
QString stateReason(const QString &state, const QJsonObject &status)
{
    if (state == QLatin1String("ready"))
        return withSince(QStringLiteral("CCO ready"), status);
    if (state == QLatin1String("starting"))
        return withSince(QStringLiteral("CCO starting"), status);
    if (state == QLatin1String("restarting"))
        return restarting(status);
    if (state == QLatin1String("stopped"))
        return withSince(QStringLiteral("CCO stopped"), status);
    if (state == QLatin1String("hung"))
        return QStringLiteral("CCO stopped answering");
    if (state == QLatin1String("not-ready"))
        return QStringLiteral("CCO runs but never got ready");
    if (state == QLatin1String("stranger"))
        return QStringLiteral("another program holds CCO's address");
    if (state == QLatin1String("operation"))
        return withSince(QStringLiteral("an import, unpack or patch runs"), status);
    return withSince(QStringLiteral("CCO %1").arg(state), status);
}

// One value of the performance data; "U" where it is not known.
QString perf(const char *label, std::optional<qint64> value, const char *unit,
             const char *thresholds)
{
    return QStringLiteral("'%1'=%2%3")
        .arg(QLatin1String(label),
             value ? QString::number(*value) + QLatin1String(unit) : QStringLiteral("U"),
             QLatin1String(thresholds));
}

QString perfdata(std::optional<qint64> restarts, std::optional<qint64> freeBytes,
                 std::optional<qint64> age, std::optional<qint64> inState)
{
    const QString heartbeatRange = QStringLiteral(";;%1:%2")
                                       .arg(-StatusReport::kAheadSeconds)
                                       .arg(StatusReport::kStaleSeconds);
    return QStringList{perf("restarts_24h", restarts, "", ";;;0"),
                       perf("free_bytes", freeBytes, "B", ";;;0"),
                       perf("heartbeat_age", age, "s", heartbeatRange.toLatin1().constData()),
                       perf("state_seconds", inState, "s", "")}
        .join(QLatin1Char(' '));
}

// A plugin's text ends at the first "|" or line break.
QString pluginText(QString text)
{
    return text.replace(QLatin1Char('|'), QLatin1Char('/')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString pluginWord(int exitCode)
{
    static const char *const words[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    return QLatin1String(words[exitCode >= 0 && exitCode <= 3 ? exitCode : 3]);
}

std::optional<qint64> number(const QJsonObject &status, const char *field)
{
    const QJsonValue value = status.value(QLatin1String(field));
    return value.isDouble() ? std::optional<qint64>(qint64(value.toDouble())) : std::nullopt;
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

bool fresh(const QJsonObject &status, const QDateTime &now)
{
    const std::optional<qint64> age = heartbeatAge(status, now);
    return age && *age >= -kAheadSeconds && *age <= kStaleSeconds;
}

Verdict verdict(const QJsonObject &status, const QDateTime &now)
{
    const QString state = status.value("state").toString();
    const std::optional<int> code = exitOf(state);
    const std::optional<qint64> age = heartbeatAge(status, now);
    if (!code || !age)
        return {3, QStringLiteral("the status has no known state or no heartbeat")};
    if (*age > kStaleSeconds)
        return {2, QStringLiteral("the app is gone: no status for %1 s").arg(*age)};
    if (*age < -kAheadSeconds)
        return {3, QStringLiteral("the heartbeat lies %1 s ahead of this clock").arg(-*age)};
    const QString ahead =
        *age < 0 ? QStringLiteral(" (the clock stepped back %1 s)").arg(-*age) : QString();
    if (state != QLatin1String("idle"))
        return {*code, stateReason(state, status) + ahead};
    const QJsonObject installation = status.value("installation").toObject();
    if (installation.contains("checkPassed") && !installation.value("checkPassed").toBool())
        return {2, QStringLiteral("the installation check failed: CCO cannot start") + ahead};
    const QDateTime since = QDateTime::fromString(status.value("since").toString(), Qt::ISODate);
    if (since.isValid() && since.secsTo(now) > kIdleSeconds)
        return {2, QStringLiteral("nobody started CCO for %1 minutes").arg(since.secsTo(now) / 60)
                       + ahead};
    return {1, QStringLiteral("CCO not started yet") + ahead};
}

QString pluginLine(const QJsonObject &status, const QDateTime &now)
{
    const Verdict said = verdict(status, now);
    const QDateTime since = QDateTime::fromString(status.value("since").toString(), Qt::ISODate);
    return QStringLiteral("VARNOLET %1 - %2 | %3")
        .arg(pluginWord(said.exitCode), pluginText(said.reason),
             perfdata(number(status, "restarts24h"), number(status, "freeBytes"),
                      heartbeatAge(status, now),
                      since.isValid() ? std::optional<qint64>(since.secsTo(now)) : std::nullopt));
}

QString unreadablePluginLine(const QString &why)
{
    return QStringLiteral("VARNOLET UNKNOWN - %1 | %2")
        .arg(pluginText(why), perfdata(std::nullopt, std::nullopt, std::nullopt, std::nullopt));
}

QString forPerson(const QJsonObject &status, const QDateTime &now)
{
    QString text = pluginLine(status, now) + QLatin1Char('\n');
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
