#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>

class RtlsObject;

// The alignment operations of the node list: translations, rotations about
// the vertical axis, flips and mirrors of the stored coordinates of every
// anchor and master. A plain class, so the geometry is testable without a
// window or a master.
//
// Only coordinates that are known (their bit set in the position's flags)
// are transformed and reported; a node whose position record does not
// exist is left alone, so an unknown position is never pinned at a
// transformed zero. The reference position is read once, before any node
// moves (the reference may be one of the nodes moved).
class NodeAlignment
{
public:
    enum Operation {
        SetAsOrigin,  // every coordinate minus the reference's
        ShiftToX,     // x minus the reference's x
        ShiftToY,
        ShiftToZ,
        PutOnX,       // y and z minus the reference's: it lies on the X axis
        PutOnY,       // x and z minus the reference's
        PutOnZ,       // x and y minus the reference's
        RotateToX,    // about Z, so that the reference lies on +X
        RotateToY,    // ... on +Y
        RotateToNegX, // ... on -X
        RotateToNegY, // ... on -Y
        FlipOverX,    // (x, -y, -z)
        FlipOverY,    // (-x, y, -z)
        FlipOverZ,    // (-x, -y, z)
        MirrorOverXY, // (x, y, -z)
        MirrorOverXZ, // (x, -y, z)
        MirrorOverYZ, // (-x, y, z)
    };

    struct Result
    {
        // Each node moved, with the position bits (0x20 x, 0x40 y, 0x80 z)
        // of the coordinates that changed, in ascending id order.
        QList<QPair<RtlsObject *, uint32_t>> moved;
        // Empty when the operation ran; otherwise why it did not.
        QString refusal;
    };

    // The coordinates an operation writes (position bits).
    static uint32_t axesWritten(Operation op);
    // The coordinates the reference node must know (0: needs no reference).
    static uint32_t referenceAxes(Operation op);

    // Applies op to every node of `nodes` whose mode is "anchor" or
    // "master"; `reference` is the selected node (may be null when the
    // operation needs none).
    static Result apply(Operation op, const QList<RtlsObject *> &nodes, RtlsObject *reference);
};
