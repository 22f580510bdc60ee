#include "GlobalUiOp.h"

#include <QDebug>

GlobalUiOp::GlobalUiOp(QObject* parent) : QObject(parent) {}

void GlobalUiOp::showWait(const QString& msg)
{
    qDebug() << "GlobalUiOp::showWait" << msg;
    emit switchWaitSpinner(true, msg);
}

void GlobalUiOp::hideWait()
{
    emit switchWaitSpinner(false, QString());
}

void GlobalUiOp::showError(const QString& msg)
{
    qDebug() << "GlobalUiOp::showError" << msg;
    emit showErrorBox(msg);
}
