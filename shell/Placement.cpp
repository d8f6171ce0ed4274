#include "shell/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect desk = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const int extraW = frame.width() - window->width();
    const int extraH = frame.height() - window->height();
    window->move(desk.x() + (desk.width() - window->width() - extraW) / 2,
                 desk.y() + (desk.height() - window->height() - extraH) / 2);
}

void TCentredMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    CentreOnScreen(this);
}
