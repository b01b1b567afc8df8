#include "grid_fixture.hpp"

#include "config/config_dialogs.hpp"
#include "query/query_settings_dialog.hpp"
#include "support/temp_folder.hpp"

namespace {

void put_cursor(PollTabs& main, uint8_t column, uint8_t row)
{
    main.tab->table.cursor_column = column;
    main.tab->table.cursor_row = row;
}

void expect_cursor(PollTabs& main, int column, int row)
{
    EXPECT_EQ(main.tab->table.cursor_column, column);
    EXPECT_EQ(main.tab->table.cursor_row, row);
}

bool write_dialog_shown()
{
    return gtk_widget_get_visible(GTK_WIDGET(app().write.window));
}

// The Write dialog as a value cell opened it: address and value shown.
void expect_write_dialog(uint16_t address, const char* value)
{
    WriteDialog& write = app().write;
    EXPECT_TRUE(run_until(write_dialog_shown, 2000));
    EXPECT_EQ(gtk_spin_button_get_value_as_int(write.address_spin), address);
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(write.value_entry)), value);
    gtk_widget_set_visible(GTK_WIDGET(write.window), FALSE);
    drain_main_loop();
}

// The label showing text within root, or null.
GtkWidget* label_in(GtkWidget* root, const char* text)
{
    if (GTK_IS_LABEL(root) && g_str_equal(gtk_label_get_text(GTK_LABEL(root)), text))
        return root;
    for (GtkWidget* child = gtk_widget_get_first_child(root); child; child = gtk_widget_get_next_sibling(child))
        if (GtkWidget* found = label_in(child, text))
            return found;
    return nullptr;
}

// The visible window that shows the "Copy Value" alert, or null.
GtkWidget* copy_value_alert()
{
    GListModel* toplevels = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
        g_autoptr(GtkWidget) window = GTK_WIDGET(g_list_model_get_item(toplevels, i));
        if (gtk_widget_get_visible(window) && label_in(window, "Copy Value"))
            return window;
    }
    return nullptr;
}

// Right-clicks a value cell and returns the alert it opens, if any.
GtkWidget* open_alert(PollTabs& main, int column, int row)
{
    offer_copy_value(main.tab->table, cell_at(main, column, row));
    GtkWidget* alert = nullptr;
    EXPECT_TRUE(run_until([&] { return (alert = copy_value_alert()) != nullptr; }, 2000));
    return alert;
}

void press_alert_button(GtkWidget* alert, const char* label)
{
    ASSERT_NE(alert, nullptr);
    GtkWidget* button = gtk_widget_get_ancestor(label_in(alert, label), GTK_TYPE_BUTTON);
    ASSERT_NE(button, nullptr) << label;
    g_signal_emit_by_name(button, "clicked");
    ASSERT_TRUE(run_until([] { return copy_value_alert() == nullptr; }, 2000));
    run_for(50);  // the completion may be dispatched from an idle
}

std::string stored_label(PollTabs& main, uint16_t address)
{
    const LabelEntry* entry = find_label(main.tab->definition->labels, address);
    return entry ? entry->text : "<none>";
}

}  // namespace

// Arrows never wrap and never enter the header row or the row-number column;
// from those, only Right (row numbers) or Down (headers) leads into the cells.
TEST(GridKeys, ArrowsStopAtEveryEdge)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(0, 20);  // columns 1..4, rows 1..10
    struct Case {
        uint8_t column, row;
        guint key;
        int to_column, to_row;
    };
    const Case cases[] = {
        {4, 5, GDK_KEY_Right, 4, 5}, {1, 5, GDK_KEY_Left, 1, 5},   {2, 10, GDK_KEY_Down, 2, 10},
        {2, 1, GDK_KEY_Up, 2, 1},    {4, 10, GDK_KEY_Down, 4, 10}, {4, 10, GDK_KEY_Right, 4, 10},
        {1, 1, GDK_KEY_Up, 1, 1},    {1, 1, GDK_KEY_Left, 1, 1},   {2, 5, GDK_KEY_Right, 3, 5},
        {3, 5, GDK_KEY_Down, 3, 6},  {0, 4, GDK_KEY_Up, 0, 4},     {0, 4, GDK_KEY_Down, 0, 4},
        {0, 4, GDK_KEY_Left, 0, 4},  {0, 4, GDK_KEY_Return, 0, 4}, {0, 4, GDK_KEY_Right, 1, 4},
        {2, 0, GDK_KEY_Left, 2, 0},  {2, 0, GDK_KEY_Right, 2, 0},  {2, 0, GDK_KEY_Up, 2, 0},
        {2, 0, GDK_KEY_Down, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "column " << int(c.column) << " row " << int(c.row));
        click_cell(main, c.column, c.row);
        EXPECT_TRUE(press_key(main, c.key));
        expect_cursor(main, c.to_column, c.to_row);
        EXPECT_TRUE(is_active(main, c.to_column, c.to_row));
        EXPECT_EQ(is_active(main, c.column, c.row), c.to_column == c.column && c.to_row == c.row);
    }
    EXPECT_FALSE(write_dialog_shown());
    EXPECT_FALSE(press_key(main, GDK_KEY_a));
}

