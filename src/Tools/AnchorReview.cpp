#include "AnchorReview.h"

#include "AnchorDelaySolver.h"
#include "LayoutCheck.h"

#include <cmath>

QVector<AnchorReview::Anchor> AnchorReview::review(const AnchorSurvey &survey)
{
    const LayoutCheck::Result layout = LayoutCheck::check(survey);
    const AnchorDelaySolver::Result delays = AnchorDelaySolver::solve(survey);

    QVector<Anchor> out;
    out.reserve(survey.anchors.size());
    bool anyLayoutFault = false;
    for (const AnchorSurvey::Anchor &a : survey.anchors) {
        Anchor r;
        r.id = a.id;
        r.surveyed = a.surveyed;
        r.x = a.x;
        r.y = a.y;
        r.z = a.z;
        const LayoutCheck::AnchorResult l = layout.anchors.value(a.id);
        r.layoutChecked = l.checked;
        r.residual = l.residual;
        r.fitX = l.fitX;
        r.fitY = l.fitY;
        r.layoutFault = l.checked && l.residual > LayoutCheck::kSurveyFault;
        anyLayoutFault = anyLayoutFault || r.layoutFault;
        const AnchorDelaySolver::AnchorResult d = delays.anchors.value(a.id);
        r.delaySolved = d.solved;
        r.rangeError = d.errorMetres;
        out.append(r);
    }
    // A mis-surveyed anchor makes every range to it look wrong by the
    // survey's error; the delays are only judged on a layout that holds.
    for (Anchor &r : out)
        r.delayFault = !anyLayoutFault && r.delaySolved && std::fabs(r.rangeError) > kRangeErrorFault;
    return out;
}
