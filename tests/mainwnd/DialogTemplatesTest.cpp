#include <gtest/gtest.h>

#include "platform/api/win.h"
#include "platform/user/DialogTemplate.h"

namespace {

std::optional<platform::dialog::DialogTemplate> ProgramTemplate(WORD id) {
    HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
    HGLOBAL data = res ? LoadResource(nullptr, res) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) {
        return std::nullopt;
    }
    return platform::dialog::Decode(static_cast<const BYTE*>(bytes), SizeofResource(nullptr, res));
}

void ExpectSkinnedDialog(const platform::dialog::DialogTemplate& t, short cx, short cy) {
    EXPECT_EQ(t.style, 0x80080048u);
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.cx, cx);
    EXPECT_EQ(t.cy, cy);
    EXPECT_EQ(t.face, u"MS Shell Dlg");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, 400);
    EXPECT_EQ(t.charset, 1);
    EXPECT_TRUE(t.title.empty());
    EXPECT_TRUE(t.className.empty());
}

TEST(DialogTemplates, TheAboutAndSettingsTemplateIsAnEmptyPopUp) {
    auto t = ProgramTemplate(110);
    ASSERT_TRUE(t);
    ExpectSkinnedDialog(*t, 240, 113);
    EXPECT_TRUE(t->controls.empty());
    EXPECT_EQ(platform::dialog::UnitsToPixelsX(t->cx), 360);
    EXPECT_EQ(platform::dialog::UnitsToPixelsY(t->cy), 184);
}

TEST(DialogTemplates, TheUpdateTemplateHoldsTheSortedListBox) {
    auto t = ProgramTemplate(109);
    ASSERT_TRUE(t);
    ExpectSkinnedDialog(*t, 298, 127);
    ASSERT_EQ(t->controls.size(), 1u);
    const auto& list = t->controls[0];
    EXPECT_EQ(list.className, u"ListBox");
    EXPECT_EQ(list.id, 1001u);
    EXPECT_EQ(list.style, 0x50210103u);
    EXPECT_EQ(list.exStyle, 0u);
    EXPECT_EQ(list.x, 3);
    EXPECT_EQ(list.y, 37);
    EXPECT_EQ(list.cx, 200);
    EXPECT_EQ(list.cy, 47);
}

}  // namespace
