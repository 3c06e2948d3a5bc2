// SPDX-License-Identifier: GPL-3.0-or-later
// The number fields of the tool windows: parsing, the check on every change,
// the caret and the program's own writes.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"
#include "ui/tool_fields.h"

namespace nyra {
namespace {

constexpr ToolField kFields[] = {
    {10, FieldKind::Hex, 8, "0"},
    {11, FieldKind::Decimal, 10, "1"},
    {12, FieldKind::Hex, 2, ""},
};

TEST(ToolFieldParse, DigitsShiftFromTheLeft) {
    EXPECT_EQ(parseHexField(""), 0u);
    EXPECT_EQ(parseHexField("F"), 0x0Fu);
    EXPECT_EQ(parseHexField("C8"), 200u);
    EXPECT_EQ(parseHexField("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(parseHexField("1FE"), 0x1FEu);
    EXPECT_EQ(parseHexField("A"), 10u);
    EXPECT_EQ(parseHexField("Z"), 35u);  // letters count from A = 10 on
    EXPECT_EQ(parseHexField("0"), 0u);
    EXPECT_EQ(parseDecimalField("4096"), 4096u);
    EXPECT_EQ(parseDecimalField("9999999999"), 9999999999u);
    EXPECT_EQ(parseDecimalField("00012"), 12u);
}

TEST(ToolFieldCheck, DigitsOfEachKind) {
    for (char c : std::string("0123456789")) {
        EXPECT_TRUE(fieldCharacterValid(FieldKind::Hex, c)) << c;
        EXPECT_TRUE(fieldCharacterValid(FieldKind::Decimal, c)) << c;
    }
    for (char c : std::string("ABCDEF")) {
        EXPECT_TRUE(fieldCharacterValid(FieldKind::Hex, c)) << c;
        EXPECT_FALSE(fieldCharacterValid(FieldKind::Decimal, c)) << c;
    }
    for (char c : std::string("/:@G a-")) {
        EXPECT_FALSE(fieldCharacterValid(FieldKind::Hex, c)) << c;
        EXPECT_FALSE(fieldCharacterValid(FieldKind::Decimal, c)) << c;
    }
    // Upper case covers the whole alphabet, nothing beyond it.
    EXPECT_EQ(checkField(kFields[0], "az{`", 4).text, "A");
    EXPECT_EQ(checkField(kFields[0], "12345678", 8).text, "12345678");
}

TEST(ToolFieldCheck, StrayCharactersGoAndTheCaretFollows) {
    const ToolField hex = kFields[0];
    const ToolField dec = kFields[1];
    auto r = checkField(hex, "1fg", 3);
    EXPECT_EQ(r.text, "1F");
    EXPECT_TRUE(r.rejected);
    EXPECT_EQ(r.removedBeforeCaret, 1);
    // Lower case alone is no fault: it is shown in upper case.
    r = checkField(hex, "abc", 2);
    EXPECT_EQ(r.text, "ABC");
    EXPECT_FALSE(r.rejected);
    r = checkField(dec, "12A4", 3);
    EXPECT_EQ(r.text, "124");
    EXPECT_EQ(r.removedBeforeCaret, 1);
    // A pasted stray character before the caret's neighbour is caught too.
    r = checkField(hex, "G1", 2);
    EXPECT_EQ(r.text, "1");
    EXPECT_TRUE(r.rejected);
    r = checkField(hex, "1 2", 1);
    EXPECT_EQ(r.text, "12");
    EXPECT_EQ(r.removedBeforeCaret, 0);
    r = checkField(kFields[2], "ABC", 3);
    EXPECT_EQ(r.text, "AB");
    EXPECT_FALSE(r.rejected);
}

class FieldChecksTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("itext.ini", "[itext]\r\n8=Not a digit\r\n9=Notice\r\n");
        texts.loadFrom(dir.folder());
        checks.reset();
        frontend.clearRecord();
    }
    TempDir dir;
    TextTable texts;
    ScriptedFrontend frontend;
    Panel panel;
    FieldChecks checks{panel, frontend, texts, kFields};
};

TEST_F(FieldChecksTest, StartValuesAndAWrongCharacterRemovedAtTheCaret) {
    EXPECT_EQ(panel.text(10), "0");
    EXPECT_EQ(panel.text(11), "1");
    EXPECT_EQ(panel.text(12), "");
    EXPECT_TRUE(frontend.boxes().empty());

    panel.setText(10, "1X23");
    int caret = -1;
    checks.changed(10, 2, [&](int at) { caret = at; });
    EXPECT_EQ(panel.text(10), "123");
    EXPECT_EQ(caret, 1);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "Not a digit");
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);

    // Good digits, an empty field and an unknown field pass silently.
    panel.setText(11, "42");
    checks.changed(11, 2, [&](int) { FAIL() << "caret moved"; });
    panel.setText(12, "");
    checks.changed(12, 0);
    panel.setText(99, "zz");
    checks.changed(99, 2);
    EXPECT_EQ(panel.text(99), "zz");
    EXPECT_EQ(frontend.boxes().size(), 1u);

    // Upper case without a box, the caret where it was.
    panel.setText(12, "ab");
    checks.changed(12, 1, [&](int at) { caret = at; });
    EXPECT_EQ(panel.text(12), "AB");
    EXPECT_EQ(caret, 1);
    EXPECT_EQ(frontend.boxes().size(), 1u);
}

TEST_F(FieldChecksTest, TheProgramsOwnWriteDoesNotSwallowTheNextTypedCheck) {
    checks.write(10, "68");
    EXPECT_EQ(panel.text(10), "68");
    panel.setText(10, "68Z");
    checks.changed(10, 3);
    EXPECT_EQ(panel.text(10), "68");
    EXPECT_EQ(frontend.boxes().size(), 1u);
}

}  // namespace
}  // namespace nyra
