#include "shell/TKeptChanges.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "sheets/GroupFile.h"
#include "store/DataPaths.h"

namespace {

const QString kPrefix = QStringLiteral("Unsaved IDs of ");
const QString kSuffix = QStringLiteral(".csv");

// The group's name as part of a file name on any system: what Windows refuses in
// one, and the control characters, become "_". Older groups may have such names.
QString FileNamePart(const std::string& groupName) {
    QString part = QString::fromStdString(groupName);
    for (QChar& c : part)
        if (c.unicode() < 0x20 || QStringLiteral("<>:\"/\\|?*").contains(c)) c = u'_';
    return part;
}

}  // namespace

std::string KeptChangesFolder() {
    const std::string groups = DefaultStorePaths().GroupsDir;
    return QFileInfo(QString::fromStdString(groups)).isDir() ? groups
                                                             : QDir::homePath().toStdString();
}

void TKeptChanges::Keep(const std::string& groupName, const TGroupIDs& ids) {
    const QDir folder(QString::fromStdString(folder_));
    const QString stem =
        kPrefix + FileNamePart(groupName) + u' ' +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    QString name = stem + kSuffix;
    for (int n = 2; folder.exists(name); ++n)
        name = stem + QStringLiteral(" (%1)").arg(n) + kSuffix;
    WriteGroupFile(folder.filePath(name).toStdString(), ids, TSheetKind::Csv);
}

std::vector<std::string> TKeptChanges::KeptFiles(const std::string& folder) {
    std::vector<std::string> files;
    const QDir dir(QString::fromStdString(folder));
    for (const QFileInfo& file :
         dir.entryInfoList({kPrefix + u'*' + kSuffix}, QDir::Files, QDir::Name))
        files.push_back(QDir::toNativeSeparators(file.filePath()).toStdString());
    return files;
}

std::string TKeptChanges::Notice(const std::string& folder) {
    const std::vector<std::string> files = KeptFiles(folder);
    if (files.empty()) return "";
    std::string text =
        "IDs typed into a group were not saved when a session ended; they are kept in:\n";
    for (const std::string& file : files) text += file + "\n";
    return text +
           "To have them back, choose the group, then File, Import… the file. Delete the "
           "file once you have them.";
}
