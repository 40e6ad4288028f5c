// The geometry of the node list's alignment operations, on node records
// alone: what moves, where to, and which coordinates are reported.
#include "NodeAlignment.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QVector3D>
#include <QtTest>

#include <memory>

namespace {

constexpr uint64_t kA = 0x10;   // anchor (3, 4, 2)
constexpr uint64_t kB = 0x20;   // anchor (10, 0, 3)
constexpr uint64_t kC = 0x30;   // anchor of which only x = 7 is known
constexpr uint64_t kD = 0x40;   // anchor without a position record
constexpr uint64_t kM = 0x05;   // master on the Z axis (0, 0, 5)
constexpr uint64_t kT = 0x2001; // tag (6, 8, 1): never moved

using Positions = QHash<uint64_t, QVector3D>;
using Masks = QHash<uint64_t, uint32_t>;

struct Site
{
    std::vector<std::unique_ptr<RtlsObject>> owned;
    QList<RtlsObject *> nodes;

    RtlsObject *add(uint64_t id, const char *mode)
    {
        owned.push_back(std::make_unique<RtlsObject>(id));
        RtlsObject *node = owned.back().get();
        node->setMode(QLatin1String(mode));
        nodes.append(node);
        return node;
    }

    RtlsObject *find(uint64_t id) const
    {
        for (RtlsObject *n : nodes)
            if (n->id() == id)
                return n;
        return nullptr;
    }

    Site()
    {
        add(kA, "anchor")->pos()->setPos(3, 4, 2);
        add(kB, "anchor")->pos()->setPos(10, 0, 3);
        add(kC, "anchor")->pos()->setX(7);
        add(kD, "anchor");
        add(kM, "master")->pos()->setPos(0, 0, 5);
        add(kT, "tag")->pos()->setPos(6, 8, 1);
    }
};

QVector3D at(RtlsObject *node)
{
    return QVector3D(node->pos()->x(), node->pos()->y(), node->pos()->z());
}

bool near(const QVector3D &a, const QVector3D &b)
{
    return (a - b).length() < 1e-4f;
}

} // namespace

Q_DECLARE_METATYPE(NodeAlignment::Operation)

class tst_NodeAlignment : public QObject
{
    Q_OBJECT

private slots:
    void apply_data();
    void apply();
    void refusals_data();
    void refusals();
    void flipsAndMirrorsTwiceRestore_data();
    void flipsAndMirrorsTwiceRestore();
};

