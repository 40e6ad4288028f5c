#pragma once

#include <QObject>

#include <cstdint>

// Carries the currently selected node id between views: the node list and
// the map select, everyone else listens.
class Dispatch : public QObject
{
    Q_OBJECT

public:
    static Dispatch *instance();

    uint64_t selectedId() const { return m_id; }

signals:
    void idSelected(uint64_t id);

public slots:
    void emitIdSelected(uint64_t id);

private:
    Dispatch() = default;

    uint64_t m_id = 0;
};
