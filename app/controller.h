#pragma once

#include <functional>
#include <string>

#include "app/form1.h"
#include "app/view.h"
#include "app/window_description.h"
#include "platform/contract.h"

namespace velno::app {

class Controller;

// What a front end does for the controller: it draws the window from the
// description, carries out the changes below and hands its toolkit's two
// events on, a button press (Pressed) and a request to close the window
// (CloseRequested).
class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    // ProgressBar1's position, a whole number from 0 to kProgressMaximum.
    virtual void SetBarPosition(int position) = 0;
    // Shows the window with the keyboard focus on the described control.
    virtual void Show() = 0;
    // Closes the window whatever state it is in and leaves the event loop.
    virtual void Close() = 0;

protected:
    // A press of the Command1 button with that index.
    void Pressed(int index);
    // The user asks to close the window: true when it may close now.
    bool CloseRequested();

private:
    friend class Controller;
    Controller* controller_ = nullptr;
};

// The program, whatever draws its window: it holds the platform, the user
// services, the front end and the window's logic, runs detection before the
// window is first shown, hands button presses to the logic at the event
// boundary, keeps the window open while a run is in progress, and knows the
// program's exit status.
class Controller : private View {
public:
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;

    Controller(platform::Platform& platform, platform::UserServices& user, FrontEnd& front_end);
    ~Controller() override;
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // The whole program: Start, then the toolkit's event loop while the
    // window is shown. Returns the exit status.
    int Run(const std::function<void()>& event_loop);

    // Detection; the window is shown only when it returns. False when the
    // program has ended instead.
    bool Start();
    void Press(int index);
    // Refused while a run is in progress: closing then would leave the
    // instrument half updated with its system folder unprotected.
    bool CloseRequested();

    bool Ended() const { return ended_; }
    // kSuccess once the user has ended the program with "Exit" or by closing
    // the window; kFailure after an error report, a failed precondition or a
    // cancelled detection, and while the program has not ended.
    int ExitStatus() const { return exit_status_; }
    const Form1& Form() const { return form_; }

private:
    void SetCaption(const std::string& caption) override { front_end_.SetCaption(caption); }
    void SetVisible(Control control, bool visible) override {
        front_end_.SetVisible(control, visible);
    }
    void SetEnabled(Control control, bool enabled) override {
        front_end_.SetEnabled(control, enabled);
    }
    void SetProgressValue(float value) override;
    float ProgressMax() override { return static_cast<float>(kProgressMaximum); }

    void End(int status);

    platform::UserServices& user_;
    FrontEnd& front_end_;
    Form1 form_;
    bool ended_ = false;
    int exit_status_ = kFailure;
};

}  // namespace velno::app
