// SPDX-License-Identifier: GPL-3.0-or-later
#include "series_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "batch/window_series.h"

namespace nyra::gui {

SeriesDialog::SeriesDialog(WindowSeries& series, const SeriesDialogTexts& texts, QWidget* parent)
    : QDialog(parent), series_(series) {
    setWindowTitle(QString::fromStdString(texts.title));
    auto* form = new QFormLayout(this);
    const auto field = [this, form](const std::string& label, const std::string& value,
                                    const char* name) {
        auto* edit = new QLineEdit(QString::fromStdString(value), this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMinimumWidth(320);
        form->addRow(QString::fromStdString(label), edit);
        return edit;
    };
    const SeriesChoice& now = series_.choice();
    url_ = field(texts.url, now.url, "url");
    url_->setPlaceholderText(QStringLiteral("sqlite:serials.db | postgresql://user@host:port/db"));
    name_ = field(texts.series, now.series, "series");
    station_ = field(texts.station, now.station, "station");
    auto* hint = new QLabel(QString::fromStdString(texts.hint), this);
    hint->setWordWrap(true);
    form->addRow(hint);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        const SeriesChoice choice{url_->text().trimmed().toStdString(),
                                  name_->text().trimmed().toStdString(),
                                  station_->text().trimmed().toStdString()};
        if (series_.choose(choice))
            accept();
    });
}

}  // namespace nyra::gui