void tst_NodeAlignment::apply_data()
{
    QTest::addColumn<NodeAlignment::Operation>("op");
    QTest::addColumn<uint64_t>("reference");
    QTest::addColumn<Positions>("expected"); // of the nodes that move
    QTest::addColumn<Masks>("masks");        // what each reports

    using N = NodeAlignment;
    // The reference's own position is read before anything moves: B moves
    // by A's old coordinates although A comes first.
    QTest::newRow("origin") << N::SetAsOrigin << kA
                            << Positions{{kA, {0, 0, 0}}, {kB, {7, -4, 1}}, {kC, {4, 0, 0}}, {kM, {-3, -4, 3}}}
                            << Masks{{kA, 0xE0}, {kB, 0xE0}, {kC, 0x20}, {kM, 0xE0}};
    QTest::newRow("shift to x") << N::ShiftToX << kA
                                << Positions{{kA, {0, 4, 2}}, {kB, {7, 0, 3}}, {kC, {4, 0, 0}}, {kM, {-3, 0, 5}}}
                                << Masks{{kA, 0x20}, {kB, 0x20}, {kC, 0x20}, {kM, 0x20}};
    QTest::newRow("shift to z") << N::ShiftToZ << kB
                                << Positions{{kA, {3, 4, -1}}, {kB, {10, 0, 0}}, {kM, {0, 0, 2}}}
                                << Masks{{kA, 0x80}, {kB, 0x80}, {kM, 0x80}};
    QTest::newRow("put on x") << N::PutOnX << kA
                              << Positions{{kA, {3, 0, 0}}, {kB, {10, -4, 1}}, {kM, {0, -4, 3}}}
                              << Masks{{kA, 0xC0}, {kB, 0xC0}, {kM, 0xC0}};
    QTest::newRow("put on y") << N::PutOnY << kA
                              << Positions{{kA, {0, 4, 0}}, {kB, {7, 0, 1}}, {kC, {4, 0, 0}}, {kM, {-3, 0, 3}}}
                              << Masks{{kA, 0xA0}, {kB, 0xA0}, {kC, 0x20}, {kM, 0xA0}};
    QTest::newRow("put on z") << N::PutOnZ << kA
                              << Positions{{kA, {0, 0, 2}}, {kB, {7, -4, 3}}, {kC, {4, 0, 0}}, {kM, {-3, -4, 5}}}
                              << Masks{{kA, 0x60}, {kB, 0x60}, {kC, 0x20}, {kM, 0x60}};
    // A rotation needs x and y of a node: C keeps its lone x.
    QTest::newRow("rotate to x") << N::RotateToX << kA
                                 << Positions{{kA, {5, 0, 2}}, {kB, {6, -8, 3}}, {kM, {0, 0, 5}}}
                                 << Masks{{kA, 0x60}, {kB, 0x60}, {kM, 0x60}};
    QTest::newRow("rotate to y") << N::RotateToY << kA
                                 << Positions{{kA, {0, 5, 2}}, {kB, {8, 6, 3}}, {kM, {0, 0, 5}}}
                                 << Masks{{kA, 0x60}, {kB, 0x60}, {kM, 0x60}};
    QTest::newRow("rotate to -x") << N::RotateToNegX << kA
                                  << Positions{{kA, {-5, 0, 2}}, {kB, {-6, 8, 3}}, {kM, {0, 0, 5}}}
                                  << Masks{{kA, 0x60}, {kB, 0x60}, {kM, 0x60}};
    QTest::newRow("rotate to -y") << N::RotateToNegY << kA
                                  << Positions{{kA, {0, -5, 2}}, {kB, {-8, -6, 3}}, {kM, {0, 0, 5}}}
                                  << Masks{{kA, 0x60}, {kB, 0x60}, {kM, 0x60}};
    // A tag may be the reference; it is never moved itself.
    QTest::newRow("rotate to x by a tag") << N::RotateToX << kT
                                          << Positions{{kA, {5, 0, 2}}, {kB, {6, -8, 3}}, {kM, {0, 0, 5}}}
                                          << Masks{{kA, 0x60}, {kB, 0x60}, {kM, 0x60}};
    QTest::newRow("flip over x") << N::FlipOverX << uint64_t(0)
                                 << Positions{{kA, {3, -4, -2}}, {kB, {10, 0, -3}}, {kM, {0, 0, -5}}}
                                 << Masks{{kA, 0xC0}, {kB, 0xC0}, {kM, 0xC0}};
    QTest::newRow("flip over y") << N::FlipOverY << uint64_t(0)
                                 << Positions{{kA, {-3, 4, -2}}, {kB, {-10, 0, -3}}, {kC, {-7, 0, 0}}, {kM, {0, 0, -5}}}
                                 << Masks{{kA, 0xA0}, {kB, 0xA0}, {kC, 0x20}, {kM, 0xA0}};
    QTest::newRow("flip over z") << N::FlipOverZ << uint64_t(0)
                                 << Positions{{kA, {-3, -4, 2}}, {kB, {-10, 0, 3}}, {kC, {-7, 0, 0}}, {kM, {0, 0, 5}}}
                                 << Masks{{kA, 0x60}, {kB, 0x60}, {kC, 0x20}, {kM, 0x60}};
    QTest::newRow("mirror over xy") << N::MirrorOverXY << uint64_t(0)
                                    << Positions{{kA, {3, 4, -2}}, {kB, {10, 0, -3}}, {kM, {0, 0, -5}}}
                                    << Masks{{kA, 0x80}, {kB, 0x80}, {kM, 0x80}};
    QTest::newRow("mirror over xz") << N::MirrorOverXZ << uint64_t(0)
                                    << Positions{{kA, {3, -4, 2}}, {kB, {10, 0, 3}}, {kM, {0, 0, 5}}}
                                    << Masks{{kA, 0x40}, {kB, 0x40}, {kM, 0x40}};
    QTest::newRow("mirror over yz") << N::MirrorOverYZ << uint64_t(0)
                                    << Positions{{kA, {-3, 4, 2}}, {kB, {-10, 0, 3}}, {kC, {-7, 0, 0}}, {kM, {0, 0, 5}}}
                                    << Masks{{kA, 0x20}, {kB, 0x20}, {kC, 0x20}, {kM, 0x20}};
}

