#include "grid_fixture.hpp"

#include <functional>

namespace {

constexpr auto no_modifier = GdkModifierType(0);

void put_cursor(MainWindow& main, uint8_t column, uint8_t row)
{
    main.cursor_column = column;
    main.cursor_row = row;
}

void expect_cursor(MainWindow& main, int column, int row)
{
    EXPECT_EQ(main.cursor_column, column);
    EXPECT_EQ(main.cursor_row, row);
}

bool write_dialog_shown()
{
    return gtk_widget_get_visible(GTK_WIDGET(app().write.window));
}

void hide_write_dialog()
{
    gtk_widget_set_visible(GTK_WIDGET(app().write.window), FALSE);
    drain_main_loop();
}

// The Write dialog as a value cell opened it: address and value shown.
void expect_write_dialog(uint16_t address, const char* value)
{
    WriteDialog& write = app().write;
    bool shown = run_until(write_dialog_shown, 2000);
    int shown_address = write.address_spin ? gtk_spin_button_get_value_as_int(write.address_spin) : -1;
    std::string shown_value = write.value_entry ? gtk_editable_get_text(GTK_EDITABLE(write.value_entry)) : "<none>";
    hide_write_dialog();
    EXPECT_TRUE(shown);
    EXPECT_EQ(shown_address, address);
    EXPECT_EQ(shown_value, value);
}

GtkWidget* find_descendant(GtkWidget* root, const std::function<bool(GtkWidget*)>& match)
{
    if (match(root))
        return root;
    for (GtkWidget* child = gtk_widget_get_first_child(root); child; child = gtk_widget_get_next_sibling(child))
        if (GtkWidget* found = find_descendant(child, match))
            return found;
    return nullptr;
}

bool is_label_with(GtkWidget* widget, const char* text)
{
    return GTK_IS_LABEL(widget) && g_strcmp0(gtk_label_get_text(GTK_LABEL(widget)), text) == 0;
}

// The visible window that shows the "Copy Value" alert, or null.
GtkWidget* copy_value_alert()
{
    GListModel* toplevels = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
        g_autoptr(GtkWidget) window = GTK_WIDGET(g_list_model_get_item(toplevels, i));
        if (gtk_widget_get_visible(window) &&
            find_descendant(window, [](GtkWidget* w) { return is_label_with(w, "Copy Value"); }))
            return window;
    }
    return nullptr;
}

void press_alert_button(GtkWidget* alert, const char* label)
{
    GtkWidget* button = find_descendant(alert, [&](GtkWidget* w) {
        return GTK_IS_BUTTON(w) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(w)), label) == 0;
    });
    ASSERT_NE(button, nullptr) << label;
    g_signal_emit_by_name(button, "clicked");
    ASSERT_TRUE(run_until([] { return copy_value_alert() == nullptr; }, 2000));
    run_for(50);  // the completion may be dispatched from an idle
}

void right_click(MainWindow& main, int column, int row)
{
    on_value_right_click(nullptr, 1, 2.0, 2.0, cell_at(main, column, row));
    drain_main_loop();
}

}  // namespace

TEST(GridKeys, ArrowsAtEveryEdgeLeaveTheCursor)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);  // columns 1..4, rows 1..10
    struct Case {
        uint8_t column, row;
        guint key;
    };
    const Case edges[] = {
        {4, 5, GDK_KEY_Right}, {1, 5, GDK_KEY_Left}, {2, 10, GDK_KEY_Down}, {2, 1, GDK_KEY_Up},
        {4, 10, GDK_KEY_Down}, {4, 10, GDK_KEY_Right}, {1, 1, GDK_KEY_Up}, {1, 1, GDK_KEY_Left},
    };
    for (const Case& c : edges) {
        SCOPED_TRACE(testing::Message() << "column " << int(c.column) << " row " << int(c.row));
        put_cursor(main, c.column, c.row);
        EXPECT_TRUE(press_key(main, c.key));
        expect_cursor(main, c.column, c.row);
    }

    // An ordinary step moves the mark along.
    put_cursor(main, 2, 5);
    gtk_widget_add_css_class(cell_at(main, 2, 5), "active");
    EXPECT_TRUE(press_key(main, GDK_KEY_Right));
    expect_cursor(main, 3, 5);
    EXPECT_FALSE(is_active(main, 2, 5));
    EXPECT_TRUE(is_active(main, 3, 5));
    EXPECT_TRUE(press_key(main, GDK_KEY_Down));
    expect_cursor(main, 3, 6);
    EXPECT_FALSE(press_key(main, GDK_KEY_a));
}

