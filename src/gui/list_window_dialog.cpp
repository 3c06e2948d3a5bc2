// SPDX-License-Identifier: GPL-3.0-or-later
#include "list_window_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/frontend.h"

namespace nyra::gui {

ListWindowDialog::ListWindowDialog(const ListWindow& window, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(window.title));
    auto* layout = new QVBoxLayout(this);
    line_ = new QLabel(QString::fromStdString(window.line), this);
    line_->setObjectName(QStringLiteral("line"));
    line_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(line_);

    const int columns = static_cast<int>(window.columns.size());
    table_ = new QTableWidget(static_cast<int>(window.rows.size()), columns, this);
    table_->setObjectName(QStringLiteral("list"));
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    int width = 0;
    for (int c = 0; c < columns; ++c) {
        const auto& column = window.columns[static_cast<std::size_t>(c)];
        auto* header = new QTableWidgetItem(QString::fromStdString(column.header));
        header->setTextAlignment(Qt::AlignCenter);
        table_->setHorizontalHeaderItem(c, header);
        table_->setColumnWidth(c, column.width);
        width += column.width;
    }
    for (int r = 0; r < table_->rowCount(); ++r) {
        const auto& row = window.rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < columns && c < static_cast<int>(row.size()); ++c) {
            auto* item =
                new QTableWidgetItem(QString::fromStdString(row[static_cast<std::size_t>(c)]));
            item->setTextAlignment(Qt::AlignCenter);
            table_->setItem(r, c, item);
        }
    }
    table_->setMinimumWidth(width + 2 * table_->frameWidth());
    table_->setFixedHeight(table_->horizontalHeader()->sizeHint().height() +
                           table_->rowCount() * table_->verticalHeader()->defaultSectionSize() +
                           2 * table_->frameWidth());
    layout->addWidget(table_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace nyra::gui
