#pragma once
// What the link session and the transfers need of the configuration window.
#include <string>

enum class TUpperPage { GroupName, CompanyName };

class TSessionView {
public:
    virtual ~TSessionView() = default;

    virtual void ShowUpperPage(TUpperPage page) = 0;
    // true: the status box is shown in place of the group box; false: the reverse.
    virtual void ShowStatusBox(bool shown) = 0;

    virtual std::string ExitCaption() const = 0;
    virtual void SetExitCaption(const std::string& caption) = 0;
    virtual void SetExitRed(bool red) = 0;  // false: the window-text colour

    virtual std::string StatusLine() const = 0;
    virtual void SetStatusLine(const std::string& text) = 0;
    virtual void SetStatusLineDefaultColour() = 0;
    virtual std::string InstrumentLine() const = 0;
    virtual void SetInstrumentLine(const std::string& text) = 0;
    // The explanation line below the two lines, in the place of the progress bar: why
    // the session is where it is (the scan: which ports it tried and why none answered).
    // "" hides it. The session shows it only while the progress bar is hidden.
    virtual std::string ExplanationLine() const = 0;
    virtual void SetExplanationLine(const std::string& text) = 0;
    // The progress bar below the two lines: `done` of `total` commands answered.
    virtual void ShowProgress(int done, int total) = 0;
    virtual void HideProgress() = 0;

    virtual void SetPollTimer(bool enabled) = 0;  // Timer1, 100 ms
    virtual bool PollTimerEnabled() const = 0;
    virtual void SetRestoreTimer(bool enabled) = 0;  // Timer2, 1000 ms
    virtual bool RestoreTimerEnabled() const = 0;

    // Processes pending window events, waiting for the next one when there are none.
    virtual void ProcessMessages() = 0;
    virtual void Beep() = 0;

    virtual std::string CompanyName() const = 0;  // the company-name box
    virtual void SetCompanyName(const std::string& text) = 0;

    // What the user's last operation came to, readable after the status box has gone
    // and until the next action; "" empties it. A window without such a line shows
    // nothing.
    virtual void ShowOutcome(const std::string& text) { (void)text; }

    // The Company Name buttons and the date button, off while an operation runs.
    virtual void SetSessionButtonsEnabled(bool enabled) = 0;
};
