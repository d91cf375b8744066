#ifndef CCOSUPERVISOR_H
#define CCOSUPERVISOR_H

#include "ccowatch.h"
#include "commandexecutor.h"
#include "configwatch.h"
#include "countdown.h"
#include "installation.h"
#include "outputmodel.h"
#include "pageretry.h"
#include "portwait.h"
#include "requestchannel.h"
#include "supervision.h"
#include "supervisionstatus.h"
#include "tillmaintenance.h"
#include "treestop.h"
#include "updates.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <memory>

class StatusFile;

// Looks after CCO for a till nobody watches: counts down to the first start,
// starts CCO through the backend or looks after this installation's CCO
// that already runs as after its own, waits while another program holds
// CCO's address (never showing its page), shows CCO's page once it is ready
// and loads it again while it fails, starts a CCO that died or hung again
// after a growing delay, and explains one that never gets ready. It carries
// out what a fleet's operator asks from a shell (stop, start, restart,
// hold), and restarts CCO daily at a free moment. It holds what the output
// area shows. The view only shows its state and forwards taps.
class CcoSupervisor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(CommandExecutor *executor READ executor WRITE setExecutor NOTIFY executorChanged)
    // The countdown, or what CCO is doing, in one short line; empty before
    // the countdown and after it was cancelled.
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool restartPending READ restartPending NOTIFY statusChanged)
    // The output area's text: the backend's output and the app's own lines.
    Q_PROPERTY(OutputModel *output READ output CONSTANT)
    // Whether an import kept the installation it replaced.
    Q_PROPERTY(bool previousKept READ previousKept NOTIFY statusChanged)

public:
    // Every delay of the supervision, in milliseconds. Tests shorten them.
    struct Delays
    {
        int countdownTick = 1000; // one step of the countdown to the first start
        int show = 3000; // readiness line to page
        int watch = 2000; // between two looks at a starting CCO started elsewhere
        int portLook = 10000; // between two looks at CCO's address held by another program
        int firstRestart = 5000; // after the first unexpected end
        int longestRestart = 300000;
        int longRun = 600000; // a run this long starts the delays over
        int readiness = 180000; // start to "not ready yet" explanation
        int pageRetry = 3000; // a failed load of CCO's page to the next
        CcoWatch::Timing liveness; // looks at a shown page, and a hung CCO stopped
        int countdownSteps = Countdown::kSteps; // 0: CCO starts at once
        int trialDeaths = Updates::kTrialDeaths; // of a new installation, to its rollback
        int trialWindow = 180000; // a new installation's first start to its failure
        int stopKillAfter = TreeStop::kKillAfterMs; // a stop asked for: SIGTERM to SIGKILL
        int maintenanceLook = 10000; // between two looks at the window, the hold, the clock
    };
    // The delays of the instance the view creates; another instance may be
    // given its own. varnolet.conf's figures stand over them.
    static Delays defaultDelays;
    void setDelays(const Delays &given);

    // The wait before the restart after an unexpected end, when
    // `endsInARow` ends came before it and the run lasted `runMs`; the ends
    // in a row counting this one go to `endsAfter`. Growing delays, as a
    // service supervisor gives them; a long run counts as a fresh start.
    static qint64 restartDelay(int endsInARow, qint64 runMs, const Delays &delays, int *endsAfter)
    {
        return RestartSchedule::delay(endsInARow, runMs, delays.firstRestart, delays.longestRestart,
                                      delays.longRun, endsAfter);
    }

    using State = Supervision::State;
    // How the last unexpected end came, if one came: a crash, an exit code,
    // a CCO that stopped answering, or one not started here whose processes
    // are gone.
    enum class End { ExitCode, Crashed, Hung, Gone };
    // What the status line says.
    struct Shown
    {
        State state = State::Idle;
        bool pageFailing = false; // CCO's page shown and its loads failing
        bool backFromTrial = false;
        bool adopted = false; // the CCO looked after was started elsewhere
        qint64 countdownLeft = 0;
        qint64 restartLeft = 0; // seconds
        QString portHolder; // who holds CCO's address
        quint16 port = CcoProbe::kDefaultPort;
        End lastEnd = End::ExitCode;
        int exitCode = 0;
        QString hold; // the hold's reason, empty when none
        bool updatePending = false;
    };
    // What the status line says; a hold follows what CCO is doing.
    static QString statusLine(const Shown &shown);

    explicit CcoSupervisor(QObject *parent = nullptr);
    ~CcoSupervisor() override;

    CommandExecutor *executor() const { return exec; }
    void setExecutor(CommandExecutor *executor);
    QString status() const;
    bool restartPending() const { return restart.isPending(); }
    OutputModel *output() { return &outputModel; }
    // The last unexpected end in words, for the output area, the log and a
    // monitor; empty before one came.
    QString lastEndInWords() const;
    bool previousKept() const { return Updates::hasPrevious(Installation::dataFolder()); }
    // How the supervision stands, for a fleet's monitor.
    SupervisionStatus published() const;
    // The window, the hold and the clock; its clock may be set for tests.
    TillMaintenance *maintenance() { return &free; }

public slots:
    // Counts down to the first start; no step is taken while a long
    // operation runs.
    void startCountdown() { deliver(Supervision::Event::CountdownAsked); }
    // A tap on the status line: neither the countdown nor a pending restart
    // starts CCO.
    void cancelPending() { deliver(Supervision::Event::CancelAsked); }
    // A person's start: starts CCO, or shows the one that already runs; the
    // restart delays begin again at the first.
    void start() { deliver(Supervision::Event::StartAsked); }
    // A tap on the status line while a restart waits: no restart.
    void cancelRestart()
    {
        if (state() == State::RestartWait)
            cancelPending();
    }
    // A line of the view's own for the output area, after what came before
    // it, and for the log.
    void note(const QString &line);
    // Puts the previous installation back, by hand; refused like any
    // operation while CCO runs.
    void rollBack()
    {
        if (exec && exec->goBack())
            emit statusChanged();
    }
    // The web view's load of CCO's page failed, or succeeded.
    void pageLoadFailed() { deliver(Supervision::Event::PageLoadFailed); }
    void pageLoaded() { deliver(Supervision::Event::PageLoaded); }
    // How the picture screenshotRequested() asked for came out: empty, saved.
    void screenshotTaken(const QString &failure) { pictureFailure = failure; }