TEST(GridKeys, CtrlCCopiesWhatTheValueCellShows)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(3, 20);
    std::vector<uint16_t> values = numbered_values(20);
    values[1] = 255;  // address 4, row 5
    publish_values(values);
    gtk_drop_down_set_selected(main.format_selector, 2);
    const auto ctrl = GDK_CONTROL_MASK;
    struct Case {
        uint8_t column, row;
        guint key;
        GdkModifierType state;
        const char* copied;
    };
    const Case cases[] = {
        {1, 5, GDK_KEY_c, ctrl, "0x00FF"},  // a label cell copies the value beside it
        {2, 6, GDK_KEY_C, GdkModifierType(ctrl | GDK_SHIFT_MASK), "0x0066"},
        {2, 1, GDK_KEY_c, ctrl, "sentinel"},  // an empty spare cell copies nothing
        {3, 0, GDK_KEY_c, ctrl, "10"},        // a "Label" header, the value header beside it
        {2, 5, GDK_KEY_c, GdkModifierType(0), "sentinel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.copied);
        set_clipboard(main, "sentinel");
        put_cursor(main, c.column, c.row);
        EXPECT_EQ(press_key(main, c.key, c.state), c.state != 0);
        EXPECT_EQ(clipboard_text(main), c.copied);
    }
}

TEST(GridKeys, ReturnOrDoubleClickOnAValueCellOpensTheWriteDialog)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(3, 20);
    publish_values(numbered_values(20));
    put_cursor(main, 2, 5);  // address 4, entry 1
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    expect_write_dialog(4, "101");
    put_cursor(main, 2, 1);  // a spare cell offers 0 on Return
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    expect_write_dialog(0, "0");
    click_cell(main, 2, 2, 2);  // and 10 on a double click
    expect_cursor(main, 2, 2);
    expect_write_dialog(1, "10");
    click_cell(main, 4, 3, 2);  // address 12, entry 9
    expect_write_dialog(12, "109");
    // A double click on a header only marks it.
    click_cell(main, 2, 0, 2);
    EXPECT_FALSE(write_dialog_shown());
    EXPECT_TRUE(is_active(main, 2, 0));
}

TEST(GridClicks, SinglePressMovesTheMarkAndFocusesTheGrid)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(0, 20);
    gtk_widget_grab_focus(GTK_WIDGET(main.format_selector));
    click_cell(main, 1, 3);  // an insensitive label cell is found all the same
    expect_cursor(main, 1, 3);
    EXPECT_TRUE(is_active(main, 1, 3));
    EXPECT_TRUE(grid_is_focus_widget(main));
    // The background beside the last column: cursor numbers stay, nothing marked.
    on_grid_click(nullptr, 1, gtk_widget_get_width(GTK_WIDGET(main.tab->table.grid)) - 1.0,
                  gtk_widget_get_height(GTK_WIDGET(main.tab->table.grid)) - 1.0, &main.tab->table);
    expect_cursor(main, 1, 3);
    EXPECT_FALSE(is_active(main, 1, 3));
}

