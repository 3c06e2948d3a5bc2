// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_dialog_texts.h"

#include <QFileSystemModel>
#include <QLocale>

#include <cstring>

namespace nyra::gui {

namespace {

constexpr int kDateColumn = 3;

}  // namespace

QString FileTypeTranslator::translate(const char* context, const char* sourceText,
                                      const char* /*disambiguation*/, int /*n*/) const {
    if (!context || !sourceText || std::strcmp(context, "QAbstractFileIconProvider") != 0)
        return {};
    static const struct {
        const char* english;
        const char* chinese;
    } kTypes[] = {{"Folder", "文件夹"}, {"File", "文件"},  {"%1 File", "%1 文件"},
                  {"Drive", "驱动器"},  {"Alias", "别名"}, {"Shortcut", "快捷方式"}};
    for (const auto& type : kTypes) {
        if (std::strcmp(sourceText, type.english) == 0)
            return QString::fromUtf8(type.chinese);
    }
    return {};
}

QVariant LocaleDatesModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::DisplayRole && index.column() == kDateColumn) {
        if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel())) {
            const QDateTime modified = files->lastModified(mapToSource(index));
            if (modified.isValid())
                return QLocale().toString(modified, QLocale::ShortFormat);
        }
    }
    return QIdentityProxyModel::data(index, role);
}

}  // namespace nyra::gui
