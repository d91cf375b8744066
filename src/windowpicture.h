#ifndef WINDOWPICTURE_H
#define WINDOWPICTURE_H

#include <QObject>
#include <QString>

class QQuickItem;

// A picture of the window as the till shows it now (the maintenance
// screen, or CCO's page over it), for support over a shell: a PNG replaced
// whole, its owner's alone, since it shows what the customer sees.
class WindowPicture : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The window `item` is in, saved at `path`; empty when that was done,
    // else why not.
    Q_INVOKABLE QString save(QQuickItem *item, const QString &path) const;
};

#endif // WINDOWPICTURE_H
