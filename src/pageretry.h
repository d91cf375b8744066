#ifndef PAGERETRY_H
#define PAGERETRY_H

#include <QObject>
#include <QTimer>

#include <utility>

// A shown CCO page whose load failed: the maintenance screen says so while
// the page is loaded again every so often, until a load succeeds.
class PageRetry : public QObject
{
    Q_OBJECT

public:
    explicit PageRetry(QObject *parent = nullptr)
        : QObject(parent)
    {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [this] {
            if (failingNow)
                emit retry();
        });
    }

    bool failing() const { return failingNow; }
    // A load failed: tries again after `retryMs`. True for the first failure
    // of a row.
    bool failed(int retryMs)
    {
        timer.start(retryMs);
        return !std::exchange(failingNow, true);
    }
    // A load succeeded: true when it ends a row of failures.
    bool loaded()
    {
        const bool ended = failingNow;
        reset();
        return ended;
    }
    void reset()
    {
        failingNow = false;
        timer.stop();
    }

signals:
    void retry();

private:
    QTimer timer;
    bool failingNow = false;
};

#endif // PAGERETRY_H