// Every way out of an edit stores the label, makes the cell idle again and
// leaves the keys with the grid. The keypad Enter runs both commits: making the
// cell insensitive drops its focus, so the trimmed commit runs first and the
// untrimmed activate commit has the last word.
TEST(GridLabels, LeavingAnEditStoresTheTrimmedLabel)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(0, 20);
    for (int way = 0; way < 5; ++way) {
        SCOPED_TRACE(way);
        int row = way + 2;  // address way + 1
        click_cell(main, 1, row, 2);
        GtkWidget* cell = cell_at(main, 1, row);
        // A new edit right after a commit keeps its focus.
        ASSERT_EQ(gtk_window_get_focus(GTK_WINDOW(main.window)), cell);
        int from = 0, to = 0;
        EXPECT_FALSE(gtk_editable_get_selection_bounds(GTK_EDITABLE(cell), &from, &to));
        gtk_editable_set_text(GTK_EDITABLE(cell), " \tPump \n");
        if (way == 0) {
            gtk_widget_grab_focus(GTK_WIDGET(main.format_selector));
            drain_main_loop();
        } else if (way == 1) {
            click_cell(main, 4, 8);
        } else if (way == 2) {
            EXPECT_TRUE(press_key(main, GDK_KEY_Return));  // changes nothing while editing
            EXPECT_EQ(text_at(main, 1, row), " \tPump \n");
            EXPECT_TRUE(press_key(main, GDK_KEY_Escape));
        } else if (way == 3) {
            EXPECT_TRUE(press_key(main, GDK_KEY_Down));
            expect_cursor(main, 1, row + 1);
        } else {
            EXPECT_FALSE(press_key(main, GDK_KEY_KP_Enter));  // it reaches the cell instead
            g_signal_emit_by_name(cell, "activate");
            drain_main_loop();
        }
        EXPECT_FALSE(gtk_widget_get_sensitive(cell));
        EXPECT_TRUE(grid_is_focus_widget(main));
        EXPECT_EQ(stored_label(main, uint16_t(way + 1)), way == 4 ? " \tPump \n" : "Pump");
    }
    // Escape on a cell that is not being edited changes nothing.
    EXPECT_TRUE(press_key(main, GDK_KEY_Escape));
    expect_cursor(main, 1, 6);

    // The cell keeps the typed text until a rebuild shows the stored one.
    EXPECT_EQ(text_at(main, 1, 2), " \tPump \n");
    build_grid(main.tab->table);
    EXPECT_EQ(text_at(main, 1, 2), "Pump");

    // Labels survive the label-column toggle, even one typed but not yet committed.
    click_cell(main, 1, 9, 2);
    gtk_editable_set_text(GTK_EDITABLE(cell_at(main, 1, 9)), "Mixer");
    toggle_label_column(main.tab->table);
    toggle_label_column(main.tab->table);
    EXPECT_EQ(text_at(main, 1, 2), "Pump");
    EXPECT_EQ(text_at(main, 1, 9), "Mixer");
}

TEST(GridLabels, ClearedBlankOrDefaultTextKeepsTheStore)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(0, 20);
    set_label(main.tab->definition->labels, 3, "Pump");
    build_grid(main.tab->table);
    // "Address 5" is no default for address 3: it replaces the stored label, so it comes last.
    for (const char* typed : {"", "  \t ", "Address 3", "Address 5"}) {
        SCOPED_TRACE(typed);
        click_cell(main, 1, 4);
        EXPECT_TRUE(press_key(main, GDK_KEY_Return));
        GtkWidget* cell = cell_at(main, 1, 4);
        ASSERT_EQ(gtk_window_get_focus(GTK_WINDOW(main.window)), cell);
        int from = 0, to = 0;
        EXPECT_TRUE(gtk_editable_get_selection_bounds(GTK_EDITABLE(cell), &from, &to));  // Return selects all
        gtk_editable_set_text(GTK_EDITABLE(cell), typed);
        click_cell(main, 2, 9);
        EXPECT_EQ(text_at(main, 1, 4), typed);
        build_grid(main.tab->table);
        const char* kept = g_str_equal(typed, "Address 5") ? "Address 5" : "Pump";
        EXPECT_EQ(text_at(main, 1, 4), kept);
    }
    EXPECT_EQ(main.tab->definition->labels.entries.size(), 1u);

    // A default text left on an unlabelled cell makes no entry.
    click_cell(main, 1, 6, 2);
    click_cell(main, 2, 2);
    EXPECT_EQ(main.tab->definition->labels.entries.size(), 1u);
}

