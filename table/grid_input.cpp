#include "table/grid_input.hpp"

#include <memory>

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "widgets/dialog_layer.hpp"
#include "app/main_window.hpp"
#include "setup/label_store.hpp"
#include "table/register_grid.hpp"

namespace {

constexpr size_t default_text_size = 64;

// Set on a label cell once its text changes after it was built: only such
// a cell commits, so a cell merely entered and left never touches the store.
constexpr const char* typed_key = "brenvaldor-label-typed";

// Value cells sent to the Write dialog use this when double-clicked beside
// no polled value; Return uses 0.
constexpr uint16_t double_click_fallback = 10;
constexpr uint16_t return_fallback = 0;

MainWindow& main_of(gpointer data)
{
    return *static_cast<MainWindow*>(data);
}

GtkWidget* cell_at(MainWindow& main, unsigned column, unsigned row)
{
    return gtk_grid_get_child_at(main.tab->grid, static_cast<int>(column), static_cast<int>(row));
}

GtkWidget* cursor_cell(MainWindow& main)
{
    return cell_at(main, main.tab->cursor_column, main.tab->cursor_row);
}

void unmark_cursor(MainWindow& main)
{
    if (GtkWidget* cell = cursor_cell(main))
        gtk_widget_remove_css_class(cell, "active");
}

// Moves the cursor to a grid position and marks the cell there.
void move_cursor(MainWindow& main, unsigned column, unsigned row)
{
    main.tab->cursor_column = static_cast<uint8_t>(column);
    main.tab->cursor_row = static_cast<uint8_t>(row);
    if (GtkWidget* cell = cursor_cell(main))
        gtk_widget_add_css_class(cell, "active");
}

bool position_of(MainWindow& main, GtkWidget* cell, unsigned& column, unsigned& row)
{
    if (gtk_widget_get_parent(cell) != GTK_WIDGET(main.tab->grid))
        return false;
    int c = 0, r = 0;
    gtk_grid_query_child(main.tab->grid, cell, &c, &r, nullptr, nullptr);
    column = static_cast<unsigned>(c);
    row = static_cast<unsigned>(r);
    return true;
}

const char* cell_text(GtkWidget* cell)
{
    if (GTK_IS_LABEL(cell))
        return gtk_label_get_text(GTK_LABEL(cell));
    if (GTK_IS_EDITABLE(cell))
        return gtk_editable_get_text(GTK_EDITABLE(cell));
    return "";
}

void copy_to_clipboard(MainWindow& main, const char* text)
{
    if (!text || !*text)
        return;
    GdkClipboard* clipboard = main.window ? gtk_widget_get_clipboard(GTK_WIDGET(main.window)) : nullptr;
    if (!clipboard)
        clipboard = gdk_display_get_clipboard(gdk_display_get_default());
    gdk_clipboard_set_text(clipboard, text);
}

// The address of a label or value cell, if it lies within 0..65535.
bool addressable(MainWindow& main, unsigned column, unsigned row, uint16_t& address)
{
    uint32_t wide = cell_address(current_grid_layout(main), column, row);
    if (wide > highest_address)
        return false;
    address = static_cast<uint16_t>(wide);
    return true;
}

void start_label_edit(GtkWidget* cell, bool select_all)
{
    gtk_widget_set_sensitive(cell, TRUE);
    if (select_all)
        gtk_widget_grab_focus(cell);  // a GtkText selects its text on focus
    else
        gtk_text_grab_focus_without_selecting(GTK_TEXT(cell));
}

// The cell that shows the value of the group a value cell belongs to: the
// group's first cell, or the cell itself where values are not grouped.
GtkWidget* group_cell(MainWindow& main, GtkWidget* cell, unsigned column, unsigned row)
{
    GridLayout layout = current_grid_layout(main);
    if (row == 0 || column == 0 || is_label_cell(layout, column, row))
        return cell;
    uint32_t address = cell_address(layout, column, row);
    uint32_t first = group_first_address(main, address);
    return first == address ? cell : GTK_WIDGET(main.tab->value_cells[first - layout.start]);
}

// Return or a double click on the cursor cell: edit its label, or open the
// Write dialog for its address.
void act_on_cursor_cell(MainWindow& main, bool select_all, uint16_t fallback)
{
    unsigned column = main.tab->cursor_column, row = main.tab->cursor_row;
    GtkWidget* cell = cursor_cell(main);
    uint16_t address = 0;
    if (row == 0 || column == 0 || !cell || !addressable(main, column, row, address))
        return;
    if (is_label_cell(current_grid_layout(main), column, row)) {
        if (!gtk_widget_get_sensitive(cell))  // Return while editing goes on editing
            start_label_edit(cell, select_all);
    } else {
        // A value of several registers is written from its first address.
        if (main.open_write)
            main.open_write(static_cast<uint16_t>(group_first_address(main, address)), fallback);
    }
}

// Ends an edit from the keys. Making the focused cell insensitive runs the
// focus-loss commit, which hands the focus to the grid from inside the
// toolkit's own focus change; the toolkit then finishes its change and
// leaves the window with no focus widget, so no key would reach the grid.
void end_label_edit(MainWindow& main, GtkWidget* cell)
{
    gtk_widget_set_sensitive(cell, FALSE);
    if (!gtk_window_get_focus(GTK_WINDOW(main.window)))
        gtk_widget_grab_focus(GTK_WIDGET(main.tab->grid));
}

void copy_cursor_value(MainWindow& main)
{
    unsigned column = main.tab->cursor_column;
    // From a label column, the value beside it (or the header beside "Label").
    if (main.tab->labels_visible && column % 2 == 1)
        ++column;
    if (GtkWidget* cell = cell_at(main, column, main.tab->cursor_row))
        copy_to_clipboard(main, cell_text(group_cell(main, cell, column, main.tab->cursor_row)));
}

void escape_edit(MainWindow& main)
{
    GtkWidget* cell = cursor_cell(main);
    if (cell && is_label_cell(current_grid_layout(main), main.tab->cursor_column, main.tab->cursor_row) &&
        gtk_widget_get_sensitive(cell))
        end_label_edit(main, cell);
}

void step_cursor(MainWindow& main, int dc, int dr)
{
    // 8-bit arithmetic: stepping left of column 0 lands on 255, where no cell is.
    uint8_t column = static_cast<uint8_t>(main.tab->cursor_column + dc);
    uint8_t row = static_cast<uint8_t>(main.tab->cursor_row + dr);
    if (column == 0 || row == 0 || !cell_at(main, column, row))
        return;
    GtkWidget* old = cursor_cell(main);
    if (old) {
        gtk_widget_remove_css_class(old, "active");
        bool editing = main.tab->labels_visible && gtk_widget_get_sensitive(old) && main.tab->cursor_row != 0 &&
                       main.tab->cursor_column % 2 == 1;
        if (editing)
            end_label_edit(main, old);
    }
    move_cursor(main, column, row);
}

bool is_arrow(guint keyval, int& dc, int& dr)
{
    dc = dr = 0;
    switch (keyval) {
    case GDK_KEY_Left:
        dc = -1;
        return true;
    case GDK_KEY_Right:
        dc = 1;
        return true;
    case GDK_KEY_Up:
        dr = -1;
        return true;
    case GDK_KEY_Down:
        dr = 1;
        return true;
    default:
        return false;
    }
}

// The cell of the grid under a picked widget (the widget itself, or the
// cell that holds it), or null for the grid's background.
GtkWidget* cell_of_pick(MainWindow& main, GtkWidget* picked)
{
    GtkWidget* grid = GTK_WIDGET(main.tab->grid);
    while (picked && picked != grid && gtk_widget_get_parent(picked) != grid)
        picked = gtk_widget_get_parent(picked);
    return picked == grid ? nullptr : picked;
}

// The value cell a "Copy Value" choice is about, held until the choice ends.
struct CopyChoice {
    MainWindow* main;
    GtkWidget* cell;
};

void on_copy_value_chosen(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<CopyChoice> choice(static_cast<CopyChoice*>(data));
    g_autoptr(GError) error = nullptr;
    int button = alert_dialog_choose_finish(ALERT_DIALOG(source), result, &error);
    // Polling goes on while the alert is open: copy what the cell shows now.
    if (button == 1)
        copy_to_clipboard(*choice->main, cell_text(choice->cell));
    g_object_unref(choice->cell);
}

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// The address of a label cell from its own place in the grid.
bool label_cell_address(MainWindow& main, GtkWidget* cell, uint16_t& address)
{
    unsigned column = 0, row = 0;
    if (!position_of(main, cell, column, row) || row == 0 || column == 0)
        return false;
    GridLayout layout = current_grid_layout(main);
    layout.labels_visible = true;  // only label cells get here
    uint32_t wide = cell_address(layout, column, row);
    if (wide > highest_address)
        return false;
    address = static_cast<uint16_t>(wide);
    return true;
}

// The focus-loss commit runs inside the toolkit's own focus change, which
// afterwards puts the focus where it was headed (another widget of the
// window, or none), undoing the commit's hand-over to the grid. Once that
// change is over, the grid takes the focus, unless a new label edit has
// started meanwhile.
void settle_focus_on_grid(gpointer data)
{
    MainWindow& main = main_of(data);
    GtkWidget* grid = GTK_WIDGET(main.tab->grid);
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(main.window));
    if (focus != grid && !(focus && gtk_widget_get_parent(focus) == grid))
        gtk_widget_grab_focus(grid);
}

