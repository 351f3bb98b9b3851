// The settings file: the registry export format, read and written back.
#include "files/errors.h"
#include "settings/registry_file.h"
#include "support/same_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace vantrel;

namespace {

const std::string kHead = "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Corvane Software\\Vantrel]\n";

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

// Names of the values in file order.
std::vector<std::string> names(const RegistryKey& key) {
    std::vector<std::string> out;
    for (const auto& v : key.values()) out.push_back(v.name);
    return out;
}

} // namespace

TEST(RegistryFile, WritesTheExportFormat) {
    RegistryKey key;
    key.writeInteger("Width", 362);
    key.writeInteger("Top", -8);
    key.writeString("Workdir", "/home/me/My \"films\"\\out");
    key.writeString("AudioExt", "");
    key.writeBinary("Install", doubleToLittleEndian(45000.5));
    key.writeBool("FastCheck", false);
    key.writeInteger("Width", 400); // replaced in place
    EXPECT_EQ(key.serialize(), kHead + "\"Width\"=dword:00000190\n"
                                       "\"Top\"=dword:fffffff8\n"
                                       "\"Workdir\"=\"/home/me/My \\\"films\\\"\\\\out\"\n"
                                       "\"AudioExt\"=\"\"\n"
                                       "\"Install\"=hex:00,00,00,00,10,f9,e5,40\n"
                                       "\"FastCheck\"=dword:00000000\n\n");
}

TEST(RegistryFile, ReadsBackEveryTypeAndKeepsOtherValues) {
    RegistryKey key;
    key.writeInteger("Left", -1200);
    key.writeString("EVOdir", "/mnt/a\"b\\c/\nline two/\x01/");
    key.writeBinary("Install", doubleToLittleEndian(44927.75));
    auto back = RegistryKey::parse(key.serialize());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->readInteger("Left"), -1200);
    EXPECT_EQ(back->readString("EVOdir"), std::string("/mnt/a\"b\\c/\nline two/\x01/"));
    EXPECT_EQ(doubleFromLittleEndian(back->readBinary("Install")), 44927.75);
    EXPECT_TRUE(back->exists("left")); // value names are not case-sensitive

    // CR LF lines, comments, continued hex lines and values of other types.
    auto other = RegistryKey::parse("Windows Registry Editor Version 5.00\r\n\r\n"
                                    "[hkey_current_user\\software\\corvane software\\vantrel]\r\n"
                                    "; a comment\r\n"
                                    "\"Install\"=hex:00,00,00,00,\\\r\n  10,f9,e5,40\r\n"
                                    "\"Expand\"=hex(2):25,00,00,00\r\n"
                                    "\"Gone\"=-\r\n"
                                    "\"Continue\"=dword:1\r\n");
    ASSERT_TRUE(other);
    EXPECT_EQ(doubleFromLittleEndian(other->readBinary("Install")), 45000.5);
    EXPECT_TRUE(other->readBool("Continue"));
    EXPECT_FALSE(other->exists("Gone"));
    EXPECT_EQ(errorOf([&] { other->readString("Expand"); }), "Invalid data type for 'Expand'");
    other->writeInteger("Continue", 0);
    const std::string text = other->serialize();
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,00,00,00\n"), std::string::npos);
    EXPECT_EQ(names(*other), (std::vector<std::string>{"Install", "Expand", "Continue"}));
}

TEST(RegistryFile, WrongTypeAndUnreadableDataAreReportedByName) {
    auto key = RegistryKey::parse(kHead + "\"Width\"=\"362\"\n"
                                          "\"Top\"=dword:123456789\n"
                                          "\"Left\"=dword:12x4\n"
                                          "\"AudioExt\"=\"mpa\n"
                                          "\"Install\"=hex:00,0g\n"
                                          "\"Height\"=dword:\n");
    ASSERT_TRUE(key);
    EXPECT_EQ(errorOf([&] { key->readInteger("Width"); }), "Invalid data type for 'Width'");
    EXPECT_EQ(errorOf([&] { key->readInteger("Top"); }), "Failed to get data for 'Top'");
    EXPECT_EQ(errorOf([&] { key->readInteger("Left"); }), "Failed to get data for 'Left'");
    EXPECT_EQ(errorOf([&] { key->readString("AudioExt"); }), "Failed to get data for 'AudioExt'");
    EXPECT_EQ(errorOf([&] { key->readBinary("Install"); }), "Failed to get data for 'Install'");
    EXPECT_EQ(errorOf([&] { key->readInteger("Height"); }), "Failed to get data for 'Height'");
    EXPECT_EQ(errorOf([&] { key->readString("Top"); }), "Failed to get data for 'Top'");
    // An unreadable value is written back as it was found.
    EXPECT_NE(key->serialize().find("\"Left\"=dword:12x4\n"), std::string::npos);
}

TEST(RegistryFile, OnlyOurKeyCounts) {
    EXPECT_FALSE(RegistryKey::parse(""));
    EXPECT_FALSE(RegistryKey::parse("garbage\n\"Width\"=dword:00000001\n"));
    auto key = RegistryKey::parse(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n\"Width\"=dword:00000001\n"
        "[HKEY_CURRENT_USER\\Software\\Corvane Software\\Vantrel]\n\"Height\"=dword:2\n"
        "[HKEY_CURRENT_USER\\Software\\Corvane Software\\Vantrel\\Sub]\n\"Top\"=dword:3\n");
    ASSERT_TRUE(key);
    EXPECT_EQ(names(*key), std::vector<std::string>{"Height"});
    EXPECT_EQ(key->readInteger("Height"), 2);
}

// Saving what was loaded and loading it again gives the same values, and a
// "Width" after an odd line keeps its value through any number of saves.
TEST(RegistryFile, SavedValuesLoadAgainUnchanged) {
    const std::vector<std::string> oddLines = {
        "\"Expand\"=hex(2):41,\\\t",    // backslash, then a tab
        "\"Expand\"=hex(2):41,\\\r\r",  // backslash, then a stray CR before the CR LF
        "\"Expand\"=hex(2):41,\\ \t\r", // blanks and a CR
        "\"Install\"=hex:00,\\\t",      // unreadable binary
        "\"Expand\"=hex(2):41\r\r",     // stray CR without a backslash
        "\"=\\hex\"=text\\",            // name whose written form reads "=hex"
        "\"Note\"=\"open=hex\\\"",      // unterminated text
    };
    for (const std::string& odd : oddLines) {
        SCOPED_TRACE(odd);
        const std::string text = kHead + odd + "\n\"Width\"=dword:00000190\n";
        auto first = RegistryKey::parse(text);
        ASSERT_TRUE(first);
        ASSERT_TRUE(first->exists("Width"));
        EXPECT_EQ(first->readInteger("Width"), 400);
        auto second = RegistryKey::parse(first->serialize());
        ASSERT_TRUE(second);
        EXPECT_EQ(test::settingsDifference(*first, *second), "");
        auto third = RegistryKey::parse(second->serialize());
        ASSERT_TRUE(third);
        EXPECT_EQ(third->serialize(), second->serialize());
        EXPECT_EQ(third->readInteger("Width"), 400);
    }
    // A continuation cut off by the end of the file ends the value there.
    auto cut = RegistryKey::parse(kHead + "\"Install\"=hex:00,01,\\\\");
    ASSERT_TRUE(cut);
    auto again = RegistryKey::parse(cut->serialize());
    ASSERT_TRUE(again);
    EXPECT_EQ(test::settingsDifference(*cut, *again), "");
}
