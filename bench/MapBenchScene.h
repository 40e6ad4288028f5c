#pragma once

#include "MapNodeSource.h"
#include "MapTab.h"
#include "RtlsMeas.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QVector>

#include <cstdint>

// A site for the map benchmarks, made in the process's hub: eight anchors
// round a 30 x 30 m hall and n tags scattered in it, each of which can be
// walked a number of steps. Tag ids start at kFirstTag, anchors at
// kFirstAnchor; the random walk has a fixed seed. As the map's node source
// it lists only its own nodes, whatever else the process's hub holds.
class MapBenchScene : public MapNodeSource
{
public:
    static constexpr uint64_t kFirstAnchor = 0xA000;
    static constexpr uint64_t kFirstTag = 0x10000;
    static constexpr int kAnchors = 8;
    static constexpr double kHalfSide = 15.0;

    explicit MapBenchScene(int tags) : m_rng(1234)
    {
        SentrovaInterface *hub = SentrovaInterface::instance();
        QJsonArray nodes;
        for (int i = 0; i < kAnchors; ++i) {
            const double angle = i * 2.0 * M_PI / kAnchors;
            QJsonObject anchor;
            anchor.insert("id", QStringLiteral("0x%1").arg(kFirstAnchor + i, 0, 16));
            anchor.insert("mode", "anchor");
            anchor.insert("coordinates", QJsonObject{{"x", kHalfSide * std::cos(angle)},
                                                     {"y", kHalfSide * std::sin(angle)},
                                                     {"z", 3.0}});
            nodes.append(anchor);
        }
        for (int i = 0; i < tags; ++i) {
            QJsonObject tag;
            tag.insert("id", QStringLiteral("0x%1").arg(kFirstTag + uint64_t(i), 0, 16));
            tag.insert("mode", "tag");
            nodes.append(tag);
        }
        hub->fromJSON(QJsonObject{{"node", nodes}});
        for (int i = 0; i < kAnchors; ++i)
            m_anchors.append(hub->node(kFirstAnchor + uint64_t(i)));
        for (int i = 0; i < tags; ++i) {
            RtlsObject *tag = hub->node(kFirstTag + uint64_t(i));
            tag->pos()->setPos(float(coordinate()), float(coordinate()), 1.0f);
            m_tags.append(tag);
        }
    }

    RtlsObject *findNode(uint64_t id) const override
    {
        for (RtlsObject *node : m_anchors + m_tags) {
            if (node->id() == id)
                return node;
        }
        return nullptr;
    }
    QList<RtlsObject *> nodes() const override
    {
        QList<RtlsObject *> all;
        for (RtlsObject *node : m_anchors + m_tags)
            all.append(node);
        return all;
    }
    uint64_t masterId() const override { return 0; }
    void sendJson(const QJsonObject &) override {}

    const QVector<RtlsObject *> &tags() const { return m_tags; }
    const QVector<RtlsObject *> &anchors() const { return m_anchors; }

    // One step of a tag: up to 20 cm in x and y, kept in the hall.
    void step(RtlsObject *tag)
    {
        RtlsPos *pos = tag->pos();
        const float x = clamp(pos->x() + float(m_rng.bounded(0.4) - 0.2));
        const float y = clamp(pos->y() + float(m_rng.bounded(0.4) - 0.2));
        pos->setPos(x, y, 1.0f);
    }

    // Walks every tag steps times, handing each step to the map.
    void walk(MapTab *map, int steps)
    {
        for (int s = 0; s < steps; ++s) {
            for (RtlsObject *tag : qAsConst(m_tags)) {
                step(tag);
                map->nodeUpdated(tag);
            }
        }
    }

    // Ranges from a tag to every anchor, as a report would carry them.
    void measure(RtlsObject *tag)
    {
        QJsonArray meas;
        for (RtlsObject *anchor : qAsConst(m_anchors)) {
            const double d = std::hypot(anchor->pos()->x() - tag->pos()->x(), anchor->pos()->y() - tag->pos()->y());
            meas.append(QJsonObject{{"anchor", QStringLiteral("0x%1").arg(anchor->id(), 0, 16)},
                                    {"dist", d + 0.05},
                                    {"tqf", 1},
                                    {"rssi", -80.0}});
        }
        tag->meas()->updateFromJson(meas);
    }

private:
    double coordinate() { return m_rng.bounded(2.0 * kHalfSide) - kHalfSide; }
    static float clamp(float v) { return std::max(float(-kHalfSide), std::min(float(kHalfSide), v)); }

    QRandomGenerator m_rng;
    QVector<RtlsObject *> m_anchors;
    QVector<RtlsObject *> m_tags;
};
