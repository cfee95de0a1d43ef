#pragma once

#include <QLoggingCategory>

// One category per subsystem, so QT_LOGGING_RULES can quiet or select them,
// e.g. QT_LOGGING_RULES="moonlodge.*.debug=false;moonlodge.voice.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcSession)
Q_DECLARE_LOGGING_CATEGORY(lcRealtime)
Q_DECLARE_LOGGING_CATEGORY(lcPages)
Q_DECLARE_LOGGING_CATEGORY(lcVoice)
Q_DECLARE_LOGGING_CATEGORY(lcWidgets)
