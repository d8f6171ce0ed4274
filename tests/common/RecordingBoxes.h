#pragma once
// Boxes answered by the test: every text shown or asked is noted in order; questions
// take the queued answers (none left: Cancel); input boxes give the preset, as
// Cancel does.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"

class TRecordingBoxes : public TMessageBoxes {
public:
    std::vector<std::string> Shown;
    std::deque<TConfirmAnswer> Answers;
    std::function<void()> OnInformation;  // runs while an information box is up

    void Information(const std::string& text) override {
        Shown.push_back(text);
        if (OnInformation) OnInformation();
    }
    TConfirmAnswer Confirm(const std::string& question) override {
        Shown.push_back(question);
        if (Answers.empty()) return TConfirmAnswer::Cancel;
        const TConfirmAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    std::string InputBox(const std::string&, const std::string&,
                         const std::string& preset) override {
        return preset;
    }
};
