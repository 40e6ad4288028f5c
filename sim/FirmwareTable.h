#pragma once

#include <QJsonArray>
#include <QString>
#include <QVector>

// One firmware image known to the master.
struct FwDesc {
    int slot = 0;
    QString name;
    QString version;
    quint32 size = 0;
    quint32 crc32 = 0;
    bool enabled = true;
    bool boot = false;
};

// The master's firmware descriptor table: a working copy that commands
// change and a saved copy that "saveFwDescList" commits.
class FirmwareTable
{
public:
    FirmwareTable();

    QJsonArray toJson() const;
    const QVector<FwDesc> &descriptors() const { return m_descs; }
    bool isBoot(int slot) const;
    bool enable(int slot, bool on);
    bool remove(int slot);
    bool boot(int slot);
    void save() { m_saved = m_descs; }
    const QVector<FwDesc> &saved() const { return m_saved; }
    // Adds an uploaded image (replacing one of the same name); returns its
    // slot, or -1 when the table is full.
    int install(const FwDesc &desc);

private:
    QVector<FwDesc> m_descs;
    QVector<FwDesc> m_saved;

    FwDesc *find(int slot);
};
