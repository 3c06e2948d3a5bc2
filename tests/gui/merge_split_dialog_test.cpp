// SPDX-License-Identifier: GPL-3.0-or-later
// The merge and split windows over the real core, opened from the tools
// menu: their texts, Enter as OK, OK leaving them open, cancel closing them.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "gui_tests.h"
#include "merge_dialog.h"
#include "simulated_program.h"
#include "split_dialog.h"
#include "tools/file_merge.h"
#include "tools/file_split.h"

namespace nyra::gui::test {

namespace {

QByteArray pattern(int length, int seed) {
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 11 + seed * 37 + i / 241) & 0xFF);
    return bytes;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename T>
T* child(QDialog& dialog, const char* name) {
    return dialog.findChild<T*>(QString::fromLatin1(name));
}

// The caption of the label that names a field (its buddy), or "" for none.
QString labelOf(QDialog& dialog, QWidget* field) {
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->buddy() == field && label->isVisibleTo(&dialog))
            return label->text();
    }
    return {};
}

}  // namespace

void MergeSplitDialogTest::mergeWindowShowsItsTextsAndEnterMergesWithoutClosing() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    program.frontend.clearRecord();
    const QByteArray a = pattern(2000, 1), b = pattern(300, 2), c = pattern(5, 3);
    const QString pa = program.dataFile("a.bin", a), pb = program.dataFile("b.bin", b),
                  pc = program.dataFile("c.bin", c);
    const QString outFolder = program.folder.path() + "/out";
    QVERIFY(QDir().mkdir(outFolder));
    // Add a, b, c in one choice and b again, then choose the output folder.
    program.frontend.chooseFiles({pa.toStdString(), pb.toStdString(), pc.toStdString()});
    program.frontend.chooseFile(pb.toStdString());
    program.frontend.chooseFile(outFolder.toStdString());

    bool checked = false;
    int result = -1;
    program.state.showFileMerge = [&](FileMergeTool& tool) {
        MergeDialog dialog(tool, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            QCOMPARE(dialog.windowTitle(), program.text(ftext(22)));
            QCOMPARE(child<QPushButton>(dialog, "add")->text(), program.text(ftext(100)));
            QCOMPARE(child<QPushButton>(dialog, "delete")->text(), program.text(ftext(101)));
            QCOMPARE(child<QPushButton>(dialog, "chooseFolder")->text(), program.text(ftext(99)));
            QCOMPARE(child<QPushButton>(dialog, "ok")->text(), program.text(ftext(77)));
            QCOMPARE(child<QPushButton>(dialog, "cancel")->text(), program.text(ftext(76)));
            auto* folder = child<QLineEdit>(dialog, "folder");
            auto* name = child<QLineEdit>(dialog, "name");
            auto* files = child<QListWidget>(dialog, "files");
            QVERIFY(folder->isReadOnly());
            QCOMPARE(folder->text(), qt(homeFolder()));
            QCOMPARE(name->text(), QStringLiteral("Cmbin.bin"));
            QCOMPARE(labelOf(dialog, name), qt(tool.fileNameLabel()));
            QVERIFY(!labelOf(dialog, name).isEmpty());

            child<QPushButton>(dialog, "add")->click();
            child<QPushButton>(dialog, "add")->click();
            QCOMPARE(files->count(), 4);
            QCOMPARE(files->item(3)->text(), pb);
            // Select the first b and the extra b, and delete both.
            files->item(1)->setSelected(true);
            files->item(3)->setSelected(true);
            child<QPushButton>(dialog, "delete")->click();
            QCOMPARE(files->count(), 2);
            QCOMPARE(files->item(0)->text(), pa);
            QCOMPARE(files->item(1)->text(), pc);

            child<QPushButton>(dialog, "chooseFolder")->click();
            QCOMPARE(folder->text(), outFolder);
            name->setFocus();
            name->selectAll();
            QTest::keyClicks(name, QStringLiteral("joined"));
            QTest::keyClick(name, Qt::Key_Return);
            QVERIFY(dialog.isVisible());
            checked = true;
            child<QPushButton>(dialog, "cancel")->click();
        });
        result = dialog.exec();
    };
    program.window->menuAction(kCmdMerge)->trigger();
    QVERIFY(checked);
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(readAll(outFolder + "/joined.bin"), a + c);
    QCOMPARE(readAll(pa), a);
    const auto boxes = program.frontend.boxes();
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(qt(boxes[0].text), program.text(itext(155)));
    QCOMPARE(qt(boxes[0].caption), program.text(itext(9)));
    QCOMPARE(boxes[0].icon, BoxIcon::Information);
}

