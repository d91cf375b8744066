#ifndef OUTCOME_H
#define OUTCOME_H

#include <QString>

// What a step of the backend came to: done, or failed with a reason a
// person can read. Every room below the QML-facing class returns its
// failures this way; that class words them for the output area. A failure
// never passes for success, even when its reason is empty.
class [[nodiscard]] Outcome
{
public:
    static Outcome done() { return Outcome(); }
    static Outcome failed(const QString &why)
    {
        Outcome outcome;
        outcome.failure = true;
        outcome.reason = why;
        return outcome;
    }

    bool ok() const { return !failure; }
    QString why() const { return reason; }

private:
    bool failure = false;
    QString reason;
};

#endif // OUTCOME_H
