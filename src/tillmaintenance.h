#ifndef TILLMAINTENANCE_H
#define TILLMAINTENANCE_H

#include "dailyrestart.h"
#include "maintenancewindow.h"
#include "outcome.h"
#include "tillhold.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class TillConfig;

// Whether the till may be disturbed now, and the daily restart that waits
// for such a moment: the maintenance window and `idle` of varnolet.conf,
// the hold on disk, and the last touch or key anywhere in the app. Looks
// at them at an interval and says what changed; knows nothing of CCO but
// whether its page is shown. Its clock may be another for tests.
class TillMaintenance : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    explicit TillMaintenance(const QString &dataFolder, QObject *parent = nullptr);

    void setClock(const Clock &clock) { now = clock; }
    void setConfig(const TillConfig &config);
    // Looks every `ms` from now on, and once at once.
    void lookEvery(int ms);
    void setPageShown(const std::function<bool()> &shown) { pageShown = shown; }

    MaintenanceWindow::Freedom freedom() const { return free; }
    TillHold hold() const { return held; }
    // A hold set or released; said by the caller.
    Outcome setHold(const QString &reason, const QDateTime &until);
    Outcome release();
    // CCO was started afresh: no daily restart is due for this run.
    void ccoStarted() { daily.fresh(now()); }
    QDateTime time() const { return now(); }

signals:
    // The freedom or the hold changed.
    void changed();
    void dailyRestartDue();
    // A look found the till free.
    void freeNow();
    // A line for the output area and the log.
    void message(const QString &line);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void look();
    qint64 idleMs() const;

    QString dataFolder;
    Clock now = [] { return QDateTime::currentDateTime(); };
    std::function<bool()> pageShown = [] { return false; };
    MaintenanceWindow window;
    int idleMinutes = 10;
    int restartMinute = -1;
    TillHold held;
    MaintenanceWindow::Freedom free;
    DailyRestart daily;
    QElapsedTimer lastInput; // invalid: nobody touched the till since the app opened
    QTimer timer;
};

#endif // TILLMAINTENANCE_H
