#include "shell/StartUp.h"

#include <QApplication>
#include <memory>

#include "shell/TForm1.h"

int RunStartUp() {
    auto form1 = std::make_unique<TForm1>();
    form1->CreateConfigWindow();
    form1->show();
    const int result = QApplication::exec();
    form1.reset();
    return result;
}
