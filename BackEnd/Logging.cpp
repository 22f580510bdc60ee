#include "Logging.h"

Q_LOGGING_CATEGORY(lcShell, "aviro.shell")
Q_LOGGING_CATEGORY(lcNet, "aviro.net")
Q_LOGGING_CATEGORY(lcDownload, "aviro.download")
Q_LOGGING_CATEGORY(lcInstall, "aviro.install")
Q_LOGGING_CATEGORY(lcGame, "aviro.game")
Q_LOGGING_CATEGORY(lcUi, "aviro.ui")
