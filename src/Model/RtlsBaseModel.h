#pragma once

#include <QObject>
#include <QString>

// Base of a model of named objects; the node model does not use it yet.
class RtlsBaseModel : public QObject
{
    Q_OBJECT

public:
    explicit RtlsBaseModel(QObject *parent = nullptr);

    virtual QString name() const;
    virtual void update();
    virtual void clear();
};
