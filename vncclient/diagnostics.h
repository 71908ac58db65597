// The categories of vemo's own diagnostics. Debug lines are off by default,
// so a normal session prints nothing; QT_LOGGING_RULES="vemo.*.debug=true"
// (or --verbose) turns them on.
#pragma once

#include <QLoggingCategory>

// The connection: the library's log lines, the handshake, the messages.
Q_DECLARE_LOGGING_CATEGORY(lcSession)
// The view: painting, input, the session's status as the window sees it.
Q_DECLARE_LOGGING_CATEGORY(lcView)
