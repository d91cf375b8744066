#ifndef CCOSUPERVISOR_H
#define CCOSUPERVISOR_H

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include "outputmodel.h"

class CommandExecutor;
class QTcpSocket;
class StatusFile;

// Looks after CCO for a till nobody watches: counts down to the first start,
// starts CCO through the backend or shows one that already runs, shows its
// page once it is ready, starts a CCO that died again after a growing delay,
// and explains one that never gets ready. It holds what the output area
// shows. The view only shows its state and forwards taps.
class CcoSupervisor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(CommandExecutor *executor READ executor WRITE setExecutor NOTIFY executorChanged)
    // Whether CCO has been started (or found running) since the view came up.
    Q_PROPERTY(bool active READ isActive NOTIFY statusChanged)
    // The countdown, or what CCO is doing, in one short line; empty before
    // the countdown and after it was cancelled.
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool restartPending READ restartPending NOTIFY statusChanged)
    // The output area's text: the backend's output and the app's own lines.
    Q_PROPERTY(OutputModel *output READ output CONSTANT)

public:
    // Every delay of the supervision, in milliseconds. Tests shorten them.
    struct Delays
    {
        int countdownTick = 1000; // one step of the countdown to the first start
        int show = 3000; // readiness line to page
        int watch = 2000; // between two looks at a CCO started elsewhere
        int firstRestart = 5000; // after the first unexpected end
        int longestRestart = 300000;
        int longRun = 600000; // a run this long starts the delays over
        int readiness = 180000; // start to "not ready yet" explanation
    };
    static Delays defaultDelays;

    explicit CcoSupervisor(QObject *parent = nullptr);
    ~CcoSupervisor() override;

    CommandExecutor *executor() const { return exec; }
    void setExecutor(CommandExecutor *executor);
    bool isActive() const { return state != State::Idle && state != State::Countdown; }
    QString status() const;
    bool restartPending() const { return state == State::RestartWait; }
    OutputModel *output() { return &outputModel; }

    // How CCO is, for a fleet's monitor: the state's name (idle, starting,
    // ready, restarting, stopped, not-ready, operation), CCO's process, the
    // restarts of the last 24 hours, and the last unexpected end in words.
    struct Health
    {
        QString state;
        qint64 pid = 0;
        int restarts24h = 0;
        QString lastEnd;
    };
    Health health() const;

    // The steps of the countdown: "Starting CCO in 5 seconds" down to 0,
    // then the start.
    static constexpr int kCountdownSteps = 5;

public slots:
    // Counts down to the first start; no step is taken while a long
    // operation runs.
    void startCountdown();
    // A tap on the status line: neither the countdown nor a pending restart
    // starts CCO.
    void cancelPending();
    // Starts CCO, or shows the one that already runs.
    void start();
    // A tap on the status line while a restart waits: no restart.
    void cancelRestart();
    // A line of the view's own for the output area, after what came before
    // it, and for the log.
    void note(const QString &line);

signals:
    void executorChanged();
    void statusChanged();
    // Load CCO's address afresh and show the web view.
    void showRequested();
    // Bring back the maintenance screen.
    void hideRequested();
    // A line of the supervisor's own for the output area.
    void message(const QString &line);

private:
    enum class State { Idle, Countdown, Starting, Ready, RestartWait, Stopped, Elsewhere };

    void setState(State next);
    void say(const QString &line);
    void onReady();
    void onStopLine();
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void restartTick();
    void countdownTick();
    void explainNotReady();
    void watchElsewhere();
    void lookedElsewhere(bool answered);

    QPointer<CommandExecutor> exec;
    Delays delays = defaultDelays;
    State state = State::Idle;
    // Whether the program now running is a CCO this supervisor started, and
    // whether it has written its stop line.
    bool ownRun = false;
    bool stopLine = false;
    int unexpectedEnds = 0;
    // How the last unexpected end came, if one came: a crash, or an exit code.
    bool ended = false;
    bool lastCrashed = false;
    int lastExitCode = 0;
    QElapsedTimer runClock;
    int countdownLeft = kCountdownSteps;
    QTimer countdownTimer;
    QTimer showTimer;
    QTimer readinessTimer;
    QTimer restartTimer;
    qint64 restartDue = 0;
    QElapsedTimer clock;
    QTimer watchTimer;
    QTcpSocket *watchSocket = nullptr;
    int missedAnswers = 0;
    bool shownElsewhere = false;
    OutputModel outputModel;
    // Whether the readiness window passed without the readiness line.
    bool notReady = false;
    qint64 elsewherePid = 0;
    // When the automatic restarts came, in milliseconds since the epoch.
    QList<qint64> restarts;
    StatusFile *statusFile = nullptr;
};

#endif // CCOSUPERVISOR_H
