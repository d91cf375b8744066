#ifndef CONFIGWATCH_H
#define CONFIGWATCH_H

#include "tillconfig.h"

#include <QObject>
#include <QTimer>

// Follows varnolet.conf while the app runs. A change, in place or by a new
// file renamed over it, is read once the file has stood still for one look
// (half a second), so that a file still being written is never taken; a
// change is seen within a second or so.
class ConfigWatch : public QObject
{
    Q_OBJECT

public:
    explicit ConfigWatch(const QString &path, QObject *parent = nullptr);

    const TillConfig &current() const { return config; }

signals:
    // current() holds the file as it is now.
    void changed(const TillConfig &before);

private:
    QByteArray look() const;
    TillConfig configOf(const QByteArray &looked) const;
    void compare();

    QString path;
    QTimer timer;
    TillConfig config;
    // What the file held when it was read, and at the last look.
    QByteArray read;
    QByteArray seen;
};

#endif // CONFIGWATCH_H
