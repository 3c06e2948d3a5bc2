// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextEdit>
#include <QVBoxLayout>

#include "artwork.h"
#include "hex_grid.h"
#include "hex_view_binder.h"
#include "labelled_progress_bar.h"
#include "panel_binder.h"

namespace nyra::gui {

using namespace nyra::ids;

namespace {

// The size the window opens with where the screen has room for it.
constexpr QSize kWindowSize{1060, 740};
// Room a window manager's frame and title bar may take around the window.
constexpr QSize kFrameAllowance{16, 48};
// The side panel: chip, jobs and pictures in one column, so that the window
// fits a 1024-pixel-wide screen beside the fixed-size hex grid. Wide enough
// for the longest chip names beside English labels.
constexpr int kSidePanelWidth = 290;
constexpr int kProgressWidth = 340;
// Low enough for the job buttons and both pictures to fit a 1024 x 768 screen.
constexpr int kJobButtonHeight = 27;

std::optional<Key> keyOf(int qtKey) {
    switch (qtKey) {
        case Qt::Key_F2:
            return Key::F2;
        case Qt::Key_F3:
            return Key::F3;
        case Qt::Key_F4:
            return Key::F4;
        case Qt::Key_F5:
            return Key::F5;
        case Qt::Key_F6:
            return Key::F6;
        case Qt::Key_F7:
            return Key::F7;
        case Qt::Key_F8:
            return Key::F8;
        case Qt::Key_F9:
            return Key::F9;
        case Qt::Key_O:
            return Key::O;
        default:
            return std::nullopt;
    }
}

std::optional<int> menuBitmapOf(int item, bool checked) {
    for (const MenuBitmap& entry : kMenuBitmaps) {
        if (entry.item == item)
            return checked ? entry.checkedBitmap : entry.bitmap;
    }
    return std::nullopt;
}

// The pin-out control's text names its picture by number; anything else is
// the first picture.
PinoutPicture pinoutOfText(const std::string& text) {
    const int index = text.size() == 1 && text[0] >= '0' && text[0] <= '9' ? text[0] - '0' : -1;
    switch (index) {
        case static_cast<int>(PinoutPicture::I2c):
            return PinoutPicture::I2c;
        case static_cast<int>(PinoutPicture::I2cModeWc):
            return PinoutPicture::I2cModeWc;
        case static_cast<int>(PinoutPicture::Microwire):
            return PinoutPicture::Microwire;
        case static_cast<int>(PinoutPicture::MicrowireRotated):
            return PinoutPicture::MicrowireRotated;
        case static_cast<int>(PinoutPicture::SclSda):
            return PinoutPicture::SclSda;
        default:
            return PinoutPicture::Spi;
    }
}

void showPicture(QAbstractButton* button, const QPixmap& picture, QSize shown) {
    button->setIcon(QIcon(picture));
    button->setIconSize(shown);
    button->setFixedSize(shown + QSize(4, 4));
}

void showPicture(QAbstractButton* button, const QPixmap& picture) {
    showPicture(button, picture, picture.size());
}

QLabel* valueLabel(QLabel* label) {
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setMinimumWidth(90);
    return label;
}

}  // namespace

MainWindow::MainWindow(WindowCore& core, QWidget* parent) : QMainWindow(parent), core_(core) {
    setWindowTitle(QString::fromUtf8(kMainWindowTitle));
    setWindowIcon(art::applicationIcon());
    binder_ = new PanelBinder(
        core_.panel(), [this](int id) { core_.command(id); }, this);
    createControls();
    layOutControls();
    buildMenus();
    bindControls();
    refreshFromPanel();
    resize(openingSize());
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

QSize MainWindow::openingSize() const {
    QSize size = kWindowSize;
    if (const QScreen* shown = screen()) {
        size = size.boundedTo(shown->availableGeometry().size() - kFrameAllowance);
    }
    return size.expandedTo(minimumSizeHint());
}

QString MainWindow::objectNameOf(int id) {
    return QStringLiteral("control%1").arg(id);
}

QWidget* MainWindow::control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QAction* MainWindow::menuAction(int id) const {
    return binder_->menuAction(id);
}
QMenu* MainWindow::menu(int id) const {
    return binder_->menu(id);
}
HexGrid* MainWindow::hexGrid() const {
    return as<HexGrid>(kGridHex);
}

void MainWindow::createControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    for (const ControlEntry& entry : kMainControls) {
        const QString caption = QString::fromUtf8(entry.templateCaption);
        QWidget* widget = nullptr;
        switch (entry.kind) {
            case ControlKind::Button:
                widget = new QPushButton(caption, central);
                static_cast<QPushButton*>(widget)->setAutoDefault(false);
                break;
            case ControlKind::CheckBox:
                widget = new QCheckBox(caption, central);
                break;
            case ControlKind::ScrollBar:
                widget = new QScrollBar(Qt::Vertical, central);
                break;
            case ControlKind::Edit: {
                auto* edit = new QLineEdit(caption, central);
                edit->setReadOnly(entry.readOnly);
                widget = edit;
                break;
            }
            case ControlKind::DropList:
                widget = new QComboBox(central);
                break;
            case ControlKind::Static:
                widget = new QLabel(caption, central);
                break;
            case ControlKind::ProgressBar:
                widget = new LabelledProgressBar(central);
                break;
            case ControlKind::Grid:
                widget = new HexGrid(central);
                break;
            case ControlKind::PictureButton: {
                auto* button = new QPushButton(central);
                button->setFlat(true);
                button->setAutoDefault(false);
                button->setFocusPolicy(Qt::NoFocus);
                // The picture draws its own frame; the skin must not add one.
                button->setStyleSheet(QStringLiteral(
                    "QPushButton { border: none; background: transparent; padding: 0; }"));
                widget = button;
                break;
            }
            case ControlKind::RichEdit: {
                auto* log = new QTextEdit(central);
                log->setReadOnly(entry.readOnly);
                log->setAcceptRichText(true);
                widget = log;
                break;
            }
            case ControlKind::GroupBox:
                widget = new QGroupBox(caption, central);
                break;
        }
        widget->setObjectName(objectNameOf(entry.id));
        widget->setProperty("nyraId", entry.id);
        if (entry.startsHidden)
            widget->hide();
        controls_[entry.id] = widget;
    }

    as<QLabel>(kStatusLine)->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    as<QLabel>(kStatusLine)->setMinimumHeight(24);
    as<QLabel>(kStatusLine)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    as<QLabel>(kStatusLine)->setContentsMargins(4, 0, 4, 0);
    valueLabel(as<QLabel>(kTextCapacity));
    valueLabel(as<QLabel>(kTextFileChecksum));
    valueLabel(as<QLabel>(kTextChipChecksum));
    as<LabelledProgressBar>(kProgressBar)->setFixedWidth(kProgressWidth);
    as<QLineEdit>(kEditFileName)->setMinimumWidth(200);

    // The cell editor floats over the grid; the hex view places it.
    auto* cellEditor = as<QLineEdit>(kEditHexCell);
    cellEditor->setParent(hexGrid());
    cellEditor->setAlignment(Qt::AlignCenter);
    cellEditor->setFont(hexGrid()->font());
    // A frame and the style's margins leave a cell-wide editor room for one digit only.
    cellEditor->setFrame(false);
    cellEditor->setTextMargins(0, 0, 0, 0);
    cellEditor->setStyleSheet(
        QStringLiteral("QLineEdit { border: none; padding: 0px; margin: 0px; }"));
    cellEditor->setMaxLength(2);
    cellEditor->hide();

    auto* scroll = as<QScrollBar>(kScrollHex);
    scroll->setFixedHeight(hexGrid()->sizeHint().height());
    scroll->setRange(0, 0);
}

void MainWindow::layOutControls() {
    auto* outer = new QVBoxLayout(centralWidget());
    outer->setContentsMargins(8, 6, 8, 6);
    outer->setSpacing(6);
    auto* columns = new QHBoxLayout;
    columns->setSpacing(8);
    outer->addLayout(columns, 1);

    // Side panel: the chip, the jobs and the pictures, whole at the opening
    // size and on a 1024 x 768 screen.
    auto* side = new QWidget;
    side->setObjectName(QStringLiteral("sidePanel"));
    auto* sideColumn = new QVBoxLayout(side);
    sideColumn->setContentsMargins(0, 0, 0, 0);
    sideColumn->setSpacing(6);

    auto* deviceInfo = as<QGroupBox>(kGroupDeviceInfo);
    auto* deviceGrid = new QGridLayout(deviceInfo);
    deviceGrid->setContentsMargins(6, 10, 6, 6);
    deviceGrid->setVerticalSpacing(5);
    const std::array<std::pair<int, int>, 4> rows = {{{kLabelType, kListChipType},
                                                      {kLabelManufacturer, kListManufacturer},
                                                      {kLabelDevice, kListDevice},
                                                      {kLabelCapacity, kTextCapacity}}};
    int row = 0;
    for (const auto& [label, value] : rows) {
        deviceGrid->addWidget(control(label), row, 0);
        deviceGrid->addWidget(control(value), row, 1);
        control(value)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        ++row;
    }
    auto* quadEnable = new QHBoxLayout;
    quadEnable->addWidget(control(kCheckQuadEnable));
    quadEnable->addWidget(control(kBtnConfigure));
    quadEnable->addWidget(control(kBtnChipDetails));
    quadEnable->addStretch(1);
    deviceGrid->addLayout(quadEnable, row++, 0, 1, 2);
    deviceGrid->addWidget(control(kPicPinout), row++, 0, 1, 2, Qt::AlignHCenter);
    deviceGrid->setColumnStretch(1, 1);
    sideColumn->addWidget(deviceInfo);

    auto* operations = as<QGroupBox>(kGroupOperations);
    auto* buttons = new QGridLayout(operations);
    buttons->setContentsMargins(6, 10, 6, 6);
    buttons->setHorizontalSpacing(6);
    buttons->setVerticalSpacing(4);
    int slot = 0;
    for (int id : {kBtnAuto, kBtnErase, kBtnProgram, kBtnRead, kBtnVerify, kBtnBlankCheck,
                   kBtnDetect, kBtnBatch}) {
        control(id)->setMinimumHeight(kJobButtonHeight);
        control(id)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        // The batch button has a row of its own: while a series runs its
        // caption carries the count, up to ten digits.
        if (id == kBtnBatch)
            buttons->addWidget(control(id), (slot + 1) / 2, 0, 1, 2);
        else
            buttons->addWidget(control(id), slot / 2, slot % 2);
        ++slot;
    }
    sideColumn->addWidget(operations);
    // The two pictures side by side, so that the column needs no scroll bar.
    auto* pictures = new QHBoxLayout;
    pictures->setSpacing(12);
    pictures->addStretch(1);
    pictures->addWidget(control(kPicPlacement), 0, Qt::AlignTop);
    pictures->addWidget(control(kPicDecoration), 0, Qt::AlignTop);
    pictures->addStretch(1);
    sideColumn->addLayout(pictures);
    sideColumn->addStretch(1);
    side->setFixedWidth(kSidePanelWidth);
    columns->addWidget(side);

    // Centre: the data and the log.
    auto* centre = new QVBoxLayout;
    auto* dataArea = as<QGroupBox>(kGroupDataArea);
    auto* data = new QVBoxLayout(dataArea);
    data->setContentsMargins(6, 10, 6, 6);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(control(kLabelFileName));
    fileRow->addWidget(control(kEditFileName), 1);
    fileRow->addWidget(control(kBtnBrowse));
    fileRow->addWidget(control(kCheckEditMode));
    data->addLayout(fileRow);
    auto* sumRow = new QHBoxLayout;
    sumRow->addWidget(control(kLabelFileChecksum));
    sumRow->addWidget(control(kTextFileChecksum));
    sumRow->addSpacing(24);
    sumRow->addWidget(control(kLabelChipChecksum));
    sumRow->addWidget(control(kTextChipChecksum));
    sumRow->addStretch(1);
    data->addLayout(sumRow);
    auto* gridRow = new QHBoxLayout;
    gridRow->setSpacing(0);
    gridRow->addWidget(hexGrid());
    gridRow->addWidget(control(kScrollHex), 0, Qt::AlignTop);
    gridRow->addStretch(1);
    data->addLayout(gridRow);
    centre->addWidget(dataArea);
    auto* notes = as<QGroupBox>(kGroupNotes);
    auto* notesLayout = new QVBoxLayout(notes);
    notesLayout->setContentsMargins(6, 10, 6, 6);
    notesLayout->addWidget(control(kLogView));
    control(kLogView)->setMinimumHeight(60);
    centre->addWidget(notes, 1);
    columns->addLayout(centre, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(control(kStatusLine), 1);
    bottom->addWidget(control(kProgressBar));
    outer->addLayout(bottom);
}

void MainWindow::buildMenus() {
    std::map<int, QMenu*> popups;
    for (const MenuEntry& entry : kMainMenu) {
        QMenu* parentMenu = entry.parent == kMenuBar ? nullptr : popups[entry.parent];
        const QString caption = QString();
        if (isPopupMenu(entry.id)) {
            QMenu* popup = parentMenu ? parentMenu->addMenu(caption) : menuBar()->addMenu(caption);
            popup->setObjectName(QStringLiteral("menu%1").arg(-entry.id));
            popups[entry.id] = popup;
            binder_->bindMenu(entry.id, popup);
            continue;
        }
        if (!parentMenu)
            continue;
        QAction* action = parentMenu->addAction(caption);
        action->setObjectName(QStringLiteral("action%1").arg(entry.id));
        action->setCheckable(entry.checkable);
        action->setEnabled(!entry.startsGreyed);
        action->setIconVisibleInMenu(true);
        if (const auto bitmap = menuBitmapOf(entry.id, false)) {
            action->setIcon(art::menuIcon(*bitmap));
        }
        if (entry.id == kCmdExit) {
            // Ends the program at once, without the close handler.
            connect(action, &QAction::triggered, this, [this] {
                exiting_ = true;
                emit finished();
            });
            binder_->bindMenuItem(entry.id, action, false);
            continue;
        }
        binder_->bindMenuItem(entry.id, action);
    }
    // Beside the batch steps: where the batch window's mode 2 takes its IDs.
    if (QMenu* settings = popups[kMenuSettings]) {
        settings->addSeparator();
        QAction* series = settings->addAction(QString());
        series->setObjectName(QStringLiteral("action%1").arg(kCmdSerialSeries));
        binder_->bindMenuItem(kCmdSerialSeries, series);
        // Which of several connected programmers this window drives.
        QAction* programmer = settings->addAction(QString());
        programmer->setObjectName(QStringLiteral("action%1").arg(kCmdChooseProgrammer));
        binder_->bindMenuItem(kCmdChooseProgrammer, programmer);
    }
    binder_->onMenuChecked = [](int id, QAction* action, bool checked) {
        const auto unchecked = menuBitmapOf(id, false);
        const auto withMark = menuBitmapOf(id, true);
        if (unchecked && withMark && *unchecked != *withMark) {
            action->setIcon(art::menuIcon(checked ? *withMark : *unchecked));
        }
    };
}

void MainWindow::bindControls() {
    for (const ControlEntry& entry : kMainControls) {
        QWidget* widget = control(entry.id);
        switch (entry.kind) {
            case ControlKind::Button:
                binder_->bindButton(entry.id, static_cast<QAbstractButton*>(widget));
                break;
            case ControlKind::CheckBox:
                binder_->bindCheckBox(entry.id, static_cast<QAbstractButton*>(widget));
                break;
            case ControlKind::DropList:
                binder_->bindList(entry.id, static_cast<QComboBox*>(widget));
                break;
            case ControlKind::Edit:
                // The hex view draws its own cell editor.
                if (entry.id == kEditHexCell && core_.hexView())
                    break;
                binder_->bindEdit(entry.id, static_cast<QLineEdit*>(widget));
                break;
            case ControlKind::Static:
                if (entry.id == kStatusLine) {
                    binder_->bindStatus(entry.id, static_cast<QLabel*>(widget),
                                        [this] { return core_.statusAlert(); });
                } else {
                    binder_->bindLabel(entry.id, static_cast<QLabel*>(widget));
                }
                break;
            case ControlKind::ProgressBar:
                binder_->bindProgress(entry.id, static_cast<LabelledProgressBar*>(widget),
                                      [this] { return core_.progressPosition(); });
                break;
            case ControlKind::RichEdit:
                binder_->bindLog(entry.id, static_cast<QTextEdit*>(widget), core_.log());
                break;
            case ControlKind::GroupBox:
                binder_->bindGroup(entry.id, static_cast<QGroupBox*>(widget));
                break;
            case ControlKind::PictureButton:
                binder_->bindPictureButton(
                    entry.id, static_cast<QAbstractButton*>(widget),
                    [id = entry.id](QAbstractButton* button, const ControlState& state) {
                        if (id == kPicPinout) {
                            showPicture(button, art::pinoutPicture(pinoutOfText(state.text)));
                        } else if (id == kPicPlacement) {
                            showPicture(button, art::placementPicture(state.checked),
                                        art::kPlacementShownSize);
                        } else {
                            showPicture(button, art::decorationPicture(),
                                        art::kDecorationShownSize);
                        }
                    });
                break;
            case ControlKind::ScrollBar:
            case ControlKind::Grid:
                binder_->bindWidget(entry.id, widget);
                break;
        }
    }
    binder_->bindWindowTitle(kWindowTitle, this);
    connect(hexGrid(), &HexGrid::filesDropped, this, [this](const QStringList& paths) {
        std::vector<std::string> files;
        for (const QString& path : paths)
            files.push_back(path.toStdString());
        core_.windowMessage(kMsgFileDropped, reinterpret_cast<std::uintptr_t>(&files));
    });
    if (HexViewModel* view = core_.hexView()) {
        hexView_ = new HexViewBinder(*view, hexGrid(), as<QLineEdit>(kEditHexCell),
                                     as<QScrollBar>(kScrollHex), this);
    } else {
        connect(hexGrid(), &HexGrid::released, this, [this] { core_.command(kGridHex); });
    }
}

void MainWindow::refreshFromPanel() {
    binder_->syncAll();
}

void MainWindow::showAboutDialog(const QString& aboutText) {
    QDialog dialog(this);
    dialog.setWindowTitle(QString::fromUtf8(kMainWindowTitle));
    auto* layout = new QVBoxLayout(&dialog);
    auto* line = new QHBoxLayout;
    auto* icon = new QLabel(&dialog);
    icon->setPixmap(art::applicationIcon().pixmap(48, 48));
    line->addWidget(icon);
    auto* text = new QLabel(aboutText, &dialog);
    text->setTextFormat(Qt::PlainText);
    text->setObjectName(QStringLiteral("aboutText"));
    line->addWidget(text, 1);
    layout->addLayout(line);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // Keys reach the focus widget first and then travel up its parents;
        // the core decides once, at the first stop.
        QWidget* firstReceiver = focusWidget() ? focusWidget() : this;
        if (watched == firstReceiver && handleKey(static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::handleKey(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            return core_.escapeOrEnterPressed(false);
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return core_.escapeOrEnterPressed(true);
        default:
            break;
    }
    const std::optional<Key> key = keyOf(event->key());
    if (!key)
        return false;
    return core_.keyPressed(*key, event->modifiers().testFlag(Qt::ControlModifier));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (exiting_ || core_.closeRequested()) {
        event->accept();
        exiting_ = true;
        emit finished();
    } else {
        event->ignore();
    }
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    // The window menu of the desktop cannot be extended; this one stands for it.
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromUtf8(kSystemMenuAbout));
    if (menu.exec(event->globalPos()) == about)
        core_.command(kSysCmdAbout);
}

}  // namespace nyra::gui
