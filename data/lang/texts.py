#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Single source of the interface texts.

Writes, from the tables below:
  data/lang/zh_CN/ftext.ini, itext.ini   Simplified Chinese, GBK, CR LF
  data/lang/en/ftext.ini, itext.ini      English, ASCII, CR LF
  data/lang/keys.txt                     every key the program uses, one per line
  docs/texts.md                          the table of keys, roles and English texts

Run from anywhere:  python3 data/lang/texts.py
Then check the result with:  python3 data/lang/texts.py --check

Rules of the text files (their reader is simple, so the texts must fit it):
  - one line per text, "key=value", no blanks around "=";
  - ";" starts a comment, so no text may contain ";" (use the full-width "；" or ",");
  - a text holding both "[" and "]" is cut at "[", so never both;
  - blanks at the end of a line are trimmed; a blank right after "=" is kept;
  - no escapes: "\\r\\n" would be shown literally;
  - the program never uses a text as a printf format: it formats numbers and other texts
    around it, so no text contains "%".
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))

# (key, Chinese, English, where it is used)
FTEXT = [
    (1, "文件", "&File", "top-level menu: file"),
    (2, "打开文件(&O)", "&Open File...", "menu item: open a data file (also Ctrl+O)"),
    (3, "保存文件(&S)", "&Save File", "menu item: save the buffer into the loaded file, with change log"),
    (4, "另存储为(&A)", "Save &As...", "menu item: save the buffer under a new name"),
    (5, "编辑模式(&E)", "&Edit Mode", "menu item and check box on the main window: edit mode on/off"),
    (6, "退出程序(&X)", "E&xit", "menu item: exit"),
    (7, "编程操作", "&Programming", "top-level menu: chip jobs"),
    (8, "自动烧录(&A)", "&Auto Program", "menu item: erase, program and verify in one run"),
    (9, "擦除芯片(&E)", "&Erase Chip", "menu item: erase the chip"),
    (10, "手动烧录(&W)", "&Write Chip", "menu item: program the chip"),
    (11, "数据校验(&V)", "&Verify", "menu item: verify chip against the buffer"),
    (12, "芯片查空(&C)", "Blank &Check", "menu item: blank check"),
    (13, "读出芯片(&R)", "&Read Chip", "menu item: read the chip"),
    (14, "地址操作", "&Address", "top-level menu: buffer tools"),
    (15, "地址定位(&P)", "&Go to Address...", "menu item: go-to dialog"),
    (16, "数据查看(&D)", "&Data View...", "menu item: data view; also the data view dialog title"),
    (17, "数据查找(&L)", "&Find Data...", "menu item: find dialog"),
    (18, "文件填充(&F)", "F&ile Fill...", "menu item: fill the buffer"),
    (19, "芯片填充(&C)", "&Chip Fill...", "menu item: fill a range of the chip"),
    (20, "时光平移...", "Offset Programming...", "menu item: load a file from a byte offset"),
    (21, "工具", "&Tools", "top-level menu: tools"),
    (22, "文件合并", "Merge Files", "menu item and merge dialog title"),
    (23, "文件分割", "Split File", "menu item and split dialog title"),
    (24, "OTP 烧写", "OTP Programming", "menu item and OTP window title"),
    (25, "固件操作", "F&irmware", "top-level menu: programmer firmware"),
    (26, "芯片检测(&T)", "De&tect Chip", "menu item: full chip identification"),
    (27, "固件版本(&F)", "&Firmware Version", "menu item: firmware version and serial number"),
    (28, "固件升级(&D)", "Firmware &Upgrade...", "menu item: firmware upgrade dialog"),
    (29, "设置", "&Settings", "top-level menu: settings"),
    (30, "提示音", "Sounds", "menu item: sound switch (check mark)"),
    (31, "自动识别", "Auto Identify", "menu item: auto-identify switch (check mark)"),
    (32, "批量过程", "Batch Steps", "sub-menu of the settings menu: steps of a batch cycle"),
    (33, "擦除", "Erase", "batch step item: erase"),
    (34, "烧录", "Program", "batch step item: program; OTP window program button"),
    (35, "校验", "Verify", "batch step item: verify; OTP window verify button"),
    (36, "帮助", "&Help", "top-level menu: help"),
    (37, "使用说明(&N)", "User &Manual", "menu item: open the help file"),
    (38, "检查更新(&U)", "Check for &Updates", "menu item: update check"),
    (39, "查看修改日志", "View Change Log", "menu item: open log.txt"),
    (40, "快速反馈(&F)", "Quick &Feedback...", "menu item: feedback form"),
    (41, "关于我们(&A)", "&About...", "menu item: About box"),
    (42, "器件信息", "Device", "main window group box: chip selection"),
    (43, "类型:", "Type:", "label of the type list; prefix of the type line in the identification box and of the device line in the OTP log"),
    (44, "厂商:", "Manufacturer:", "label of the manufacturer list; prefix in the identification box"),
    (45, "器件:", "Device:", "label of the device list; prefix in the identification box"),
    (46, "容量:", "Capacity:", "label of the capacity text"),
    (47, "操作栏", "Operations", "main window group box: job buttons"),
    (48, "数据区", "Data", "main window group box: hex view"),
    (49, "注意", "Notes", "main window group box: notes"),
    (50, "文件名:", "File:", "label of the file-name box"),
    (51, "文件校验和:", "File checksum:", "label of the file checksum"),
    (52, "芯片校验和:", "Chip checksum:", "label of the chip checksum"),
    (53, "自动烧录(F9)", "Auto Program(F9)", "button: automatic sequence"),
    (54, "擦除芯片(F4)", "Erase(F4)", "button: erase (idle caption)"),
    (55, "手动烧录(F6)", "Program(F6)", "button: program (idle caption)"),
    (56, "数据校验(F8)", "Verify(F8)", "button: verify (idle caption)"),
    (57, "读出芯片(F7)", "Read(F7)", "button: read (idle caption)"),
    (58, "芯片查空(F3)", "Blank Check(F3)", "button: blank check (idle caption)"),
    (59, "芯片检测(F5)", "Detect(F5)", "button: full identification"),
    (60, "批量模式(F2)", "Batch Mode(F2)", "button: show the batch window"),
    (61, "KVQ_Nyra 串行存储芯片 USB 编程器", "KVQ_Nyra - USB programmer for serial memory chips",
     "About dialog: its one line of text"),
    (62, "zh_CN", "en",
     "language of this text set as a locale name (letters and _ only), so that standard buttons and dialogs match; not shown"),
    (64, "KVQ_Nyra 固件升级", "KVQ_Nyra Firmware Upgrade", "firmware upgrade dialog title"),
    (65, "固件文件:", "Firmware file:", "upgrade dialog: file label"),
    (66, "分割节点:", "Split points:", "split dialog: label of the split points"),
    (67, "分割节点填写示例：1024,2048 表示将文件从地址1024和2048处切割开，分为(0-1023、1024-2047,2048-结尾)三个文件。",
     "Example: 1024,2048 cuts the file at offsets 1024 and 2048 into three files (0-1023, 1024-2047, 2048-end).",
     "split dialog: help text under the split points"),
    (68, "锁定OTP (*注:一旦锁定将不能再次写入)", "Lock OTP (*note: once locked it can never be written again)",
     "OTP window: lock-after-programming check box"),
    (69, "时光平移(指定文件地址烧录)", "Offset Programming (program from a file offset)", "offset dialog title"),
    (70, "烧录起始地址:", "Start offset:", "offset dialog: offset label"),
    (71, "(此地址将会作为0起始烧录地址烧入芯片)", "(this file offset is programmed to chip address 0)", "offset dialog: note"),
    (72, "文件:", "File:", "offset dialog: file label"),
    (73, "浏览...", "Browse...", "main window: open-file button"),
    (74, "升级", "Upgrade", "upgrade dialog: start button"),
    (75, "发送", "Send", "feedback form: send button"),
    (76, "取消", "Cancel", "cancel / exit button of the tool dialogs, merge, split, offset and feedback"),
    (77, "确定", "OK", "action button of the tool dialogs, merge, split and offset; find button before the first search"),
    (78, "快速反馈", "Quick Feedback", "feedback form title"),
    (79, "主题:", "Subject:", "feedback form: subject label"),
    (80, "内容:", "Message:", "feedback form: content label"),
    (81, "联系方式:", "Contact:", "feedback form: contact label"),
    (82, "(*为必填项)", "(* required)", "feedback form: required-field mark"),
    (86, "检测", "Detect", "OTP window: detect button"),
    (87, "查空", "Blank Check", "OTP window: blank check button"),
    (88, "读出", "Read", "OTP window: read button"),
    (89, "保存", "Save", "OTP window: save button"),
    (90, "数据查找", "Find", "find dialog title; its search label (the program adds \":\")"),
    (93, "查看地址(HEX):", "Address (hex):", "data view: address label"),
    (94, "文件数据:", "File data:", "data view: buffer byte label"),
    (95, "芯片数据:", "Chip data:", "data view: chip byte label"),
    (96, "状态:", "Status:", "status label of data view, file fill and chip fill"),
    (97, "地址(HEX):", "Address (hex):", "address label of file fill, chip fill and go-to"),
    (98, "打开", "Open", "open button of the upgrade, split, chip fill and OTP dialogs"),
    (99, "存储路径", "Output Folder", "merge dialog: choose the output folder"),
    (100, "添加", "Add", "merge dialog: add files"),
    (101, "删除", "Delete", "merge dialog: delete selected entries"),
    (102, "芯片数据填充", "Chip Data Fill", "chip fill dialog title"),
    (103, "长度(DEC):", "Length (dec):", "length label of file fill and chip fill"),
    (104, "数据(HEX):", "Data (hex):", "data label of file fill and chip fill"),
    (105, "注：支持EEPROM和部分FLASH芯片", "Note: EEPROMs and some flash chips are supported", "chip fill dialog: note"),
    (106, "文件数据填充", "File Data Fill", "file fill dialog title"),
    (107, "从文件结尾处开始填充", "Fill from the end of the file", "file fill dialog: check box"),
    (108, "十六进制", "Hex", "find dialog: hexadecimal mode"),
    (109, "字符", "Text", "find dialog: character mode"),
    (110, "文件地址定位", "Go to File Address", "go-to dialog title"),
    (111, "批量模式", "Batch Mode", "batch window title and mode label (the program adds \":\")"),
    (112, "添加文档", "Add Files", "batch window: add documents"),
    (113, "上移", "Up", "batch window: move up"),
    (114, "下移", "Down", "batch window: move down"),
    (115, "删除", "Delete", "batch window: delete selected"),
    (116, "全选", "Select All", "batch window: select all"),
    (117, "全不选", "Select None", "batch window: select none"),
    (118, "填充地址", "Fill address", "batch window label (the program adds \":\")"),
    (119, "起始ID", "Start ID", "batch window label (the program adds \":\")"),
    (120, "ID长度", "ID length", "batch window label (the program adds \":\")"),
    (121, "单次增量", "Increment", "batch window label (the program adds \":\")"),
    (122, "存储格式", "Byte order", "batch window label (the program adds \":\")"),
    (123, "累计/ID", "Count/ID", "batch window label (the program adds \":\")"),
    (124, "自动启动", "Auto start", "batch window: auto-start check box"),
    (125, "主文档", "Main File", "batch window: choose the main document"),
    (126, "开始", "Start", "batch window: start"),
    (127, "停止", "Stop", "batch window: stop"),
    (128, "退出", "Exit", "batch window: exit"),
    (129, "单文档循环烧录", "One file, every chip", "batch mode list item 0"),
    (130, "多文档逐个烧录", "File list, one file per chip", "batch mode list item 1"),
    (131, "单文档规则ID填充批量烧录", "One file with serial ID", "batch mode list item 2"),
    (132, "单文档动态填充子文档批量烧录", "Main file plus next list file", "batch mode list item 3"),
    (133, "小端模式", "Little-endian", "batch byte-order list item 0"),
    (134, "大端模式", "Big-endian", "batch byte-order list item 1"),
    (135, "填充文件模式", "Fill from file", "chip fill dialog: fill-file mode check box"),
    (136, "配置", "Config", "main window: quad-enable configuration button"),
]

