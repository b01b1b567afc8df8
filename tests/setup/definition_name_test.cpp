// A tab's name as it is stored and as it shows inside other text.

#include <gtest/gtest.h>

#include "setup/definition_name.hpp"

namespace {

// given names longer than a tab takes, expect the cut between characters
// (a joined emoji or an accent stays whole) and no blank left at the end;
// given a name with a right-to-left override, expect it shown isolated so
// the text after it keeps its direction, a stray closing isolate of its
// own dropped, and a plain name shown as it is
TEST(TabTitle, NamesAreCutBetweenCharactersAndShownIsolated)
{
    const std::string thirty_nine(39, 'a');
    EXPECT_EQ(tidy_tab_name(" \t" + thirty_nine + " tail\n"), thirty_nine) << "the cut ends on a blank";
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    EXPECT_EQ(tidy_tab_name(thirty_nine + family + "b"), thirty_nine + family);
    EXPECT_EQ(tidy_tab_name(thirty_nine + "e\u0301x"), thirty_nine + "e\u0301");
    EXPECT_EQ(tidy_tab_name(thirty_nine + "\U0001F1E9\U0001F1EA!"), thirty_nine + "\U0001F1E9\U0001F1EA");
    EXPECT_EQ(tidy_tab_name("\u3000Tank\u00a0"), "Tank") << "blanks of any script";

    const PollDefinition poll{1, 3, 0, 10, 1000};
    EXPECT_EQ(tab_title("Boiler", poll), "Boiler");
    EXPECT_EQ(tab_title("", poll), "ID 1 \u00b7 03 \u00b7 0\u20139");
    EXPECT_EQ(tab_title("\u202Eevil", poll), "\u2068\u202Eevil\u2069");
    EXPECT_EQ(tab_title("a\u2069\u202Eb", poll), "\u2068a\u202Eb\u2069");
    EXPECT_EQ(tab_title("\u05D3\u05D5\u05D3", poll), "\u2068\u05D3\u05D5\u05D3\u2069") << "a Hebrew name";
    EXPECT_EQ(definition_limit_text(), "A set-up holds at most 64 poll definitions");
}

}  // namespace
