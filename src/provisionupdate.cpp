#include "provisionask.h"

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "installation.h"
#include "pendingupdate.h"
#include "requestchannel.h"
#include "unpacking.h"
#include "wholefile.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QTextStream>

int update(QStringList arguments, CommandExecutor *executor, QTextStream &out)
{
    const bool now = arguments.removeAll(QStringLiteral("--now")) > 0;
    const bool ifChanged = arguments.removeAll(QStringLiteral("--if-changed")) > 0;
    int timeout = 60;
    const int at = arguments.indexOf(QStringLiteral("--timeout"));
    if (at >= 0) {
        bool number = false;
        timeout = arguments.value(at + 1).toInt(&number);
        if (!number || timeout < 1)
            return 2;
        arguments.erase(arguments.begin() + at, arguments.begin() + at + 2);
    }
    if (arguments.size() != 1 || arguments.first().startsWith(QLatin1String("--")))
        return 2;
    const QString data = Installation::dataFolder();
    const QString zip = QFileInfo(arguments.first()).absoluteFilePath();
    // Nothing changes for a zip that is no installation.
    const Outcome checked = Unpacking::check(data, zip);
    if (!checked.ok()) {
        tell(out, executor, QStringLiteral("Update refused: %1.").arg(checked.why()));
        return 1;
    }
    const QString sha256 = WholeFile::sha256(zip);
    if (ifChanged && unchanged(sha256, out))
        return 0;
    QString replaced;
    const Outcome queued = PendingUpdate::queue(data, zip, sha256, &replaced);
    if (!queued.ok()) {
        tell(out, executor,
             QStringLiteral("The update could not be queued: %1.").arg(queued.why()));
        return 1;
    }
    if (!replaced.isEmpty())
        tell(out, executor,
             QStringLiteral("The pending update %1 is replaced by %2.")
                 .arg(replaced, QFileInfo(zip).fileName()));
    const RequestChannel::Answer answer =
        RequestChannel::ask(data, QJsonObject{{"verb", "update"}, {"now", now}}, timeout * 1000);
    if (answer.kind != RequestChannel::Answer::NotRunning) {
        out << answer.line << Qt::endl;
        return answer.kind == RequestChannel::Answer::Done ? 0 : 1;
    }
    // No app to find a free moment: at once, where no CCO is in the way.
    const PendingUpdate::Info update = PendingUpdate::pending(data);
    const CcoProbe::InTheWay way = CcoProbe::inTheWay(data, true, executor->ccoPort());
    if (!way.who.isEmpty()) {
        PendingUpdate::clear(data);
        tell(out, executor,
             QStringLiteral("%1 is running and no app is there to stop it: stop it first.")
                 .arg(way.who.left(1).toUpper() + way.who.mid(1)));
        return 1;
    }
    const bool imported =
        executor->extractCustomCCOZip(PendingUpdate::zip(data), Installation::ccoFolderName, true);
    PendingUpdate::clear(data);
    PendingUpdate::record(data, update,
                          imported ? QStringLiteral("applied") : QStringLiteral("failed"),
                          executor->lastImportFailure());
    tell(out, executor,
         imported ? QStringLiteral("Update %1 applied (no app running).").arg(update.name)
                  : QStringLiteral("The update %1 failed; the installation is as it was.")
                        .arg(update.name));
    return imported ? 0 : 1;
}
