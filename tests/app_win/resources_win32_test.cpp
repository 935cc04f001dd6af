// The resources as the program finds them at run time: the string table, the
// version information, the icon, the manifest and the page templates.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "common/program_path.h"
#include "common/program_strings.h"
#include "kv4t_version.h"
#include "common/code_pages.h"
#include "tests/support/ui_support_win32.h"

namespace {

constexpr int kStringIds[] = {
#define KV4T_STRING(id, text) id,
#include "common/string_table.inc"
#undef KV4T_STRING
};

TEST(StringTable, EveryTextLoadsIntactByItsId) {
  for (int id : kStringIds) {
    const char* utf8 = ProgramTextUtf8(id);
    ASSERT_NE(utf8, nullptr) << id;
    EXPECT_EQ(ui_test::LoadText(id), Utf8ToWide(utf8)) << "string " << id;
  }
}

TEST(StringTable, LineBreaksAndAmpersandsArriveAsTyped) {
  const std::wstring jumper = ui_test::LoadText(IDS_NO_LINK_JUMPER);
  EXPECT_NE(jumper.find(L"прибором.\nЕсли"), std::wstring::npos);
  EXPECT_EQ(ui_test::LoadText(IDS_TEST_STOP), L"&Остановить");
  EXPECT_EQ(ui_test::LoadText(IDS_ABOUT_TITLE), L"Конфигуратор KV4T версия");
}

TEST(StringTable, IdsWithoutATextLoadNothing) {
  for (UINT id : {100u, 106u, 123u, 158u, 999u}) EXPECT_EQ(ui_test::LoadText(id), L"") << id;
}

TEST(StringTable, IsRussian) {
  // Strings come in blocks of 16, numbered from 1.
  EXPECT_NE(FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(IDS_ERROR_CAPTION / 16 + 1),
                            MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)),
            nullptr);
}

TEST(VersionInfo, FileVersionIsTheBuildsVersion) {
  EXPECT_EQ(FileVersionOf(ProgramPath().native()), Utf8ToWide(KV4T_VERSION_TEXT));
  EXPECT_EQ(FileVersionOf(ProgramPath().native()), L"1.0.25");
}

TEST(VersionInfo, FixedPartTranslationAndTexts) {
  const std::wstring path = ProgramPath().native();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<unsigned char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwFileVersionMS, DWORD(MAKELONG(KV4T_VERSION_MINOR, KV4T_VERSION_MAJOR)));
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD(MAKELONG(0, KV4T_VERSION_PATCH)));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);

  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0419);
  EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);

  for (const wchar_t* name : {L"ProductVersion", L"ProductName", L"FileDescription", L"CompanyName",
                              L"LegalCopyright"}) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041904B0\\") + name;
    ASSERT_TRUE(VerQueryValueW(info.data(), key.c_str(), &value, &length)) << WideToUtf8(name);
    EXPECT_GT(length, 1u) << WideToUtf8(name);
  }
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041904B0\\ProductVersion", &value, &length));
  EXPECT_STREQ(static_cast<const wchar_t*>(value), L"1.0.25");
}

TEST(VersionInfo, FileWithoutVersionInformationGivesNoVersion) {
  wchar_t folder[MAX_PATH];
  wchar_t file[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"kv4", 0, file), 0u);
  EXPECT_EQ(FileVersionOf(file), L"");
  DeleteFileW(file);
  EXPECT_EQ(FileVersionOf(std::wstring(folder) + L"no such file.exe"), L"");
}

TEST(ProgramIcon, DrawnAtSixteenThirtyTwoAndFortyEightPixels) {
  for (int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                               IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    // The group's own image of that size, not a scaled one.
    HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<PBYTE>(LockResource(LoadResource(nullptr, group)));
    const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, 0);
    HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_ICON);
    ASSERT_NE(image, nullptr) << size;
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, image)));
    EXPECT_EQ(header->biWidth, size);
    EXPECT_EQ(header->biHeight, 2 * size);
    EXPECT_EQ(header->biBitCount, 32);
    DestroyIcon(icon);
  }
}

TEST(Manifest, CommonControlsSixDpiAwareAsInvoker) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  const std::string text(data, SizeofResource(nullptr, found));
  for (const char* part : {"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "PerMonitorV2",
                           "true/pm", "level=\"asInvoker\"", "1.0.25.0"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  // The manifest is in force: the process's activation context sends comctl32.dll
  // to the side-by-side Common Controls 6.
  ACTCTX_SECTION_KEYED_DATA redirection{};
  redirection.cbSize = sizeof(redirection);
  EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                       L"comctl32.dll", &redirection));
}

}  // namespace
