#include "MapMetaTypes.h"

#include "MapZone.h"
#include "RtlsMetaTypes.h"

void registerMapMetaTypes()
{
    registerRtlsMetaTypes();
    qRegisterMetaType<qglviewer::Vec>("qglviewer::Vec");
    qRegisterMetaType<qglviewer::Frame>("qglviewer::Frame");
    qRegisterMetaType<MapZone *>("MapZone*");
}
