#include "app/qt/update_folder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace velno::qt {

namespace {

std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The absolute folder; the mtmp folder itself stands for its parent.
std::string FolderOf(const QString& path,
                     const std::function<bool(const std::string&)>& holds_update) {
    const QFileInfo folder(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (!holds_update(Native(folder.filePath())) &&
        folder.fileName().compare(QLatin1String("mtmp"), Qt::CaseInsensitive) == 0) {
        return Native(folder.path());
    }
    return Native(folder.filePath());
}

}  // namespace

std::optional<std::string> UpdateFolder(const QStringList& arguments,
                                        const std::function<bool(const std::string&)>& holds_update,
                                        const std::string& own_folder) {
    if (!arguments.isEmpty()) {
        return FolderOf(arguments.front(), holds_update);
    }
    if (holds_update(own_folder)) {
        return std::string();
    }
    QString start = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!QFileInfo(start).isDir()) {
        start = QDir::homePath();
    }
    const QString chosen = QFileDialog::getExistingDirectory(
        nullptr, QStringLiteral("VELNO updater: the folder that holds the update (mtmp)"), start);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return FolderOf(chosen, holds_update);
}

}  // namespace velno::qt
