#pragma once
// The "Configure ID's" window, a view: its designed controls, its two timers, and
// the components that have no visible form (the group repository and the store
// operations on it, the serial port Commune, the link session and the transfer
// operations). Those see the window only through the small adapters it owns; the
// controls' events reach the handlers there (or the few kept here), each through the
// handler runner.
#include <QDialog>
#include <QPointer>
#include <memory>

#include "serial/TVarnComPort.h"
#include "shell/TGroupFileActions.h"
#include "shell/THandlerRunner.h"
#include "shell/TKeptChanges.h"
#include "shell/TOutcomeLine.h"
#include "shell/TQtFileQuestion.h"
#include "shell/TQtMessageBoxes.h"
#include "shell/TSessionViewAdapter.h"
#include "shell/TStoreWindowAdapter.h"
#include "store/GroupRepository.h"
#include "store/TIDGroupStore.h"
#include "tester/LinkSession.h"
#include "tester/TransferOperations.h"

class QSessionManager;
class QTimer;

namespace Ui {
class TIDForm;
}

class TIDForm : public QDialog {
    Q_OBJECT
public:
    // Runs the creation steps.
    TIDForm();
    ~TIDForm() override;

    // The modal show: returns when the window has agreed to close.
    int ShowModal();
    // The window shown again and brought to the front when this one closes.
    void SetLauncher(QWidget* launcher);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void GroupNameComboBoxChange(int index);
    void GroupNameComboBoxCloseUp();
    void ExitButtonClick();
    void SpeedButton2Click();
    // The operating system's end-of-session query.
    void SessionEndQuery(QSessionManager& manager);

private:
    void FormCreate();
    bool FormCloseQuery();
    // The close query's answer once it agrees: the modal show ends, the window goes
    // once its event has been handled, and the launcher comes back.
    void AgreeToClose();
    void ConnectHandlers();

    std::unique_ptr<Ui::TIDForm> ui;
    QTimer* timer1_;
    QTimer* timer2_;
    TQtMessageBoxes boxes_;
    TOutcomeLine outcome_;
    TStoreWindowAdapter storeSide_;
    TSessionViewAdapter sessionSide_;
    std::unique_ptr<TGroupRepository> groups_;
    TIDGroupStore store_;
    TQtFileQuestion fileQuestion_{this};
    TGroupFileActions fileActions_{store_, storeSide_, boxes_, fileQuestion_};
    TKeptChanges keptChanges_{KeptChangesFolder()};
    TVarnComPort commune_{"Commune"};
    TLinkSession session_;
    TTransferOperations transfers_;
    THandlerRunner handlers_;
    QPointer<QWidget> launcher_;
    bool inModalShow_ = false;
    bool closing_ = false;
    bool centred_ = false;
};
