#pragma once
// "Which file?" asked with the file dialog, over the window that asks.
#include <QPointer>
#include <QWidget>

#include "shell/TGroupFileActions.h"

class TQtFileQuestion : public TFileQuestion {
public:
    explicit TQtFileQuestion(QWidget* window) : window_(window) {}
    std::string FileToImport() override;
    TExportFile FileToExport(const std::string& suggested) override;

private:
    QString Folder();

    QPointer<QWidget> window_;
    QString folder_;  // where the last file was, for the next question
};
