#pragma once
// The port selection dialog: lists the available ports among 1 to 50 and gives the
// one the user picks.
#include <QDialog>
#include <cstdint>
#include <memory>

class TVarnCustomComPort;

namespace Ui {
class TComSelectForm;
}

class TComSelectForm : public QDialog {
    Q_OBJECT

public:
    static constexpr unsigned kHighestListedPort = 50;

    explicit TComSelectForm(QWidget* parent = nullptr);
    ~TComSelectForm() override;

    // The number of the selected item; 0 when the list is empty.
    uint16_t ChosenPort() const;

private slots:
    void OkBtnClick();
    void AbortBtnClick();

private:
    void FormCreate();

    std::unique_ptr<Ui::TComSelectForm> ui;
};

// Shows the dialog modally; the chosen port number, or 0 when it was left without OK.
uint16_t ChoosePortWithDialog(QWidget* parent = nullptr);
// Lets the port ask the user through the dialog when it opens with no port number.
void UsePortDialog(TVarnCustomComPort& port, QWidget* parent = nullptr);
