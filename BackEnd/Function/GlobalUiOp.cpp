#include "GlobalUiOp.h"

#include "Logging.h"
#include "ShownText.h"

GlobalUiOp::GlobalUiOp(QObject* parent) : QObject(parent) {}

void GlobalUiOp::showWait(const QString& msg)
{
    qCDebug(lcUi) << "GlobalUiOp::showWait" << msg;
    emit switchWaitSpinner(true, msg);
}

void GlobalUiOp::hideWait()
{
    emit switchWaitSpinner(false, QString());
}

void GlobalUiOp::showError(const QString& msg)
{
    // A failure text may carry a server's words: an endless one must neither freeze the box nor fill the log.
    const QString shown = ShownText::Block(msg, ShownText::kMessageChars);
    qCDebug(lcUi) << "GlobalUiOp::showError" << shown;
    emit showErrorBox(shown);
}
