// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIdentityProxyModel>
#include <QTranslator>

// What Qt's own file dialog shows in English even with its translation
// installed: the type of folders and files, whose texts the shipped
// translations lack, and the modification dates, which it writes in the
// system's locale rather than the texts' language.
namespace nyra::gui {

// The file types of Qt's icon provider in Simplified Chinese. Installed
// before the toolkit's own translation, so that one wins where it has a text.
class FileTypeTranslator final : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
};

// The file dialog's model with the date column in the default locale.
class LocaleDatesModel final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

}  // namespace nyra::gui
