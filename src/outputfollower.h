#ifndef OUTPUTFOLLOWER_H
#define OUTPUTFOLLOWER_H

#include <QByteArray>
#include <QFile>
#include <QString>

// Follows a file that another process appends to and now and then moves to
// FILE.1, starting a new one (varnolet-run's output files): hands on every
// byte once and in order, the rest of a file moved aside included, and the
// whole of FILE.1 when a reader that fell behind finds the file moved aside
// twice; only what is older than the two files kept is ever left out. It
// can carry on where it stood after the app was closed.
class OutputFollower
{
public:
    // Where reading stands: the file, by inode, and the bytes of it read,
    // the last of them kept to tell the file from a later one that was given
    // the same inode after it was deleted.
    struct Position
    {
        quint64 inode = 0;
        qint64 offset = 0;
        QByteArray before;
    };

    explicit OutputFollower(const QString &path)
        : path(path)
    { }

    // Carries on from `at` at the next take(), in the file or in FILE.1
    // where it was moved meanwhile; from the start of the file when neither
    // is the one read then.
    void resume(const Position &at) { resumeAt = at; }
    // Starts at the end of the file there now: what it holds was written
    // before anything was followed.
    void skipWritten()
    {
        if (openAt(path, Position()) && file.seek(qMax<qint64>(0, file.size() - 16)))
            lastRead = file.readAll();
    }
    Position position() const { return {inode, file.isOpen() ? file.pos() : 0, lastRead}; }

    // What was written since the last call, `most` bytes at most: the rest
    // comes at the next.
    QByteArray take(qint64 most);

private:
    bool openAt(const QString &name, const Position &at);

    QString path;
    QFile file;
    quint64 inode = 0;
    QByteArray lastRead;
    Position resumeAt;
};

#endif // OUTPUTFOLLOWER_H
