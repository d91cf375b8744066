#ifndef TILLCONFIG_H
#define TILLCONFIG_H

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The till's one configuration file, varnolet.conf: INI with sections, as
// QSettings writes it. Read line by line here, so that each fault is named
// with its line: an unknown key, a value that does not parse or lies out of
// its range, a key set twice. A fault costs that key alone its value (the
// default stands for it); nothing in the file ever stops the till.
class TillConfig
{
public:
    enum class Kind { Seconds, Count, Minutes, Windows, TimeOfDay };
    struct Key
    {
        const char *name; // section.key
        Kind kind;
        qint64 fallback; // for Seconds, Count, Minutes; the others have none
        qint64 least;
        qint64 most;
    };
    // Every key the file may hold, in the order `config show` lists them.
    static const QList<Key> &keys();

    struct Fault
    {
        int line = 0; // 0: the file as a whole
        QString reason;
    };

    // A larger file is not a configuration: every default stands.
    static constexpr int kLargest = 64 * 1024;

    // $XDG_CONFIG_HOME/varnolet.quindrel/varnolet.conf
    static QString defaultPath();
    // The file at `path`; no file is no fault, and every default.
    static TillConfig read(const QString &path);
    static TillConfig parse(const QByteArray &text, const QString &path);

    QString path() const { return filePath; }
    const QList<Fault> &faults() const { return found; }
    // The effective value of a number key (Seconds in seconds, Minutes in
    // minutes); its text, as `config show` prints it, for any key.
    qint64 number(const char *name) const;
    QString text(const char *name) const;
    // The line that set it, 0 where the default stands.
    int line(const char *name) const { return set.value(QLatin1String(name)).line; }
    // The settings whose effective values differ from those of `before`, as
    // "section.key old → new".
    QStringList changesFrom(const TillConfig &before) const;

    // "FILE:LINE: reason", one per fault, for `config check`.
    QStringList checkLines() const { return faultLines(filePath, QStringLiteral("%1:%2: %3")); }
    // "varnolet.conf line LINE: reason", one per fault, for the output area.
    QStringList sayLines() const
    {
        return faultLines(filePath.mid(filePath.lastIndexOf(QLatin1Char('/')) + 1),
                          QStringLiteral("%1 line %2: %3"));
    }
    // "section.key = value  # default" or "# varnolet.conf:LINE", every key.
    QStringList showLines() const;

private:
    struct Value
    {
        qint64 number = 0;
        QString text;
        int line = 0;
    };
    QStringList faultLines(const QString &file, const QString &atLine) const;
    void take(int line, const QString &section, const QString &key, const QString &value,
              QMap<QString, int> *seen);

    QString filePath;
    QMap<QString, Value> set;
    QList<Fault> found;
};

#endif // TILLCONFIG_H
