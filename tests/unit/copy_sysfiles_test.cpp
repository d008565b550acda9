#include <gtest/gtest.h>

#include "copy/copy.h"
#include "temp_tree.h"

#include <string>
#include <vector>

using Bytes = std::vector<BYTE>;

static void pad4(Bytes& b)
{
    while (b.size() % 4)
        b.push_back(0);
}

// One node of a version resource: length, value length, type, key, value, children.
static Bytes node(const wchar_t* key, const void* value, size_t valueBytes, WORD valueLen,
                  WORD type, const std::vector<Bytes>& children = {})
{
    Bytes b(6, 0);
    for (const wchar_t* k = key;; ++k) {
        b.push_back(static_cast<BYTE>(*k & 0xFF));
        b.push_back(static_cast<BYTE>(*k >> 8));
        if (!*k)
            break;
    }
    pad4(b);
    const BYTE* v = static_cast<const BYTE*>(value);
    b.insert(b.end(), v, v + valueBytes);
    for (const Bytes& c : children) {
        pad4(b);
        b.insert(b.end(), c.begin(), c.end());
    }
    WORD len = static_cast<WORD>(b.size());
    memcpy(&b[0], &len, 2);
    memcpy(&b[2], &valueLen, 2);
    memcpy(&b[4], &type, 2);
    return b;
}

static Bytes version_resource(const std::wstring& fileVersion)
{
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    const size_t chars = fileVersion.size() + 1;
    Bytes str = node(L"FileVersion", fileVersion.c_str(), chars * 2, static_cast<WORD>(chars), 1);
    Bytes table = node(L"040904E4", nullptr, 0, 0, 1, {str});
    Bytes sfi = node(L"StringFileInfo", nullptr, 0, 0, 1, {table});
    const WORD trans[2] = {0x0409, 0x04E4};
    Bytes var = node(L"Translation", trans, sizeof trans, sizeof trans, 0);
    Bytes vfi = node(L"VarFileInfo", nullptr, 0, 0, 1, {var});
    return node(L"VS_VERSION_INFO", &fixed, sizeof fixed, sizeof fixed, 0, {sfi, vfi});
}

// A real PE file (a copy of this test program) carrying only the given
// version resource, or no resource at all for an empty version.
static void make_pe(const std::string& path, const wchar_t* fileVersion)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CopyFileW(own_path().c_str(), wide(path).c_str(), FALSE)) << path;
    HANDLE h = BeginUpdateResourceA(path.c_str(), TRUE);
    ASSERT_NE(h, nullptr);
    if (fileVersion) {
        Bytes res = version_resource(fileVersion);
        ASSERT_TRUE(UpdateResourceA(h, RT_VERSION, MAKEINTRESOURCEA(1),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), res.data(),
                                    static_cast<DWORD>(res.size())));
    }
    ASSERT_TRUE(EndUpdateResourceA(h, FALSE));
}

static DWORD version(const std::string& path)
{
    DWORD v = 0xDEAD;
    runtime_version(path.c_str(), &v);
    return v;
}

TEST(Versions, DigitsRunTogetherInTheirOrder)
{
    TempTree t;
    make_pe(t.sub("a.dll"), L"2.11.4400");
    make_pe(t.sub("b.dll"), L"1, 0, 0, 1");
    make_pe(t.sub("c.dll"), L"beta");
    make_pe(t.sub("none.dll"), nullptr);
    EXPECT_EQ(version(t.sub("a.dll")), 2114400u);
    EXPECT_EQ(version(t.sub("b.dll")), 1001u);
    DWORD v = 7;
    EXPECT_TRUE(runtime_version(t.sub("c.dll").c_str(), &v));
    EXPECT_EQ(v, 0u);
    v = 7;
    EXPECT_FALSE(runtime_version(t.sub("none.dll").c_str(), &v));
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(runtime_version(t.sub("missing.dll").c_str(), &v));
}

