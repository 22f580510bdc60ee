#include "StepChain.h"

#include "GlobalUiOp.h"

StepChain& StepChain::Call(const QString& waitText, Request request)
{
    Step step;
    step.waitText = waitText;
    step.request = std::move(request);
    steps.append(step);
    return *this;
}

StepChain& StepChain::OrElse(std::function<void(const QString& reason)> handler)
{
    Q_ASSERT(!steps.isEmpty() && steps.last().request);
    steps.last().onFailure = std::move(handler);
    return *this;
}

StepChain& StepChain::KeepWaiting()
{
    Q_ASSERT(!steps.isEmpty() && steps.last().request);
    steps.last().keepWaiting = true;
    return *this;
}

StepChain& StepChain::Then(std::function<void()> step)
{
    Step plain;
    plain.action = std::move(step);
    steps.append(plain);
    return *this;
}

void StepChain::Run() const
{
    RunFrom(ui, std::make_shared<const QVector<Step>>(steps), 0);
}

void StepChain::RunFrom(GlobalUiOp* ui, const Steps& steps, int index)
{
    for (; index < steps->size(); ++index) {
        const Step& step = steps->at(index);
        if (!step.request) {
            step.action();
            continue;
        }
        ui->showWait(step.waitText);
        step.request([ui, steps, index](bool ok, const QString& reason) {
            const Step& done = steps->at(index);
            if (!ok || !done.keepWaiting) {
                ui->hideWait();
            }
            if (!ok) {
                if (done.onFailure) {
                    done.onFailure(reason);
                } else {
                    ui->showError(reason);
                }
                return;
            }
            RunFrom(ui, steps, index + 1);
        });
        return;
    }
}
