#include "provisionfleet.h"

#include "installation.h"
#include "maintenancepin.h"
#include "pendingupdate.h"
#include "sitefiles.h"
#include "statusfile.h"
#include "tillconfig.h"
#include "wholefile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QString siteHash(const QString &data, const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    for (const SiteFiles::Entry &entry : SiteFiles::list(data)) {
        if (entry.path == clean)
            return entry.sha256;
    }
    return QString();
}

} // namespace

namespace ProvisionFleet {

void printFacts(QTextStream &out)
{
    const QString data = Installation::dataFolder();
    const QString cco = Installation::ccoFolder(data);
    const QString runtime = Installation::runtimeFolder(data);
    const QString runScript = cco + QLatin1String("/run.sh");
    QJsonArray site;
    for (const SiteFiles::Entry &entry : SiteFiles::list(data))
        site.append(QJsonObject{{"path", entry.path}, {"sha256", entry.sha256}});
    const PendingUpdate::Info pending = PendingUpdate::pending(data);
    const QJsonObject facts{
        {"version", QStringLiteral(VARNOLET_VERSION)},
        {"dataFolder", data},
        {"configFile", TillConfig::defaultPath()},
        {"runtimeFolder", runtime},
        {"runtime", Installation::runtimeCanRun(runtime)},
        {"installation",
         QJsonObject{{"present", QFileInfo::exists(runScript)},
                     {"checkPassed", Installation::isExecutableFile(runScript)
                                         && Installation::runtimeCanRun(runtime)},
                     {"sha256", orNull(Installation::zipHash(cco))}}},
        {"pendingUpdate", pending.pending ? QJsonValue(pending.sha256) : QJsonValue()},
        {"site", site},
        {"pin", StatusFile::pinState()}};
    out << QJsonDocument(facts).toJson();
}

int verifyPin(const QString &pin, QTextStream &out)
{
    MaintenancePin stored(MaintenancePin::defaultFolder());
    QString why;
    switch (stored.file(&why)) {
    case MaintenancePin::File::None:
        out << "No maintenance PIN is set." << Qt::endl;
        return 1;
    case MaintenancePin::File::Damaged:
        out << "The PIN file cannot be read: " << why << '.' << Qt::endl;
        return 1;
    case MaintenancePin::File::Sound:
        break;
    }
    const bool same = stored.matches(pin);
    out << (same ? "The PIN is the one set." : "The PIN differs from the one set.") << Qt::endl;
    return same ? 0 : 1;
}

bool takesJson(const QString &command)
{
    return command == QLatin1String("extract-jdk") || command == QLatin1String("update")
        || command == QLatin1String("site");
}

QString fingerprint(const QString &command, const QStringList &arguments)
{
    const QString data = Installation::dataFolder();
    const QString cco = Installation::ccoFolder(data);
    if (command == QLatin1String("update"))
        return Installation::zipHash(cco) + QLatin1Char('|')
            + PendingUpdate::pending(data).sha256;
    if (command == QLatin1String("site")) {
        const QString path = arguments.value(1);
        return siteHash(data, path) + QLatin1Char('|')
            + WholeFile::sha256(cco + QLatin1Char('/') + path);
    }
    // A runtime unpacked again is a folder put in place anew.
    const QString runtime = Installation::runtimeFolder(data);
    return QString::number(Installation::runtimeCanRun(runtime)) + QLatin1Char('|')
        + QString::number(QFileInfo(runtime).birthTime().toMSecsSinceEpoch())
        + QLatin1Char('|')
        + QString::number(QFileInfo(runtime).lastModified().toMSecsSinceEpoch());
}

QString outcome(const QString &command, const QString &before, const QString &after, bool ok,
                const QStringList &lines)
{
    QJsonObject said{{"changed", before != after},
                     {"ok", ok},
                     {"message", lines.isEmpty() ? QString() : lines.last()},
                     {"lines", QJsonArray::fromStringList(lines)}};
    if (command == QLatin1String("update"))
        said.insert("applied", before.section(QLatin1Char('|'), 0, 0)
                                   != after.section(QLatin1Char('|'), 0, 0));
    return QString::fromUtf8(QJsonDocument(said).toJson(QJsonDocument::Compact));
}

} // namespace ProvisionFleet
