#pragma once

#include "AbstractObject.h"

// A scene object that occupies space and can say whether a point is in it.
class AbstractVolume : public AbstractObject
{
    Q_OBJECT

public:
    explicit AbstractVolume(QObject *parent = nullptr);

    virtual bool isInside(const qglviewer::Vec &p) const;
};
