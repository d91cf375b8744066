#ifndef OWNFOLDER_H
#define OWNFOLDER_H

#include "outcome.h"

#include <QString>

#include <functional>

// The data folder's own folders (its logs, the installation kept from
// before an import, the one that failed its trial): each is a folder of the
// data folder itself, never a link out of it, a file or anything else. What
// stands in a folder's place is moved aside under a name of its own, never
// followed, deleted or changed.
namespace OwnFolder {

// Whether `path` is a folder itself, not a link to one.
bool isFolder(const QString &path);
// Whether anything stands at `path`, a link that leads nowhere included.
bool isThere(const QString &path);

// The folder `name` of the open folder `parent` (AT_FDCWD: the working
// folder), opened itself, never through a link; -1 when it cannot be.
int openFolder(int parent, const char *name);

// Shows `visit` each entry of the open folder `folder` but . and .., as
// the folder's descriptor, the entry's name and its type (DT_DIR, DT_LNK,
// DT_REG...; never that of what a link leads to), until `visit` says
// false; closes the folder. False when the folder cannot be read, or when
// `visit` ended the walk.
bool eachEntry(int folder,
               const std::function<bool(int folder, const char *name, int type)> &visit);

// Removes what stands at `path`: a folder with all it holds, anything else
// (a link, a file) itself, never what a link leads to. True when nothing is
// left there.
bool remove(const QString &path);

// Moves what stands at `path` aside to "path.broken-<time>"; the new path,
// or empty when it could not be moved.
QString moveAside(const QString &path);

// A folder at `path` that only its owner may enter: made where missing,
// after moving aside whatever else stood there (`movedTo` says where).
Outcome makePrivate(const QString &path, QString *movedTo);

} // namespace OwnFolder

#endif // OWNFOLDER_H