TEST(CopyValueAlert, CloseLeavesTheClipboardAndCopyTakesTheTextOfTheMoment)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(3, 20);
    publish_values(numbered_values(20));
    set_clipboard(main, "sentinel");
    click_cell(main, 1, 1);
    GtkWidget* alert = open_alert(main, 2, 6);
    ASSERT_NE(alert, nullptr);
    EXPECT_NE(label_in(alert, "102"), nullptr);
    press_alert_button(alert, "Close");
    // The right click moved the mark to its cell (address 5, entry 2).
    expect_cursor(main, 2, 6);
    EXPECT_TRUE(is_active(main, 2, 6));
    EXPECT_FALSE(is_active(main, 1, 1));
    EXPECT_EQ(clipboard_text(main), "sentinel");

    alert = open_alert(main, 2, 6);
    std::vector<uint16_t> later = numbered_values(20);
    later[2] = 4321;  // a poll lands while the alert is open
    publish_values(later);
    press_alert_button(alert, "Copy");
    EXPECT_EQ(clipboard_text(main), "4321");

    // An empty spare cell copies nothing.
    press_alert_button(open_alert(main, 2, 1), "Copy");
    EXPECT_EQ(clipboard_text(main), "4321");
}

TEST(GridTopOfRange, CellsPastAddress65535NeverEditOrOpen)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(65530, 20);
    publish_values(std::vector<uint16_t>(20, 9));
    set_clipboard(main, "sentinel");
    for (auto [column, row] : {std::pair{2, 7}, std::pair{4, 1}, std::pair{1, 8}, std::pair{3, 10}}) {
        SCOPED_TRACE(testing::Message() << column << "," << row);
        click_cell(main, column, row);
        expect_cursor(main, column, row);
        EXPECT_TRUE(press_key(main, GDK_KEY_Return));
        click_cell(main, column, row, 2);
        EXPECT_TRUE(press_key(main, GDK_KEY_c, GDK_CONTROL_MASK));
        EXPECT_FALSE(write_dialog_shown());
        EXPECT_FALSE(gtk_widget_get_sensitive(cell_at(main, column, row)));
    }
    offer_copy_value(main.tab->table, cell_at(main, 2, 8));
    drain_main_loop();
    EXPECT_EQ(copy_value_alert(), nullptr);
    EXPECT_EQ(clipboard_text(main), "sentinel");
    EXPECT_TRUE(main.tab->definition->labels.entries.empty());

    // The last real address still works.
    put_cursor(main, 2, 6);
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    expect_write_dialog(65535, "9");
}

// FLOAT32 from address 13: 13-14 hold pi, 15-16 hold 1, 17 is cut off.
TEST(GridGroups, CopyReturnDoubleClickAndCopyValueActOnTheWholeValue)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(13, 5);
    gtk_drop_down_set_selected(main.format_selector, unsigned(ValueFormat::FLOAT32));
    publish_values({0x4049, 0x0FDB, 0x3F80, 0x0000, 7});
    struct Copy {
        uint8_t column, row;
        const char* copied;
    };
    // Address 14, the label beside it, 16, and the cut-off 17.
    const Copy copies[] = {{2, 5, "3.1415927"}, {1, 5, "3.1415927"}, {2, 7, "1"}, {2, 8, "sentinel"}};
    for (const Copy& c : copies) {
        SCOPED_TRACE(testing::Message() << int(c.column) << "," << int(c.row));
        set_clipboard(main, "sentinel");
        put_cursor(main, c.column, c.row);
        press_key(main, GDK_KEY_c, GDK_CONTROL_MASK);
        EXPECT_EQ(clipboard_text(main), c.copied);
    }

    put_cursor(main, 2, 5);
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    expect_write_dialog(13, "3.1415927");
    click_cell(main, 2, 7, 2);
    expect_write_dialog(15, "1");
    click_cell(main, 2, 8, 2);  // the cut-off register offers the fallback, as a float
    expect_write_dialog(17, "10");

    set_clipboard(main, "sentinel");
    GtkWidget* alert = open_alert(main, 2, 7);
    ASSERT_NE(alert, nullptr);
    EXPECT_NE(label_in(alert, "1"), nullptr);
    press_alert_button(alert, "Copy");
    EXPECT_EQ(clipboard_text(main), "1");
}