ITEXT = [
    (0, "未加载文件", "No file loaded", "file-name box when no file is loaded"),
    (1, "芯片数据库文件database.dat无法打开，请检查程序目录！", "Cannot open the chip database database.dat. Check the program folder!",
     "start-up warning box: catalogue file missing"),
    (2, "警告", "Warning", "caption of warning boxes (catalogue, working-file choice, empty hex cell)"),
    (3, "编辑中：请输入十六进制数据(0-9,A-F)", "Editing: type hex digits (0-9, A-F)", "status: hex cell editor opened"),
    (4, "请先打开数据文件，再进入编辑模式！", "Open a data file before switching on edit mode!", "status alert: edit mode refused, no data"),
    (5, "编辑模式已打开", "Edit mode on", "status: edit mode switched on"),
    (6, "编辑模式已关闭", "Edit mode off", "status: edit mode switched off"),
    (7, "数据不能为空！", "The value must not be empty!", "status alert and warning box: hex cell emptied"),
    (8, "输入字符无效！地址和数据为十六进制(0-9,A-F)，长度为十进制(0-9)",
     "Invalid character! Addresses and data are hex (0-9, A-F), lengths are decimal (0-9).",
     "warning box: invalid character typed in a hex or decimal field"),
    (9, "提示", "Notice", "caption of most message boxes"),
    (10, "数据未改变", "Value unchanged", "status: hex cell committed without change"),
    (11, "数据已修改", "Value written", "status: hex cell written"),
    (12, "请先在“设置”菜单中打开“自动识别”，再使用批量模式！", "Switch on Settings > Auto Identify before using batch mode!",
     "information box: batch window refused while auto-identify is off"),
    (24, "不能选择程序的工作文件(u_mod0.dll, u_mod1.dll)！", "The program's working files (u_mod0.dll, u_mod1.dll) cannot be used here!",
     "warning box: a working file chosen as data file or save target"),
    (25, "文件打开失败！", "Cannot open the file!", "file could not be opened or loaded (load, merge, split, offset, OTP)"),
    (26, "读取完成！", "Read complete!", "status after the chip image is loaded; OTP log after a read"),
    (27, "芯片数据(未保存)", "Chip data (not saved)", "file-name box after a chip read"),
    (29, "错误", "Error", "caption of error boxes; word after the address in the verify mismatch question"),
    (30, "正在擦除芯片，确定要停止擦除并退出吗？", "The chip is being erased. Stop erasing and quit?", "close question while erase runs"),
    (31, "正在烧录芯片，确定要停止烧录并退出吗？", "The chip is being programmed. Stop programming and quit?", "close question while program runs"),
    (32, "正在校验数据，确定要停止校验并退出吗？", "Verify is running. Stop verifying and quit?", "close question while verify runs"),
    (33, "正在读取芯片，确定要停止读取并退出吗？", "The chip is being read. Stop reading and quit?", "close question while read runs"),
    (34, "未找到编程器，请检查USB连接！", "Programmer not found. Check the USB connection!",
     "programmer missing (status alert, warning box; appended to the data view status)"),
    (35, "编程器无法打开，请重新插拔编程器！", "Cannot open the programmer. Plug it in again!", "programmer present but cannot be opened or refused a command"),
    (36, "停止擦除(F4)", "Stop Erase(F4)", "erase button while erase runs"),
    (38, "停止烧录(F6)", "Stop Program(F6)", "program button while program runs"),
    (40, "停止校验(F8)", "Stop Verify(F8)", "verify button while verify runs"),
    (42, "停止读出(F7)", "Stop Read(F7)", "read button while read runs"),
    (44, "停止查空(F3)", "Stop Check(F3)", "blank check button while blank check runs"),
    (47, "正在烧录...", "Programming...", "status: program starts"),
    (48, "烧录中:", "Writing:", "progress label of program and of upgrade phase 2 (percent follows)"),
    (49, "USB通讯错误！", "USB transfer error!", "status alert: a transfer failed"),
    (50, "烧录已停止，已发送", "Programming stopped, sent", "status alert: program stopped (byte count and time follow)"),
    (51, "烧录完成，共写入", "Programming done, written", "status: program done (byte count and time follow)"),
    (54, "提示：大容量芯片，读写需要较长时间，请耐心等待！", "Note: large chip, reading and writing take a while.",
     "log line after identifying a chip of 8 MiB or more"),
    (55, "地址超出文件数据范围！", "Address is beyond the end of the data!", "go-to / find: address beyond the data"),
    (56, "编程器未就绪或处于升级模式，请重新插拔编程器！", "Programmer not ready or in upgrade mode. Plug it in again!",
     "programmer blocked (job refused); data view chip read failed"),
    (57, "请先打开数据文件！", "No data file loaded!", "a job or tool needs a loaded data file"),
    (58, "文件大于芯片容量，超出部分将不会烧录，是否继续？", "The file is larger than the chip. The rest will not be programmed. Continue?",
     "Yes/No question before programming a file longer than the chip"),
    (59, "正在擦除...", "Erasing...", "status: erase starts; upgrade progress label before phase 1"),
    (60, "擦除结束！", "Erase ended!", "status: erase stopped, or erase done (time follows)"),
    (61, "正在查空...", "Blank checking...", "status: blank check starts"),
    (62, "查空通过，芯片为空，用时:", "Blank check passed, time:", "status: chip blank (time follows)"),
    (63, "芯片为空！", "The chip is blank!", "information box: chip blank"),
    (64, "查空未通过！", "Blank check failed!", "status alert: not blank (time follows) or no answer; information box"),
    (65, "芯片不为空！", "Chip-is-not-blank!", "error box line 1: not blank (must hold no blank: blanks become 0)"),
    (66, "地址:", "Address:", "error box: address of the first non-blank byte (no blanks allowed)"),
    (67, "数据:", "Value:", "error box: value found there (no blanks allowed)"),
    (68, "查空已停止", "Blank check stopped", "status: blank check stopped"),
    (69, "检测到24系列EEPROM，请选择具体的厂商和型号！", "24-series I2C EEPROM detected. Select its manufacturer and device!",
     "identification: state code 000001 switched the type list"),
    (70, "检测到93系列EEPROM，请选择具体的厂商和型号！", "93-series Microwire EEPROM detected. Select its manufacturer and device!",
     "identification: state code 000002 switched the type list"),
    (71, "检测到3.3V I2C EEPROM，请选择具体的厂商和型号！", "3.3 V I2C EEPROM detected. Select its manufacturer and device!",
     "identification: state code 000003 switched the type list"),
    (72, "无法识别芯片，请检查芯片是否放好！", "No answer from the chip. Check that it sits correctly!",
     "identification: no usable answer or a failed read"),
    (73, "芯片识别成功", "Chip identified", "status: one catalogue record matched"),
    (74, "有多个型号与芯片ID相同，请确认所选型号！", "Several devices share this ID. Check the selected device!",
     "status alert: more than one record matched"),
    (75, "芯片ID不在数据库中，请手动选择型号！", "Chip ID not in the database. Select the device by hand!",
     "identification: no record matched"),
    (76, "读取中:", "Reading:", "progress label of read (percent follows)"),
    (78, "读取结束！", "Read ended!", "status: read done (time follows) or stopped"),
    (79, "正在校验...", "Verifying...", "status: verify starts"),
    (80, "校验中:", "Verifying:", "progress label of verify and of upgrade phase 3 (percent follows)"),
    (83, "是否逐个提示？ 是:继续提示 否:不再提示 取消:停止校验", "Yes: show the next mismatch. No: count without asking. Cancel: stop verifying.",
     "verify mismatch question: meaning of the three answers"),
    (84, "校验失败！共有", "Verify failed! Mismatches:", "verify summary start (count follows)"),
    (85, "(文件大于芯片容量，只校验了芯片容量部分)", "(file larger than chip, only the chip size was verified)",
     "verify summary: file longer than the chip"),
    (86, "个字节不一致，", " byte(s),", "verify summary after the count"),
    (87, "校验通过！", "Verify OK!", "verify passed (time or the note above follows); OTP log after verify"),
    (88, "内存不足！", "Out of memory!", "warning box: find could not allocate its buffer"),
    (89, "未找到匹配的数据！", "Data not found!", "information box: find found nothing"),
    (90, "查找完毕，已到数据末尾！", "Search finished: end of data reached.", "information box: find ended after a match"),
    (91, "已完成", "Done", "start of the automatic / batch summary"),
    (92, " 擦除", " erase", "summary: erase step ran"),
    (93, " 烧录", " program", "summary: program step ran"),
    (94, " 校验", " verify", "summary: verify step ran"),
    (95, " 全部成功", " all OK", "summary end"),
    (96, "该芯片不支持芯片填充", "Chip fill is not supported for this chip", "chip fill status: chip without erase units"),
    (97, "芯片填充失败！", "Chip fill failed!", "chip fill: refused or failed"),
    (98, "填充范围超出芯片容量！", "Fill range exceeds the chip size!", "chip fill status: range beyond the chip"),
    (99, "正在填充", "Filling", "chip fill progress text (dots are appended; keep it short)"),
    (100, "芯片填充完成！", "Chip fill done!", "chip fill done"),
    (101, "固件文件校验错误或无法打开！", "Firmware file is damaged or cannot be opened!", "upgrade: file checksum mismatch"),
    (102, "编程器未能进入升级模式，请重新插拔后再试！", "The programmer did not return in upgrade mode. Plug it in again and retry!",
     "upgrade: programmer not back after entering upgrade mode"),
    (103, "已进入升级模式", "Upgrade mode entered", "upgrade progress label after the handshake"),
    (104, "与编程器引导程序握手失败！", "No handshake with the boot loader!", "upgrade: handshake failed"),
    (105, "升级启动失败：应答错误！", "Upgrade start failed: wrong reply!", "upgrade: wrong reply to the start"),
    (106, "升级启动失败：无应答！", "Upgrade start failed: no reply!", "upgrade: no reply to the start"),
    (107, "固件擦除失败！", "Firmware erase failed!", "upgrade phase 1 failed"),
    (108, "固件写入失败！", "Firmware write failed!", "upgrade phase 2 write error"),
    (109, "固件校验错误！", "Firmware read-back mismatch!", "upgrade phase 3 difference"),
    (110, "固件回读失败！", "Firmware read-back failed!", "upgrade phase 3 short read"),
    (111, "升级结束确认错误！", "Upgrade not confirmed!", "upgrade finish: wrong reply"),
    (112, "升级结束无应答！", "No reply at the end of the upgrade!", "upgrade finish: no reply"),
    (113, "固件升级成功！", "Firmware upgrade done!", "upgrade done (progress label)"),
    (116, "保存成功！", "Saved!", "status: save done"),
    (117, "正在载入已保存的文件...", "Loading the saved file...", "file-name box while saved chip data is reloaded"),
    (118, "文件不存在或没有可以打开它的程序！", "File not found, or no program can open it!",
     "warning box: help file or log file not found or not opened"),
    (119, "正在执行操作，暂时不能打开文件！", "A job is running. Files cannot be opened now!", "information box: file drop refused"),
    (120, "程序", "Program", "version dialog row: the program"),
    (121, "固件", "Firmware", "version dialog row: the firmware"),
    (122, "当前版本", "Current", "version dialog column: current version"),
    (123, "最新版本", "Latest", "version dialog column: latest version"),
    (124, "读取固件信息失败！", "Cannot read the firmware information!", "message box: firmware version or serial number missing"),
    (125, "有新版本，请到官网下载", "New version available", "version dialog: newer program exists"),
    (126, "已是最新版本", "Up to date", "version dialog: program is current"),
    (127, "有新固件，可进行升级", "New firmware available", "version dialog: newer firmware exists"),
    (128, "已是最新固件", "Up to date", "version dialog: firmware is current"),
    (129, "检查更新失败！", "Update check failed!", "warning box: version document not fetched"),
    (130, "OTP检测:", "OTP detect:", "OTP log: first line of a detect"),
    (131, "(有多个型号ID相同)", " (several devices share this ID)", "OTP log: appended to the device line"),
    (132, "该芯片支持OTP", "This chip has an OTP area", "OTP log: chip found in the OTP table"),
    (133, "OTP容量:", "OTP size:", "OTP log: size line (size and \"bytes\" follow)"),
    (134, "OTP已锁定", "OTP locked", "OTP log: lock byte set (status value follows)"),
    (135, "OTP未锁定，可以烧录", "OTP not locked, writable", "OTP log: not locked (status value follows)"),
    (136, "读取OTP状态失败！", "Cannot read the OTP status!", "OTP log: status command failed"),
    (137, "进入OTP模式失败！", "Cannot enter OTP mode!", "OTP log: begin command failed"),
    (138, "OTP锁定状态不可读，可以烧录", "OTP lock state not readable, writable", "OTP log: group without lock state"),
    (139, "OTP参数设置失败！", "Cannot send the OTP parameters!", "OTP log: parameter command failed"),
    (140, "该芯片不支持OTP或不在OTP列表中！", "This chip has no known OTP area!", "OTP log and warning box: chip not in the OTP table"),
    (141, "OTP区不为空，是否继续烧录？", "The OTP area is not blank. Program it anyway?", "OTP: Yes/No question before programming"),
    (142, "OTP烧录失败！", "OTP programming failed!", "OTP log: write failed"),
    (143, "OTP已锁定！", "OTP locked!", "OTP log: lock done"),
    (144, "OTP锁定失败！", "OTP lock failed!", "OTP log: lock failed"),
    (145, " OTP烧录完成！", " OTP programming done!", "OTP log: programming done (appended on the same line)"),
    (146, "读取失败！", "Read failed!", "chip image could not be loaded; OTP read failed"),
    (147, "校验失败:", "Verify failed:", "OTP log: verify failed (address and bytes follow)"),
    (148, "文件", "file", "OTP verify mismatch: marks the file byte (no blanks allowed)"),
    (149, "芯片", "chip", "OTP verify mismatch: marks the chip byte (no blanks allowed)"),
    (150, "查空失败:", "Blank check failed:", "OTP log: blank check failed (address and value follow)"),
    (151, "OTP区为空！", "OTP area is blank!", "OTP log: blank"),
    (152, "文件已就绪，请点击升级", "File ready, press Upgrade", "upgrade progress label after choosing a file"),
    (153, "请选择存储路径！", "Choose an output folder!", "merge: no output folder"),
    (154, "请输入文件名！", "Enter a file name!", "merge: no output name"),
    (155, "文件合并完成！", "Files merged!", "merge done"),
    (156, "无法创建输出文件！", "Cannot create the output file!", "merge: output not created"),
    (157, "分割节点格式错误，只能输入数字和逗号！", "Invalid split points: use digits and commas only!", "split: invalid split points"),
    (158, "无法创建分割文件！", "Cannot create a piece file!", "split: piece not created"),
    (159, "文件分割完成！", "File split done!", "split done"),
    (160, "请输入分割节点！", "Enter the split points!", "split: no split points"),
    (162, "请输入地址！", "Enter an address!", "file fill / chip fill: empty address"),
    (163, "请输入长度！", "Enter a length!", "file fill / chip fill: empty length"),
    (164, "请输入数据！", "Enter the data!", "file fill / chip fill: empty data"),
    (165, "请先打开编辑模式！", "Switch on edit mode first!", "file fill refused outside edit mode"),
    (166, "正在填充...", "Filling...", "file fill status: running"),
    (167, "文件填充完成！", "File fill done!", "file fill done"),
    (168, "请输入查找内容！", "Enter the text to find!", "find: empty search text"),
    (169, "十六进制格式错误，只能输入0-9和A-F，不能有空格！", "Invalid hex: use 0-9 and A-F without blanks!", "find: invalid hex text"),
    (170, "查找下一个", "Find Next", "find button after the first search"),
    (171, "请输入地址！", "Enter an address!", "data view: empty address"),
    (172, "文件数据读取成功！", "File data read.", "data view status: buffer byte shown"),
    (173, "超出范围", "out of range", "data view field: address beyond data or chip"),
    (174, "无数据", "none", "data view field: nothing to show"),
    (175, "芯片数据读取成功！", " Chip data read.", "data view status: chip byte shown (appended)"),
    (176, "地址超出文件范围！", "Address beyond the file data!", "data view status: address beyond the buffer"),
    (177, "地址超出芯片容量！", " Address beyond the chip size!", "data view status: address beyond the chip (appended)"),
    (178, "数据查看完成", "Data view updated", "status after a data view"),
    (179, "请先选择要烧录的OTP文件！", "Choose the OTP file to program first!", "OTP: program without a file"),
    (180, "请先选择要校验的OTP文件！", "Choose the OTP file to verify against first!", "OTP: verify without a file"),
    (181, "正在生成临时文件...", "Creating the temporary file...", "offset dialog status: copying"),
    (182, "起始地址超出文件长度！", "The offset is beyond the end of the file!", "offset dialog: offset too large"),
    (183, "无法创建临时文件！", "Cannot create the temporary file!", "offset dialog: temporary file not created"),
    (184, "请填写反馈内容！", "Please enter your message!", "feedback: empty content"),
    (185, "无", "none", "feedback: stands in for an empty subject or contact"),
    (186, "网络初始化失败！", "Network start-up failed!", "feedback: mail client could not start"),
    (187, "请输入地址！", "Enter an address!", "go-to: empty address"),
    (188, "检测到25系列EEPROM，请选择具体的厂商和型号！", "25-series SPI EEPROM detected. Select its manufacturer and device!",
     "identification: state code 000005 switched the type list"),
    (189, "文件加载成功", "File loaded", "status: data file loaded"),
    (190, "文件大于芯片容量，超出部分未烧录！", "File larger than chip, the rest was not written!",
     "program: file longer than the chip (status with size and time; warning box)"),
    (191, "芯片识别成功！", "Chip identified!", "identification box: first line"),
    (192, "文件:", "File:", "verify mismatch question: file byte"),
    (193, "芯片:", "Chip:", "verify mismatch question: chip byte"),
    (194, "擦除中:", "Erasing:", "upgrade phase 1 progress label (percent follows)"),
    (195, "固件版本", "Firmware version", "firmware box: version line label"),
    (196, "设备序列号", "Serial number", "firmware box: serial number label"),
    (197, "固件信息", "Programmer Information", "firmware box caption"),
    (198, "文件已保存", "file saved", "OTP log: OTP data saved (appended)"),
    (199, "请选择文件！", "Choose a file!", "upgrade progress label at opening; chip fill without a fill file"),
    (200, "反馈发送成功，谢谢！", "Feedback sent. Thank you!", "feedback: mail sent"),
    (201, "说明", "Note", "version dialog column: note"),
    (202, "正在配置QE...", "Setting QE...", "status: quad-enable configuration starts"),
    (203, "QE配置成功！", "QE set!", "status: quad-enable configuration done"),
    (204, "QE配置失败！", "QE setting failed!", "status alert: quad-enable configuration failed"),
]

