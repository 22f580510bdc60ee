#pragma once

#include <QObject>

// The one channel through which back-end objects raise the application-wide busy spinner and error box.
class GlobalUiOp : public QObject
{
    Q_OBJECT
public:
    explicit GlobalUiOp(QObject* parent = nullptr);

    void showWait(const QString& msg);
    void hideWait();
    void showError(const QString& msg);

signals:
    void switchWaitSpinner(bool state, QString msg);
    void showErrorBox(QString msg);
};
