#include "shell/StartUp.h"

#include <QApplication>
#include <memory>

#include "shell/TForm1.h"
#include "shell/TKeptChanges.h"
#include "shell/TQtMessageBoxes.h"

int RunStartUp() {
    auto form1 = std::make_unique<TForm1>();
    form1->CreateConfigWindow();
    form1->show();
    // Typing that an unattended end of session kept in files is told of at every start
    // until the user has taken it back and removed the files.
    if (const std::string notice = TKeptChanges::Notice(KeptChangesFolder()); !notice.empty())
        TQtMessageBoxes().Information(notice);
    const int result = QApplication::exec();
    form1.reset();
    return result;
}