static bool same_file_content(const std::string& a, const std::string& b)
{
    return version(a) == version(b) && GetFileAttributesA(b.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(Versions, UpdateOnlyWhenStrictlyNewer)
{
    TempTree t;
    make_pe(t.sub("v2114400.dll"), L"2.11.4400");
    make_pe(t.sub("v2124202.dll"), L"2.12.4202");
    make_pe(t.sub("v224202.dll"), L"2.2.4202");
    make_pe(t.sub("plain.dll"), nullptr);
    const std::string dst = t.sub("installed.dll");

    make_pe(dst, L"2.11.4400");
    EXPECT_EQ(COPY_DONE, update_dll(t.sub("v224202.dll").c_str(), dst.c_str()));
    EXPECT_EQ(version(dst), 2114400u);   // 224202 < 2114400, although "2.2" reads newer
    EXPECT_EQ(COPY_DONE, update_dll(t.sub("v2114400.dll").c_str(), dst.c_str()));
    EXPECT_EQ(version(dst), 2114400u);
    EXPECT_EQ(COPY_DONE, update_dll(t.sub("v2124202.dll").c_str(), dst.c_str()));
    EXPECT_EQ(version(dst), 2124202u);

    // A missing destination is filled, but never from a source without a version.
    const std::string fresh = t.sub("fresh.dll");
    EXPECT_EQ(COPY_DONE, update_dll(t.sub("plain.dll").c_str(), fresh.c_str()));
    EXPECT_EQ(GetFileAttributesA(fresh.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(COPY_DONE, update_dll(t.sub("v224202.dll").c_str(), fresh.c_str()));
    EXPECT_TRUE(same_file_content(t.sub("v224202.dll"), fresh));
    EXPECT_EQ(COPY_DONE, update_dll(t.sub("nothere.dll").c_str(), fresh.c_str()));
    EXPECT_EQ(version(fresh), 224202u);
}

// The runtime libraries go to the system directory; Wine answers version
// queries for these names with its own libraries unless told otherwise.
class Runtime : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", &key);
        for (const char* n : {"msvcrt20", "msvcrt40"})
            RegSetValueExA(key, n, 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"),
                           15);
        GetSystemDirectoryA(sys, sizeof sys);
        for (int i = 0; i < 2; ++i) {
            installed[i] = std::string(sys) + (i ? "\\msvcrt40.dll" : "\\msvcrt20.dll");
            backup[i] = t.sub(i ? "backup40" : "backup20");
            had[i] = CopyFileA(installed[i].c_str(), backup[i].c_str(), FALSE);
        }
        t.make("medium\\inst\\Win95");
        medium = t.sub("medium");
    }
    void TearDown() override
    {
        for (int i = 0; i < 2; ++i) {
            if (had[i])
                CopyFileA(backup[i].c_str(), installed[i].c_str(), FALSE);
            else
                DeleteFileA(installed[i].c_str());
        }
        for (const char* n : {"msvcrt20", "msvcrt40"})
            RegDeleteValueA(key, n);
        RegCloseKey(key);
    }
    std::string on_medium(const char* name) const { return medium + "\\inst\\Win95\\" + name; }
    TempTree t;
    HKEY key{};
    char sys[MAX_PATH]{};
    std::string installed[2], backup[2], medium;
    BOOL had[2]{};
};

TEST_F(Runtime, NewerReplacesOlderAndBothIntelIndicesReadWin95)
{
    make_pe(installed[0], L"2.11.4400");
    make_pe(on_medium("msvcrt20.dll"), L"2.2.4202");
    copy_runtime(medium.c_str(), 0);
    EXPECT_EQ(version(installed[0]), 2114400u);

    make_pe(on_medium("msvcrt20.dll"), L"2.12.4202");
    make_pe(on_medium("msvcrt40.dll"), L"4.20.6164");
    make_pe(installed[1], L"4.20.6164");
    copy_runtime(medium.c_str(), 1);
    EXPECT_EQ(version(installed[0]), 2124202u);
    EXPECT_EQ(version(installed[1]), 4206164u);
}

TEST_F(Runtime, NoOlderRuntimeOnTheMediumMeansNoNewerOne)
{
    make_pe(installed[1], L"1.0");
    make_pe(on_medium("msvcrt40.dll"), L"9.9.9999");
    copy_runtime(medium.c_str(), 0);
    EXPECT_EQ(version(installed[1]), 10u);
}