// Stores a typed label; another text than the one held changes the set-up.
bool store_typed_label(MainWindow& main, uint16_t address, std::string_view text)
{
    return set_definition_label(*main.model, *main.tab->definition, address, text);
}

bool was_typed(GtkWidget* cell)
{
    return g_object_get_data(G_OBJECT(cell), typed_key) != nullptr;
}

void on_label_changed(GtkEditable* cell, gpointer)
{
    g_object_set_data(G_OBJECT(cell), typed_key, GINT_TO_POINTER(1));
}

// The cell's buffer would keep only the part of an insertion that fits and
// drop the rest unseen; an insertion that does not fit whole is refused
// with the bell instead.
void on_label_insert(GtkEditable* cell, const char* text, int length, int*, gpointer)
{
    size_t held = gtk_entry_buffer_get_bytes(gtk_text_get_buffer(GTK_TEXT(cell)));
    size_t adding = length < 0 ? std::strlen(text) : size_t(length);
    if (held + adding > label_cell_capacity) {
        g_signal_stop_emission_by_name(cell, "insert-text");
        gtk_widget_error_bell(GTK_WIDGET(cell));
    }
}

}  // namespace

uint32_t cursor_address(const MainWindow& main)
{
    return cell_address(current_grid_layout(main), main.tab->cursor_column, main.tab->cursor_row);
}

