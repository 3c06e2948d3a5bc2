// SPDX-License-Identifier: GPL-3.0-or-later
// kvq_nyra: the desktop program.
#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include "address_offset_dialog.h"
#include "app/clock.h"
#include "app/single_instance.h"
#include "app_state_core.h"
#include "batch_dialog.h"
#include "buffer_tool_dialogs.h"
#include "chip_fill_dialog.h"
#include "device/device_change_monitor.h"
#include "device/usb_library.h"
#include "feedback_dialog.h"
#include "find_dialog.h"
#include "main_window.h"
#include "merge_dialog.h"
#include "otp_dialog.h"
#include "qt_frontend.h"
#include "series_dialog.h"
#include "shell/app_state.h"
#include "skin.h"
#include "split_dialog.h"
#include "tools/address_offset.h"
#include "unavailable_usb.h"
#include "upgrade_dialog.h"

namespace {

// Docks link a window to its launcher by the desktop entry's name: the
// window's WM_CLASS instance on X11, its app id on Wayland. The demo launcher
// names its own entry.
QString desktopEntryName() {
    const QByteArray named = qgetenv("NYRA_DESKTOP_ENTRY");
    const QByteArray entry = named.isEmpty() ? QByteArrayLiteral("kvq-nyra") : named;
    if (qEnvironmentVariableIsEmpty("RESOURCE_NAME"))
        qputenv("RESOURCE_NAME", entry);
    return QString::fromLocal8Bit(entry);
}

}  // namespace

int main(int argc, char** argv) {
    const QString desktopEntry = desktopEntryName();  // before the toolkit reads RESOURCE_NAME
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(desktopEntry);

    nyra::SingleInstance instance;
    if (!instance.tryAcquire()) {
        QMessageBox::warning(nullptr,
                             QString::fromUtf8(nyra::SingleInstance::kAlreadyRunningCaption),
                             QString::fromUtf8(nyra::SingleInstance::kAlreadyRunningText));
        return 0;
    }

    nyra::gui::loadSkin(app);
    // Every file of the program is found from the directory current at start.
    const std::string programFolder = QDir::currentPath().toStdString() + "/";

    nyra::gui::QtFrontend frontend;
    nyra::UsbLibrary usb = nyra::UsbLibrary::loadFor(nyra::executableDirectory());
    if (!usb.loaded()) {
        frontend.messageBox(usb.error(), nyra::ids::kMainWindowTitle, nyra::BoxIcon::Warning,
                            nyra::BoxButtons::Ok);
    }
    const nyra::UsbApi& usbApi = usb.loaded() ? usb.api() : nyra::gui::unavailableUsbApi();

    nyra::AppState state(frontend, nyra::systemClock(), usbApi);
    nyra::gui::AppStateCore core(state);
    nyra::gui::MainWindow window(core);
    frontend.setParentWindow(&window);
    state.showAboutDialog = [&window](const std::string& text) {
        window.showAboutDialog(QString::fromStdString(text));
    };
    state.showAddressOffset = [&window](nyra::AddressOffsetTool& tool) {
        nyra::gui::AddressOffsetDialog dialog(tool, &window);
        dialog.exec();
    };
    state.showFileMerge = [&window](nyra::FileMergeTool& tool) {
        nyra::gui::MergeDialog dialog(tool, &window);
        dialog.exec();
    };
    state.showFileSplit = [&window](nyra::FileSplitTool& tool) {
        nyra::gui::SplitDialog dialog(tool, &window);
        dialog.exec();
    };
    state.showFindWindow = [&window](nyra::FindWindow& find) {
        nyra::gui::FindDialog dialog(find, &window);
        dialog.exec();
    };
    state.showFileFillWindow = [&window](nyra::FileFillWindow& fill) {
        nyra::gui::FileFillDialog dialog(fill, &window);
        dialog.exec();
    };
    state.showDataViewWindow = [&window](nyra::DataViewWindow& view) {
        nyra::gui::DataViewDialog dialog(view, &window);
        dialog.exec();
    };
    state.showGoToWindow = [&window](std::unique_ptr<nyra::GoToWindow> goTo) {
        // Modeless: it comes to the front with the keyboard, beside the others.
        auto* dialog = new nyra::gui::GoToDialog(std::move(goTo), &window);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    };
    state.showChipFillWindow = [&window](nyra::ChipFillWindow& fill) {
        nyra::gui::ChipFillDialog dialog(fill, &window);
        dialog.exec();
    };
    state.showOtpWindow = [&window](nyra::OtpWindow& otp) {
        nyra::gui::OtpDialog dialog(otp, &window);
        dialog.exec();
    };
    state.showFeedbackForm = [&window](nyra::FeedbackForm& form) {
        nyra::gui::FeedbackDialog dialog(form, &window);
        dialog.exec();
    };
    state.showSeriesDialog = [&window, &state](nyra::WindowSeries& series) {
        nyra::gui::SeriesDialog dialog(series, nyra::seriesDialogTexts(state.texts()), &window);
        dialog.exec();
    };
    state.showUpgradeWindow = [&window, &state](nyra::UpgradeWindow& upgrade) {
        nyra::gui::UpgradeDialog dialog(
            upgrade, [&state](int id) { state.command(id); }, &window);
        dialog.exec();
    };
    QObject::connect(
        &window, &nyra::gui::MainWindow::finished, &app, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);

    // The window remembers and locks the programmer it drives.
    state.programmerSeat().enable();
    state.startUp(programFolder);
    window.refreshFromPanel();
    // Made hidden once the core has made its window; shown again as it was left.
    nyra::gui::BatchDialog batch(state.batchWindow(), &window);
    state.showBatchWindow = [&batch] {
        batch.show();
        batch.raise();
        batch.activateWindow();
    };

    nyra::DeviceChangeMonitor deviceChanges;
    deviceChanges.start(usb.loaded() ? usb.eventFd() : -1, [&window, &core] {
        QMetaObject::invokeMethod(
            &window, [&core] { core.windowMessage(nyra::ids::kMsgDeviceChange, 0); },
            Qt::QueuedConnection);
    });

    window.show();
    const int result = app.exec();

    deviceChanges.stop();
    // A worker waiting for a box must not hold up its own end.
    frontend.close();
    state.shutdown();
    return result;
}
