#include "table/grid_input.hpp"

#include <functional>
#include <memory>

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "widgets/dialog_layer.hpp"
#include "setup/set_up_model.hpp"
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

constexpr const char* record_key = "brenvaldor-register-grid";

// The record of the grid that holds widget (the grid itself or one of its
// cells); none once the grid's tab is gone, while its widgets wait to be
// destroyed.
RegisterGrid* record_of(GtkWidget* widget)
{
    for (; widget; widget = gtk_widget_get_parent(widget))
        if (GTK_IS_GRID(widget))
            return static_cast<RegisterGrid*>(g_object_get_data(G_OBJECT(widget), record_key));
    return nullptr;
}

// The record a handler is given, or else that of its controller's grid.
RegisterGrid* record_of(gpointer data, gpointer controller)
{
    if (data)
        return static_cast<RegisterGrid*>(data);
    return controller ? record_of(gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(controller))) : nullptr;
}

GtkWindow* window_of(const RegisterGrid& table)
{
    GtkRoot* root = table.grid ? gtk_widget_get_root(GTK_WIDGET(table.grid)) : nullptr;
    return GTK_IS_WINDOW(root) ? GTK_WINDOW(root) : nullptr;
}

GtkWidget* cell_at(RegisterGrid& table, unsigned column, unsigned row)
{
    return gtk_grid_get_child_at(table.grid, static_cast<int>(column), static_cast<int>(row));
}

GtkWidget* cursor_cell(RegisterGrid& table)
{
    return cell_at(table, table.cursor_column, table.cursor_row);
}

void unmark_cursor(RegisterGrid& table)
{
    if (GtkWidget* cell = cursor_cell(table))
        gtk_widget_remove_css_class(cell, "active");
}

// Moves the cursor to a grid position and marks the cell there.
void move_cursor(RegisterGrid& table, unsigned column, unsigned row)
{
    table.cursor_column = static_cast<uint8_t>(column);
    table.cursor_row = static_cast<uint8_t>(row);
    if (GtkWidget* cell = cursor_cell(table))
        gtk_widget_add_css_class(cell, "active");
}