SETS = (("ftext", FTEXT, 137), ("itext", ITEXT, 207))

# Texts that end up in a string whose blanks the program turns into the digit 0.
NO_BLANKS = {("itext", 65), ("itext", 66), ("itext", 67), ("itext", 148), ("itext", 149)}


def problems():
    out = []
    for name, table, limit in SETS:
        seen = set()
        for key, zh, en, _ in table:
            if key in seen:
                out.append(f"{name} {key}: defined twice")
            seen.add(key)
            if not 0 <= key < limit:
                out.append(f"{name} {key}: key out of range")
            for lang, t in (("zh_CN", zh), ("en", en)):
                if not t:
                    out.append(f"{name} {key} {lang}: empty")
                if ";" in t:
                    out.append(f"{name} {key} {lang}: contains ';'")
                if "[" in t and "]" in t:
                    out.append(f"{name} {key} {lang}: contains '[' and ']'")
                if "%" in t or "\\" in t or "\t" in t or "\r" in t or "\n" in t:
                    out.append(f"{name} {key} {lang}: contains %, backslash or a control character")
                if (name, key) in NO_BLANKS and (" " in t or "\u3000" in t):
                    out.append(f"{name} {key} {lang}: must not contain a blank")
                if t != t.rstrip():
                    out.append(f"{name} {key} {lang}: trailing blank (would be trimmed)")
            try:
                # A byte-wise reader must not mistake the second byte of a GBK character
                # for "[", "]" or a backslash.
                for ch in zh:
                    b = ch.encode("gbk")
                    if len(b) == 2 and b[1] in b"[]\\":
                        out.append(f"{name} {key}: GBK form of {ch!r} holds a bracket or backslash byte")
            except UnicodeEncodeError:
                out.append(f"{name} {key}: not representable in GBK")
            if not en.isascii():
                out.append(f"{name} {key}: English text is not ASCII")
    return out


