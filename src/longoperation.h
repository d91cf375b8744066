#ifndef LONGOPERATION_H
#define LONGOPERATION_H

#include <QAtomicInt>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent>

#include <functional>

// Runs one long operation at a time (an import, an unpack, a patch) on a
// thread of the pool, while the calling thread keeps drawing and keeps its
// timers; tells its name and how far it is.
class LongOperation : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The operation under way, or nothing.
    QString name() const { return current; }
    // The share of it done, from 0 to 1; -1 when none runs.
    double progress() const { return share; }
    bool isRunning() const { return !current.isEmpty(); }

    // Runs `work` as the operation `name` and returns what it returns, once
    // what it reported has reached this thread.
    template<typename Work> auto run(const QString &name, Work work) -> decltype(work())
    {
        using Result = decltype(work());
        set(name);
        lastPercent = -1;
        QFutureWatcher<Result> watcher;
        QEventLoop loop;
        connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(QtConcurrent::run(work));
        if (!watcher.isFinished())
            loop.exec();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        set(QString());
        return watcher.result();
    }

    // Tells how far the operation is; callable from its thread.
    std::function<void(double)> reporter()
    {
        return [this](double done) { report(done); };
    }

signals:
    void changed();

private:
    void set(const QString &name)
    {
        current = name;
        share = name.isEmpty() ? -1 : 0;
        emit changed();
    }

    void report(double done)
    {
        // Shown in whole percents, each once, by this object's thread.
        const int percent = qBound(0, int(done * 100), 100);
        if (percent == lastPercent.fetchAndStoreRelaxed(percent))
            return;
        QMetaObject::invokeMethod(
            this,
            [this, percent] {
                if (current.isEmpty())
                    return;
                share = percent / 100.0;
                emit changed();
            },
            Qt::QueuedConnection);
    }

    QString current;
    double share = -1;
    QAtomicInt lastPercent = -1;
};

#endif // LONGOPERATION_H
