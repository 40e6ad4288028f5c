#include "AnchorSurvey.h"

#include "RtlsConvert.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"

#include <algorithm>
#include <cmath>

AnchorSurvey AnchorSurvey::fromHub(const SentrovaInterface *hub)
{
    AnchorSurvey survey;
    QVector<RtlsObject *> nodes;
    for (RtlsObject *node : hub->nodes())
        if (Rtls::isAnchorOrMaster(node->mode()))
            nodes.append(node);
    std::sort(nodes.begin(), nodes.end(), [](RtlsObject *a, RtlsObject *b) { return a->id() < b->id(); });

    for (RtlsObject *node : qAsConst(nodes)) {
        Anchor a;
        a.id = node->id();
        if (node->hasPos()) {
            const RtlsPos *pos = node->pos();
            a.surveyed = (pos->flags() & Rtls::kPosXYZ) == Rtls::kPosXYZ;
            a.x = pos->x();
            a.y = pos->y();
            a.z = pos->z();
        }
        survey.anchors.append(a);
    }
    for (RtlsObject *node : qAsConst(nodes)) {
        if (!node->hasMeas())
            continue;
        const RtlsMeas::Table table = node->meas()->current();
        for (auto it = table.constBegin(); it != table.constEnd(); ++it) {
            if (it->kind != Rtls::kMeasDistance || !survey.anchor(it.key()) || it.key() == node->id())
                continue;
            survey.add(Range{node->id(), it.key(), double(it->value), double(it->stdev)});
        }
    }
    return survey;
}

const AnchorSurvey::Anchor *AnchorSurvey::anchor(uint64_t id) const
{
    for (const Anchor &a : anchors)
        if (a.id == id)
            return &a;
    return nullptr;
}

std::optional<double> AnchorSurvey::distance(uint64_t from, uint64_t to) const
{
    int i = m_rangeIndex.value(qMakePair(from, to), -1);
    if (i < 0)
        i = m_rangeIndex.value(qMakePair(to, from), -1);
    if (i < 0)
        return std::nullopt;
    return ranges[i].measured;
}

QVector<AnchorSurvey::Pair> AnchorSurvey::surveyedPairs() const
{
    QHash<uint64_t, int> index;
    for (int i = 0; i < anchors.size(); ++i)
        if (anchors[i].surveyed)
            index.insert(anchors[i].id, i);
    QHash<QPair<int, int>, QVector<double>> byPair;
    for (const Range &r : ranges) {
        if (!index.contains(r.from) || !index.contains(r.to) || r.from == r.to || !(r.measured > 0.0))
            continue;
        int a = index.value(r.from);
        int b = index.value(r.to);
        if (a > b)
            std::swap(a, b);
        byPair[qMakePair(a, b)].append(r.measured);
    }
    QVector<Pair> pairs;
    for (auto it = byPair.constBegin(); it != byPair.constEnd(); ++it) {
        const Anchor &pa = anchors[it.key().first];
        const Anchor &pb = anchors[it.key().second];
        double mean = 0.0;
        for (double v : it.value())
            mean += v;
        const double surveyed = std::sqrt((pa.x - pb.x) * (pa.x - pb.x) + (pa.y - pb.y) * (pa.y - pb.y)
                                          + (pa.z - pb.z) * (pa.z - pb.z));
        pairs.append(Pair{it.key().first, it.key().second, mean / it.value().size(), surveyed});
    }
    std::sort(pairs.begin(), pairs.end(), [](const Pair &l, const Pair &r) { return l.a != r.a ? l.a < r.a : l.b < r.b; });
    return pairs;
}

QVector<uint64_t> AnchorSurvey::ids() const
{
    QVector<uint64_t> out;
    for (const Anchor &a : anchors)
        out.append(a.id);
    return out;
}

void AnchorSurvey::add(const Range &range)
{
    if (!std::isfinite(range.measured))
        return;
    const auto key = qMakePair(range.from, range.to);
    const int known = m_rangeIndex.value(key, -1);
    if (known >= 0) {
        ranges[known] = range;
        return;
    }
    m_rangeIndex.insert(key, ranges.size());
    ranges.append(range);
}

AnchorSurvey AnchorSurvey::without(const QSet<uint64_t> &ids) const
{
    AnchorSurvey out;
    for (const Anchor &a : anchors)
        if (!ids.contains(a.id))
            out.anchors.append(a);
    for (const Range &r : ranges)
        if (!ids.contains(r.from) && !ids.contains(r.to))
            out.add(r);
    return out;
}
