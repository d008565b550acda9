// The uninstaller's reading of the manifest: it lies in a folder the user
// can write, so every line that does not parse or leads out of the
// product's directory is refused, and only what it lists goes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "temp_tree.h"
#include "uninstall/uninstall.h"

namespace {

const char* const kDir = "C:\\Program Files\\Quillon";

int parse(const std::string& text, std::vector<MANIFEST_FILE>* files, std::vector<std::string>* refused)
{
    return manifest_parse(text.data(), text.size(), kDir, files, refused);
}

TEST(UninstallManifest, ReadsEveryKindOfLine)
{
    std::vector<MANIFEST_FILE> files;
    std::vector<std::string> refused;
    ASSERT_EQ(MANIFEST_OK, parse("QMF|1\r\n"
                                 "F|USA||help\\quillon.hlp|12|0000abcd\r\n"
                                 "S|FRG|Win95|quillon.qpr|7|FFFFFFFF\n"
                                 "\r\n"
                                 "T|USA||default.qlx|128|8566b31a",
                                 &files, &refused));
    EXPECT_TRUE(refused.empty());
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ('F', files[0].kind);
    EXPECT_EQ("USA", files[0].lang);
    EXPECT_EQ("", files[0].platform);
    EXPECT_EQ("help\\quillon.hlp", files[0].path);
    EXPECT_EQ(12u, files[0].size);
    EXPECT_EQ(0xabcdu, files[0].crc);
    EXPECT_EQ('S', files[1].kind);
    EXPECT_EQ("Win95", files[1].platform);
    EXPECT_EQ(0xFFFFFFFFu, files[1].crc);
    EXPECT_EQ('T', files[2].kind);
    EXPECT_EQ(128u, files[2].size);
}

TEST(UninstallManifest, RefusesLinesLeadingOutOfTheDirectoryOrMalformed)
{
    const std::string too_long(260 - strlen(kDir) - 1, 'a');   // with the backslash: 260
    const char* const bad[] = {
        "F|USA||..\\windows\\win.ini|1|00000000",
        "F|USA||help\\..\\..\\x|1|00000000",
        "F|USA||C:\\autoexec.bat|1|00000000",
        "F|USA||C:x|1|00000000",
        "F|USA||\\\\server\\share\\x|1|00000000",
        "F|USA||\\windows\\x|1|00000000",
        "F|USA||help/../../x|1|00000000",
        "F|USA||...\\x|1|00000000",
        "F|USA||help\\. .\\x|1|00000000",
        "F|USA||help.\\x|1|00000000",
        "F|USA||help\\\\x|1|00000000",
        "F|USA||quillon.exe:stream|1|00000000",
        "F|USA||*.exe|1|00000000",
        "F|USA|||1|00000000",
        "F|USA|Win95|quillon.exe|12x|00000000",
        "F|USA|Win95|quillon.exe|1|0000000",
        "F|USA|Win95|quillon.exe|1|0000000g",
        "F|USA|Win95|quillon.exe|1",
        "F|USA|Win95|quillon.exe|1|00000000|extra",
        "F||Win95|quillon.exe|1|00000000",
        "X|USA|Win95|quillon.exe|1|00000000",
        "T|USA||..\\evil.qlx|1|00000000",
    };
    std::string text = "QMF|1\r\n";
    for (const char* line : bad)
        text += std::string(line) + "\r\n";
    text += "F|USA||" + too_long + "|1|00000000\r\n";
    text += "F|USA||" + too_long.substr(1) + "|1|00000000\r\n";   // 259 characters: fits
    std::vector<MANIFEST_FILE> files;
    std::vector<std::string> refused;
    ASSERT_EQ(MANIFEST_OK, parse(text, &files, &refused));
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(too_long.substr(1), files[0].path);
    ASSERT_EQ(std::size(bad) + 1, refused.size());
    for (size_t i = 0; i < std::size(bad); ++i)
        EXPECT_EQ(bad[i], refused[i]);

    char out[PATH_CCH];
    EXPECT_TRUE(inside_path(kDir, "help\\quillon.hlp", out, sizeof out));
    EXPECT_STREQ("C:\\Program Files\\Quillon\\help\\quillon.hlp", out);
    EXPECT_FALSE(inside_path(kDir, "help\\..", out, sizeof out));
    EXPECT_STREQ("", out);
}

TEST(UninstallManifest, ANonManifestIsUnreadableAndTheFileIsReadWhole)
{
    std::vector<MANIFEST_FILE> files;
    std::vector<std::string> refused;
    EXPECT_EQ(MANIFEST_UNREADABLE, parse("", &files, &refused));
    EXPECT_EQ(MANIFEST_UNREADABLE, parse("F|USA||a|1|00000000\r\nQMF|1\r\n", &files, &refused));
    EXPECT_EQ(MANIFEST_UNREADABLE, parse("QMF|2\r\n", &files, &refused));

    TempTree t;
    EXPECT_EQ(MANIFEST_MISSING, manifest_read(t.sub("uinstall.lst").c_str(), t.path().c_str(), &files,
                                              &refused));
    // Longer than one read block, with the check value of the standard test string.
    std::string text = "QMF|1\r\n";
    while (text.size() < 200000)
        text += "F|USA||help\\topic.hlp|9|cbf43926\r\n";
    FILE* f = fopen(t.sub("uinstall.lst").c_str(), "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    ASSERT_EQ(MANIFEST_OK, manifest_read(t.sub("uinstall.lst").c_str(), t.path().c_str(), &files,
                                         &refused));
    EXPECT_EQ((text.size() - 7) / 34, files.size());
    EXPECT_TRUE(refused.empty());

    f = fopen(t.sub("topic.hlp").c_str(), "wb");
    fputs("123456789", f);
    fclose(f);
    ULONGLONG size = 0;
    DWORD crc = 0;
    ASSERT_TRUE(file_crc(t.sub("topic.hlp").c_str(), &size, &crc));
    EXPECT_EQ(9u, size);
    EXPECT_EQ(files[0].crc, crc);
    EXPECT_FALSE(file_crc(t.sub("none.hlp").c_str(), &size, &crc));
}

}  // namespace
