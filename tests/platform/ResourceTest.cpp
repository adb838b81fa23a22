#include <gtest/gtest.h>

#include <cstring>

#include "platform/base/base.h"
#include "platform/base/resources.h"
#include "platform/gdi/Surface.h"
#include "platform/gdi/gdi.h"

TEST(Resources, ModuleFoundByNameWithoutRegardToCaseOrExtension)
{
    HMODULE module = GetModuleHandleW(L"QUIVA.Capture.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetModuleHandleW(L"QUIVA.CAPTURE.DLL"), module);
    EXPECT_EQ(GetModuleHandleW(L"quiva.capture"), module);
    EXPECT_EQ(GetModuleHandleW(L"Kexano.Framework.Controls.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // Linked into this program, the module is the program itself.
    EXPECT_EQ(module, GetModuleHandleW(nullptr));
    wchar_t path[MAX_PATH];
    EXPECT_GT(GetModuleFileNameW(module, path, MAX_PATH), 0u);
}

TEST(Resources, MessageBoxStringsById)
{
    HMODULE module = GetModuleHandleW(L"QUIVA.Capture.dll");
    const wchar_t* expected[] = {L"확인", L"취소", L"중단", L"재시도", L"무시", L"예", L"아니오", L"닫기", L"도움말"};
    wchar_t buffer[32];
    for (UINT id = 1; id <= 9; ++id) {
        int n = LoadStringW(module, id, buffer, 32);
        EXPECT_STREQ(buffer, expected[id - 1]) << id;
        EXPECT_EQ(n, static_cast<int>(std::wcslen(expected[id - 1])));
    }
    EXPECT_EQ(LoadStringW(module, 10, buffer, 32), 0);
    EXPECT_STREQ(buffer, L"");
    // A short buffer gets what fits and a terminator.
    EXPECT_EQ(LoadStringW(module, 4, buffer, 3), 2);
    EXPECT_STREQ(buffer, L"재시");
    // Size 0 hands out a pointer to the text itself.
    const wchar_t* direct = nullptr;
    EXPECT_EQ(LoadStringW(module, 7, reinterpret_cast<LPWSTR>(&direct), 0), 3);
    EXPECT_EQ(std::wstring(direct, 3), L"아니오");
    EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 32), 2);  // the program's own table is the module's here
}

TEST(Resources, CaptionIconsLoadAndDraw)
{
    HMODULE module = GetModuleHandleW(L"QUIVA.Capture.dll");
    for (int id : {10001, 10002, 10003, 10005}) {
        HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(icon, nullptr) << id;
        EXPECT_FALSE(DeleteObject(icon));
        EXPECT_TRUE(DestroyIcon(icon));
        EXPECT_FALSE(DestroyIcon(icon));
    }
    EXPECT_EQ(LoadImageW(module, MAKEINTRESOURCEW(10004), IMAGE_ICON, 16, 16, 0), nullptr);
    EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0), nullptr);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(10001), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceW(module, L"#10001", RT_GROUP_ICON), nullptr);

    // The exit cross: light strokes through the centre, the corners of the cell left alone.
    HICON exit = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(10001), IMAGE_ICON, 16, 16, 0));
    quiva::Surface s(20, 20);
    HDC dc = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 20, 20});
    HBRUSH red = CreateSolidBrush(RGB(160, 0, 0));
    RECT all{0, 0, 20, 20};
    FillRect(dc, &all, red);
    EXPECT_TRUE(DrawIconEx(dc, 2, 2, exit, 16, 16, 0, nullptr, DI_NORMAL));
    uint32_t centre = s.At(10, 10);
    EXPECT_GT((centre >> 8) & 0xFF, 150u);  // green comes only from the icon's grey
    EXPECT_EQ(s.At(2, 2), 0xFFA00000u);     // transparent corner shows the red below
    EXPECT_EQ(s.At(10, 3), 0xFFA00000u);
    DestroyIcon(exit);
    DeleteObject(red);
    DeleteDC(dc);
}

TEST(Resources, RegisteredTablesAndNamedResources)
{
    static const unsigned char strings[] =
        "# comment\r\n12\tTwelve\r\n\tno id\n13 no tab\n70000\ttoo big\n14\t\n15\tlast line";
    static const unsigned char wave[] = "RIFF....WAVE";
    static const quiva::EmbeddedResource items[] = {
        {L"STRINGS", 1, nullptr, strings, sizeof strings - 1},
        {L"WAVE", -1, L"Shutter", wave, sizeof wave - 1},
    };
    // Registered like a module linked into this program (same handle as the program).
    quiva::RegisterResourceModule(L"Test.Resources.dll", items, 2, items);
    HMODULE module = GetModuleHandleW(L"test.resources.DLL");
    ASSERT_NE(module, nullptr);
    wchar_t buffer[32];
    EXPECT_EQ(LoadStringW(module, 12, buffer, 32), 6);
    EXPECT_STREQ(buffer, L"Twelve");  // no carriage return left behind
    EXPECT_EQ(LoadStringW(module, 15, buffer, 32), 9);
    EXPECT_EQ(LoadStringW(module, 13, buffer, 32), 0);
    EXPECT_EQ(LoadStringW(module, 70000 & 0xFFFF, buffer, 32), 0);
    EXPECT_EQ(LoadStringW(module, 14, buffer, 32), 0);  // an empty text is no string
    EXPECT_EQ(LoadStringW(module, 12, nullptr, 32), 0);

    HRSRC r = FindResourceW(module, L"shutter", L"WAVE");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(module, r), 12u);
    EXPECT_EQ(std::memcmp(LockResource(LoadResource(module, r)), "RIFF", 4), 0);
    EXPECT_EQ(FindResourceW(module, L"Missing", L"WAVE"), nullptr);
    EXPECT_EQ(FindResourceW(module, L"Shutter", RT_STRING), nullptr);
}

TEST(Resources, AnUnloadedModuleTakesItsResourcesWithIt)
{
    static const unsigned char bytes[] = {1, 2, 3};
    static const quiva::EmbeddedResource items[] = {{L"WAVE", 7, nullptr, bytes, sizeof bytes}};
    static int anchor;
    quiva::RegisterResourceModule(L"Unloading.Module.dll", items, 1, &anchor);
    HMODULE m = GetModuleHandleW(L"Unloading.Module.dll");
    ASSERT_NE(m, nullptr);
    EXPECT_NE(quiva::FindEmbeddedResource(m, L"WAVE", MAKEINTRESOURCEW(7)), nullptr);
    quiva::UnregisterResourceModule(&anchor);
    EXPECT_EQ(GetModuleHandleW(L"Unloading.Module.dll"), nullptr);
    EXPECT_NE(GetModuleHandleW(L"QUIVA.Capture.dll"), nullptr);  // the others stay
}
