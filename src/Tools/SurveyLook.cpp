#include "SurveyLook.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SurveyLook", text);
}

const QColor kGreen(0, 170, 0);
const QColor kAmber(235, 160, 0);
const QColor kRed(220, 0, 0);
const QColor kGrey(128, 128, 128);

} // namespace

QColor SurveyLook::colour(const SiteAcceptanceSession::PointResult &result, double target)
{
    using Status = SiteAcceptanceSession::Status;
    switch (result.status) {
    case Status::Pass:
        return result.figure <= kComfortable * target ? kGreen : kAmber;
    case Status::Fail:
    case Status::NoUsable:
        return kRed;
    case Status::NotRun:
    case Status::NoReports:
        break;
    }
    return kGrey;
}

QString SurveyLook::statusText(SiteAcceptanceSession::Status status)
{
    using Status = SiteAcceptanceSession::Status;
    switch (status) {
    case Status::NotRun:
        return tr("not run");
    case Status::NoReports:
        return tr("no positions");
    case Status::NoUsable:
        return tr("FAIL: none usable");
    case Status::Pass:
        return tr("PASS");
    case Status::Fail:
        return tr("FAIL");
    }
    return QString();
}

QString SurveyLook::verdictText(SiteAcceptanceSession::Verdict verdict)
{
    using Verdict = SiteAcceptanceSession::Verdict;
    switch (verdict) {
    case Verdict::NotRun:
        return tr("NOT RUN");
    case Verdict::Incomplete:
        return tr("INCOMPLETE");
    case Verdict::Pass:
        return tr("PASS");
    case Verdict::Fail:
        return tr("FAIL");
    }
    return QString();
}

QColor SurveyLook::verdictColour(SiteAcceptanceSession::Verdict verdict)
{
    using Verdict = SiteAcceptanceSession::Verdict;
    switch (verdict) {
    case Verdict::Pass:
        return kGreen;
    case Verdict::Fail:
        return kRed;
    case Verdict::Incomplete:
        return kAmber;
    case Verdict::NotRun:
        break;
    }
    return kGrey;
}
