#include "SetupCellFormat.h"

#include "NodeDetailText.h"

#include <QCoreApplication>

#include <cmath>

QString SetupCellFormat::unknownCoordinate()
{
    return QStringLiteral("-.---");
}

QColor SetupCellFormat::distanceColour(double d)
{
    if (d > 0.5)
        return QColor(255, 0, 0);
    if (d > 0.4)
        return QColor(255, 82, 0);
    // The band edge is the double nearest 0.1 + 0.2, just above 0.3.
    if (d > 0.1 + 0.2)
        return QColor(255, 165, 0);
    if (d > 0.2)
        return QColor(255, 255, 0);
    if (d > 0.1)
        return QColor(165, 255, 0);
    return QColor(0, 255, 0);
}

QString SetupCellFormat::distanceText(double measured, double stdev)
{
    if (stdev > 0.0)
        return QStringLiteral("%1 (%2)").arg(measured, 0, 'f', 3).arg(stdev, 0, 'f', 3);
    return QStringLiteral("%1").arg(measured, 0, 'f', 3);
}

QString SetupCellFormat::distanceToolTip(double measured, double fromPositions, double difference)
{
    return QCoreApplication::translate("SetupTab", "measured: %1 [m]\nbased on position: %2 [m]\ndifference: %3 [m]")
        .arg(measured, 0, 'f', 3)
        .arg(fromPositions, 0, 'f', 3)
        .arg(difference, 0, 'f', 3);
}

QString SetupCellFormat::coordinateText(bool known, double value)
{
    return known ? QStringLiteral("%1").arg(value, 0, 'f', 3) : unknownCoordinate();
}

SetupCellFormat::Typed SetupCellFormat::readCoordinate(const QString &text, double *value)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t == unknownCoordinate() || t.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
        return Typed::Auto;
    return NodeDetailText::parseCoordinate(t, value) ? Typed::Number : Typed::Invalid;
}

QString SetupCellFormat::sentCoordinate(double value)
{
    const double stored = double(float(value));
    return QString::number(std::round(stored * 1000.0) / 1000.0, 'f', 3);
}
