#include "preferences/preferences.hpp"

#include <gtest/gtest.h>
#include <glib.h>

#include "files/whole_file.hpp"
#include "support/temp_folder.hpp"

// Given a new folder, a kept choice reaches the next run, told once; the
// same choice again tells nobody; a key file this program cannot read gives
// the default, and an unwritable place keeps the choice for this run only.
TEST(Preferences, KeepsTheNotationAcrossRunsAndSurvivesBadFiles)
{
    TempFolder folder;
    std::string path = folder.file("brenvaldor/preferences.ini");
    Preferences preferences = load_preferences(path);
    EXPECT_EQ(preferences.notation, AddressNotation::protocol);

    int told = 0;
    listen_to_preferences(preferences, [&] { ++told; });
    EXPECT_TRUE(set_address_notation(preferences, AddressNotation::modicon));
    EXPECT_TRUE(set_address_notation(preferences, AddressNotation::modicon));
    EXPECT_EQ(told, 1);
    EXPECT_EQ(load_preferences(path).notation, AddressNotation::modicon);

    ASSERT_TRUE(replace_file(path.c_str(), "[Addresses]\nnotation=octal\n"));
    EXPECT_EQ(load_preferences(path).notation, AddressNotation::protocol);
    ASSERT_TRUE(replace_file(path.c_str(), "not a key file \x01"));
    EXPECT_EQ(load_preferences(path).notation, AddressNotation::protocol);

    // A regular file where the folder should be: nothing can be kept.
    std::string blocked = folder.file("blocked");
    ASSERT_TRUE(replace_file(blocked.c_str(), ""));
    Preferences unkept = load_preferences(blocked + "/preferences.ini");
    std::string reason;
    EXPECT_FALSE(set_address_notation(unkept, AddressNotation::hexadecimal, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(unkept.notation, AddressNotation::hexadecimal);
}