// A label longer than its cell shows its beginning and "…", cannot be typed
// into, and survives being entered and left by every way of ending an edit.
// Text too long to fit a short label's cell is refused whole, not cut.
TEST(GridLabels, LongLabelsAreNeverCutInTheStore)
{
    REQUIRE_DISPLAY();
    const std::string long_label = std::string(99998, 'L') + "\xE2\x82\xAC";  // 100,001 bytes
    PollTabs& main = grid_for(0, 20);
    set_label(main.tab->definition->labels, 2, long_label);
    set_label(main.tab->definition->labels, 3, " Pump ");
    build_grid(main.tab->table);
    GtkWidget* cell = cell_at(main, 1, 3);
    // Compared whole, as the failure would print 100,000 bytes.
    EXPECT_TRUE(text_at(main, 1, 3) == std::string(label_cell_capacity - 3, 'L') + "\xE2\x80\xA6");
    EXPECT_FALSE(gtk_editable_get_editable(GTK_EDITABLE(cell)));

    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        click_cell(main, 1, 3, 2);
        ASSERT_EQ(gtk_window_get_focus(GTK_WINDOW(main.window)), cell);
        if (way == 0)
            click_cell(main, 2, 9);
        else if (way == 1)
            g_signal_emit_by_name(cell, "activate");
        else
            build_grid(main.tab->table);
        drain_main_loop();
        cell = cell_at(main, 1, 3);
    }
    EXPECT_EQ(stored_label(main, 2).size(), long_label.size());
    EXPECT_TRUE(stored_label(main, 2) == long_label);

    // An untouched cell keeps even a label that a typed one would trim.
    click_cell(main, 1, 4, 2);
    g_signal_emit_by_name(cell_at(main, 1, 4), "activate");
    click_cell(main, 2, 9);
    EXPECT_EQ(stored_label(main, 3), " Pump ");

    // Pasting 100,000 bytes into a short label is refused with a bell.
    click_cell(main, 1, 5, 2);
    GtkEditable* typed = GTK_EDITABLE(cell_at(main, 1, 5));
    int position = 9;  // after "Address 4"
    gtk_editable_insert_text(typed, long_label.c_str(), -1, &position);
    EXPECT_EQ(text_at(main, 1, 5), "Address 4");
    gtk_editable_insert_text(typed, " Tank", -1, &position);
    click_cell(main, 2, 9);
    EXPECT_EQ(stored_label(main, 4), "Address 4 Tank");
}

// An edit still open (the window inactive, so no focus loss was reported)
// when a new definition or a loaded file replaces the block commits at the
// address it was typed at, not at the new block's address in that cell.
TEST(GridLabels, OpenEditCommitsBeforeTheBlockIsReplaced)
{
    REQUIRE_DISPLAY();
    TempFolder folder;
    std::string file = folder.file("flow.dat");
    write_file(file, "POLL address=100 length=10\nLABEL 105 \"Flow\"\n");
    for (bool load : {false, true}) {
        SCOPED_TRACE(load ? "load" : "Query Settings");
        PollTabs& main = grid_for(0, 10);
        main.tab->definition->labels = LabelStore{};
        GtkWidget* cell = cell_at(main, 1, 6);  // address 5
        gtk_widget_set_sensitive(cell, TRUE);
        gtk_root_set_focus(GTK_ROOT(main.window), cell);
        gtk_editable_set_text(GTK_EDITABLE(cell), "Typed");
        if (load) {
            ASSERT_TRUE(load_configuration_file(app().set_up_files, file.c_str()));
            drain_main_loop();  // the grid is built in a turn of its own
            EXPECT_EQ(main.tab->definition->labels.entries, (std::vector<LabelEntry>{{105, "Flow"}}));
        } else {
            // Not presented: showing the dialog could take the focus from the cell.
            QuerySettingsDialog& dialog = app().query_settings;
            gtk_spin_button_set_value(dialog.address_spin, 100);
            gtk_spin_button_set_value(dialog.length_spin, 10);
            gtk_drop_down_set_selected(dialog.function_code_dropdown, 2);
            apply_query_settings(dialog);
            EXPECT_EQ(main.tab->definition->labels.entries, (std::vector<LabelEntry>{{5, "Typed"}}));
        }
        EXPECT_EQ(copy_poll_definition().address, 100);
        EXPECT_EQ(text_at(main, 1, 6), load ? "Flow" : "Address 105");
    }
}
