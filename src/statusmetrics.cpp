#include "statusmetrics.h"

#include "statusreport.h"
#include "supervisionstatus.h"
#include "tillcounters.h"

#include <QRegularExpression>

namespace {

using StatusMetrics::Labels;

QString escaped(QString value)
{
    return value.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

const QString kUpHelp =
    QStringLiteral("Whether the app wrote its status within the last 3 minutes.");
const QString kReadableHelp = QStringLiteral("Whether status.json could be read.");

qint64 epochSeconds(const QJsonValue &iso)
{
    const QDateTime time = QDateTime::fromString(iso.toString(), Qt::ISODate);
    return time.isValid() ? time.toSecsSinceEpoch() : -1;
}

// The text of one file: families in order, each sample with the till's
// labels after its own.
class Text
{
public:
    explicit Text(const Labels &till)
        : till(till)
    {
    }

    Text &family(const char *name, const char *type, const QString &help)
    {
        current = QLatin1String(name);
        out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                   .arg(current, help, QLatin1String(type));
        return *this;
    }
    Text &sample(double value, const Labels &own = {})
    {
        QStringList pairs;
        for (const auto &label : own + till)
            pairs << QStringLiteral("%1=\"%2\"").arg(label.first, escaped(label.second));
        out += current + (pairs.isEmpty() ? QString() : QLatin1Char('{') + pairs.join(',') + '}')
            + QLatin1Char(' ') + QString::number(value, 'f', 0) + QLatin1Char('\n');
        return *this;
    }
    // A gauge of one sample.
    Text &gauge(const char *name, const QString &help, double value, const Labels &own = {})
    {
        return family(name, "gauge", help).sample(value, own);
    }
    // A time, left out when the status does not hold it.
    Text &time(const char *name, const QString &help, const QJsonValue &iso)
    {
        const qint64 seconds = epochSeconds(iso);
        return seconds < 0 ? *this : gauge(name, help, double(seconds));
    }
    QString result() const { return out; }

private:
    Labels till;
    QString current;
    QString out;
};

} // namespace

namespace StatusMetrics {

bool validLabelName(const QString &name)
{
    static const QRegularExpression valid(QStringLiteral("^[a-zA-Z_][a-zA-Z0-9_]*$"));
    return valid.match(name).hasMatch() && !name.startsWith(QLatin1String("__"));
}

QString text(const QJsonObject &status, const QDateTime &now, const Labels &labels)
{
    const QString state = status.value("state").toString();
    const qint64 beat = epochSeconds(status.value("heartbeat"));
    const QJsonObject installation = status.value("installation").toObject();
    Text text(labels);
    text.gauge("varnolet_up", kUpHelp, StatusReport::fresh(status, now))
        .gauge("varnolet_status_readable", kReadableHelp, 1);
    if (status.contains("version"))
        text.gauge("varnolet_build_info", "The version of the app that wrote the status.", 1,
                   {{"version", status.value("version").toString()}});
    text.gauge("varnolet_cco_ready", "Whether CCO's page is shown.",
               state == QLatin1String("ready"));
    text.family("varnolet_state", "gauge", "The till's state: 1 for the one it is in.");
    for (const PublishedName &published : kPublished)
        text.sample(state == QLatin1String(published.name),
                    {{"state", QLatin1String(published.name)}});
    text.time("varnolet_state_since_timestamp_seconds", "When the till entered its state.",
              status.value("since"))
        .gauge("varnolet_heartbeat_timestamp_seconds", "When the app last wrote its status.",
               double(qMax<qint64>(beat, 0)))
        .gauge("varnolet_cco_restarts_24h", "Automatic restarts of CCO in the last 24 hours.",
               status.value("restarts24h").toDouble());
    if (status.contains("counters")) {
        const QJsonObject counters = status.value("counters").toObject();
        const QJsonObject restarts = counters.value("restarts").toObject();
        text.family("varnolet_cco_restarts_total", "counter",
                    "Restarts of CCO by why: crashed, exit, hung, gone, scheduled, requested.");
        for (const char *reason : TillCounters::kRestartReasons)
            text.sample(restarts.value(reason).toDouble(), {{"reason", QLatin1String(reason)}});
        text.family("varnolet_rollbacks_total", "counter",
                    "Rollbacks to the previous installation, failed trials and asked for.")
            .sample(counters.value("rollbacks").toDouble());
    }
    text.time("varnolet_installation_imported_timestamp_seconds",
              "When the installation was imported.", installation.value("importedAt"));
    if (installation.contains("trial"))
        text.gauge("varnolet_installation_trial",
                   "Whether a new installation's first start is still on trial.",
                   installation.value("trial").toBool());
    if (installation.contains("previousKept"))
        text.gauge("varnolet_previous_installation_present",
                   "Whether the previous installation is kept for a rollback.",
                   installation.value("previousKept").toBool());
    if (!installation.value("sha256").toString().isEmpty())
        text.gauge("varnolet_installation_info",
                   "The SHA-256 of the zip the installation was imported from.", 1,
                   {{"sha256", installation.value("sha256").toString()}});
    if (status.contains("update")) {
        const QJsonValue pending = status.value("update").toObject().value("pending");
        text.gauge("varnolet_update_pending", "Whether an update waits for a free moment.",
                   pending.isObject())
            .time("varnolet_update_pending_since_timestamp_seconds",
                  "Since when the pending update waits.", pending.toObject().value("since"));
    }
    if (status.contains("hold"))
        text.gauge("varnolet_hold", "Whether a fleet's operator holds the till.",
                   status.value("hold").isObject());
    text.gauge("varnolet_free_bytes", "Free bytes on the data folder's file system.",
               status.value("freeBytes").toDouble());
    return text.result();
}

QString unreadable(const QString &why, const Labels &labels)
{
    QString reason = why;
    reason.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("# The status cannot be read: %1\n").arg(reason)
        + Text(labels)
              .gauge("varnolet_up", kUpHelp, 0)
              .gauge("varnolet_status_readable", kReadableHelp, 0)
              .result();
}

} // namespace StatusMetrics
