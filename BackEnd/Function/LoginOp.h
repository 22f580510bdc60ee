#pragma once

#include <QObject>
#include <QVariantMap>

class ObjectRegistry;

// Behind the sign-in dialog: the captcha picture, the sign-in chain (account, store session, product)
// and the links to the account web site.
class LoginOp : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString verifyUrl READ verifyUrl NOTIFY verifyUrlChanged)
public:
    explicit LoginOp(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    QString verifyUrl() const { return url; }

    Q_INVOKABLE void loginVomoAccount(const QVariantMap& v);
    Q_INVOKABLE void refreshVerifyCode();
    Q_INVOKABLE void showRegisterVomoAccount();
    Q_INVOKABLE void showForgetPassword();

signals:
    void verifyUrlChanged();
    void countriesChanged();
    void over(bool state);
    void accountErrorHint(QString type, QString msg);

private:
    int Language() const;

    QString url;
};
