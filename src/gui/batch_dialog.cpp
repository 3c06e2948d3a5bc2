// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "batch/batch_window.h"
#include "panel_binder.h"

namespace nyra::gui {

using namespace batch_ids;

BatchDialog::BatchDialog(BatchWindow& window, QWidget* parent) : QDialog(parent), window_(window) {
    setWindowTitle(QString::fromStdString(window_.title()));
    setModal(false);
    binder_ = new PanelBinder(
        window_.panel(), [this](int id) { command(id); }, this);
    const auto button = [this](int id) {
        auto* b = new QPushButton(this);
        b->setAutoDefault(false);
        b->setObjectName(QStringLiteral("button%1").arg(id));
        binder_->bindButton(id, b);
        return b;
    };
    const auto label = [this](int id) {
        auto* l = new QLabel(this);
        binder_->bindLabel(id, l);
        return l;
    };
    const auto combo = [this](int id) {
        auto* c = new QComboBox(this);
        c->setObjectName(QStringLiteral("list%1").arg(id));
        binder_->bindList(id, c);
        return c;
    };
    const auto edit = [this](int id) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QStringLiteral("field%1").arg(id));
        binder_->bindEdit(id, e);
        return e;
    };

    auto* layout = new QVBoxLayout(this);
    auto* modeLine = new QHBoxLayout;
    modeLine->addWidget(label(1174));
    modeLine->addWidget(combo(kMode), 1);
    layout->addLayout(modeLine);

    auto* listLine = new QHBoxLayout;
    documents_ = new QListWidget(this);
    documents_->setObjectName(QStringLiteral("documents"));
    documents_->setSelectionMode(QAbstractItemView::NoSelection);  // the core keeps it
    documents_->setMinimumSize(360, 140);
    binder_->bindWidget(kDocuments, documents_);
    listLine->addWidget(documents_, 1);
    auto* listButtons = new QVBoxLayout;
    for (int id : {kAdd, kUp, kDown, kDelete, kAll, kNone})
        listButtons->addWidget(button(id));
    listButtons->addStretch(1);
    listLine->addLayout(listButtons);
    layout->addLayout(listLine);

    auto* grid = new QGridLayout;
    grid->addWidget(label(1175), 0, 0);
    grid->addWidget(edit(kFillAddress), 0, 1);
    grid->addWidget(label(1176), 0, 2);
    grid->addWidget(edit(kStartId), 0, 3);
    grid->addWidget(label(1177), 1, 0);
    grid->addWidget(combo(kIdLength), 1, 1);
    grid->addWidget(label(1178), 1, 2);
    grid->addWidget(edit(kIncrement), 1, 3);
    grid->addWidget(label(1179), 2, 0);
    grid->addWidget(combo(kFormat), 2, 1);
    grid->addWidget(label(1180), 2, 2);
    grid->addWidget(edit(kCount), 2, 3);
    layout->addLayout(grid);

    auto* mainLine = new QHBoxLayout;
    mainLine->addWidget(edit(kMainDocument), 1);
    mainLine->addWidget(button(kChooseMain));
    layout->addLayout(mainLine);

    auto* actions = new QHBoxLayout;
    auto* autoStart = new QCheckBox(this);
    autoStart->setObjectName(QStringLiteral("autoStart"));
    binder_->bindCheckBox(kAutoStart, autoStart);
    actions->addWidget(autoStart);
    actions->addStretch(1);
    actions->addWidget(button(kStart));
    actions->addWidget(button(kStop));
    QPushButton* exit = button(kExit);
    exit->setDefault(true);
    actions->addWidget(exit);
    layout->addLayout(actions);

    connect(documents_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { window_.toggleSelected(documents_->row(item)); });
    // The batch thread changes the list too: redrawn on this thread.
    token_ = window_.panel().subscribe([this](const PanelChange& change) {
        if (change.id == kDocuments && change.property != PanelProperty::Enabled)
            QMetaObject::invokeMethod(
                this, [this] { showDocuments(); }, Qt::QueuedConnection);
    });
    window_.focus = [this](int id, bool selectAll) {
        QMetaObject::invokeMethod(
            this,
            [this, id, selectAll] {
                QWidget* w = id == kDocuments ? documents_ : binder_->widget(id);
                if (!w)
                    return;
                w->setFocus();
                if (auto* e = qobject_cast<QLineEdit*>(w); e && selectAll)
                    e->selectAll();
            },
            Qt::QueuedConnection);
    };
    binder_->syncAll();
    showDocuments();
}

BatchDialog::~BatchDialog() {
    window_.focus = nullptr;
    window_.panel().unsubscribe(token_);
}

void BatchDialog::showDocuments() {
    const std::vector<std::string> paths = window_.documents();
    const std::vector<bool> selected = window_.selection();
    documents_->clear();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        auto* item = new QListWidgetItem(QString::fromStdString(paths[i]), documents_);
        if (i < selected.size() && selected[i]) {
            item->setBackground(palette().highlight());
            item->setForeground(palette().highlightedText());
        }
    }
}

void BatchDialog::command(int id) {
    switch (id) {
        case kMode:
            window_.setMode(window_.panel().currentIndex(kMode));
            return;
        case kAdd:
            window_.addDocuments();
            return;
        case kUp:
        case kDown:
            window_.move(id == kUp);
            return;
        case kDelete:
            window_.deleteSelected();
            return;
        case kAll:
        case kNone:
            window_.selectAll(id == kAll);
            return;
        case kChooseMain:
            window_.chooseMainDocument();
            return;
        case kStart:
            window_.start();
            return;
        case kStop:
            window_.stop();
            return;
        case kExit:
            window_.exit();
            hide();
            return;
        default:
            return;
    }
}

void BatchDialog::reject() {
    window_.stop();
    QDialog::reject();
}

void BatchDialog::closeEvent(QCloseEvent* event) {
    window_.stop();
    QDialog::closeEvent(event);
}

}  // namespace nyra::gui
