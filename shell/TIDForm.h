#pragma once
// The "Configure ID's" window: the group controls, the 128 ID boxes with their key
// filter, the company name and the buttons that start the transfers. It owns the
// window's store, serial port, link session and transfer operations, and is the
// view through which they show what they do.
#include <QDialog>
#include <QPalette>
#include <QPointer>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "serial/TVarnComPort.h"
#include "store/MessageBoxes.h"
#include "store/StoreWindow.h"
#include "store/TIDGroupStore.h"
#include "tester/LinkSession.h"
#include "tester/SessionView.h"
#include "tester/TransferOperations.h"

class QLineEdit;
class QTimer;
class QToolButton;
class TQtMessageBoxes;

namespace Ui {
class TIDForm;
}

class TIDForm : public QDialog, public TStoreWindow, public TSessionView, public TMessageBoxes {
    Q_OBJECT
public:
    // Runs the creation steps. `boxes` answers the window's message boxes; nullptr
    // gives the real ones.
    explicit TIDForm(TMessageBoxes* boxes = nullptr, TStorePaths paths = DefaultStorePaths());
    ~TIDForm() override;

    // The modal show: returns when the window has agreed to close.
    int ShowModal();
    // The window shown again and brought to the front when this one closes.
    void SetLauncher(QWidget* launcher);
    // Who answers the boxes from now on; nullptr gives the real ones.
    void SetMessageBoxes(TMessageBoxes* boxes);

    // The slot table: position k (0..127) is Edit<k+1>; vehicle v at v, trailer t at 96 + t.
    QLineEdit* SlotBox(int position) const;
    bool HandlerRunning() const { return handlerDepth_ > 0; }
    bool WasShown() const { return timesShown_ > 0; }
    bool ExitRed() const { return exitRed_; }
    const std::string& TrailerFieldName() const { return trailerField_; }
    const std::string& VehicleFieldName() const { return vehicleField_; }

    TIDGroupStore& Store() { return store_; }
    TLinkSession& Session() { return session_; }
    TTransferOperations& Transfers() { return transfers_; }
    TVarnComPort& Commune() { return commune_; }
    QTimer* Timer1() const { return timer1_; }
    QTimer* Timer2() const { return timer2_; }

    // Picks the entry named `name` in the group list and closes the list, as a user
    // would; the close-up follows from the event loop.
    void ChooseGroup(const QString& name);

    // TStoreWindow
    std::string VehicleSlot(int slot) const override;
    void SetVehicleSlot(int slot, const std::string& text) override;
    std::string TrailerSlot(int slot) const override;
    void SetTrailerSlot(int slot, const std::string& text) override;
    void ShowGroupList(const std::vector<std::string>& names, const std::string& shown) override;

    // TSessionView
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
    void SetPollTimer(bool enabled) override;
    bool PollTimerEnabled() const override;
    void SetRestoreTimer(bool enabled) override;
    bool RestoreTimerEnabled() const override;
    void ProcessMessages() override;
    void Beep() override;
    std::string CompanyName() const override;
    void SetCompanyName(const std::string& text) override;
    void SetSessionButtonsEnabled(bool enabled) override;

    // TMessageBoxes: the window's boxes, answered by whoever SetMessageBoxes chose.
    void Information(const std::string& text) override;
    TConfirmAnswer Confirm(const std::string& question) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override;

    static constexpr int kOuterWidth = 282;

public slots:
    void GroupNameComboBoxChange(int index);
    void GroupNameComboBoxCloseUp();
    void NewGroupButtonClick();
    void DeleteGroupButtonClick();
    void SaveButtonClick();
    void ReadButtonClick();
    void SendButtonClick();
    void ReadNameButtonClick();
    void SendNameButtonClick();
    void DateSpeedButtonClick();
    void ExitButtonClick();
    void SpeedButton2Click();
    void Timer1Timer();
    void Timer2Timer();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    bool FormCloseQuery();
    // The key filter over text typed into an ID box: one message for each refused
    // character; gives the characters that go in.
    QString Edit1KeyPress(const QString& typed);
    // Runs one event handler: a close request meanwhile waits until the outermost
    // handler has returned, and an exception ends in the error box here.
    template <class Body>
    void RunHandler(Body&& body);

    std::unique_ptr<Ui::TIDForm> ui;
    std::unique_ptr<TQtMessageBoxes> realBoxes_;
    TMessageBoxes* boxes_;
    TIDGroupStore store_;
    TVarnComPort commune_{"Commune"};
    TLinkSession session_;
    TTransferOperations transfers_;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    std::array<QLineEdit*, kVehicleSlots + kTrailerSlots> slots_{};
    std::string trailerField_;
    std::string vehicleField_;
    QPalette exitPalette_;
    QPalette statusPalette_;
    QPointer<QWidget> launcher_;
    int handlerDepth_ = 0;
    bool closePending_ = false;
    bool inModalShow_ = false;
    bool closing_ = false;
    bool exitRed_ = false;
    bool centred_ = false;
    int timesShown_ = 0;
};
