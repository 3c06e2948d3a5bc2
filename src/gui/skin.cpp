// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin.h"

#include <QApplication>
#include <QFile>

namespace nyra::gui {

bool loadSkin(QApplication& app, const QString& skinPath) {
    QFile file(skinPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    app.setStyleSheet(QString::fromUtf8(file.readAll()));
    return true;
}

}  // namespace nyra::gui
