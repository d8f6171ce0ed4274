#include "shell/TQtFileQuestion.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const char* const kImportFilters =
    "Spreadsheets (*.xlsx *.ods *.csv *.txt);;Excel workbook (*.xlsx);;"
    "OpenDocument spreadsheet (*.ods);;CSV (*.csv *.txt)";

// The export dialog's filters, each a type; the first is offered.
struct TExportFilter {
    const char* Filter;
    TExportType Type;
};
constexpr TExportFilter kExportFilters[] = {
    {"Excel workbook (*.xlsx)", TExportType::Xlsx},
    {"OpenDocument spreadsheet (*.ods)", TExportType::Ods},
    {"CSV (*.csv)", TExportType::Csv},
    {"CSV (Excel, semicolon, Windows-1252) (*.csv)", TExportType::ExcelCsv},
};

const TExportFilter& FilterNamed(const QString& filter) {
    for (const TExportFilter& f : kExportFilters)
        if (filter == QLatin1String(f.Filter)) return f;
    return kExportFilters[0];
}

QString Suffix(const TExportFilter& filter) {
    return QString::fromStdString(ExtensionOf(filter.Type).substr(1));
}

}  // namespace

QString TQtFileQuestion::Folder() {
    if (folder_.isEmpty()) {
        // The documents folder is a name the system gives, not always a folder made.
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        folder_ = !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
    }
    return folder_;
}

std::string TQtFileQuestion::FileToImport() {
    const QString path =
        QFileDialog::getOpenFileName(window_, QStringLiteral("Import into the group"), Folder(),
                                     QString::fromLatin1(kImportFilters));
    if (!path.isEmpty()) folder_ = QFileInfo(path).absolutePath();
    return path.toStdString();
}

TExportFile TQtFileQuestion::FileToExport(const std::string& suggested) {
    QStringList filters;
    for (const TExportFilter& f : kExportFilters) filters << QString::fromLatin1(f.Filter);
    // Guarded: the window may go while the dialog runs its own event loop.
    QPointer<QFileDialog> dialog =
        new QFileDialog(window_, QStringLiteral("Export the group"),
                        QDir(Folder()).filePath(QString::fromStdString(suggested)));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters(filters);
    // The filter's extension is added to a name typed without one, before the dialog
    // asks whether to replace a file of that name.
    dialog->setDefaultSuffix(Suffix(kExportFilters[0]));
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog,
                     [d = dialog.data()](const QString& filter) {
                         d->setDefaultSuffix(Suffix(FilterNamed(filter)));
                     });
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog) return {};
    TExportFile chosen;
    if (accepted && !dialog->selectedFiles().isEmpty()) {
        chosen.Path = dialog->selectedFiles().first().toStdString();
        chosen.Type = FilterNamed(dialog->selectedNameFilter()).Type;
        folder_ = QFileInfo(dialog->selectedFiles().first()).absolutePath();
    }
    delete dialog;
    return chosen;
}
