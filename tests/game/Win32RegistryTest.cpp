// The registry read on Windows (under Wine): one string value in the program's own view, then
// in the 32-bit one, taken as stored; values of other types refused by name.

#include "base/Errors.h"
#include "Win32Registry.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vellocar::game {
namespace {

// A key of its own under HKLM (Wine grants the write), removed afterwards from both views.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        key = "SOFTWARE\\VellocarRegistryTest" + std::to_string(rd());
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
        HKEY view32 = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &view32) ==
            ERROR_SUCCESS) {
            RegDeleteTreeA(view32, key.substr(std::string("SOFTWARE\\").size()).c_str());
            RegCloseKey(view32);
        }
    }
    void Put(DWORD type, const void* data, DWORD size, REGSAM view = 0) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                  &handle, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(handle, "Location", 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(handle);
    }
    void PutString(DWORD type, const std::string& text, REGSAM view = 0) {
        Put(type, text.data(), static_cast<DWORD>(text.size()), view);
    }
    std::optional<std::string> Read() { return ReadRegistryString(HKEY_LOCAL_MACHINE, key, "Location"); }

    std::string key;
};

TEST_F(Registry, StringsAreTakenAsStoredUpToTheFirstNul) {
    using namespace std::string_literals;
    EXPECT_EQ(Read(), std::nullopt) << "no key";

    PutString(REG_SZ, "C:\\NeverwinterNights\\NWN\0"s);
    EXPECT_EQ(Read(), "C:\\NeverwinterNights\\NWN");
    PutString(REG_SZ, "C:\\Games\\NWN\\"); // stored without its NUL, trailing separator kept
    EXPECT_EQ(Read(), "C:\\Games\\NWN\\");
    PutString(REG_EXPAND_SZ, "%ProgramFiles%\\NWN\0"s);
    EXPECT_EQ(Read(), "%ProgramFiles%\\NWN") << "nothing is expanded";
    PutString(REG_SZ, "D:\\NWN\0garbage after the end\0"s);
    EXPECT_EQ(Read(), "D:\\NWN");
}

TEST_F(Registry, MissingOrEmptyValuesGiveNothing) {
    using namespace std::string_literals;
    PutString(REG_SZ, "\0"s);
    EXPECT_EQ(Read(), std::nullopt);
    PutString(REG_SZ, "");
    EXPECT_EQ(Read(), std::nullopt);
    Put(REG_BINARY, nullptr, 0);
    EXPECT_EQ(Read(), std::nullopt) << "an empty value of another type is not an error";
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, "Elsewhere"), std::nullopt);
}

TEST_F(Registry, OtherTypesAreRefusedByName) {
    const DWORD number = 7;
    Put(REG_DWORD, &number, sizeof number);
    try {
        Read();
        FAIL() << "a DWORD was read as a string";
    } catch (const EVellocarError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'Location'");
    }
    const char multi[] = "C:\\a\0C:\\b\0";
    Put(REG_MULTI_SZ, multi, sizeof multi);
    EXPECT_THROW(Read(), EVellocarError);
}

TEST_F(Registry, The32BitViewIsReadWhenTheNativeOneHasNothing) {
    using namespace std::string_literals;
    PutString(REG_SZ, "C:\\NWN32\0"s, KEY_WOW64_32KEY);
    EXPECT_EQ(Read(), "C:\\NWN32");
    PutString(REG_SZ, "C:\\NWN64\0"s);
    EXPECT_EQ(Read(), "C:\\NWN64") << "the program's own view comes first";
}

} // namespace
} // namespace vellocar::game