gboolean on_grid_key(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data)
{
    MainWindow& main = main_of(data);
    int dc = 0, dr = 0;
    if ((state & GDK_CONTROL_MASK) && (keyval == GDK_KEY_c || keyval == GDK_KEY_C)) {
        copy_cursor_value(main);
    } else if (keyval == GDK_KEY_Return) {
        act_on_cursor_cell(main, true, return_fallback);
    } else if (keyval == GDK_KEY_Escape) {
        escape_edit(main);
    } else if (is_arrow(keyval, dc, dr)) {
        step_cursor(main, dc, dr);
    } else {
        return FALSE;
    }
    return TRUE;
}

void on_grid_click(GtkGestureClick*, int n_press, double x, double y, gpointer data)
{
    MainWindow& main = main_of(data);
    // Label cells are insensitive while idle: pick them all the same.
    GtkWidget* picked = gtk_widget_pick(GTK_WIDGET(main.tab->grid), x, y, GTK_PICK_INSENSITIVE);
    GtkWidget* cell = cell_of_pick(main, picked);
    gtk_widget_grab_focus(GTK_WIDGET(main.tab->grid));
    if (n_press == 2) {
        // The first press already moved the cursor here; a double click on
        // the background acts on no cell.
        if (cell && cell == cursor_cell(main))
            act_on_cursor_cell(main, false, double_click_fallback);
        return;
    }
    unmark_cursor(main);
    unsigned column = 0, row = 0;
    if (cell && position_of(main, cell, column, row))
        move_cursor(main, column, row);
}

