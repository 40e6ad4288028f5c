#include "AbstractVolume.h"

AbstractVolume::AbstractVolume(QObject *parent) : AbstractObject(parent) {}

bool AbstractVolume::isInside(const qglviewer::Vec &) const
{
    return false;
}
