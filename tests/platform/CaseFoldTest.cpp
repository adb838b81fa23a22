#include "platform/base/casefold.h"

#include <gtest/gtest.h>

TEST(CaseFold, LettersBeyondAsciiFoldAndOtherTextMustMatchExactly)
{
    EXPECT_TRUE(quiva::EqualsIgnoringCase(L"USB Video Device", L"usb video DEVICE"));
    EXPECT_TRUE(quiva::EqualsIgnoringCase(L"KAMERA Ä Ö", L"kamera ä ö"));
    EXPECT_TRUE(quiva::EqualsIgnoringCase(L"ΚΆΜΕΡΑ Камера", L"κάμερα КАМЕРА"));
    EXPECT_TRUE(quiva::EqualsIgnoringCase(L"내시경 카메라 HD", L"내시경 카메라 hd"));
    EXPECT_FALSE(quiva::EqualsIgnoringCase(L"내시경 카메라", L"내시경 카메라 "));
    EXPECT_FALSE(quiva::EqualsIgnoringCase(L"Camera 1", L"Camera 2"));
    EXPECT_FALSE(quiva::EqualsIgnoringCase(L"[a]", L"{A}"));  // only letters fold
    EXPECT_TRUE(quiva::EqualsIgnoringCase(L"", L""));
}
