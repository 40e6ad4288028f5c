#pragma once

#include "MapConstants.h"

// The drawing options of a map view, kept where both the view (which offers
// them as properties) and its scene (which follows the node model with them)
// read them.
struct MapViewOptions
{
    double floorSize = Map::kDefaultFloorSize;
    double floorExtend = Map::kDefaultFloorExtend;
    bool drawLinesActive = true;
    bool drawCirclesActive = false;
    bool selectedNodeOnly = false;
    unsigned int nodeMode = Map::kDefaultNodeMode;
    double minTemp = Map::kDefaultMinTemp;
    double maxTemp = Map::kDefaultMaxTemp;
    int historySize = Map::kDefaultHistorySize;
    int minPqf = Map::kDefaultMinPqf;
};
