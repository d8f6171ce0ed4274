#include "shell/TForm1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <exception>

#include "shell/ExceptionBox.h"
#include "shell/Placement.h"
#include "shell/TIDForm.h"
#include "ui_TForm1.h"

// The pictures live in this static library: their registration must be pulled in.
static void InitShellResources() {
    Q_INIT_RESOURCE(shell);
}

namespace {

// The logo with every pixel of its bottom-left pixel's colour made transparent.
QPixmap TransparentLogo() {
    QImage image(QStringLiteral(":/shell/logo.bmp"));
    if (image.isNull()) return {};
    const QRgb key = image.pixel(0, image.height() - 1);
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xFF000000u) == (key | 0xFF000000u)) line[x] = qRgba(0, 0, 0, 0);
    }
    return QPixmap::fromImage(image);
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TForm1>()) {
    InitShellResources();
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(313, 306);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    ui->Image1->setPixmap(TransparentLogo());
    connect(ui->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
}

TForm1::~TForm1() {
    // Closes their tables and ports; windows already released are gone.
    for (QPointer<TIDForm>& window : windows_) delete window.data();
}

TIDForm* TForm1::CreateConfigWindow() {
    auto* window = new TIDForm();
    window->SetLauncher(this);
    std::erase_if(windows_, [](const QPointer<TIDForm>& released) { return released.isNull(); });
    windows_.emplace_back(window);
    return window;
}

void TForm1::Button1Click() {
    try {
        TIDForm* window = CreateConfigWindow();
        hide();
        window->ShowModal();
        // Nothing follows: the window has shown the launcher again itself.
    } catch (const std::exception& error) {
        ShowExceptionBox(error);
        show();
    }
}

void TForm1::Button2Click() {
    close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::exit(0);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(this);
    }
}
