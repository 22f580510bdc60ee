#include "GlobalUiOp.h"

GlobalUiOp::GlobalUiOp(QObject* parent) : QObject(parent) {}

void GlobalUiOp::showWait(const QString& msg)
{
    emit switchWaitSpinner(true, msg);
}

void GlobalUiOp::hideWait()
{
    emit switchWaitSpinner(false, QString());
}

void GlobalUiOp::showError(const QString& msg)
{
    emit showErrorBox(msg);
}
