#include "NodeAlignment.h"
#include "RtlsConvert.h"

#include "NodeToolsConstants.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kX = Rtls::kPosX;
constexpr uint32_t kY = Rtls::kPosY;
constexpr uint32_t kZ = Rtls::kPosZ;
constexpr uint32_t kXY = kX | kY;
constexpr double kPi = 3.14159265358979323846;

bool isRotation(NodeAlignment::Operation op)
{
    return op == NodeAlignment::RotateToX || op == NodeAlignment::RotateToY
        || op == NodeAlignment::RotateToNegX || op == NodeAlignment::RotateToNegY;
}

bool isTranslation(NodeAlignment::Operation op)
{
    return op <= NodeAlignment::PutOnZ;
}

// The rotation about Z that puts the reference (x0, y0) on the half axis.
double rotationAngle(NodeAlignment::Operation op, float x0, float y0)
{
    const double x = x0;
    const double y = y0;
    switch (op) {
    case NodeAlignment::RotateToX:
        return -std::atan2(y, x);
    case NodeAlignment::RotateToY:
        return std::atan2(x, y);
    case NodeAlignment::RotateToNegX:
        return kPi - std::atan2(y, x);
    case NodeAlignment::RotateToNegY:
        return std::atan2(x, y) - kPi;
    default:
        return 0.0;
    }
}

bool isMovable(RtlsObject *node)
{
    return node->hasPos() && Rtls::isAnchorOrMaster(node->mode());
}

QString tr(const char *text)
{
    return QCoreApplication::translate("NodeAlignment", text);
}

} // namespace

uint32_t NodeAlignment::axesWritten(Operation op)
{
    switch (op) {
    case SetAsOrigin:
        return Rtls::kPosXYZ;
    case ShiftToX:
    case MirrorOverYZ:
        return kX;
    case ShiftToY:
    case MirrorOverXZ:
        return kY;
    case ShiftToZ:
    case MirrorOverXY:
        return kZ;
    case PutOnX:
    case FlipOverX:
        return kY | kZ;
    case PutOnY:
    case FlipOverY:
        return kX | kZ;
    case PutOnZ:
    case FlipOverZ:
    case RotateToX:
    case RotateToY:
    case RotateToNegX:
    case RotateToNegY:
        return kXY;
    }
    return 0;
}

uint32_t NodeAlignment::referenceAxes(Operation op)
{
    if (isTranslation(op))
        return axesWritten(op);
    if (isRotation(op))
        return kXY;
    return 0;
}

NodeAlignment::Result NodeAlignment::apply(Operation op, const QList<RtlsObject *> &nodes, RtlsObject *reference)
{
    Result result;
    const uint32_t needed = referenceAxes(op);
    float ref[3] = {0.0f, 0.0f, 0.0f};
    if (needed) {
        if (!reference || !reference->hasPos() || (reference->pos()->flags() & needed) != needed) {
            result.refusal = tr("the reference node has no position");
            return result;
        }
        RtlsPos *p = reference->pos();
        ref[0] = p->x();
        ref[1] = p->y();
        ref[2] = p->z();
        if (isRotation(op) && ref[0] == 0.0f && ref[1] == 0.0f) {
            result.refusal = tr("the reference node stands on the Z axis, which gives no direction");
            return result;
        }
    }

    QList<RtlsObject *> sorted;
    for (RtlsObject *node : nodes)
        if (node && isMovable(node))
            sorted.append(node);
    std::sort(sorted.begin(), sorted.end(), [](RtlsObject *a, RtlsObject *b) { return a->id() < b->id(); });

    const uint32_t written = axesWritten(op);
    const double angle = isRotation(op) ? rotationAngle(op, ref[0], ref[1]) : 0.0;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    for (RtlsObject *node : qAsConst(sorted)) {
        RtlsPos *p = node->pos();
        const uint32_t known = p->flags() & Rtls::kPosXYZ;
        float v[3] = {p->x(), p->y(), p->z()};
        uint32_t changed = 0;
        if (isRotation(op)) {
            // A rotation mixes x and y: it needs both.
            if ((known & kXY) != kXY)
                continue;
            const double x = v[0];
            const double y = v[1];
            v[0] = float(x * c - y * s);
            v[1] = float(x * s + y * c);
            changed = kXY;
        } else {
            changed = written & known;
            for (int axis = 0; axis < 3; ++axis) {
                const uint32_t bit = kX << axis;
                if (!(changed & bit))
                    continue;
                v[axis] = isTranslation(op) ? v[axis] - ref[axis] : -v[axis];
            }
        }
        if (!changed)
            continue;
        if (changed & kX)
            p->setX(v[0]);
        if (changed & kY)
            p->setY(v[1]);
        if (changed & kZ)
            p->setZ(v[2]);
        result.moved.append(qMakePair(node, changed));
    }
    return result;
}
