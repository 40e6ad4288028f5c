#pragma once

#include <QObject>

// Base of a model of the whole site; the node model does not use it yet.
class RtlsModel : public QObject
{
    Q_OBJECT

public:
    explicit RtlsModel(QObject *parent = nullptr);
};
