#include "RtlsBaseModel.h"

RtlsBaseModel::RtlsBaseModel(QObject *parent) : QObject(parent) {}

QString RtlsBaseModel::name() const
{
    return QStringLiteral("Object");
}

void RtlsBaseModel::update() {}

void RtlsBaseModel::clear() {}
