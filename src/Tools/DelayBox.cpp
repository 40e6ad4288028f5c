#include "DelayBox.h"

#include "CalibrationConstants.h"

#include <QCoreApplication>
#include <QSpinBox>

void DelayBox::prepare(QSpinBox *box, int lowest)
{
    box->setRange(lowest, Calib::kMaxReportedDelay);
}

bool DelayBox::flag(QSpinBox *box, bool check)
{
    const bool outside = check && !Calib::isPlausibleDelay(box->value());
    box->setStyleSheet(outside ? QStringLiteral("QSpinBox { background: rgb(255, 160, 160); }") : QString());
    box->setToolTip(outside ? QCoreApplication::translate("DelayBox", "Outside %1: not written").arg(window())
                            : QString());
    return outside;
}

QString DelayBox::window()
{
    return QCoreApplication::translate("DelayBox", "%1 to %2").arg(Calib::kMinDelay).arg(Calib::kMaxDelay);
}
