// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>

#include "app/switch_ids.h"
#include "app/text_key.h"

// Control, command and message ids of the main window, and the tables that
// say how its menu is built and where each caption comes from. Commands that
// share a button's id (open, the job buttons, detect, about) keep the
// button's name.
namespace nyra::ids {

// Controls.
inline constexpr int kScrollHex = 1002;
inline constexpr int kEditFileName = 1003;
inline constexpr int kBtnBrowse = 1004;
inline constexpr int kCheckEditMode = 1006;
inline constexpr int kListChipType = 1014;
inline constexpr int kListManufacturer = 1015;
inline constexpr int kListDevice = 1016;
inline constexpr int kTextCapacity = 1017;
inline constexpr int kStatusLine = 1018;
inline constexpr int kBtnAuto = 1019;
inline constexpr int kBtnErase = 1020;
inline constexpr int kBtnProgram = 1021;
inline constexpr int kBtnRead = 1022;
inline constexpr int kBtnVerify = 1023;
inline constexpr int kBtnDetect = 1024;
inline constexpr int kBtnAbout = 1025;
inline constexpr int kBtnBatch = 1026;
inline constexpr int kEditHexCell = 1027;
inline constexpr int kProgressBar = 1031;
inline constexpr int kTextFileChecksum = 1033;
inline constexpr int kBtnBlankCheck = 1035;
inline constexpr int kGridHex = 1057;
inline constexpr int kBtnChipDetails = 1066;
inline constexpr int kPicPinout = 1071;
inline constexpr int kPicPlacement = 1073;
inline constexpr int kTextChipChecksum = 1082;
inline constexpr int kLogView = 1101;
inline constexpr int kPicDecoration = 1102;
inline constexpr int kLabelType = 1162;
inline constexpr int kLabelManufacturer = 1163;
inline constexpr int kLabelDevice = 1164;
inline constexpr int kLabelCapacity = 1165;
inline constexpr int kLabelFileName = 1166;
inline constexpr int kLabelFileChecksum = 1167;
inline constexpr int kLabelChipChecksum = 1168;
inline constexpr int kGroupDeviceInfo = 1169;
inline constexpr int kGroupOperations = 1170;
inline constexpr int kGroupDataArea = 1171;
inline constexpr int kGroupNotes = 1172;
inline constexpr int kBtnConfigure = 1183;
inline constexpr int kCheckQuadEnable = 1189;
// The window's title bar; no control of the window carries this id.
inline constexpr int kWindowTitle = 999;

// Commands.
inline constexpr int kCmdExit = 1;
inline constexpr int kSysCmdAbout = 16;
inline constexpr int kCmdEditMode = 32783;
inline constexpr int kCmdSaveAs = 32784;
inline constexpr int kCmdFirmwareVersion = 32788;
// Greyed and enabled with the job locks, though no menu item carries it.
inline constexpr int kCmdJobLocked = 32790;
inline constexpr int kCmdManual = 32797;
inline constexpr int kCmdFileFill = 32801;
inline constexpr int kCmdDataView = 32803;
inline constexpr int kCmdChipFill = 32804;
inline constexpr int kCmdSaveFile = 32806;
inline constexpr int kCmdGoTo = 32807;
inline constexpr int kCmdFirmwareUpgrade = 32808;
inline constexpr int kCmdFind = 32810;
inline constexpr int kCmdFeedback = 32813;
inline constexpr int kCmdCheckUpdate = 32814;
inline constexpr int kCmdOffsetProgram = 32815;
inline constexpr int kCmdMerge = 32817;
inline constexpr int kCmdSplit = 32818;
inline constexpr int kCmdChangeLog = 32819;
inline constexpr int kCmdOtp = 32820;
// Beside the batch window: where mode 2 takes its IDs (not in the main menu's table).
inline constexpr int kCmdSerialSeries = 32830;
inline constexpr int kCmdChooseProgrammer = 32831;

// Window messages.
inline constexpr int kMsgDeviceChange = 0x219;
inline constexpr int kMsgFileDropped = 0x401;
inline constexpr int kMsgOtpFirst = 0x40C;
inline constexpr int kMsgOtpLast = 0x411;
inline constexpr int kMsgBatchRunRequest = 0x464;

inline constexpr int kOtpFirstJob = 26;

// The OTP job a private message starts (0x40C -> 26 ... 0x411 -> 31), or -1.
constexpr int otpJobOf(int message) {
    return message >= kMsgOtpFirst && message <= kMsgOtpLast ? kOtpFirstJob + message - kMsgOtpFirst
                                                             : -1;
}

// Pop-up menus have no command id; these negative ids name them in a Panel
// so that they can never clash with a command.
inline constexpr int kMenuBar = 0;
inline constexpr int kMenuFile = -1;
inline constexpr int kMenuProgramming = -2;
inline constexpr int kMenuAddress = -3;
inline constexpr int kMenuTools = -4;
inline constexpr int kMenuFirmware = -5;
inline constexpr int kMenuSettings = -6;
inline constexpr int kMenuBatchSteps = -7;
inline constexpr int kMenuHelp = -8;

constexpr bool isPopupMenu(int id) {
    return id < 0;
}

struct MenuEntry {
    int id;
    int parent;  // kMenuBar or a pop-up id
    TextKey caption;
    bool startsGreyed;
    bool checkable;
};

// The main menu, each pop-up directly followed by its entries, in display order.
inline constexpr auto kMainMenu = std::to_array<MenuEntry>({
    {kMenuFile, kMenuBar, ftext(1), false, false},
    {kBtnBrowse, kMenuFile, ftext(2), false, false},
    {kCmdSaveFile, kMenuFile, ftext(3), true, false},
    {kCmdSaveAs, kMenuFile, ftext(4), true, false},
    {kCmdEditMode, kMenuFile, ftext(5), true, true},
    {kCmdExit, kMenuFile, ftext(6), false, false},

    {kMenuProgramming, kMenuBar, ftext(7), false, false},
    {kBtnAuto, kMenuProgramming, ftext(8), false, false},
    {kBtnErase, kMenuProgramming, ftext(9), false, false},
    {kBtnProgram, kMenuProgramming, ftext(10), false, false},
    {kBtnVerify, kMenuProgramming, ftext(11), false, false},
    {kBtnBlankCheck, kMenuProgramming, ftext(12), false, false},
    {kBtnRead, kMenuProgramming, ftext(13), false, false},

    {kMenuAddress, kMenuBar, ftext(14), false, false},
    {kCmdGoTo, kMenuAddress, ftext(15), true, false},
    {kCmdDataView, kMenuAddress, ftext(16), true, false},
    {kCmdFind, kMenuAddress, ftext(17), true, false},
    {kCmdFileFill, kMenuAddress, ftext(18), true, false},
    {kCmdChipFill, kMenuAddress, ftext(19), true, false},
    {kCmdOffsetProgram, kMenuAddress, ftext(20), false, false},

    {kMenuTools, kMenuBar, ftext(21), false, false},
    {kCmdMerge, kMenuTools, ftext(22), false, false},
    {kCmdSplit, kMenuTools, ftext(23), false, false},
    {kCmdOtp, kMenuTools, ftext(24), false, false},

    {kMenuFirmware, kMenuBar, ftext(25), false, false},
    {kBtnDetect, kMenuFirmware, ftext(26), false, false},
    {kCmdFirmwareVersion, kMenuFirmware, ftext(27), false, false},
    {kCmdFirmwareUpgrade, kMenuFirmware, ftext(28), false, false},

    {kMenuSettings, kMenuBar, ftext(29), false, false},
    {kCmdSounds, kMenuSettings, ftext(30), false, true},
    {kCmdAutoIdentify, kMenuSettings, ftext(31), false, true},
    {kMenuBatchSteps, kMenuSettings, ftext(32), false, false},
    {kCmdBatchErase, kMenuBatchSteps, ftext(33), false, true},
    {kCmdBatchProgram, kMenuBatchSteps, ftext(34), false, true},
    {kCmdBatchVerify, kMenuBatchSteps, ftext(35), false, true},

    {kMenuHelp, kMenuBar, ftext(36), false, false},
    {kCmdManual, kMenuHelp, ftext(37), false, false},
    {kCmdCheckUpdate, kMenuHelp, ftext(38), false, false},
    {kCmdChangeLog, kMenuHelp, ftext(39), false, false},
    {kCmdFeedback, kMenuHelp, ftext(40), false, false},
    {kBtnAbout, kMenuHelp, ftext(41), false, false},
});

enum class ControlKind : unsigned char {
    Button,
    CheckBox,
    ScrollBar,
    Edit,
    DropList,
    Static,
    ProgressBar,
    Grid,
    PictureButton,
    RichEdit,
    GroupBox,
};

struct ControlEntry {
    int id;
    ControlKind kind;
    const char* templateCaption;  // shown until the text table replaces it
    std::optional<TextKey> caption;
    bool startsHidden;
    bool readOnly;
};

// The controls of the main window. The progress bar is hidden by start-up.
inline constexpr auto kMainControls = std::to_array<ControlEntry>({
    {kBtnBrowse, ControlKind::Button, "浏览...", ftext(73), false, false},
    {kCheckEditMode, ControlKind::CheckBox, "编辑模式", ftext(5), false, false},
    {kScrollHex, ControlKind::ScrollBar, "", std::nullopt, false, false},
    {kEditFileName, ControlKind::Edit, "", std::nullopt, false, true},
    {kListChipType, ControlKind::DropList, "", std::nullopt, false, false},
    {kListManufacturer, ControlKind::DropList, "", std::nullopt, false, false},
    {kListDevice, ControlKind::DropList, "", std::nullopt, false, false},
    {kTextCapacity, ControlKind::Static, "0", std::nullopt, false, false},
    {kStatusLine, ControlKind::Static, "", std::nullopt, false, false},
    {kBtnAuto, ControlKind::Button, "自动烧录(F9)", ftext(53), false, false},
    {kBtnErase, ControlKind::Button, "擦除芯片(F4)", ftext(54), false, false},
    {kBtnProgram, ControlKind::Button, "手动烧录(F6)", ftext(55), false, false},
    {kBtnRead, ControlKind::Button, "读出芯片(F7)", ftext(57), false, false},
    {kBtnVerify, ControlKind::Button, "数据校验(F8)", ftext(56), false, false},
    {kBtnDetect, ControlKind::Button, "芯片检测(F5)", ftext(59), false, false},
    {kBtnBlankCheck, ControlKind::Button, "芯片查空(F3)", ftext(58), false, false},
    {kBtnBatch, ControlKind::Button, "批量模式(F2)", ftext(60), false, false},
    {kProgressBar, ControlKind::ProgressBar, "", std::nullopt, true, false},
    {kTextFileChecksum, ControlKind::Static, "0000000000", std::nullopt, false, false},
    {kTextChipChecksum, ControlKind::Static, "0000000000", std::nullopt, false, false},
    {kGridHex, ControlKind::Grid, "", std::nullopt, false, false},
    {kEditHexCell, ControlKind::Edit, "", std::nullopt, true, false},
    {kBtnChipDetails, ControlKind::Button, "查看", std::nullopt, true, false},
    {kPicPinout, ControlKind::PictureButton, "", std::nullopt, false, false},
    {kPicPlacement, ControlKind::PictureButton, "", std::nullopt, false, false},
    {kPicDecoration, ControlKind::PictureButton, "", std::nullopt, false, false},
    {kLogView, ControlKind::RichEdit, "", std::nullopt, false, true},
    {kBtnConfigure, ControlKind::Button, "配置", ftext(136), false, false},
    {kCheckQuadEnable, ControlKind::CheckBox, "QE", std::nullopt, false, false},
    {kLabelType, ControlKind::Static, "类型:", ftext(43), false, false},
    {kLabelManufacturer, ControlKind::Static, "厂商:", ftext(44), false, false},
    {kLabelDevice, ControlKind::Static, "器件:", ftext(45), false, false},
    {kLabelCapacity, ControlKind::Static, "容量:", ftext(46), false, false},
    {kLabelFileName, ControlKind::Static, "文件名:", ftext(50), false, false},
    {kLabelFileChecksum, ControlKind::Static, "文件校验和:", ftext(51), false, false},
    {kLabelChipChecksum, ControlKind::Static, "芯片校验和:", ftext(52), false, false},
    {kGroupDeviceInfo, ControlKind::GroupBox, "器件信息", ftext(42), false, false},
    {kGroupOperations, ControlKind::GroupBox, "操作栏", ftext(47), false, false},
    {kGroupDataArea, ControlKind::GroupBox, "数据区", ftext(48), false, false},
    {kGroupNotes, ControlKind::GroupBox, "注意", ftext(49), false, false},
});

// The firmware upgrade window (dialog template 199).
inline constexpr int kUpgradePath = 1067;
inline constexpr int kUpgradeOpen = 1068;
inline constexpr int kUpgradeProgress = 1069;
inline constexpr int kUpgradeStart = 1070;
inline constexpr int kUpgradeFileLabel = 1173;
inline constexpr const char* kUpgradeTemplateTitle = "KVQ_Nyra 固件升级";
inline constexpr TextKey kUpgradeTitle = ftext(64);

inline constexpr auto kUpgradeControls = std::to_array<ControlEntry>({
    {kUpgradePath, ControlKind::Edit, "", std::nullopt, false, true},
    {kUpgradeFileLabel, ControlKind::Static, "固件文件:", ftext(65), false, false},
    {kUpgradeOpen, ControlKind::Button, "打开", ftext(98), false, false},
    {kUpgradeProgress, ControlKind::ProgressBar, "", std::nullopt, false, false},
    {kUpgradeStart, ControlKind::Button, "升级", ftext(74), false, false},
});

// The find window (dialog template 212).
inline constexpr int kFindAction = 1;
inline constexpr int kFindCancel = 2;
inline constexpr int kFindHexMode = 1074;
inline constexpr int kFindCharacterMode = 1075;
inline constexpr int kFindText = 1076;
inline constexpr int kFindLabel = 1147;
inline constexpr const char* kFindTemplateTitle = "数据查找";
inline constexpr TextKey kFindTitle = ftext(90);

// The file fill window (dialog template 163); cancel is control 2.
inline constexpr int kFileFillAddress = 1036;
inline constexpr int kFileFillLength = 1037;
inline constexpr int kFileFillData = 1038;
inline constexpr int kFileFillAction = 1039;
inline constexpr int kFileFillStatus = 1040;
inline constexpr int kFileFillFromEnd = 1063;
inline constexpr int kFileFillAddressLabel = 1143;
inline constexpr int kFileFillLengthLabel = 1144;
inline constexpr int kFileFillDataLabel = 1145;
inline constexpr int kFileFillStatusLabel = 1146;
inline constexpr int kToolCancel = 2;
inline constexpr const char* kFileFillTemplateTitle = "文件数据填充";
inline constexpr TextKey kFileFillTitle = ftext(106);

// The data view window (dialog template 162).
inline constexpr int kDataViewAddress = 1041;
inline constexpr int kDataViewFileData = 1042;
inline constexpr int kDataViewChipData = 1043;
inline constexpr int kDataViewStatus = 1044;
inline constexpr int kDataViewAction = 1045;
inline constexpr int kDataViewFirstLabel = 1148;  // 1148..1151
inline constexpr const char* kDataViewTemplateTitle = "数据查看";
inline constexpr TextKey kDataViewTitle = ftext(16);

// The go-to window (dialog template 196).
inline constexpr int kGoToAction = 1064;
inline constexpr int kGoToAddress = 1065;
inline constexpr int kGoToLabel = 1161;
inline constexpr const char* kGoToTemplateTitle = "文件地址定位";
inline constexpr TextKey kGoToTitle = ftext(110);

// The file merge (dialog template 223) and file split (224) windows; OK is
// control 1 and cancel control 2 in both.
inline constexpr int kMergeAdd = 1103;
inline constexpr int kMergeList = 1104;
inline constexpr int kMergeFolderButton = 1105;
inline constexpr int kMergeDelete = 1106;
inline constexpr int kMergeFolder = 1107;
inline constexpr int kMergeFileName = 1098;
inline constexpr const char* kMergeTemplateTitle = "文件合并";
inline constexpr TextKey kMergeTitle = ftext(22);
inline constexpr int kSplitSource = 1098;
inline constexpr int kSplitOpen = 1108;
inline constexpr int kSplitPoints = 1109;
inline constexpr int kSplitPointsLabel = 1137;
inline constexpr int kSplitExample = 1138;
inline constexpr const char* kSplitTemplateTitle = "文件分割";
inline constexpr TextKey kSplitTitle = ftext(23);

// The chip fill window (dialog template 167).
inline constexpr int kChipFillCancel = 2;
inline constexpr int kChipFillStatusLabel = 1018;
inline constexpr int kChipFillAction = 1048;
inline constexpr int kChipFillAddress = 1050;
inline constexpr int kChipFillLength = 1051;
inline constexpr int kChipFillByte = 1052;
inline constexpr int kChipFillStatus = 1053;
inline constexpr int kChipFillWord = 1054;
inline constexpr int kChipFillPath = 1098;
inline constexpr int kChipFillAddressLabel = 1139;
inline constexpr int kChipFillLengthLabel = 1140;
inline constexpr int kChipFillDataLabel = 1141;
inline constexpr int kChipFillNote = 1142;
inline constexpr int kChipFillBrowse = 1183;
inline constexpr int kChipFillFileMode = 1188;
inline constexpr const char* kChipFillTemplateTitle = "芯片数据填充";
inline constexpr TextKey kChipFillTitle = ftext(102);

// Keys handled before normal dialog key handling. Escape and Enter are
// consumed separately (Enter commits the hex cell editor).
enum class Key : unsigned char { F2, F3, F4, F5, F6, F7, F8, F9, O };

struct KeyBinding {
    Key key;
    bool ctrl;
    int command;
    bool onlyWhenEnabled;  // the command's button must be enabled
};

inline constexpr auto kKeyBindings = std::to_array<KeyBinding>({
    {Key::F9, false, kBtnAuto, true},
    {Key::F4, false, kBtnErase, true},
    {Key::F6, false, kBtnProgram, true},
    {Key::F7, false, kBtnRead, true},
    {Key::F8, false, kBtnVerify, true},
    {Key::F3, false, kBtnBlankCheck, true},
    {Key::F5, false, kBtnDetect, true},
    {Key::F2, false, kBtnBatch, false},
    {Key::O, true, kBtnBrowse, true},
});

// Check-mark pictures of menu items; only edit mode has a distinct checked picture.
struct MenuBitmap {
    int item;
    int bitmap;
    int checkedBitmap;
};

inline constexpr auto kMenuBitmaps = std::to_array<MenuBitmap>({
    {kBtnAbout, 171, 171},
    {kCmdFirmwareVersion, 182, 182},
    {kBtnDetect, 176, 176},
    {kCmdDataView, 184, 184},
    {kCmdChipFill, 180, 180},
    {kCmdFileFill, 181, 181},
    {kBtnRead, 186, 186},
    {kBtnBlankCheck, 178, 178},
    {kBtnVerify, 172, 172},
    {kBtnProgram, 177, 177},
    {kBtnErase, 175, 175},
    {kBtnAuto, 173, 173},
    {kCmdExit, 179, 179},
    {kCmdSaveAs, 187, 187},
    {kCmdSaveFile, 195, 195},
    {kBtnBrowse, 185, 185},
    {kCmdEditMode, 188, 189},
    {kCmdGoTo, 198, 198},
    {kCmdFirmwareUpgrade, 201, 201},
    {kCmdFind, 213, 213},
});

inline constexpr const char* kMainWindowTitle = "Corvo_KVQ_Nyra V2.1";
// The manual in the program folder: an HTML page that the desktop opens.
inline constexpr const char* kManualFileName = "KVQ_Nyra.html";
// The caption of boxes that have none of their own.
inline constexpr const char* kApplicationCaption = "KVQ_Nyra";
inline constexpr const char* kSystemMenuAbout = "关于 Corvo_KVQ_Nyra(&A)...";

}  // namespace nyra::ids
