#include "Recorder.h"

#include "BackEnd.h"

Recorder::Recorder(BackEnd* backEnd)
{
    connect(backEnd->launcherOp(), &LauncherOp::switchPage, this,
            [this](const QString& name) { pages << name; });
    connect(backEnd->launcherOp(), &LauncherOp::needLogin, this, [this] { ++needLogin; });
    connect(backEnd->globalUi(), &GlobalUiOp::showErrorBox, this,
            [this](const QString& msg) { errors << msg; });
    connect(backEnd->globalUi(), &GlobalUiOp::switchWaitSpinner, this,
            [this](bool state, const QString& msg) {
                spinner = state;
                if (state) {
                    waits << msg;
                } else {
                    ++hides;
                }
            });
}

void Recorder::Clear()
{
    pages.clear();
    errors.clear();
    waits.clear();
    hides = 0;
    needLogin = 0;
}