bool position_of(RegisterGrid& table, GtkWidget* cell, unsigned& column, unsigned& row)
{
    if (gtk_widget_get_parent(cell) != GTK_WIDGET(table.grid))
        return false;
    int c = 0, r = 0;
    gtk_grid_query_child(table.grid, cell, &c, &r, nullptr, nullptr);
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

void copy_to_clipboard(GtkWidget* widget, const char* text)
{
    if (text && *text)
        gdk_clipboard_set_text(gtk_widget_get_clipboard(widget), text);
}

// The address of a label or value cell, if it lies within 0..65535.
bool addressable(RegisterGrid& table, unsigned column, unsigned row, uint16_t& address)
{
    uint32_t wide = cell_address(current_grid_layout(table), column, row);
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
GtkWidget* group_cell(RegisterGrid& table, GtkWidget* cell, unsigned column, unsigned row)
{
    GridLayout layout = current_grid_layout(table);
    if (row == 0 || column == 0 || is_label_cell(layout, column, row))
        return cell;
    uint32_t address = cell_address(layout, column, row);
    uint32_t first = group_first_address(table, address);
    return first == address ? cell : GTK_WIDGET(table.value_cells[first - layout.start]);
}

// Return or a double click on the cursor cell: edit its label, or open the
// Write dialog for its address.
void act_on_cursor_cell(RegisterGrid& table, bool select_all, uint16_t fallback)
{
    unsigned column = table.cursor_column, row = table.cursor_row;
    GtkWidget* cell = cursor_cell(table);
    uint16_t address = 0;
    if (row == 0 || column == 0 || !cell || !addressable(table, column, row, address))
        return;
    if (is_label_cell(current_grid_layout(table), column, row)) {
        if (!gtk_widget_get_sensitive(cell))  // Return while editing goes on editing
            start_label_edit(cell, select_all);
    } else {
        // A value of several registers is written from its first address.
        if (table.context->open_write)
            table.context->open_write(static_cast<uint16_t>(group_first_address(table, address)), fallback);
    }
}

// Ends an edit from the keys. Making the focused cell insensitive runs the
// focus-loss commit, which hands the focus to the grid from inside the
// toolkit's own focus change; the toolkit then finishes its change and
// leaves the window with no focus widget, so no key would reach the grid.
void end_label_edit(RegisterGrid& table, GtkWidget* cell)
{
    gtk_widget_set_sensitive(cell, FALSE);
    GtkWindow* window = window_of(table);
    if (window && !gtk_window_get_focus(window))
        gtk_widget_grab_focus(GTK_WIDGET(table.grid));
}

void copy_cursor_value(RegisterGrid& table)
{
    unsigned column = table.cursor_column;
    // From a label column, the value beside it (or the header beside "Label").
    if (table.labels_visible && column % 2 == 1)
        ++column;
    if (GtkWidget* cell = cell_at(table, column, table.cursor_row))
        copy_to_clipboard(cell, cell_text(group_cell(table, cell, column, table.cursor_row)));
}

void escape_edit(RegisterGrid& table)
{
    GtkWidget* cell = cursor_cell(table);
    if (cell && is_label_cell(current_grid_layout(table), table.cursor_column, table.cursor_row) &&
        gtk_widget_get_sensitive(cell))
        end_label_edit(table, cell);
}

void step_cursor(RegisterGrid& table, int dc, int dr)
{
    // 8-bit arithmetic: stepping left of column 0 lands on 255, where no cell is.
    uint8_t column = static_cast<uint8_t>(table.cursor_column + dc);
    uint8_t row = static_cast<uint8_t>(table.cursor_row + dr);
    if (column == 0 || row == 0 || !cell_at(table, column, row))
        return;
    GtkWidget* old = cursor_cell(table);
    if (old) {
        gtk_widget_remove_css_class(old, "active");
        bool editing = table.labels_visible && gtk_widget_get_sensitive(old) && table.cursor_row != 0 &&
                       table.cursor_column % 2 == 1;
        if (editing)
            end_label_edit(table, old);
    }
    move_cursor(table, column, row);
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
GtkWidget* cell_of_pick(RegisterGrid& table, GtkWidget* picked)
{
    GtkWidget* grid = GTK_WIDGET(table.grid);
    while (picked && picked != grid && gtk_widget_get_parent(picked) != grid)
        picked = gtk_widget_get_parent(picked);
    return picked == grid ? nullptr : picked;
}

// The value cell a "Copy Value" choice is about, held until the choice ends.
struct CopyChoice {
    GtkWidget* cell;
    std::function<void()> edit_point;  // on the cell's value; none when it has no address
};

constexpr int edit_point_button = 1;
constexpr int copy_button = 2;

void on_copy_value_chosen(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<CopyChoice> choice(static_cast<CopyChoice*>(data));
    g_autoptr(GError) error = nullptr;
    int button = alert_dialog_choose_finish(ALERT_DIALOG(source), result, &error);
    // Polling goes on while the alert is open: copy what the cell shows now.
    if (button == copy_button)
        copy_to_clipboard(choice->cell, cell_text(choice->cell));
    else if (button == edit_point_button && choice->edit_point)
        choice->edit_point();
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
bool label_cell_address(RegisterGrid& table, GtkWidget* cell, uint16_t& address)
{
    unsigned column = 0, row = 0;
    if (!position_of(table, cell, column, row) || row == 0 || column == 0)
        return false;
    GridLayout layout = current_grid_layout(table);
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
    g_autoptr(GtkWidget) grid = GTK_WIDGET(data);  // held for this turn
    GtkRoot* root = gtk_widget_get_root(grid);
    if (!record_of(grid) || !GTK_IS_WINDOW(root))
        return;  // its tab is gone, or it is out of the window
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(root));
    if (focus != grid && !(focus && gtk_widget_get_parent(focus) == grid))
        gtk_widget_grab_focus(grid);
}

// Stores a typed label; another text than the one held changes the set-up.
bool store_typed_label(RegisterGrid& table, uint16_t address, std::string_view text)
{
    return set_definition_label(*table.context->model, *table.definition, address, text);
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

uint32_t cursor_address(const RegisterGrid& table)
{
    return cell_address(current_grid_layout(table), table.cursor_column, table.cursor_row);
}

gboolean on_grid_key(GtkEventControllerKey* keys, guint keyval, guint, GdkModifierType state, gpointer data)
{
    RegisterGrid* record = record_of(data, keys);
    if (!record)
        return FALSE;
    RegisterGrid& table = *record;
    int dc = 0, dr = 0;
    if ((state & GDK_CONTROL_MASK) && (keyval == GDK_KEY_c || keyval == GDK_KEY_C)) {
        copy_cursor_value(table);
    } else if (keyval == GDK_KEY_Return) {
        act_on_cursor_cell(table, true, return_fallback);
    } else if (keyval == GDK_KEY_Escape) {
        escape_edit(table);
    } else if (is_arrow(keyval, dc, dr)) {
        step_cursor(table, dc, dr);
    } else {
        return FALSE;
    }
    return TRUE;
}

void on_grid_click(GtkGestureClick* click, int n_press, double x, double y, gpointer data)
{
    RegisterGrid* record = record_of(data, click);
    if (!record)
        return;
    RegisterGrid& table = *record;
    // Label cells are insensitive while idle: pick them all the same.
    GtkWidget* picked = gtk_widget_pick(GTK_WIDGET(table.grid), x, y, GTK_PICK_INSENSITIVE);
    GtkWidget* cell = cell_of_pick(table, picked);
    gtk_widget_grab_focus(GTK_WIDGET(table.grid));
    if (n_press == 2) {
        // The first press already moved the cursor here; a double click on
        // the background acts on no cell.
        if (cell && cell == cursor_cell(table))
            act_on_cursor_cell(table, false, double_click_fallback);
        return;
    }
    unmark_cursor(table);
    unsigned column = 0, row = 0;
    if (cell && position_of(table, cell, column, row))
        move_cursor(table, column, row);
}

void on_value_right_click(GtkGestureClick* gesture, int, double, double, gpointer table)
{
    if (RegisterGrid* record = record_of(table, gesture))
        offer_copy_value(*record, gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(gesture)));
}

void offer_copy_value(RegisterGrid& table, GtkWidget* cell)
{
    unsigned column = 0, row = 0;
    if (!gtk_widget_get_sensitive(cell) || !position_of(table, cell, column, row))
        return;
    unmark_cursor(table);
    move_cursor(table, column, row);
    // Any cell of a group offers the group's value.
    cell = group_cell(table, cell, column, row);

    // The choice holds the alert until it completes.
    g_autoptr(AlertDialog) alert = alert_dialog_new("Copy Value");
    alert_dialog_set_detail(alert, cell_text(cell));
    static const char* const buttons[] = {"Close", "Edit Point\u2026", "Copy", nullptr};
    alert_dialog_set_buttons(alert, buttons);
    alert_dialog_set_cancel_button(alert, 0);
    // The cell is held until the choice ends: a rebuild meanwhile must not
    // leave the completion with a dangling cell; the Edit Point callback is
    // the application's, which outlives the grid.
    auto* choice = new CopyChoice{GTK_WIDGET(g_object_ref(cell)), {}};
    uint16_t address = 0;
    if (table.context && table.context->edit_point && addressable(table, column, row, address)) {
        uint16_t first = uint16_t(group_first_address(table, address));
        choice->edit_point = [edit = table.context->edit_point, first] { edit(first); };
    }
    alert_dialog_choose(alert, window_of(table), nullptr, on_copy_value_chosen, choice);
}

void on_label_activate(GtkText* text, gpointer)
{
    RegisterGrid* record = record_of(GTK_WIDGET(text));
    if (!record)
        return;
    RegisterGrid& table = *record;
    GtkWidget* cell = GTK_WIDGET(text);
    gtk_widget_set_sensitive(cell, FALSE);
    uint16_t address = 0;
    // The cell's own place names the address; it is the cursor cell while an
    // edit runs, and stays right if the cursor moved by a right click.
    if (was_typed(cell) && label_cell_address(table, cell, address)) {
        try {
            std::string copy(gtk_editable_get_text(GTK_EDITABLE(cell)));
            if (!store_typed_label(table, address, copy))
                return;
        } catch (const std::bad_alloc&) {
            return;
        }
    }
    gtk_widget_grab_focus(GTK_WIDGET(table.grid));
}

void on_label_focus_change(GObject* object, GParamSpec*, gpointer)
{
    RegisterGrid* record = record_of(GTK_WIDGET(object));
    if (!record)
        return;
    RegisterGrid& table = *record;
    GtkWidget* cell = GTK_WIDGET(object);
    if (gtk_widget_has_focus(cell))
        return;
    uint16_t address = 0;
    if (was_typed(cell) && label_cell_address(table, cell, address)) {
        std::string_view text = trimmed(gtk_editable_get_text(GTK_EDITABLE(cell)));
        char default_text[default_text_size];
        default_label_text(table.definition->poll.fcode, address, default_text, sizeof default_text,
                           grid_notation(table));
        if (!text.empty() && text != default_text)
            store_typed_label(table, address, text);  // out of memory: not stored, the edit still ends
    }
    gtk_widget_set_sensitive(cell, FALSE);
    gtk_widget_grab_focus(GTK_WIDGET(table.grid));
    g_idle_add_once(settle_focus_on_grid, g_object_ref(table.grid));
}

void attach_grid_record(RegisterGrid& table)
{
    g_object_set_data(G_OBJECT(table.grid), record_key, &table);
}

void detach_grid_record(RegisterGrid& table)
{
    if (table.grid)
        g_object_set_data(G_OBJECT(table.grid), record_key, nullptr);
}

RegisterGrid* grid_record_of(GtkWidget* widget)
{
    return record_of(widget);
}

void watch_label_cell(GtkText* cell)
{
    g_signal_connect(cell, "activate", G_CALLBACK(on_label_activate), nullptr);
    g_signal_connect(cell, "notify::has-focus", G_CALLBACK(on_label_focus_change), nullptr);
    g_signal_connect(cell, "changed", G_CALLBACK(on_label_changed), nullptr);
    g_signal_connect(cell, "insert-text", G_CALLBACK(on_label_insert), nullptr);
}

void commit_label_edit(RegisterGrid& table)
{
    GtkRoot* root = gtk_widget_get_root(GTK_WIDGET(table.grid));
    GtkWidget* focus = root ? gtk_root_get_focus(root) : nullptr;
    if (!focus || !GTK_IS_TEXT(focus) || gtk_widget_get_parent(focus) != GTK_WIDGET(table.grid))
        return;
    gtk_widget_grab_focus(GTK_WIDGET(table.grid));
    // The focus-loss commit runs on "notify::has-focus", which an inactive
    // window never sends; the cell still open for editing tells it did not run.
    if (gtk_widget_get_sensitive(focus))
        on_label_focus_change(G_OBJECT(focus), nullptr, nullptr);
}
