// Language lookup and the string table in the four resource languages.
#include "dialogs/dialogs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class Strings : public ::testing::Test {
protected:
    void SetUp() override { hInst = GetModuleHandleA(nullptr); }
    static std::string str(WORD lcode, WORD id)
    {
        char buf[NAME_CCH];
        return get_string(lcode, id, buf, sizeof(buf));
    }
};

constexpr WORD EN = 0, FR = 1, DE = 2, CS = 6;

}  // namespace

TEST_F(Strings, LanguageIndexFindsTheNeutralResources)
{
    EXPECT_NE(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), EN), nullptr);
    EXPECT_NE(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), FR), nullptr);
    EXPECT_NE(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), DE), nullptr);
    EXPECT_NE(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), CS), nullptr);
    EXPECT_EQ(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), 7), nullptr);
    // 1036 must find the template stored under 12, not fall to another language.
    EXPECT_EQ(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), FR),
              FindResourceExA(hInst, RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), 12));
    EXPECT_EQ(find_localized(RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), DE),
              FindResourceExA(hInst, RT_DIALOG, MAKEINTRESOURCEA(DLG_WELCOME), 7));
}

TEST_F(Strings, LaterBlocksInEveryLanguage)
{
    struct Row {
        WORD id;
        const char* en;
        const char* de;
        const char* fr;
    } rows[] = {
        {16, "special", "spezial", "special"},
        {17, "clipart", "clipart", "clipart"},
        {30, "Read Me", "Liesmich", "Lisez-moi"},
        {31, "Module Installation", "Modul-Installation", "Installation de modules"},
        {32, "StartUp Guide", "Starthilfe", "Guide"},
        {33, "StartUp Tutorial", "Tutorial", "Tutorial de d\xe9marrage"},
        {35, "Uninstall Quillon", "Quillon Deinstallation", "D\xe9sinstaller Quillon"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(str(EN, r.id), r.en) << r.id;
        EXPECT_EQ(str(DE, r.id), r.de) << r.id;
        EXPECT_EQ(str(FR, r.id), r.fr) << r.id;
        if (r.id != 33) {
            EXPECT_EQ(str(CS, r.id), r.en) << r.id;
        }
    }
    EXPECT_EQ(str(EN, 34), "Select Destination Path");
    EXPECT_FALSE(str(DE, 34).empty());
    EXPECT_FALSE(str(FR, 34).empty());
    EXPECT_FALSE(str(CS, 34).empty());
    EXPECT_FALSE(str(CS, 33).empty());
    EXPECT_EQ(str(EN, 0), "modules");
    EXPECT_EQ(str(DE, 0), "module");
}

TEST_F(Strings, EmptyIdsAndBuffersThatDoNotFit)
{
    for (WORD id = 18; id <= 29; ++id)
        EXPECT_EQ(str(EN, id), "") << id;

    char buf[8];
    memset(buf, 'z', sizeof(buf));
    // "special" needs 8 bytes with its NUL.
    EXPECT_STREQ(get_string(EN, 16, buf, 8), "special");
    memset(buf, 'z', sizeof(buf));
    EXPECT_STREQ(get_string(EN, 16, buf, 7), "");
    EXPECT_EQ(buf[7], 'z');
    // With room for the terminator only, nothing past it may be touched.
    memset(buf, 'z', sizeof(buf));
    EXPECT_STREQ(get_string(EN, 16, buf, 1), "");
    EXPECT_EQ(std::string(buf + 1, sizeof(buf) - 1), std::string(sizeof(buf) - 1, 'z'));
}
