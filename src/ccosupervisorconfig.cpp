// How varnolet.conf's figures become the supervision's delays: when the app
// opens, and again whenever the file changes. A countdown that runs and a
// restart that is pending keep the time they were given; what starts next
// takes the new figures.

#include "ccosupervisor.h"

void CcoSupervisor::setDelays(const Delays &given)
{
    base = given;
    delays = configured(base, config.current());
}

CcoSupervisor::Delays CcoSupervisor::configured(const Delays &base, const TillConfig &file)
{
    Delays d = base;
    // Only what the file sets: a key at its default keeps the given delay.
    auto ms = [&file](const char *key, int *field) {
        if (file.line(key))
            *field = int(file.number(key) * 1000);
    };
    auto count = [&file](const char *key, int *field) {
        if (file.line(key))
            *field = int(file.number(key));
    };
    count("start.countdown", &d.countdownSteps);
    ms("restart.first", &d.firstRestart);
    ms("restart.longest", &d.longestRestart);
    ms("restart.longRun", &d.longRun);
    ms("watch.readiness", &d.readiness);
    ms("watch.interval", &d.liveness.interval);
    ms("watch.deadline", &d.liveness.deadline);
    count("watch.misses", &d.liveness.hungAfter);
    ms("watch.page", &d.show);
    count("trial.deaths", &d.trialDeaths);
    if (file.line("trial.window") || file.line("watch.readiness"))
        d.trialWindow = int(file.number("trial.window") * 1000);
    return d;
}

void CcoSupervisor::configChanged(const TillConfig &before)
{
    delays = configured(base, config.current());
    free.setConfig(config.current());
    const QStringList changes = config.current().changesFrom(before);
    say(changes.isEmpty() ? QStringLiteral("Configuration read again: no setting changed.")
            : QStringLiteral("Configuration read again: %1 %2 changed (%3).")
                  .arg(changes.size())
                  .arg(changes.size() == 1 ? QStringLiteral("setting") : QStringLiteral("settings"),
                       changes.join(QStringLiteral(", "))));
    for (const QString &line : config.current().sayLines())
        say(line);
}
