#pragma once

// A front end for whole runs of the updater in tests: it records the
// messages (answering OK), the pumps, the caption and the progress values.

#include <string>
#include <vector>

#include "app/view.h"
#include "platform/contract.h"

namespace velno::linux_test {

class RecordingUser : public platform::UserServices {
public:
    std::vector<std::string> messages;
    int pumps = 0;

    platform::Answer ShowMessage(const std::string& text, platform::Buttons,
                                 platform::Icon) override {
        messages.push_back(text);
        return platform::Answer::kOk;
    }
    void PumpEvents() override { ++pumps; }
};

class RecordingView : public app::View {
public:
    std::string caption;
    std::vector<float> progress;

    void SetCaption(const std::string& text) override { caption = text; }
    void SetVisible(update::Control, bool) override {}
    void SetEnabled(update::Control, bool) override {}
    void SetProgressValue(float value) override { progress.push_back(value); }
    float ProgressMax() override { return 100; }
};

}  // namespace velno::linux_test
