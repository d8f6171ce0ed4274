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

    // A new configuration window, its creation steps run; it becomes IDForm.
    TIDForm* CreateConfigWindow();
    // The most recently created configuration window.
    TIDForm* IDForm() const;
    // The configuration windows that still exist, oldest first.
    std::vector<TIDForm*> ConfigWindows() const;

signals:
    // A configuration window has been created (its creation steps have run) and is
    // about to be shown.
    void ConfigWindowCreated(TIDForm* window);
    // The launcher has closed: the program ends.
    void Ended();

public slots:
    void Button1Click();  // Start
    void Button2Click();  // Exit

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void RunScreenshotHook(TIDForm* window);

    std::unique_ptr<Ui::TForm1> ui;
    QPointer<TIDForm> idForm_;
    std::vector<QPointer<TIDForm>> windows_;
    bool centred_ = false;
    bool reportedShown_ = false;
};
