#include "provisionsite.h"

#include "ccoprobe.h"
#include "commandexecutor.h"
#include "installation.h"
#include "provisionask.h"
#include "sitefiles.h"

#include <QFileInfo>
#include <QTextStream>

int siteCommand(const QStringList &arguments, CommandExecutor *executor, QTextStream &out)
{
    const QString data = Installation::dataFolder();
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("list") && arguments.size() == 1) {
        for (const SiteFiles::Entry &entry : SiteFiles::list(data))
            out << entry.sha256 << "  " << entry.path << '\n';
        return 0;
    }
    const bool set = verb == QLatin1String("set") && arguments.size() == 3;
    if (!set && !(verb == QLatin1String("remove") && arguments.size() == 2))
        return 2;
    const QString path = arguments.at(1);
    const Outcome changed =
        set ? SiteFiles::set(data, path, arguments.at(2)) : SiteFiles::remove(data, path);
    if (!changed.ok()) {
        out << "Nothing was changed: " << changed.why() << '.' << Qt::endl;
        return 1;
    }
    QString line = set ? QStringLiteral("Site file %1 set.").arg(path)
                       : QStringLiteral("Site file %1 removed.").arg(path);
    // Laid over the installation now, unless CCO or the restore tool runs
    // from it; the next import, rollback or patch does it in any case.
    const QString installation = Installation::ccoFolder(data);
    bool laid = true;
    if (!set) {
        line += QStringLiteral(" The installation keeps its copy until the next import.");
    } else if (!QFileInfo::exists(installation + QLatin1String("/run.sh"))) {
        line += QStringLiteral(" It is laid over the installation when one is imported.");
    } else if (const CcoProbe::InTheWay way = CcoProbe::inTheWay(data, true, executor->ccoPort());
               !way.who.isEmpty()) {
        line += QStringLiteral(" %1 is running: it is laid over the installation at the next "
                               "import, rollback or patch.")
                    .arg(way.who.left(1).toUpper() + way.who.mid(1));
    } else {
        const Outcome applied = SiteFiles::apply(data, installation);
        laid = applied.ok();
        line += laid
            ? QStringLiteral(" Laid over the installation.")
            : QStringLiteral(" It could not be laid over the installation: %1.").arg(applied.why());
    }
    tell(out, executor, line);
    return laid ? 0 : 1;
}
