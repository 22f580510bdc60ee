#pragma once

#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class GlobalUiOp;

// The operations' request chains, written as the list of their steps: service requests under the busy
// spinner, and plain steps between them. A request's completion first hides the spinner; a failure ends
// the chain and goes to the error box, unless that request handles it itself.
class StepChain
{
public:
    // A service's completion: called once, later (or at once), with the reason of a failure.
    using Done = std::function<void(bool ok, const QString& reason)>;
    using Request = std::function<void(const Done& done)>;

    explicit StepChain(GlobalUiOp* ui) : ui(ui) {}

    // A request shown as `waitText` while it runs.
    StepChain& Call(const QString& waitText, Request request);
    template <class Service>
    StepChain& Call(const QString& waitText, Service* service, void (Service::*request)(const Done&))
    {
        return Call(waitText, [service, request](const Done& done) { (service->*request)(done); });
    }
    // What a failure of the last request does instead of the error box.
    StepChain& OrElse(std::function<void(const QString& reason)> handler);
    // The last request leaves the spinner up when it succeeds: a later step takes it down.
    StepChain& KeepWaiting();
    StepChain& Then(std::function<void()> step);
    // Starts the first step. The chain may end before its requests do: their completions hold the steps.
    void Run() const;

private:
    struct Step
    {
        QString waitText;
        Request request;
        std::function<void(const QString&)> onFailure;
        bool keepWaiting = false;
        std::function<void()> action;
    };
    using Steps = std::shared_ptr<const QVector<Step>>;

    static void RunFrom(GlobalUiOp* ui, const Steps& steps, int index);

    GlobalUiOp* ui;
    QVector<Step> steps;
};
