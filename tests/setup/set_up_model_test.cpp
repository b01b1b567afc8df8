#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

#include "config/config_format.hpp"
#include "setup/set_up_model.hpp"
#include "support/temp_folder.hpp"

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
    model.connections.front().settings.device = "plc.example";
    std::string text = write_configuration(set_up_of(model));
    SetUpRecord read;
    ASSERT_TRUE(read_configuration(text, PollDefinition{}, read).ok);
    ASSERT_TRUE(read.connection);
    model.connections.front().settings.device = "10.0.0.9";
    heard = {};
    replace_set_up(model, std::move(read));
    ASSERT_EQ(model.definitions.size(), 2u);
    EXPECT_EQ(model.definitions[0]->name, "Meter");
    EXPECT_EQ(model.definitions[0]->chart, std::vector<uint16_t>{102});
    EXPECT_GT(model.definitions[0]->serial, f) << "new serials";
    EXPECT_EQ(find_definition(model, s), nullptr);
    EXPECT_EQ(model.connections.front().settings.device, "plc.example");
    ASSERT_EQ(heard.events.size(), 3u);
    EXPECT_EQ(heard.events[0].change, SetUpChange::replaced);
    EXPECT_EQ(heard.events[1].change, SetUpChange::connections) << "the old one gone, after the definitions";
    EXPECT_EQ(heard.events[2], (SetUpEvent{SetUpChange::connections, model.connections.front().serial}));
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

// Given a started model, expect connections added up to the most with
// names all different, a rename to a taken or empty name refused, one
// still polled over or the first kept, a definition moved told once, two
// names of one serial port refused (a TCP server is no port), and the
// record to carry the connections by index and back.
TEST(SetUpModel, ConnectionsLiveAndTravelThroughTheRecord)
{
    SetUpModel model;
    start_set_up(model, PollDefinition{});
    std::vector<SetUpEvent> heard;
    listen_to_set_up(model, [&](const SetUpEvent& event) {
        if (event.change != SetUpChange::document)
            heard.push_back(event);
    });
    DefinitionSetUp& first = *model.definitions[0];
    ASSERT_EQ(model.connections.size(), 1u);
    EXPECT_EQ(&connection_of(model, first), &model.connections[0]);
    ConnectionSetUp* drive = add_connection(model, "Drive", ConnectionSettings{});
    ASSERT_NE(drive, nullptr);
    uint32_t drive_serial = drive->serial;
    EXPECT_EQ(add_connection(model, " Drive ", ConnectionSettings{})->name, "Drive 2");
    while (add_connection(model, "", ConnectionSettings{})) {
    }
    ASSERT_EQ(model.connections.size(), max_connections);
    EXPECT_EQ(heard.size(), max_connections - 1) << "one change per connection added";
    for (size_t i = 0; i < model.connections.size(); ++i)
        for (size_t j = i + 1; j < model.connections.size(); ++j)
            EXPECT_NE(model.connections[i].name, model.connections[j].name);

    heard.clear();
    EXPECT_FALSE(rename_connection(model, drive_serial, model.connections[0].name));
    EXPECT_FALSE(rename_connection(model, drive_serial, " \n"));
    EXPECT_TRUE(rename_connection(model, drive_serial, "Drive"));
    EXPECT_EQ(heard.size(), 0u) << "refused, or the name it had";
    EXPECT_TRUE(rename_connection(model, drive_serial, "Pump\nhouse"));
    EXPECT_EQ(find_connection(model, drive_serial)->name, "Pump house");

    DefinitionSetUp* second = add_definition(model, PollDefinition{2, 4, 100, 6, 500});
    EXPECT_EQ(second->connection, model.connections[0].serial) << "on the first unless told";
    set_definition_connection(model, *second, drive_serial);
    set_definition_connection(model, *second, drive_serial);
    set_definition_connection(model, *second, 999999);
    EXPECT_EQ(connection_of(model, *second).serial, drive_serial);
    EXPECT_FALSE(remove_connection(model, drive_serial)) << "still polled over";
    EXPECT_FALSE(remove_connection(model, model.connections[0].serial));
    uint32_t last = model.connections.back().serial;
    EXPECT_TRUE(remove_connection(model, last));
    EXPECT_EQ(heard, (std::vector<SetUpEvent>{{SetUpChange::connection, drive_serial},
                                              {SetUpChange::added, second->serial},
                                              {SetUpChange::definition_connection, second->serial},
                                              {SetUpChange::connections, last}}));

    // A device link names the port it leads to; a server is no port.
    TempFolder folder;
    write_file(folder.file("ttyS9"), "");
    ASSERT_EQ(symlink(folder.file("ttyS9").c_str(), folder.file("by-id").c_str()), 0);
    ConnectionSettings port;
    port.device = folder.file("by-id");
    set_connection_settings(model, drive_serial, port);
    port.device = folder.file("ttyS9");
    EXPECT_EQ(connection_refusal(model, 0, port), "\u201cPump house\u201d uses " + folder.file("by-id") + " already");
    EXPECT_EQ(connection_refusal(model, drive_serial, port), "") << "its own port";
    port.use_tcp = true;
    EXPECT_EQ(connection_refusal(model, 0, port), "");

    SetUpRecord record = set_up_of(model);
    EXPECT_EQ(record.definitions[1].connection, 1u) << "by index";
    EXPECT_EQ(record.more_connections.size(), max_connections - 2);
    record.definitions[0].connection = 99;  // a file naming a connection it lacks
    replace_set_up(model, std::move(record));
    ASSERT_EQ(model.connections.size(), max_connections - 1);
    EXPECT_NE(model.connections[1].serial, drive_serial) << "new serials";
    EXPECT_EQ(connection_of(model, *model.definitions[1]).name, "Pump house");
    EXPECT_EQ(connection_of(model, *model.definitions[1]).settings.device, folder.file("by-id"));
    EXPECT_EQ(model.definitions[0]->connection, model.connections[0].serial);
}