TEST(GridKeys, FromARowNumberRightEntersColumnOne)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    click_cell(main, 0, 4);
    expect_cursor(main, 0, 4);
    EXPECT_TRUE(is_active(main, 0, 4));
    for (guint key : {GDK_KEY_Return, GDK_KEY_Up, GDK_KEY_Down, GDK_KEY_Left}) {
        EXPECT_TRUE(press_key(main, key));
        expect_cursor(main, 0, 4);
    }
    EXPECT_FALSE(write_dialog_shown());
    EXPECT_TRUE(press_key(main, GDK_KEY_Right));
    expect_cursor(main, 1, 4);
    EXPECT_TRUE(is_active(main, 1, 4));
    EXPECT_FALSE(is_active(main, 0, 4));
}

TEST(GridKeys, FromAHeaderDownEntersRowOne)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    click_cell(main, 2, 0);
    expect_cursor(main, 2, 0);
    EXPECT_TRUE(is_active(main, 2, 0));
    EXPECT_TRUE(press_key(main, GDK_KEY_Left));
    EXPECT_TRUE(press_key(main, GDK_KEY_Right));
    EXPECT_TRUE(press_key(main, GDK_KEY_Up));
    expect_cursor(main, 2, 0);
    EXPECT_TRUE(press_key(main, GDK_KEY_Down));
    expect_cursor(main, 2, 1);
}

TEST(GridKeys, CtrlCCopiesWhatTheValueCellShows)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(3, 20);
    std::vector<uint16_t> values = numbered_values(20);
    values[1] = 255;  // address 4, row 5
    publish_values(values);
    gtk_drop_down_set_selected(main.format_selector, 2);

    // On a label cell: the value of the same address, not the label.
    put_cursor(main, 1, 5);
    EXPECT_TRUE(press_key(main, GDK_KEY_c, GDK_CONTROL_MASK));
    EXPECT_EQ(clipboard_text(main), "0x00FF");

    put_cursor(main, 2, 6);
    set_clipboard(main, "sentinel");
    EXPECT_TRUE(press_key(main, GDK_KEY_C, GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK)));
    EXPECT_EQ(clipboard_text(main), "0x0066");

    // An empty spare cell copies nothing.
    put_cursor(main, 2, 1);
    set_clipboard(main, "sentinel");
    EXPECT_TRUE(press_key(main, GDK_KEY_c, GDK_CONTROL_MASK));
    EXPECT_EQ(clipboard_text(main), "sentinel");

    // From a "Label" header, the value header beside it; a plain c is no copy.
    put_cursor(main, 3, 0);
    EXPECT_TRUE(press_key(main, GDK_KEY_c, GDK_CONTROL_MASK));
    EXPECT_EQ(clipboard_text(main), "10");
    put_cursor(main, 2, 5);
    EXPECT_FALSE(press_key(main, GDK_KEY_c, no_modifier));
    EXPECT_EQ(clipboard_text(main), "10");
}

TEST(GridKeys, ReturnOnAValueCellOpensTheWriteDialog)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(3, 20);
    publish_values(numbered_values(20));
    put_cursor(main, 2, 5);  // address 4, entry 1
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    expect_write_dialog(4, "101");

    put_cursor(main, 2, 1);  // address 0, a spare cell
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    expect_write_dialog(0, "0");
}

TEST(GridClicks, DoubleClickOpensTheWriteDialogWithFallbackTen)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(3, 20);
    publish_values(numbered_values(20));
    click_cell(main, 2, 2, 2);  // address 1, spare
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
    MainWindow& main = grid_for(0, 20);
    click_cell(main, 1, 3);  // an insensitive label cell is found all the same
    expect_cursor(main, 1, 3);
    EXPECT_TRUE(is_active(main, 1, 3));
    EXPECT_TRUE(grid_is_focus_widget(main));
    EXPECT_FALSE(gtk_widget_get_sensitive(cell_at(main, 1, 3)));
    click_cell(main, 4, 7);
    EXPECT_FALSE(is_active(main, 1, 3));
    EXPECT_TRUE(is_active(main, 4, 7));
    // The background beside the last column: cursor numbers stay, nothing marked.
    on_grid_click(nullptr, 1, gtk_widget_get_width(GTK_WIDGET(main.grid)) - 1.0,
                  gtk_widget_get_height(GTK_WIDGET(main.grid)) - 1.0, &main);
    expect_cursor(main, 4, 7);
    EXPECT_FALSE(is_active(main, 4, 7));
}

