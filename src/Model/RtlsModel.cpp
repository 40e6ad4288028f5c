#include "RtlsModel.h"

RtlsModel::RtlsModel(QObject *parent) : QObject(parent) {}
