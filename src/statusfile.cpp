#include "statusfile.h"

#include "ccosupervisor.h"
#include "commandexecutor.h"
#include "installation.h"
#include "maintenancepin.h"
#include "updates.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStorageInfo>

namespace {

const QStringList kStates{
    QStringLiteral("idle"),       QStringLiteral("starting"), QStringLiteral("ready"),
    QStringLiteral("restarting"), QStringLiteral("stopped"),  QStringLiteral("hung"),
    QStringLiteral("not-ready"),  QStringLiteral("stranger"), QStringLiteral("operation")};

QString isoTime(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QString valueText(const QJsonValue &value)
{
    return value.isNull() ? QStringLiteral("null") : value.toVariant().toString();
}

// The heartbeat's age in seconds; -1 when it cannot be read.
qint64 heartbeatAge(const QJsonObject &status, const QDateTime &now)
{
    const QDateTime beat = QDateTime::fromString(status.value("heartbeat").toString(), Qt::ISODate);
    return beat.isValid() ? beat.secsTo(now) : -1;
}

} // namespace

StatusFile::StatusFile(CcoSupervisor *supervisor, CommandExecutor *executor, QObject *parent)
    : QObject(parent)
    , supervisor(supervisor)
    , executor(executor)
    , dataFolder(Installation::dataFolder())
{
    connect(supervisor, &CcoSupervisor::statusChanged, this, [this] { write(); });
    connect(executor, &CommandExecutor::operationChanged, this, [this] { write(); });
    connect(&heartbeat, &QTimer::timeout, this, [this] { write(true); });
    heartbeat.start(kHeartbeatMs);
    write(true);
}

QString StatusFile::path(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/status.json");
}

QString StatusFile::stateName() const
{
    using State = CcoSupervisor::State;
    const CcoSupervisor &s = *supervisor;
    if (executor && executor->isBusy())
        return QStringLiteral("operation");
    if (s.state == State::Starting && s.notReady)
        return QStringLiteral("not-ready");
    if (s.page.failing())
        return QStringLiteral("starting");
    static const QMap<State, QString> names{{State::Idle, QStringLiteral("idle")},
                                            {State::Countdown, QStringLiteral("idle")},
                                            {State::Starting, QStringLiteral("starting")},
                                            {State::Ready, QStringLiteral("ready")},
                                            {State::RestartWait, QStringLiteral("restarting")},
                                            {State::Stopped, QStringLiteral("stopped")},
                                            {State::PortHeld, QStringLiteral("stranger")},
                                            {State::Hung, QStringLiteral("hung")}};
    return names.value(s.state);
}

// Whether a maintenance PIN guards the till, and whether its file is sound.
QString StatusFile::pinState()
{
    switch (MaintenancePin(MaintenancePin::defaultFolder()).file()) {
    case MaintenancePin::File::None:
        return QStringLiteral("none");
    case MaintenancePin::File::Sound:
        return QStringLiteral("set");
    case MaintenancePin::File::Damaged:
        break;
    }
    return QStringLiteral("damaged");
}

QJsonObject StatusFile::snapshot() const
{
    using State = CcoSupervisor::State;
    const CcoSupervisor &s = *supervisor;
    const qint64 pid = s.state == State::RestartWait || s.state == State::Stopped ? 0 : s.ccoPid();
    const QString cco = Installation::ccoFolder(dataFolder);
    const QString runtime = Installation::runtimeFolder(dataFolder);
    const QString runScript = cco + QLatin1String("/run.sh");
    const QFileInfo imported(Installation::importedMarker(dataFolder));
    QJsonObject installation{
        {"present", QFileInfo::exists(runScript)},
        {"checkPassed",
         Installation::isExecutableFile(runScript) && Installation::runtimeCanRun(runtime)},
        {"importedAt",
         imported.exists() ? QJsonValue(isoTime(imported.lastModified())) : QJsonValue()},
        {"previousKept", Updates::hasPrevious(dataFolder)},
        {"trial", QFileInfo::exists(Updates::trialFile(dataFolder))}};
    return QJsonObject{{"version", QStringLiteral(VARNOLET_VERSION)},
                       {"state", stateName()},
                       {"pid", pid > 0 ? QJsonValue(pid) : QJsonValue()},
                       {"restarts24h", s.restart.restartsInLastDay()},
                       {"lastEnd", orNull(s.lastEndInWords())},
                       {"installation", installation},
                       {"pin", pinState()},
                       {"runtimePresent", Installation::runtimeCanRun(runtime)},
                       {"freeBytes", QStorageInfo(dataFolder).bytesAvailable()}};
}

void StatusFile::write(bool always)
{
    QJsonObject status = snapshot();
    if (status.value("state").toString() != state || !since.isValid()) {
        state = status.value("state").toString();
        since = QDateTime::currentDateTime();
    }
    status.insert("since", isoTime(since));
    // Free space changes all the time: it alone is no change of state.
    QJsonObject compared = status;
    compared.remove("freeBytes");
    if (!always && compared == written)
        return;
    written = compared;
    status.insert("heartbeat", isoTime(QDateTime::currentDateTime()));
    // Replaced whole: a reader sees the old file or the new one. One that
    // could not be written is written at the next change or heartbeat.
    if (!WholeFile::replace(path(dataFolder), QJsonDocument(status).toJson()).ok())
        written = QJsonObject();
}

bool StatusFile::read(const QString &path, QJsonObject *status, QString *why)
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

int StatusFile::exitStatus(const QJsonObject &status, const QDateTime &now)
{
    const QString state = status.value("state").toString();
    const qint64 age = heartbeatAge(status, now);
    if (!kStates.contains(state) || age < 0)
        return 3;
    if (age > kStaleSeconds)
        return 2;
    if (state == QLatin1String("ready"))
        return 0;
    const QStringList down{QStringLiteral("stopped"), QStringLiteral("hung"),
                           QStringLiteral("not-ready"), QStringLiteral("stranger")};
    return down.contains(state) ? 2 : 1;
}

QString StatusFile::prometheus(const QJsonObject &status, const QDateTime &now)
{
    const qint64 age = heartbeatAge(status, now);
    const QDateTime beat = now.addSecs(-age);
    QString text;
    auto metric = [&text](const char *name, const char *help, const QString &samples) {
        text += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n%3")
                    .arg(QLatin1String(name), QLatin1String(help), samples);
    };
    auto sample = [](const char *name, double value) {
        return QStringLiteral("%1 %2\n").arg(QLatin1String(name)).arg(value, 0, 'f', 0);
    };
    const QString state = status.value("state").toString();
    metric("varnolet_up", "Whether the app wrote its status within the last 3 minutes.",
           sample("varnolet_up", age >= 0 && age <= kStaleSeconds));
    metric("varnolet_cco_ready", "Whether CCO's page is shown.",
           sample("varnolet_cco_ready", state == QLatin1String("ready")));
    metric("varnolet_cco_restarts_24h", "Automatic restarts of CCO in the last 24 hours.",
           sample("varnolet_cco_restarts_24h", status.value("restarts24h").toDouble()));
    metric("varnolet_heartbeat_timestamp_seconds", "When the app last wrote its status.",
           sample("varnolet_heartbeat_timestamp_seconds", beat.toSecsSinceEpoch()));
    metric("varnolet_free_bytes", "Free bytes on the data folder's file system.",
           sample("varnolet_free_bytes", status.value("freeBytes").toDouble()));
    QString states;
    for (const QString &name : kStates)
        states += QStringLiteral("varnolet_state{state=\"%1\"} %2\n").arg(name).arg(name == state);
    metric("varnolet_state", "The till's state: 1 for the one it is in.", states);
    return text;
}

QString StatusFile::forPerson(const QJsonObject &status)
{
    QString text;
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
