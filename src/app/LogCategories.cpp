#include "app/LogCategories.h"

Q_LOGGING_CATEGORY(lcSession, "moonlodge.session")
Q_LOGGING_CATEGORY(lcRealtime, "moonlodge.realtime")
Q_LOGGING_CATEGORY(lcPages, "moonlodge.pages")
Q_LOGGING_CATEGORY(lcVoice, "moonlodge.voice")
Q_LOGGING_CATEGORY(lcWidgets, "moonlodge.widgets")
