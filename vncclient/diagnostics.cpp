#include "diagnostics.h"

Q_LOGGING_CATEGORY(lcSession, "vemo.session", QtInfoMsg)
Q_LOGGING_CATEGORY(lcView, "vemo.view", QtInfoMsg)
