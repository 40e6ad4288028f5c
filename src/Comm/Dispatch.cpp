#include "Dispatch.h"

Dispatch *Dispatch::instance()
{
    static Dispatch *dispatch = new Dispatch;
    return dispatch;
}

void Dispatch::emitIdSelected(uint64_t id)
{
    // Stored first, so a receiver that reads selectedId() sees the new one.
    m_id = id;
    emit idSelected(id);
}