signals:
    void executorChanged();
    void statusChanged();
    // Load CCO's address afresh, to show it once it has loaded.
    void showRequested();
    // Show the web view as it is: a load of CCO's page succeeded.
    void pageReady();
    // Load CCO's address afresh, the web view hidden.
    void loadRequested();
    // Bring back the maintenance screen.
    void hideRequested();
    // Make the web view anew, giving back what a long-lived page holds.
    void renewViewRequested();
    // A line of the supervisor's own for the output area.
    void message(const QString &line);
    // Save a picture of the window at `path` now, for support asking from
    // outside, and say how it went through screenshotTaken().
    void screenshotRequested(const QString &path);

private:
    static QString stateLine(const Shown &shown);
    // The machine, its actions by name, and its states' entries and exits.
    std::unique_ptr<Supervision::Machine> newMachine();
    void deliver(Supervision::Event event) { machine->deliver(event); }
    State state() const { return machine->state(); }
    void go(State next) { machine->go(next); }
    void exitRun(State next);

    void say(const QString &line);
    void launch(bool byPerson);
    // One more restart of CCO in the data folder's counts: `reason`, or
    // the last unexpected end's when none is given.
    void countRestart(const QString &reason = QString());
    void adopt(qint64 pid, const QString &description);
    void waitForRestoreTool(qint64 pid, const QString &description);
    // A CCO whose runner has ended while it runs on is stopped: its output
    // goes nowhere.
    void stopCcoWithoutRunner();
    void onStopLine();
    void onEnded(int exitCode, QProcess::ExitStatus exitStatus, bool stopLineSeen);
    void restartAfterEnd();
    void explainNotReady();
    bool pageShown() const { return state() == State::Ready; }
    bool busy() const;
    qint64 ccoPid() const;
    quint16 port() const { return exec ? exec->ccoPort() : CcoProbe::kDefaultPort; }

    // What is asked from outside, and what comes of it for the asker.
    void asked(Request *request);
    void stopFor(bool thenStart);
    void finishStop();
    void answerAsker();
    // Why a start just asked for did not start CCO; empty when it did.
    QString startRefusal() const;
    // The update pushed from outside: CCO stopped as asked for, the zip
    // imported, CCO started again, whatever came of the import.
    void applyUpdate(const QString &why);
    void importUpdate();

    // The delays as given, and as varnolet.conf makes them.
    static Delays configured(const Delays &base, const TillConfig &file);
    void configChanged(const TillConfig &before);

    QPointer<CommandExecutor> exec;
    ConfigWatch config{TillConfig::defaultPath()};
    Delays base = defaultDelays;
    Delays delays = configured(base, config.current());
    bool configSaid = false;
    std::unique_ptr<Supervision::Machine> machine;
    // Whether the program now running is a CCO this supervisor started, and
    // whether it has written its stop line; the CCO it looks after that
    // another started, 0 when none.
    bool ownRun = false;
    bool stopLine = false;
    // Whether a person asked for a start while a stopped CCO was ending.
    bool startWhenEnded = false;
    qint64 adoptedPid = 0;
    // What CCO's start waits for: the restore tool found running, or a CCO
    // without its runner being stopped; 0 when none.
    mutable qint64 waitedPid = 0;
    int unexpectedEnds = 0;
    bool ended = false;
    End lastEnd = End::ExitCode;
    int lastExitCode = 0;
    // How the program CCO ran in ended, for the machine's action; the Java
    // a hung CCO was asked for a thread dump of.
    struct Ending
    {
        int exitCode = 0;
        QProcess::ExitStatus exitStatus = QProcess::NormalExit;
        bool stopLineSeen = false;
    } endedWith;
    qint64 hungJava = 0;
    QElapsedTimer runClock;
    Countdown countdown{[this] { return busy(); }};
    RestartSchedule restart{[this] { return busy(); }};
    QTimer showTimer;
    QTimer readinessTimer;
    CcoWatch watch;
    PortWait portWait;
    // Whether the readiness window passed without the readiness line.
    bool notReady = false;
    PageRetry page;
    OutputModel outputModel;
    StatusFile *statusFile = nullptr;
    InstallationTrial trial;
    // Whether the installation runs again after a failed trial.
    bool backFromTrial = false;
    // A stop asked for, and whether CCO starts once it is done; whether a
    // load of the shown page succeeded.
    TreeStop stopper;
    bool startAfterStop = false;
    bool pageSeen = false;
    TillMaintenance free{Installation::dataFolder()};
    RequestServer requests;
    // The one request being carried out, and what its asker waits for.
    enum class Awaits { Nothing, Stop, Start, Page, Update };
    QPointer<Request> asker;
    Awaits awaits = Awaits::Nothing;
    // While a request is being carried out: its asker hears of its end.
    bool asking = false;
    // An update being applied; whether it waits for CCO's stop; what came of it.
    bool updating = false;
    bool updateAfterStop = false;
    QString updateOutcome;
    bool updateApplied = false;
    // When the daily restarts of the last day came, in ms since the epoch.
    QList<qint64> dailyRestarts;
    QString pictureFailure;
};

#endif // CCOSUPERVISOR_H
