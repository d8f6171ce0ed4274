// The program's start-up (the shell library's, as the program runs it) with a driver
// that watches the windows from outside through the application's events and finds
// them by object name, as a user's tools would. The program itself carries no hooks.
//
//   haltguard-ids-driver --report-shown
//       prints "launcher shown" once the launcher is first painted (bench/startup_bench)
//   haltguard-ids-driver --choose-group NAME
//       presses Start 1.5 s after the launcher shows, then chooses the group NAME in the
//       new window and closes its list, as a user would (tools/screenshot)
//   haltguard-ids-driver --choose-group NAME --open-file-menu
//       then, 2.5 s later, opens the menu of the File button beside the group list
#include <QAbstractButton>
#include <QComboBox>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstring>
#include <optional>

#include "shell/StartUp.h"
#include "shell/THaltguardApplication.h"

namespace {

class TDriver : public QObject {
public:
    bool ReportShown = false;
    bool OpenFileMenu = false;
    std::optional<QString> Group;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint && event->type() != QEvent::Show) return false;
        const QString name = watched->objectName();
        if (name == QLatin1String("Form1")) Launcher(watched, event->type());
        if (name == QLatin1String("IDForm") && event->type() == QEvent::Show && Group)
            QTimer::singleShot(500, watched, [this, watched] { ChooseGroup(watched); });
        return false;
    }

private:
    void Launcher(QObject* launcher, QEvent::Type type) {
        if (type == QEvent::Paint && ReportShown && !reported_) {
            reported_ = true;
            std::fputs("launcher shown\n", stdout);
            std::fflush(stdout);
        }
        if (type == QEvent::Show && Group && !started_) {
            started_ = true;
            QTimer::singleShot(1500, launcher, [launcher] {
                launcher->findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();
            });
        }
    }

    void ChooseGroup(QObject* window) const {
        auto* combo = window->findChild<QComboBox*>(QStringLiteral("GroupNameComboBox"));
        combo->showPopup();
        const int index = combo->findText(*Group, Qt::MatchExactly);
        if (index >= 0) combo->setCurrentIndex(index);
        combo->hidePopup();
        if (!OpenFileMenu) return;
        auto* button = window->findChild<QToolButton*>(QStringLiteral("GroupFileButton"));
        QTimer::singleShot(2500, button, [button] { button->showMenu(); });
    }

    bool reported_ = false;
    bool started_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    THaltguardApplication app(argc, argv);
    // The error box's caption is the program's name, as when the program runs alone.
    QCoreApplication::setApplicationName(QStringLiteral("haltguard-ids"));
    TDriver driver;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--report-shown") == 0) {
            driver.ReportShown = true;
        } else if (std::strcmp(argv[i], "--choose-group") == 0 && i + 1 < argc) {
            driver.Group = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--open-file-menu") == 0) {
            driver.OpenFileMenu = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--report-shown] [--choose-group NAME [--open-file-menu]]\n",
                         argv[0]);
            return 2;
        }
    }
    app.installEventFilter(&driver);
    return RunStartUp();
}
