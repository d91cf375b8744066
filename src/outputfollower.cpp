#include "outputfollower.h"

#include <sys/stat.h>

namespace {

quint64 inodeOf(const QString &name)
{
    struct stat st;
    return ::stat(QFile::encodeName(name).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

} // namespace

bool OutputFollower::openAt(const QString &name, const Position &at)
{
    const quint64 found = inodeOf(name);
    if (found == 0 || (at.inode != 0 && found != at.inode))
        return false;
    file.close();
    file.setFileName(name);
    // Unbuffered: the file grows after every read to its end.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    const qint64 start = at.offset - at.before.size();
    if (start < 0 || !file.seek(start) || file.read(at.before.size()) != at.before) {
        file.close();
        return false;
    }
    inode = found;
    lastRead = at.before;
    return true;
}

QByteArray OutputFollower::take(qint64 most)
{
    if (!file.isOpen() && resumeAt.inode != 0) {
        // The file read before the app was closed, where it is now.
        if (!openAt(path, resumeAt))
            openAt(path + QLatin1String(".1"), resumeAt);
        resumeAt = Position();
    }
    QByteArray data;
    if (file.isOpen())
        data = file.read(most);
    // A new file in its place, once the old one is read to its end.
    const quint64 current = data.size() < most ? inodeOf(path) : inode;
    if (current != 0 && current != inode && openAt(path, Position()))
        data += file.read(most - data.size());
    if (!data.isEmpty())
        lastRead = (lastRead + data).right(16);
    return data;
}
