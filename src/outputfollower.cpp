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
    // Until a file is open, none is: a number kept from a closed file may
    // be given to the next file made, which would then never be read.
    inode = 0;
    file.setFileName(name);
    // Unbuffered: the file grows after every read to its end.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    // The file opened, which the name may have come to mean since the look
    // above: the runner moves files aside while they are opened.
    struct stat st;
    const quint64 opened = ::fstat(file.handle(), &st) == 0 ? quint64(st.st_ino) : 0;
    const qint64 start = at.offset - at.before.size();
    if (opened == 0 || (at.inode != 0 && opened != at.inode) || start < 0 || !file.seek(start)
        || file.read(at.before.size()) != at.before) {
        file.close();
        return false;
    }
    inode = opened;
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
    // Once the file is read to its end, the one written after it: FILE.1
    // where the file was moved aside more than once while it was read
    // (nothing of it is left out, a readiness line included), else the new
    // file in its place.
    const quint64 current = data.size() < most ? inodeOf(path) : inode;
    if (current != 0 && current != inode) {
        const QString older = path + QLatin1String(".1");
        const quint64 moved = inode != 0 ? inodeOf(older) : 0;
        if ((moved != 0 && moved != inode && moved != current && openAt(older, Position()))
            || openAt(path, Position()))
            data += file.read(most - data.size());
    }
    if (!data.isEmpty())
        lastRead = (lastRead + data).right(16);
    return data;
}
