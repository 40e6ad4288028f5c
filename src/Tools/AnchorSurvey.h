#pragma once

#include <QHash>
#include <QSet>
#include <QVector>

#include <cstdint>
#include <optional>

class SentrovaInterface;

// What the calibration and layout tools know of the anchors at one moment:
// every anchor and master, sorted by id, with its surveyed coordinates, and
// the ranges the anchors measured to each other (two-way ranging entries
// only; times of arrival are not distances).
class AnchorSurvey
{
public:
    struct Anchor {
        uint64_t id = 0;
        bool surveyed = false; // all three coordinates known
        double x = 0.0, y = 0.0, z = 0.0;
    };

    struct Range {
        uint64_t from = 0;
        uint64_t to = 0;
        double measured = 0.0;
        double stdev = 0.0;
    };

    // One range per unordered pair of surveyed anchors (both directions of
    // a pair are one range measured twice, so they are averaged), by index
    // into anchors, a < b, sorted.
    struct Pair {
        int a;
        int b;
        double measured;
        double surveyed; // distance between the surveyed coordinates
    };

    QVector<Anchor> anchors;
    QVector<Range> ranges;

    QVector<Pair> surveyedPairs() const;

    static AnchorSurvey fromHub(const SentrovaInterface *hub);

    const Anchor *anchor(uint64_t id) const;
    // The range measured by `from` towards `to`, else the one measured the
    // other way round.
    std::optional<double> distance(uint64_t from, uint64_t to) const;
    QVector<uint64_t> ids() const;

    void add(const Range &range);
    // The same survey without these anchors and every range from or to them.
    AnchorSurvey without(const QSet<uint64_t> &ids) const;

private:
    QHash<QPair<uint64_t, uint64_t>, int> m_rangeIndex;
};
