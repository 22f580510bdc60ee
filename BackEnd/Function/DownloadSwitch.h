#pragma once

// The pause/resume state machine both package downloaders use. The interface tells what it believes
// (downloading or not); the inner state decides what that means, and every disagreement is logged.
class DownloadSwitch
{
public:
    enum State
    {
        Idle = 0,
        Requested = 1,
        Running = 2,
        Cancelling = 3,
        Verifying = 4,
    };
    enum class Action
    {
        None,
        Resume,
        Pause,
    };

    // The interface's pause/resume press, given what it believes.
    Action Switch(bool isDownloading);
    // A running-state change of the file downloader; true when it is adopted and passed on.
    bool Follow(bool running);
    // The download ended before any transfer ran: a resume still waiting for one is void.
    void Ended();
    // The next running-state change of the file downloader is adopted.
    void FollowNext() { followState = true; }
    // The downloaded file is being verified: presses and running-state changes change nothing until then.
    void StartVerifying();
    // The download failed: idle again, unless it is a verification that failed, which stays until a new
    // start.
    void Failed();

    int State() const { return state; }

private:
    int state = Idle;
    // While set, the next running-state change of the file downloader is adopted.
    bool followState = true;
};
