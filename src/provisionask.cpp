#include "provisionask.h"

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "installation.h"
#include "isotime.h"
#include "requestchannel.h"
#include "tillhold.h"
#include "treestop.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QTextStream>

namespace {

const QStringList kVerbs = {QStringLiteral("stop"), QStringLiteral("start"),
                            QStringLiteral("restart"), QStringLiteral("hold"),
                            QStringLiteral("release")};

// With no app there, CCO is stopped here as the app would stop it.
int stopHere(CommandExecutor *log, QTextStream &out)
{
    const CcoProbe::Cco cco = CcoProbe::runningCco(Installation::dataFolder(), log->ccoPort());
    TreeStop stop;
    if (cco.pid == 0 || !stop.stop(cco.pid)) {
        tell(out, log, QStringLiteral("CCO is not running."));
        return 0;
    }
    tell(out, log, QStringLiteral("Stopping CCO (asked from outside, no app running)."));
    QObject::connect(&stop, &TreeStop::ended, QCoreApplication::instance(),
                     &QCoreApplication::quit);
    QCoreApplication::exec();
    tell(out, log, QStringLiteral("CCO stopped."));
    return 0;
}

// The hold, set or released here when no app is there to do it.
int holdHere(const QJsonObject &request, CommandExecutor *log, QTextStream &out)
{
    const QString data = Installation::dataFolder();
    if (request.value("verb") == QLatin1String("release")) {
        const Outcome released = TillHold::release(data);
        tell(out, log,
             released.ok()
                 ? QStringLiteral("The till is no longer held.")
                 : QStringLiteral("The hold could not be released: %1.").arg(released.why()));
        return released.ok() ? 0 : 1;
    }
    const TillHold hold{true, request.value("reason").toString(), QDateTime::currentDateTime(),
                        QDateTime::fromString(request.value("until").toString(), Qt::ISODate)};
    const Outcome written = hold.write(data);
    tell(out, log,
         written.ok() ? QStringLiteral("The till is held: %1.")
                            .arg(TillHold::read(data, QDateTime::currentDateTime()).words())
                      : QStringLiteral("The hold could not be set: %1.").arg(written.why()));
    return written.ok() ? 0 : 1;
}

int usage(QTextStream &out, const QString &why)
{
    out << why << Qt::endl;
    return 2;
}

} // namespace

bool unchanged(const QString &sha256, QTextStream &out)
{
    if (sha256.isEmpty()
        || sha256 != Installation::zipHash(Installation::ccoFolder(Installation::dataFolder())))
        return false;
    out << "Unchanged: this installation is already in place." << Qt::endl;
    return true;
}

void tell(QTextStream &out, CommandExecutor *log, const QString &line)
{
    out << line << Qt::endl;
    log->writeToLog(line);
}

int askTheApp(const QString &command, QStringList arguments, CommandExecutor *log, QTextStream &out)
{
    if (!kVerbs.contains(command))
        return -1;
    QJsonObject request{{"verb", command}};
    int timeout = 60;
    const bool starts = command == QLatin1String("start") || command == QLatin1String("restart");
    while (!arguments.isEmpty()) {
        const QString option = arguments.takeFirst();
        if (option == QLatin1String("--wait") && starts) {
            request.insert("wait", true);
            continue;
        }
        if (arguments.isEmpty())
            return usage(
                out, QStringLiteral("%1: unknown option, or one without its value").arg(option));
        const QString value = arguments.takeFirst();
        bool number = false;
        QDateTime until;
        if (option == QLatin1String("--timeout") && command != QLatin1String("hold")
            && command != QLatin1String("release")) {
            timeout = value.toInt(&number);
            if (!number || timeout < 1)
                return usage(out, QStringLiteral("--timeout takes seconds, 1 or more"));
        } else if (option == QLatin1String("--reason") && command == QLatin1String("hold")) {
            if (value.size() > TillHold::kLongestReason)
                return usage(out,
                             QStringLiteral("--reason takes a few words, at most %1 characters")
                                 .arg(TillHold::kLongestReason));
            request.insert("reason", value);
        } else if (option == QLatin1String("--until") && command == QLatin1String("hold")) {
            if (!TillHold::parseUntil(value, QDateTime::currentDateTime(), &until))
                return usage(out,
                             QStringLiteral("--until takes a time to come (18:00, "
                                            "2026-12-24T18:00) or a duration (90m, 2h, 1d)"));
            request.insert("until", isoTime(until));
        } else {
            return usage(out, QStringLiteral("%1: unknown option for %2").arg(option, command));
        }
    }
    const RequestChannel::Answer answer =
        RequestChannel::ask(Installation::dataFolder(), request, timeout * 1000);
    if (answer.kind == RequestChannel::Answer::NotRunning) {
        if (command == QLatin1String("stop"))
            return stopHere(log, out);
        if (!starts)
            return holdHere(request, log, out);
    }
    out << answer.line << Qt::endl;
    return answer.kind == RequestChannel::Answer::Done ? 0 : 1;
}
