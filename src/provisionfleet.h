#ifndef PROVISIONFLEET_H
#define PROVISIONFLEET_H

#include <QString>
#include <QStringList>

class QTextStream;

// What a fleet's configuration tool asks of varnolet-provision to bring a
// till to a described state and report truly what it changed: the till's
// facts (what is in place, where its files are), whether the PIN is the
// one it would set, and, for the verbs that change the till, one JSON
// line saying whether they changed anything, judged by what they touch
// before and after.
namespace ProvisionFleet {

// varnolet-provision facts: one JSON object, read from the data folder
// whether or not the app ever ran.
void printFacts(QTextStream &out);

// varnolet-provision pin verify: 0 when `pin` is the PIN set, 1 when it is
// not (or none is set, or the file is damaged); never counted as a try.
int verifyPin(const QString &pin, QTextStream &out);

// The verbs that take --json: extract-jdk, update, site set, site remove.
bool takesJson(const QString &command);
// What `command` may change, as it stands now: the same before and after,
// nothing changed.
QString fingerprint(const QString &command, const QStringList &arguments);
// {"changed": ..., "ok": ..., "message": the last line, "lines": [...]},
// and for an update whether the installation itself changed ("applied").
QString outcome(const QString &command, const QString &before, const QString &after, bool ok,
                const QStringList &lines);

} // namespace ProvisionFleet

#endif // PROVISIONFLEET_H