TEST(GridLabels, TypedLabelIsStoredTrimmedWhenLeaving)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    click_cell(main, 1, 4, 2);  // address 3
    GtkWidget* cell = cell_at(main, 1, 4);
    ASSERT_TRUE(gtk_widget_get_sensitive(cell));
    EXPECT_TRUE(gtk_widget_has_focus(cell));
    int from = 0, to = 0;
    EXPECT_FALSE(gtk_editable_get_selection_bounds(GTK_EDITABLE(cell), &from, &to));
    gtk_editable_set_text(GTK_EDITABLE(cell), " \tInlet pump \n");
    click_cell(main, 4, 8);
    EXPECT_FALSE(gtk_widget_get_sensitive(cell));
    EXPECT_TRUE(grid_is_focus_widget(main));
    ASSERT_EQ(main.labels.entries.size(), 1u);
    EXPECT_EQ(main.labels.entries[0], (LabelEntry{3, "Inlet pump"}));
    // The cell keeps the typed text until a rebuild shows the stored one.
    EXPECT_EQ(text_at(main, 1, 4), " \tInlet pump \n");
    build_grid(main);
    EXPECT_EQ(text_at(main, 1, 4), "Inlet pump");

    // The label survives the label-column toggle both ways.
    toggle_label_column(main);
    toggle_label_column(main);
    EXPECT_EQ(text_at(main, 1, 4), "Inlet pump");
}

TEST(GridLabels, LeavingForAnotherWidgetLeavesTheFocusOnTheGrid)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    click_cell(main, 1, 4, 2);
    GtkWidget* cell = cell_at(main, 1, 4);
    ASSERT_TRUE(gtk_widget_has_focus(cell));
    gtk_editable_set_text(GTK_EDITABLE(cell), "Valve");
    gtk_widget_grab_focus(GTK_WIDGET(main.format_selector));
    drain_main_loop();
    EXPECT_FALSE(gtk_widget_get_sensitive(cell));
    EXPECT_TRUE(grid_is_focus_widget(main));
    ASSERT_NE(find_label(main.labels, 3), nullptr);
    EXPECT_EQ(find_label(main.labels, 3)->text, "Valve");

    // A new edit started right after a commit keeps its focus.
    click_cell(main, 1, 5, 2);
    EXPECT_TRUE(gtk_widget_has_focus(cell_at(main, 1, 5)));
}

TEST(GridLabels, ClearedBlankOrDefaultTextKeepsTheStore)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    set_label(main.labels, 3, "Pump");
    build_grid(main);
    for (const char* typed : {"", "  \t ", "Address 3", "Address 5"}) {
        SCOPED_TRACE(typed);
        click_cell(main, 1, 4);
        EXPECT_TRUE(press_key(main, GDK_KEY_Return));
        GtkWidget* cell = cell_at(main, 1, 4);
        ASSERT_TRUE(gtk_widget_has_focus(cell));
        int from = 0, to = 0;
        EXPECT_TRUE(gtk_editable_get_selection_bounds(GTK_EDITABLE(cell), &from, &to));  // Return selects all
        gtk_editable_set_text(GTK_EDITABLE(cell), typed);
        click_cell(main, 2, 9);
        EXPECT_EQ(text_at(main, 1, 4), typed);
        build_grid(main);
        // "Address 5" is no default for address 3: it is a label like any other.
        const char* kept = g_str_equal(typed, "Address 5") ? "Address 5" : "Pump";
        EXPECT_EQ(text_at(main, 1, 4), kept);
        set_label(main.labels, 3, "Pump");
        build_grid(main);
    }
    EXPECT_EQ(main.labels.entries.size(), 1u);

    // A default text left on an unlabelled cell makes no entry.
    click_cell(main, 1, 6, 2);
    click_cell(main, 2, 2);
    EXPECT_EQ(main.labels.entries.size(), 1u);
}

TEST(GridLabels, EscapeAndArrowsEndTheEdit)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    click_cell(main, 3, 2);  // address 11
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    GtkWidget* cell = cell_at(main, 3, 2);
    ASSERT_TRUE(gtk_widget_has_focus(cell));
    // Return while editing changes nothing; Escape ends the edit and commits.
    gtk_editable_set_text(GTK_EDITABLE(cell), "Heater");
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    EXPECT_EQ(text_at(main, 3, 2), "Heater");
    EXPECT_TRUE(press_key(main, GDK_KEY_Escape));
    EXPECT_FALSE(gtk_widget_get_sensitive(cell));
    // The keys must go on reaching the grid.
    EXPECT_TRUE(grid_is_focus_widget(main));
    ASSERT_NE(find_label(main.labels, 11), nullptr);
    EXPECT_EQ(find_label(main.labels, 11)->text, "Heater");

    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    gtk_editable_set_text(GTK_EDITABLE(cell), "Cooler");
    EXPECT_TRUE(press_key(main, GDK_KEY_Down));
    expect_cursor(main, 3, 3);
    EXPECT_FALSE(gtk_widget_get_sensitive(cell));
    EXPECT_TRUE(grid_is_focus_widget(main));
    EXPECT_EQ(find_label(main.labels, 11)->text, "Cooler");
    // Escape on a cell that is not being edited changes nothing.
    EXPECT_TRUE(press_key(main, GDK_KEY_Escape));
    expect_cursor(main, 3, 3);
}

