// SPDX-License-Identifier: GPL-3.0-or-later
// Runs every Qt Test class of the desktop program in one application.
#include <QApplication>
#include <QTest>

#include "gui_tests.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failures = 0;
    {
        nyra::gui::test::MainWindowTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::FrontendTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::IdentificationTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::HexViewTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::AddressOffsetDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::FindDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::BufferToolDialogsTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::ChipFillDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::BatchDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::OtpDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::NetDialogsTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::UpgradeDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::ArtworkTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        nyra::gui::test::MergeSplitDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