void MergeSplitDialogTest::splitWindowShowsItsTextsAndEnterSplitsWithoutClosing() {
    SimulatedProgram program(1, "W25Q64FV");
    QVERIFY(program.start());
    program.frontend.clearRecord();
    const QByteArray bytes = pattern(3000, 4);
    const QString source = program.dataFile("fw.bin", bytes);
    program.frontend.chooseFile(source.toStdString());

    bool checked = false;
    int result = -1;
    QString pointsAfter;
    program.state.showFileSplit = [&](FileSplitTool& tool) {
        SplitDialog dialog(tool, program.window.get());
        QTimer::singleShot(0, &dialog, [&] {
            QCOMPARE(dialog.windowTitle(), program.text(ftext(23)));
            QCOMPARE(child<QPushButton>(dialog, "open")->text(), program.text(ftext(98)));
            QCOMPARE(child<QLabel>(dialog, "example")->text(), program.text(ftext(67)));
            QCOMPARE(child<QPushButton>(dialog, "ok")->text(), program.text(ftext(77)));
            QCOMPARE(child<QPushButton>(dialog, "cancel")->text(), program.text(ftext(76)));
            auto* sourceField = child<QLineEdit>(dialog, "source");
            auto* points = child<QLineEdit>(dialog, "points");
            QVERIFY(sourceField->isReadOnly());
            QCOMPARE(sourceField->text(), QString());
            QCOMPARE(points->text(), QString());
            QCOMPARE(labelOf(dialog, points), program.text(ftext(66)));
            QCOMPARE(labelOf(dialog, sourceField), qt(tool.sourceLabel()));
            QVERIFY(!labelOf(dialog, sourceField).isEmpty());

            child<QPushButton>(dialog, "open")->click();
            QCOMPARE(sourceField->text(), source);
            points->setFocus();
            QTest::keyClicks(points, QStringLiteral("1024"));
            // The key clicks of Qt Test type Latin-1 only.
            QTest::sendKeyEvent(QTest::Click, points, Qt::Key_unknown,
                                QString::fromUtf8("\xEF\xBC\x8C"), Qt::NoModifier);
            QTest::keyClicks(points, QStringLiteral("2048"));
            QCOMPARE(points->text(), QString::fromUtf8("1024\xEF\xBC\x8C"
                                                       "2048"));
            QTest::keyClick(points, Qt::Key_Enter);
            QVERIFY(dialog.isVisible());
            pointsAfter = points->text();
            // A second OK with a bad point says so and still leaves the window open.
            points->setText(QStringLiteral("1024 2048"));
            child<QPushButton>(dialog, "ok")->click();
            QVERIFY(dialog.isVisible());
            checked = true;
            child<QPushButton>(dialog, "cancel")->click();
        });
        result = dialog.exec();
    };
    program.window->menuAction(kCmdSplit)->trigger();
    QVERIFY(checked);
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(pointsAfter, QStringLiteral("1024,2048"));
    const QString base = program.folder.path() + "/fw";
    QCOMPARE(readAll(base + "_0-1023.bin"), bytes.left(1024));
    QCOMPARE(readAll(base + "_1024-2047.bin"), bytes.mid(1024, 1024));
    QCOMPARE(readAll(base + "_2048-2999.bin"), bytes.mid(2048));
    const auto boxes = program.frontend.boxes();
    QCOMPARE(boxes.size(), std::size_t{2});
    // The success names the pieces it wrote.
    QCOMPARE(qt(boxes[0].text),
             program.text(itext(159)) +
                 QStringLiteral("\n\nfw_0-1023.bin\nfw_1024-2047.bin\nfw_2048-2999.bin"));
    QCOMPARE(qt(boxes[1].text), program.text(itext(157)));
    for (const auto& box : boxes)
        QCOMPARE(box.icon, BoxIcon::Information);
}

}  // namespace nyra::gui::test