void on_value_right_click(GtkGestureClick* gesture, int, double, double, gpointer main)
{
    offer_copy_value(main_of(main), gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(gesture)));
}

void offer_copy_value(MainWindow& main, GtkWidget* cell)
{
    unsigned column = 0, row = 0;
    if (!gtk_widget_get_sensitive(cell) || !position_of(main, cell, column, row))
        return;
    unmark_cursor(main);
    move_cursor(main, column, row);
    // Any cell of a group offers the group's value.
    cell = group_cell(main, cell, column, row);

    // The choice holds the alert until it completes.
    g_autoptr(AlertDialog) alert = alert_dialog_new("Copy Value");
    alert_dialog_set_detail(alert, cell_text(cell));
    static const char* const buttons[] = {"Close", "Copy", nullptr};
    alert_dialog_set_buttons(alert, buttons);
    alert_dialog_set_cancel_button(alert, 0);
    // The cell is held until the choice ends: a rebuild meanwhile must not
    // leave the completion with a dangling cell.
    auto* choice = new CopyChoice{&main, GTK_WIDGET(g_object_ref(cell))};
    alert_dialog_choose(alert, GTK_WINDOW(main.window), nullptr, on_copy_value_chosen, choice);
}

void on_label_activate(GtkText* text, gpointer data)
{
    MainWindow& main = main_of(data);
    GtkWidget* cell = GTK_WIDGET(text);
    gtk_widget_set_sensitive(cell, FALSE);
    uint16_t address = 0;
    // The cell's own place names the address; it is the cursor cell while an
    // edit runs, and stays right if the cursor moved by a right click.
    if (was_typed(cell) && label_cell_address(main, cell, address)) {
        try {
            std::string copy(gtk_editable_get_text(GTK_EDITABLE(cell)));
            if (!store_typed_label(main, address, copy))
                return;
        } catch (const std::bad_alloc&) {
            return;
        }
    }
    gtk_widget_grab_focus(GTK_WIDGET(main.tab->grid));
}

void on_label_focus_change(GObject* object, GParamSpec*, gpointer data)
{
    MainWindow& main = main_of(data);
    GtkWidget* cell = GTK_WIDGET(object);
    if (gtk_widget_has_focus(cell))
        return;
    uint16_t address = 0;
    if (was_typed(cell) && label_cell_address(main, cell, address)) {
        std::string_view text = trimmed(gtk_editable_get_text(GTK_EDITABLE(cell)));
        char default_text[default_text_size];
        default_label_text(main.tab->definition->poll.fcode, address, default_text, sizeof default_text);
        if (!text.empty() && text != default_text)
            store_typed_label(main, address, text);  // out of memory: not stored, the edit still ends
    }
    gtk_widget_set_sensitive(cell, FALSE);
    gtk_widget_grab_focus(GTK_WIDGET(main.tab->grid));
    g_idle_add_once(settle_focus_on_grid, &main);
}

void watch_label_cell(GtkText* cell, MainWindow& main)
{
    g_signal_connect(cell, "activate", G_CALLBACK(on_label_activate), &main);
    g_signal_connect(cell, "notify::has-focus", G_CALLBACK(on_label_focus_change), &main);
    g_signal_connect(cell, "changed", G_CALLBACK(on_label_changed), nullptr);
    g_signal_connect(cell, "insert-text", G_CALLBACK(on_label_insert), nullptr);
}

void commit_label_edit(MainWindow& main)
{
    GtkRoot* root = gtk_widget_get_root(GTK_WIDGET(main.tab->grid));
    GtkWidget* focus = root ? gtk_root_get_focus(root) : nullptr;
    if (!focus || !GTK_IS_TEXT(focus) || gtk_widget_get_parent(focus) != GTK_WIDGET(main.tab->grid))
        return;
    gtk_widget_grab_focus(GTK_WIDGET(main.tab->grid));
    // The focus-loss commit runs on "notify::has-focus", which an inactive
    // window never sends; the cell still open for editing tells it did not run.
    if (gtk_widget_get_sensitive(focus))
        on_label_focus_change(G_OBJECT(focus), nullptr, &main);
}
