#pragma once

#include <QGLViewer/frame.h>
#include <QGLViewer/vec.h>

#include <QMetaType>

// libQGLViewer's value types as Qt meta-types, for the scene objects'
// properties and signals.
Q_DECLARE_METATYPE(qglviewer::Vec)
Q_DECLARE_METATYPE(qglviewer::Frame)

// Registers them, the zone pointer of the zone signals and the model's
// integer names, for queued connections and signal spies. Safe to call often.
void registerMapMetaTypes();