TEST(GridLabels, KeypadEnterRunsBothCommitsFocusLossFirst)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    click_cell(main, 1, 2, 2);  // address 1
    GtkWidget* cell = cell_at(main, 1, 2);
    gtk_editable_set_text(GTK_EDITABLE(cell), "  Tank  ");
    // The keypad Enter is no grid key: it reaches the cell and activates it.
    EXPECT_FALSE(press_key(main, GDK_KEY_KP_Enter));
    g_signal_emit_by_name(cell, "activate");
    drain_main_loop();
    // Making the cell insensitive drops its focus, so the trimmed commit runs
    // first and the untrimmed activate commit has the last word.
    ASSERT_NE(find_label(main.labels, 1), nullptr);
    EXPECT_EQ(find_label(main.labels, 1)->text, "  Tank  ");
    EXPECT_FALSE(gtk_widget_get_sensitive(cell));
    EXPECT_TRUE(grid_is_focus_widget(main));

    // So the keypad Enter can store an empty label.
    click_cell(main, 1, 2, 2);
    gtk_editable_set_text(GTK_EDITABLE(cell), "");
    g_signal_emit_by_name(cell, "activate");
    EXPECT_EQ(find_label(main.labels, 1)->text, "");
}

TEST(GridLabels, RebuildWhileEditingKeepsTheTypedLabel)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    click_cell(main, 1, 9, 2);  // address 8
    gtk_editable_set_text(GTK_EDITABLE(cell_at(main, 1, 9)), "Mixer");
    toggle_label_column(main);
    toggle_label_column(main);
    EXPECT_EQ(text_at(main, 1, 9), "Mixer");
}

TEST(CopyValueAlert, CloseLeavesTheClipboardAndCopyTakesTheTextOfTheMoment)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    publish_values(numbered_values(20));
    set_clipboard(main, "sentinel");
    click_cell(main, 1, 1);
    right_click(main, 2, 3);
    expect_cursor(main, 2, 3);
    EXPECT_TRUE(is_active(main, 2, 3));
    EXPECT_FALSE(is_active(main, 1, 1));
    GtkWidget* alert = nullptr;
    ASSERT_TRUE(run_until([&] { return (alert = copy_value_alert()) != nullptr; }, 2000));
    EXPECT_NE(find_descendant(alert, [](GtkWidget* w) { return is_label_with(w, "102"); }), nullptr);
    press_alert_button(alert, "Close");
    EXPECT_EQ(clipboard_text(main), "sentinel");

    right_click(main, 2, 3);
    ASSERT_TRUE(run_until([&] { return (alert = copy_value_alert()) != nullptr; }, 2000));
    std::vector<uint16_t> later = numbered_values(20);
    later[2] = 4321;  // a poll lands while the alert is open
    publish_values(later);
    press_alert_button(alert, "Copy");
    EXPECT_EQ(clipboard_text(main), "4321");
}

TEST(CopyValueAlert, EmptyCellCopiesNothing)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(5, 3);
    set_clipboard(main, "sentinel");
    right_click(main, 2, 1);  // spare
    GtkWidget* alert = nullptr;
    ASSERT_TRUE(run_until([&] { return (alert = copy_value_alert()) != nullptr; }, 2000));
    press_alert_button(alert, "Copy");
    EXPECT_EQ(clipboard_text(main), "sentinel");
}

TEST(GridTopOfRange, CellsPastAddress65535NeverEditOrOpen)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(65530, 20);
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
    right_click(main, 2, 8);
    EXPECT_EQ(copy_value_alert(), nullptr);
    EXPECT_EQ(clipboard_text(main), "sentinel");

    // Even a label cell forced into an edit stores nothing for 65536.
    GtkWidget* cell = cell_at(main, 1, 7);
    gtk_widget_set_sensitive(cell, TRUE);
    gtk_widget_grab_focus(cell);
    gtk_editable_set_text(GTK_EDITABLE(cell), "Beyond");
    g_signal_emit_by_name(cell, "activate");
    EXPECT_TRUE(main.labels.entries.empty());

    // The last real address still works.
    put_cursor(main, 2, 6);
    EXPECT_TRUE(press_key(main, GDK_KEY_Return));
    expect_write_dialog(65535, "9");
}
