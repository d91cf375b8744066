#ifndef OUTPUTMODEL_H
#define OUTPUTMODEL_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// The output area's text. Each chunk becomes a paragraph of it. Only about
// the most recent `characterLimit` characters are kept, in whole lines: CCO
// logs for days, and every change of a text area costs time in proportion
// to all the text it holds. So while chunks pour in they are gathered and
// handed to the view at most ten times a second, and chunks that would be
// dropped before they are shown are dropped at once.
class OutputModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text NOTIFY textChanged)
    Q_PROPERTY(int characterLimit READ characterLimit CONSTANT)

public:
    static constexpr int kCharacterLimit = 50000;

    explicit OutputModel(QObject *parent = nullptr, int characterLimit = kCharacterLimit);

    QString text() const { return shown; }
    int characterLimit() const { return limit; }

public slots:
    // A chunk of output; it is shown within a tenth of a second.
    void append(const QString &chunk);
    // A line shown at once, after whatever came before it.
    void appendNow(const QString &line);
    void clear();

signals:
    void textChanged();

private:
    void flush();

    const int limit;
    QString shown;
    QStringList pending;
    int pendingLength = 0;
    QTimer throttle;
};

#endif // OUTPUTMODEL_H
