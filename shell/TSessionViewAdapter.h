#pragma once
// The configuration window as the link session and the transfers see it: the upper
// pages, the status box with its two lines and, below them, its explanation line and
// its progress bar, the Exit/Cancel button, the poll and panel-restore timers, the
// company name, the session buttons and the outcome line.
#include <QPalette>
#include <QTimer>
#include <string>

#include "tester/SessionView.h"

class TOutcomeLine;

namespace Ui {
class TIDForm;
}

class TSessionViewAdapter : public TSessionView {
public:
    // `ui` is the window's design; its controls are used once the window has made them.
    TSessionViewAdapter(const Ui::TIDForm& ui, QTimer& poll, QTimer& restore,
                        TOutcomeLine& outcome);

    // Notes the designed colours of the button and the status line, to go back to.
    void KeepDesignedColours();

    void ShowUpperPage(TUpperPage page) override;
    void ShowStatusBox(bool shown) override;
    std::string ExitCaption() const override;
    void SetExitCaption(const std::string& caption) override;
    void SetExitRed(bool red) override;
    std::string StatusLine() const override;
    void SetStatusLine(const std::string& text) override;
    void SetStatusLineDefaultColour() override;
    std::string InstrumentLine() const override;
    void SetInstrumentLine(const std::string& text) override;
    std::string ExplanationLine() const override;
    void SetExplanationLine(const std::string& text) override;
    void ShowProgress(int done, int total) override;
    void HideProgress() override;
    void SetPollTimer(bool enabled) override;
    bool PollTimerEnabled() const override;
    void SetRestoreTimer(bool enabled) override;
    bool RestoreTimerEnabled() const override;
    void ProcessMessages() override;
    void Beep() override;
    std::string CompanyName() const override;
    void SetCompanyName(const std::string& text) override;
    void SetSessionButtonsEnabled(bool enabled) override;
    void ShowOutcome(const std::string& text) override;

private:
    void PaintProgress();

    const Ui::TIDForm& ui_;
    QTimer& poll_;
    QTimer& restore_;
    TOutcomeLine& outcome_;
    QPalette exitPalette_;
    QPalette statusPalette_;
    QTimer progressPace_;  // the bar's next paint; single shot
    int progressDone_ = 0;
    int progressTotal_ = 0;
};
