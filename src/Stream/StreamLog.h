#pragma once

#include <QLoggingCategory>

// The location stream: reception, decoding, capture, stream server.
Q_DECLARE_LOGGING_CATEGORY(lcStream)
