#include "shell/TQtFileQuestion.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const char* const kFilters =
    "Spreadsheets (*.xlsx *.ods *.csv *.txt);;Excel workbook (*.xlsx);;"
    "OpenDocument spreadsheet (*.ods);;CSV (*.csv *.txt)";

}  // namespace

QString TQtFileQuestion::Folder() {
    if (folder_.isEmpty())
        folder_ = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder_;
}

std::string TQtFileQuestion::FileToImport() {
    const QString path = QFileDialog::getOpenFileName(
        window_, QStringLiteral("Import into the group"), Folder(), QString::fromLatin1(kFilters));
    if (!path.isEmpty()) folder_ = QFileInfo(path).absolutePath();
    return path.toStdString();
}

std::string TQtFileQuestion::FileToExport(const std::string& suggested) {
    // A name without one of the three extensions is written as CSV.
    const QString path = QFileDialog::getSaveFileName(
        window_, QStringLiteral("Export the group"),
        QDir(Folder()).filePath(QString::fromStdString(suggested)), QString::fromLatin1(kFilters));
    if (!path.isEmpty()) folder_ = QFileInfo(path).absolutePath();
    return path.toStdString();
}
