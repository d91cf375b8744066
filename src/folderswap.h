#ifndef FOLDERSWAP_H
#define FOLDERSWAP_H

#include "outcome.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Replaces a folder with a new one, all or nothing: the new one is filled
// in a staging folder beside it and swapped into place only when complete;
// the replaced one is set aside beside it, for its caller to delete. A
// replacement that was interrupted (the app killed, the device switched
// off) is recognised and undone by the next one.
class FolderSwap
{
public:
    // Replaces baseDir/name.
    FolderSwap(const QString &baseDir, const QString &name);

    struct Recovery
    {
        // The set-aside folder put back in place, when the folder itself
        // was missing.
        QString restoredFrom;
        // A line for each leftover that could not be removed.
        QStringList stuck;
    };
    // A folder beside baseDir/name that recovery treats as a leftover of a
    // replacement: removed, or, when `tag` ends in "-previous" and
    // baseDir/name is missing, put back in its place.
    static QString leftover(const QString &baseDir, const QString &name, const QString &tag);
    // Undoes what interrupted replacements of baseDir/name left behind.
    static Recovery recover(const QString &baseDir, const QString &name);

    // Creates the staging folder and, in it, the folder to fill.
    Outcome stage();
    QString stagingPath() const;
    // The folder that is to take the place of baseDir/name; a step that
    // unpacks into a subfolder of it points it there.
    QString unpacked;

    // Puts `unpacked` at baseDir/name. What was there is set aside at
    // replacedPath(), or put back when the new folder cannot take its place.
    Outcome swap();
    QString destination() const { return base + QLatin1Char('/') + folderName; }
    // The set-aside folder; empty when nothing was replaced.
    QString replacedPath() const { return replaced; }

private:
    QString base;
    QString folderName;
    std::unique_ptr<QTemporaryDir> staging;
    QString replaced;
};

#endif // FOLDERSWAP_H
