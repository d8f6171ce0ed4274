#pragma once
// Windows and boxes appear in the centre of the screen.
#include <QMessageBox>

class QWidget;

// Moves a top-level widget so that its frame is centred on its screen.
void CentreOnScreen(QWidget* window);

// A message box that centres itself on the screen once it has its size.
class TCentredMessageBox : public QMessageBox {
    Q_OBJECT
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override;
};
