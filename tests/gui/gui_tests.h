// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace nyra::gui::test {

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void everyControlOfTheTableIsBuilt();
    void menuBarFollowsTheMenuTable();
    void captionsComeFromTheTextFiles();
    void changesFromAnotherThreadReachTheWidgets();
    void statusLineIsWhiteOnRedOnlyWhileAlert();
    void progressBarDrawsItsLabelOverAGreenFill();
    void logViewShowsTheLogInItsColour();
    void logLinesFromTheWorkerArriveInOrder();
    void buttonsAndMenuItemsForwardTheirCommand();
    void listSelectionIsStoredBeforeItsCommand();
    void checkBoxStoresItsStateBeforeItsCommand();
    void checkMarksAreThePanelsNotQts();
    void editModeItemSwapsItsImage();
    void pictureButtonsShowThePanelsPicture();
    void functionKeysReachTheCoreOnce();
    void escapeAndEnterNeverCloseOrClick();
    void refusedCloseKeepsTheWindowOpen();
    void exitItemEndsWithoutTheCloseHandler();
    void aboutDialogShowsOneLineAndOk();
    void aboutTextComesFromTheTextTable();
    void windowFitsASmallScreenWithTheGridAtItsSize_data();
    void windowFitsASmallScreenWithTheGridAtItsSize();
};

class FrontendTest : public QObject {
    Q_OBJECT
private slots:
    void boxFromAnotherThreadBlocksUntilAnswered();
    void boxOnTheWindowThreadIsShownDirectly();
    void escapeGivesTheDismissAnswer();
    void closingReleasesAWaitingCaller();
    void shellOpenReportsAMissingFile();
    void xdgOpenIsJudgedByItsExitStatus();
    void chineseTextsTranslateTheToolkitsButtons();
    void saveDialogUsesFilterAndDefaultExtension();
    void cancelledOpenDialogChoosesNothing();
    void chineseFileDialogShowsWholeChineseDetails();
    void skinIsLoadedOrIgnored();
    void unavailableUsbFindsNothingAndFails();
};

class IdentificationTest : public QObject {
    Q_OBJECT
private slots:
    void startUpSelectsTheChipInTheSocket();
    void detectKeyMakesTheListsFollowTheChip();
    void deviceChangeReselectsAfterASwap();
    void logLinesCarryTheTimeOfDay();
    void missingProgrammerIsAnAlert();
};

class HexViewTest : public QObject {
    Q_OBJECT
private slots:
    void gridStartsWithAddressesAndErasedCells();
    void clickingACellAndTypingEditsTheWorkingFile();
    void aFileDraggedOntoTheGridLoads();
    void theScrollBarTakesTheFocusFromTheEditor();
    void aReadShowsTheChipInTheGridWithItsTitle();
    void theAutoButtonErasesProgramsAndVerifies();
};

class AddressOffsetDialogTest : public QObject {
    Q_OBJECT
private slots:
    void capFileOpensTheWindowAndOkLoadsTheTail();
    void typingALetterIntoTheOffsetWarnsAndTakesItOut();
};

class FindDialogTest : public QObject {
    Q_OBJECT
private slots:
    void enterSearchesAndOnlyCancelCloses();
};

class BufferToolDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void fileFillTypesChecksAndFillsWithEnter();
    void dataViewShowsTheResultWhenItArrives();
    void goToWindowsAreModelessAndIndependent();
};

class ChipFillDialogTest : public QObject {
    Q_OBJECT
private slots:
    void opensWithItsTextsAndTheDataFieldOfTheChip();
    void enterFillsAndOnlyCancelClosesOnceTheChipIsWritten();
    void aStrayCharacterIsTakenOutWithTheCaretKept();
};

class BatchDialogTest : public QObject {
    Q_OBJECT
private slots:
    void theBatchButtonShowsItOnlyWithAutoIdentify();
};

class OtpDialogTest : public QObject {
    Q_OBJECT
private slots:
    void theButtonsFollowTheDetectedState();
};

class NetDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void feedbackFormSendsWhatWasTyped();
    void versionWindowShowsTheTable();
};

class UpgradeDialogTest : public QObject {
    Q_OBJECT
private slots:
    void theUpgradeButtonWaitsForAFile();
    void theBarFollowsTheJobAndClosingWaitsForIt();
};

class ArtworkTest : public QObject {
    Q_OBJECT
private slots:
    void everyMenuBitmapHasItsOwnGlyph();
    void picturesHaveTheirSizesAndDiffer();
};

class MergeSplitDialogTest : public QObject {
    Q_OBJECT
private slots:
    void mergeWindowShowsItsTextsAndEnterMergesWithoutClosing();
    void splitWindowShowsItsTextsAndEnterSplitsWithoutClosing();
};

}  // namespace nyra::gui::test
