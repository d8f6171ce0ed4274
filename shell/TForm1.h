#pragma once
// The launcher: a picture, the version line, Start and Exit. It is the main
// window: closing it ends the program. It owns every configuration window.
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

class TIDForm;

namespace Ui {
class TForm1;
}

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;  // destroys every configuration window still alive

    // A new configuration window, its creation steps run; it becomes IDForm, the
    // most recently created one.
    TIDForm* CreateConfigWindow();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void Button1Click();  // Start
    void Button2Click();  // Exit

private:
    std::unique_ptr<Ui::TForm1> ui;
    std::vector<QPointer<TIDForm>> windows_;  // oldest first
    bool centred_ = false;
};
