#ifndef SITEFILES_H
#define SITEFILES_H

#include "installation.h"
#include "outcome.h"

#include <QList>
#include <QString>

// A till's own files: `site/` in the data folder mirrors paths inside the
// installation (site/config/pos.properties for the till's POS prefix), and
// every import, rollback and patch lays them over the installation it puts
// in place, all or nothing, before CCO starts. A path never leads out of
// the installation: not absolute, no "..", no link out on its way.
namespace SiteFiles {

QString folder(const QString &dataFolder);
// Why `path` cannot name a site file; empty when it can.
QString pathFault(const QString &path);

struct Entry
{
    QString path; // inside the installation
    QString sha256;
};
QList<Entry> list(const QString &dataFolder);

Outcome set(const QString &dataFolder, const QString &path, const QString &file);
Outcome remove(const QString &dataFolder, const QString &path);

// The copies that lay the site files over `installation`, its folders made
// where they are missing; fails when a path leads out of it.
Outcome copies(const QString &dataFolder, const QString &installation,
               QList<Installation::Copy> *files);
// Lays them over `installation`, all or nothing: when one cannot be
// copied, no file of the installation has changed.
Outcome apply(const QString &dataFolder, const QString &installation);

} // namespace SiteFiles

#endif // SITEFILES_H
