#ifndef LINKS_H
#define LINKS_H

#include "outcome.h"

#include <QString>

// Symbolic links in an unpacked installation: one that leads out of it, or
// to an absolute path, would let CCO (or the next import) read or write
// anywhere, so such an installation is refused.
namespace Links {

// What the symbolic link `path` holds, as it is; empty for anything else.
QString target(const QString &path);

// Where the symbolic link `link` leads, following every link on the way as
// the system would; empty when it leads to an absolute path or in circles.
QString resolve(const QString &link);

// Done when every symbolic link below `root` leads to `root` or inside it;
// otherwise failed, naming the first that does not and its target.
Outcome allInside(const QString &root);

} // namespace Links

#endif // LINKS_H
