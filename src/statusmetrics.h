#ifndef STATUSMETRICS_H
#define STATUSMETRICS_H

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

// The till's status in Prometheus' text format, for node_exporter's
// textfile collector or a scrape of a file a central host gathers: one
// family a fact, named as Prometheus has it (base units, `_total` for the
// counters, `_info` for what is only labels), each sample with the labels
// the fleet gives the till. A family whose fact the status does not hold
// (an app of an older version wrote it) is left out rather than made up.
namespace StatusMetrics {

using Labels = QList<QPair<QString, QString>>;

// Whether `name` may name a label: [a-zA-Z_][a-zA-Z0-9_]*, never
// beginning with "__" (Prometheus keeps those).
bool validLabelName(const QString &name);

QString text(const QJsonObject &status, const QDateTime &now, const Labels &labels = {});
// For a status that cannot be read: the till down, and why in a comment,
// so that every till's file has the same HELP lines.
QString unreadable(const QString &why, const Labels &labels = {});

} // namespace StatusMetrics

#endif // STATUSMETRICS_H
