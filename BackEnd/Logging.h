#pragma once

#include <QLoggingCategory>

// The launcher's messages by the part that says them, so that QT_LOGGING_RULES can choose among them in the
// field ("aviro.download.debug=false"). All of them are on by default and go through Qt's own handler.
Q_DECLARE_LOGGING_CATEGORY(lcShell)
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcDownload)
Q_DECLARE_LOGGING_CATEGORY(lcInstall)
Q_DECLARE_LOGGING_CATEGORY(lcGame)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
