#include "MapNodeSource.h"

MapNodeSource::~MapNodeSource() = default;