void tst_NodeAlignment::apply()
{
    QFETCH(NodeAlignment::Operation, op);
    QFETCH(uint64_t, reference);
    QFETCH(Positions, expected);
    QFETCH(Masks, masks);

    Site site;
    const uint32_t unknownFlags = site.find(kC)->pos()->flags();
    const QVector3D tagBefore = at(site.find(kT));
    const NodeAlignment::Result result = NodeAlignment::apply(op, site.nodes, site.find(reference));
    QVERIFY(result.refusal.isEmpty());

    Masks reported;
    QList<uint64_t> order;
    for (const auto &moved : result.moved) {
        reported.insert(moved.first->id(), moved.second);
        order.append(moved.first->id());
    }
    QCOMPARE(reported, masks);
    QVERIFY(std::is_sorted(order.begin(), order.end()));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVector3D got = at(site.find(it.key()));
        QVERIFY2(near(got, it.value()), qPrintable(QStringLiteral("node 0x%1 at (%2, %3, %4)")
                                                      .arg(it.key(), 0, 16)
                                                      .arg(got.x())
                                                      .arg(got.y())
                                                      .arg(got.z())));
    }
    // Unknown coordinates stay unknown, a missing record stays missing, a
    // tag stays where it is.
    QCOMPARE(site.find(kC)->pos()->flags(), unknownFlags);
    QVERIFY(!site.find(kD)->hasPos());
    QCOMPARE(at(site.find(kT)), tagBefore);
}

void tst_NodeAlignment::refusals_data()
{
    QTest::addColumn<NodeAlignment::Operation>("op");
    QTest::addColumn<uint64_t>("reference");
    QTest::newRow("no reference") << NodeAlignment::SetAsOrigin << uint64_t(0x99);
    QTest::newRow("reference without record") << NodeAlignment::SetAsOrigin << kD;
    QTest::newRow("reference knowing x only, origin") << NodeAlignment::SetAsOrigin << kC;
    QTest::newRow("reference knowing x only, rotation") << NodeAlignment::RotateToY << kC;
    QTest::newRow("reference knowing x only, put on x") << NodeAlignment::PutOnX << kC;
    QTest::newRow("reference on the z axis") << NodeAlignment::RotateToX << kM;
}

void tst_NodeAlignment::refusals()
{
    QFETCH(NodeAlignment::Operation, op);
    QFETCH(uint64_t, reference);
    Site site;
    QHash<uint64_t, QVector3D> before;
    for (RtlsObject *n : qAsConst(site.nodes))
        if (n->hasPos())
            before.insert(n->id(), at(n));
    const NodeAlignment::Result result = NodeAlignment::apply(op, site.nodes, site.find(reference));
    QVERIFY(!result.refusal.isEmpty());
    QVERIFY(result.moved.isEmpty());
    for (RtlsObject *n : qAsConst(site.nodes))
        if (n->hasPos())
            QCOMPARE(at(n), before.value(n->id()));
    QVERIFY(!site.find(kD)->hasPos());
}

void tst_NodeAlignment::flipsAndMirrorsTwiceRestore_data()
{
    QTest::addColumn<NodeAlignment::Operation>("op");
    for (NodeAlignment::Operation op : {NodeAlignment::FlipOverX, NodeAlignment::FlipOverY, NodeAlignment::FlipOverZ,
                                        NodeAlignment::MirrorOverXY, NodeAlignment::MirrorOverXZ,
                                        NodeAlignment::MirrorOverYZ})
        QTest::newRow(qPrintable(QString::number(int(op)))) << op;
}

void tst_NodeAlignment::flipsAndMirrorsTwiceRestore()
{
    QFETCH(NodeAlignment::Operation, op);
    Site site;
    QHash<uint64_t, QVector3D> before;
    for (RtlsObject *n : qAsConst(site.nodes))
        if (n->hasPos())
            before.insert(n->id(), at(n));
    NodeAlignment::apply(op, site.nodes, nullptr);
    NodeAlignment::apply(op, site.nodes, nullptr);
    for (RtlsObject *n : qAsConst(site.nodes))
        if (n->hasPos())
            QCOMPARE(at(n), before.value(n->id()));
}

QTEST_GUILESS_MAIN(tst_NodeAlignment)
#include "tst_nodealignment.moc"
