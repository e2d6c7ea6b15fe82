#pragma once

// The controls of the updater's window that the update run changes, and the
// operations it needs on them. The front end implements this.

namespace velno::update {

enum class Control {
    kLabel1,  // the closing instructions
    kLabel2,  // "PLEASE WAIT"
    kLabel3,  // the warning not to turn the instrument off
    kLabel4,  // the factory-default notice
    kProgressBar1,
    kStartButton,  // Command1 index 0, "Start Updating"
    kExitButton,   // Command1 index 1, "Exit"
    kLabel5,       // below the closing instructions: the drive was removed
    kLabel6,       // below the closing instructions: the volume is still mounted
    kLabel7,       // the same, where the system did not let the data be flushed
};

class WindowControls {
public:
    virtual ~WindowControls() = default;
    virtual void SetVisible(Control control, bool visible) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetProgressValue(float value) = 0;
    virtual float ProgressMax() = 0;
};

}  // namespace velno::update
