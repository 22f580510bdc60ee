#include "SignInAttempt.h"

#include "LoginOp.h"
#include "Recorder.h"
#include "TestEnv.h"

SignInAttempt::SignInAttempt(LoginOp* login, const Recorder* seen) : seen(seen)
{
    connect(login, &LoginOp::accountErrorHint, this,
            [this](const QString& field, const QString& message) { hints << field + ": " + message; });
    connect(login, &LoginOp::over, this, [this](bool state) { over = state; });
    connect(login, &LoginOp::verifyUrlChanged, this, [this] { ++captchas; });
}

bool SignInAttempt::Wait(int timeoutMs) const
{
    return TestEnv::WaitFor(
        [this] {
            return !seen->SpinnerShown() && captchas > 0 &&
                   (over || !hints.isEmpty() || !seen->errors.isEmpty());
        },
        timeoutMs);
}
