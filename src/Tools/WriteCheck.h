#pragma once

#include <QColor>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <cstdint>

class SentrovaInterface;

// Checked writes: after a tool writes a value to a node it registers here
// what it wrote; the check asks the node for the value back and reports
// whether the node holds it, with what it holds. A write counts as done only
// when the read-back matches. An answer that does not match may still be one
// that was on its way before the write, so it is kept as provisional and the
// write is reported refused only when no matching answer came in time.
class WriteCheck : public QObject
{
    Q_OBJECT

public:
    enum class State { Pending, Confirmed, Refused, NoAnswer };

    struct Entry {
        State state = State::Pending;
        QString expected; // what was written, as text
        QString held;     // what the node last said it holds
    };

    explicit WriteCheck(SentrovaInterface *hub, QObject *parent = nullptr);

    void setTimeout(int ms) { m_timeoutMs = ms; }

    static QString delaysKey(uint64_t id);
    static QString positionKey(uint64_t id);
    static QString nodeConfigKey(int cfgId);
    static QString tdmaSchemeKey();

    // Each records the written value and sends the read-back request.
    void expectDelays(uint64_t id, uint16_t tx, uint16_t rx);
    // axes: the axes written (0x20 x, 0x40 y, 0x80 z); an axis without its
    // bit in known was written as "auto" and must come back absent.
    void expectPosition(uint64_t id, uint32_t axes, uint32_t known, double x, double y, double z);
    void expectNodeConfig(const QJsonObject &sent);
    void expectTdmaScheme(int scheme);

    Entry entry(const QString &key) const { return m_entries.value(key); }
    // "✔ holds …", "✗ holds …", "… checking" or "✗ no answer".
    QString statusText(const QString &key) const;
    // Dark green when confirmed, black while checking, red otherwise.
    QColor statusColour(const QString &key) const;

signals:
    void checked(const QString &key, bool ok, const QString &held);
    void progress(const QString &key);

private slots:
    void delaysReported(uint64_t id, uint16_t tx, uint16_t rx);
    void serviceData(const QJsonObject &obj);
    void schemeReported(int scheme);

private:
    struct Pending {
        Entry entry;
        quint64 generation = 0;
        // Position checks
        uint64_t id = 0;
        uint32_t axes = 0;
        uint32_t known = 0;
        double xyz[3] = {0.0, 0.0, 0.0};
        // Delay checks
        uint16_t tx = 0;
        uint16_t rx = 0;
        // Node configuration checks
        QJsonObject config;
        int scheme = -1;
    };

    void start(const QString &key, Pending pending);
    void settle(const QString &key, bool matches, const QString &held);
    void checkPosition(uint64_t id, const QJsonObject &coordinates);
    void checkNodeConfig(const QJsonObject &config);

    SentrovaInterface *m_hub;
    int m_timeoutMs;
    quint64 m_generation = 0;
    QHash<QString, Pending> m_pending;
    QHash<QString, Entry> m_entries;
};
