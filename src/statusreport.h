#ifndef STATUSREPORT_H
#define STATUSREPORT_H

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// The readers' side of status.json, for `varnolet-provision status`: the
// file read without ever waiting on it, what it comes to by the
// monitoring-plugin convention and why, and the forms a person and a
// plugin-based check read it in (Prometheus' is StatusMetrics). Knows
// nothing of the app that writes it.
namespace StatusReport {

// No status is larger: a larger file is not read.
constexpr qint64 kLargestBytes = 64 * 1024;
// A heartbeat older than this: the app is gone.
constexpr qint64 kStaleSeconds = 180;
// A heartbeat this far ahead is fresh: the clock stepped back since.
constexpr qint64 kAheadSeconds = 300;
// Nobody started CCO for this long: down.
constexpr qint64 kIdleSeconds = 15 * 60;

// The status in `path`, read without waiting: false when there is none,
// it is no regular file, too large, or not JSON; `why` says which.
bool read(const QString &path, QJsonObject *status, QString *why = nullptr);
// Whether the heartbeat is recent enough for the app to be there.
bool fresh(const QJsonObject &status, const QDateTime &now);

// 0 ready; 1 on the way (starting, restarting, an operation, idle for a
// while); 2 down (stopped, hung, not-ready, stranger, idle with a failed
// check or for 15 minutes, or the heartbeat stale); 3 unknown. The reason
// in a few words, as a dashboard shows it.
struct Verdict
{
    int exitCode = 3;
    QString reason;
};
Verdict verdict(const QJsonObject &status, const QDateTime &now);

// A monitoring plugin's first line: "VARNOLET OK - CCO ready since ... |
// 'restarts_24h'=0;;;0 ...", the word that of the exit code, numbers in
// the C locale whatever the device's language.
QString pluginLine(const QJsonObject &status, const QDateTime &now);
// For a status that cannot be read: UNKNOWN, `why`, every value "U".
QString unreadablePluginLine(const QString &why);
// The plugin line, then one line a field, nested fields as
// "installation.present".
QString forPerson(const QJsonObject &status, const QDateTime &now);

} // namespace StatusReport

#endif // STATUSREPORT_H
