#pragma once

#include <QObject>
#include <QStringList>

class LoginOp;
class Recorder;

// What the sign-in chain answers to one attempt, whether the operation is called or the dialog's button is
// clicked: the hints for the fields ("field: message"), whether the chain ran to its end, and new captchas.
class SignInAttempt : public QObject
{
    Q_OBJECT
public:
    SignInAttempt(LoginOp* login, const Recorder* seen);

    // Runs the event loop until the chain has settled: no spinner, a new captcha, and an end, a hint or an
    // error box.
    bool Wait(int timeoutMs = 10000) const;

    QStringList hints;
    bool over = false;
    int captchas = 0;

private:
    const Recorder* seen;
};
