#include <gtest/gtest.h>

#include <vector>

#include "config/config_format.hpp"
#include "setup/set_up_model.hpp"

namespace {

struct Heard {
    std::vector<SetUpEvent> events;
    std::vector<bool> changed;  // the document's mark as each event was told
};

}  // namespace

// Given a started model and a listener, expect each change to reach the
// listener once, after the model holds it and the document is marked; no
// change where nothing changes; keys new for another block only; the last
// definition kept; and a load (a record from the file) taking new serials
// and keys, its connection told after the definitions, and the document
// clean again once stored.
TEST(SetUpModel, TellsEachChangeOnceAndKeepsKeysAndTheDocumentRight)
{
    SetUpModel model;
    start_set_up(model, PollDefinition{1, 3, 0, 10, 1000});
    Heard heard;
    listen_to_set_up(model, [&](const SetUpEvent& event) {
        heard.events.push_back(event);
        heard.changed.push_back(model.document.changed);
    });
    DefinitionSetUp& first = *model.definitions[0];
    uint16_t first_key = first.key;
    EXPECT_FALSE(model.document.changed) << "starting is no change";

    DefinitionSetUp* second = add_definition(model, PollDefinition{2, 4, 100, 6, 500});
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second->key, first_key);
    EXPECT_NE(second->serial, first.serial);
    set_definition_poll(model, first, PollDefinition{1, 3, 0, 10, 250});
    EXPECT_EQ(first.key, first_key) << "the same block at another rate keeps its key";
    set_definition_poll(model, first, PollDefinition{1, 3, 5, 10, 250});
    EXPECT_NE(first.key, first_key) << "another block never takes the old one's values";
    rename_definition(model, *second, "  Meter\n");
    EXPECT_EQ(second->name, "Meter");
    rename_definition(model, *second, "Meter");  // nothing changes
    set_definition_format(model, *second, ValueFormat::HEX, WordOrder::CD_AB);
    EXPECT_TRUE(set_charted(model, *second, 102, true));
    EXPECT_FALSE(set_charted(model, *second, 102, true)) << "charted once";
    EXPECT_EQ(second->chart, std::vector<uint16_t>{102});
    EXPECT_TRUE(set_definition_label(model, *second, 101, "Flow"));
    move_definition(model, second->serial, 0);
    EXPECT_EQ(model.definitions[0].get(), second);
    uint32_t s = second->serial, f = first.serial;
    EXPECT_EQ(heard.events, (std::vector<SetUpEvent>{{SetUpChange::added, s},
                                                     {SetUpChange::document, 0},
                                                     {SetUpChange::poll, f},
                                                     {SetUpChange::poll, f},
                                                     {SetUpChange::name, s},
                                                     {SetUpChange::format, s},
                                                     {SetUpChange::chart, s},
                                                     {SetUpChange::labels, s},
                                                     {SetUpChange::moved, s}}));
    EXPECT_EQ(heard.changed, std::vector<bool>(heard.events.size(), true));

    // What the file keeps, read back: it replaces what changed since.
    model.connection.device = "plc.example";
    std::string text = write_configuration(set_up_of(model));
    SetUpRecord read;
    ASSERT_TRUE(read_configuration(text, PollDefinition{}, read).ok);
    ASSERT_TRUE(read.connection);
    model.connection.device = "10.0.0.9";
    heard = {};
    replace_set_up(model, std::move(read));
    ASSERT_EQ(model.definitions.size(), 2u);
    EXPECT_EQ(model.definitions[0]->name, "Meter");
    EXPECT_EQ(model.definitions[0]->chart, std::vector<uint16_t>{102});
    EXPECT_GT(model.definitions[0]->serial, f) << "new serials";
    EXPECT_EQ(find_definition(model, s), nullptr);
    EXPECT_EQ(model.connection.device, "plc.example");
    ASSERT_EQ(heard.events.size(), 2u);
    EXPECT_EQ(heard.events[0].change, SetUpChange::replaced);
    EXPECT_EQ(heard.events[1].change, SetUpChange::connection) << "after the definitions it concerns";
    mark_set_up_stored(model, "/tmp/plant.dat");
    EXPECT_FALSE(model.document.changed);
    EXPECT_EQ(heard.events.back().change, SetUpChange::document);

    // The last definition stays; at the link's most none is added.
    uint32_t last = model.definitions[1]->serial;
    EXPECT_TRUE(remove_definition(model, model.definitions[0]->serial));
    EXPECT_FALSE(remove_definition(model, last));
    while (add_definition(model, PollDefinition{})) {
    }
    EXPECT_EQ(model.definitions.size(), max_poll_definitions);
}