def ini_bytes(name, table, lang, encoding):
    header = {
        "zh_CN": f"; KVQ_Nyra interface texts, Simplified Chinese (GBK), generated by texts.py",
        "en": f"; KVQ_Nyra interface texts, English, generated by texts.py",
    }[lang]
    lines = [header, f"[{name}]"]
    for key, zh, en, _ in sorted(table):
        lines.append(f"{key}={zh if lang == 'zh_CN' else en}")
    return ("\r\n".join(lines) + "\r\n").encode(encoding)


def md_escape(t):
    return t.replace("|", "\\|").replace("<", "&lt;").replace(">", "&gt;")


def texts_md():
    out = [
        "# Interface texts",
        "",
        "Almost every caption, status text and message of KVQ_Nyra comes from two text files",
        "read from the program folder at start-up: `ftext.ini` (section `[ftext]`, keys 0..136)",
        "and `itext.ini` (section `[itext]`, keys 0..206). The shipped sets are",
        "`data/lang/zh_CN/` (Simplified Chinese, GBK, the default copied next to the program) and",
        "`data/lang/en/` (English, ASCII, copied to `lang/en/`). All four files, `data/lang/keys.txt`",
        "and this page are generated by `data/lang/texts.py`; edit the tables there and run it.",
        "",
        "## File format in short",
        "",
        "- CR LF line ends; `key=value`, no blanks around `=`; a blank right after `=` is kept.",
        "- `;` starts a comment, so no text contains `;` (Chinese texts use `；` or `，`).",
        "- A text holding both `[` and `]` is cut at `[`; blanks at the end of a line are trimmed.",
        "- No escapes: a text is one line.",
        "- A key the file does not define shows as an empty text.",
        "",
        "## Placeholders",
        "",
        "No text takes a printf placeholder: the program never uses a text as a format. It formats",
        "numbers and other texts around a text (for example `text` + `minutes:seconds`), so the",
        "column *Program adds* says what follows or surrounds the text where that matters.",
        "Texts whose leading blank is deliberate are marked; texts marked *no blanks* are put into",
        "a string in which the program turns every blank into the digit 0.",
        "",
    ]
    adds = {
        ("itext", 48): "percent, e.g. 45%",
        ("itext", 50): "\" <bytes> byte(s),<min>:<sec>\"",
        ("itext", 51): "\" <bytes> byte(s),<min>:<sec>\"",
        ("itext", 60): "\"<min>:<sec>\" when done",
        ("itext", 62): "\"<min>:<sec>\"",
        ("itext", 64): "\"<min>:<sec>\" in the status line when not blank",
        ("itext", 65): "no blanks; then a line break",
        ("itext", 66): "no blanks; eight hex digits",
        ("itext", 67): "no blanks; two hex digits",
        ("itext", 76): "percent",
        ("itext", 78): "\"<min>:<sec>\" when done",
        ("itext", 80): "percent",
        ("itext", 84): "mismatch count",
        ("itext", 85): "\"<min>:<sec>\" in the failed summary",
        ("itext", 86): "itext 85 (file longer than chip) and/or \"<min>:<sec>\"",
        ("itext", 87): "\"<min>:<sec>\" or itext 85",
        ("itext", 91): "\",\" in the automatic sequence; step texts",
        ("itext", 92): "\",\" in the automatic sequence",
        ("itext", 93): "\",\" in the automatic sequence",
        ("itext", 94): "\",\" in the automatic sequence",
        ("itext", 95): "\",<min>:<sec>\"",
        ("itext", 99): "dots; keep under 17 characters",
        ("itext", 133): "\"<size>bytes\"",
        ("itext", 134): "\"(<status hex>)\"",
        ("itext", 135): "\"(<status hex>)\"",
        ("itext", 147): "\"(USB error)\" or \"<addr>H:<byte>H\" with itext 148/149",
        ("itext", 148): "no blanks",
        ("itext", 149): "no blanks",
        ("itext", 150): "\"(USB error)\" or \"<addr>H:<byte>H\"",
        ("itext", 190): "\"<chip size> byte(s),<min>:<sec>\" in the status line",
        ("itext", 192): "\"<hex>H\"",
        ("itext", 193): "\"<hex>H\"",
        ("itext", 194): "percent",
        ("itext", 195): "\":KVQ_Nyra firmware V<x>.<y>\"",
        ("itext", 196): "\":<serial number>\"",
        ("ftext", 43): "record type, or \":\" and the device name in the OTP log",
        ("ftext", 44): "record manufacturer",
        ("ftext", 45): "record device",
        ("ftext", 90): "\":\" on the label",
        ("ftext", 111): "\":\" on the label",
    }
    adds[("itext", 118)] = "a line break and the file's path"
    for k in (118, 119, 120, 121, 122, 123):
        adds[("ftext", k)] = "\":\""
    for name, table, _ in SETS:
        out += [f"## {name}.ini", "", "| Key | Where / role | English text | Program adds |", "|---|---|---|---|"]
        for key, zh, en, role in sorted(table):
            shown = en.replace(" ", "\u00b7", 1) if en.startswith(" ") else en
            add = adds.get((name, key), "")
            if en.startswith(" "):
                add = (add + "; " if add else "") + "leading blank (shown as ·)"
            out.append(f"| {name} {key} | {md_escape(role)} | {md_escape(shown)} | {md_escape(add) or 'none'} |")
        out.append("")
    return "\n".join(out)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    bad = problems()
    if bad:
        print("\n".join(bad))
        return 1
    generated = {}
    for name, table, _ in SETS:
        generated[os.path.join(HERE, "zh_CN", f"{name}.ini")] = ini_bytes(name, table, "zh_CN", "gbk")
        generated[os.path.join(HERE, "en", f"{name}.ini")] = ini_bytes(name, table, "en", "ascii")
    keys = [f"{name} {key}" for name, table, _ in SETS for key, *_ in sorted(table)]
    generated[os.path.join(HERE, "keys.txt")] = ("\n".join(keys) + "\n").encode("ascii")
    generated[os.path.join(ROOT, "docs", "texts.md")] = texts_md().encode("utf-8")
    if "--check" in sys.argv:
        stale = [p for p, d in generated.items() if not os.path.exists(p) or open(p, "rb").read() != d]
        for p in stale:
            print("out of date:", os.path.relpath(p, ROOT))
        return 1 if stale else 0
    for p, d in generated.items():
        write(p, d)
    return 0


if __name__ == "__main__":
    sys.exit(main())
