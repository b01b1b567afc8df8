#include "registermap/map_import_dialog.hpp"

#include <cerrno>
#include <string>

#include "files/whole_file.hpp"
#include "preferences/preferences.hpp"
#include "registermap/map_preview.hpp"
#include "table/grid_input.hpp"
#include "tabs/poll_tabs.hpp"
#include "widgets/dialog_grid.hpp"

namespace {

constexpr const char* import_error = "Cannot import register map";
constexpr size_t previewed_rows = 20;
// A text view of every error of a large broken file would take longer to
// lay out than the file took to read; the count says how many there are.
constexpr size_t listed_errors = 500;
constexpr int header_row = 0, field_row = 1, first_cell_row = 2;

MapImportDialog& dialog_of(gpointer data)
{
    return *static_cast<MapImportDialog*>(data);
}

size_t field_count()
{
    return size_t(MapField::bit_names) + 1;
}

GtkWidget* make_cell(const std::string& text)
{
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 24);
    gtk_label_set_single_line_mode(GTK_LABEL(label), TRUE);
    return label;
}

// The cells of a column that is not imported are dimmed.
void dim_unused_columns(MapImportDialog& dialog, const std::vector<MapField>& fields)
{
    int rows = first_cell_row + int(dialog.readings.size());
    for (size_t column = 0; column < fields.size(); ++column)
        for (int row = header_row; row < rows; ++row) {
            GtkWidget* cell = gtk_grid_get_child_at(dialog.columns, int(column), row);
            if (!cell || row == field_row)
                continue;
            if (fields[column] == MapField::none)
                gtk_widget_add_css_class(cell, "dim-label");
            else
                gtk_widget_remove_css_class(cell, "dim-label");
        }
}

void show_row_readings(MapImportDialog& dialog, const std::vector<MapField>& fields)
{
    for (size_t row = 0; row < dialog.readings.size(); ++row) {
        RowReading reading = read_map_row(dialog.sheet, row, fields, dialog.notation);
        GtkWidget* label = GTK_WIDGET(dialog.readings[row]);
        gtk_label_set_text(dialog.readings[row], reading.text.c_str());
        gtk_widget_set_tooltip_text(label, reading.text.c_str());
        if (reading.error)
            gtk_widget_add_css_class(label, "error");
        else
            gtk_widget_remove_css_class(label, "error");
    }
}

void show_errors(MapImportDialog& dialog)
{
    std::string summary = map_rows_summary(dialog.reading, dialog.sheet.rows.size());
    gtk_label_set_text(dialog.summary, summary.c_str());
    std::string errors = map_errors_text(dialog.reading, listed_errors);
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(dialog.errors), errors.c_str(), -1);
    gtk_widget_set_visible(gtk_widget_get_parent(GTK_WIDGET(dialog.errors)), !dialog.reading.errors.empty());
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.import_button), !dialog.reading.entries.empty());
}

// Every row is read again with the fields now chosen: the errors list
// and what Import takes are the whole file's, the preview its first rows'.
void update_map_preview(MapImportDialog& dialog)
{
    std::vector<MapField> fields = chosen_map_fields(dialog);
    dialog.reading = read_map_entries(dialog.sheet, fields, dialog.notation);
    dim_unused_columns(dialog, fields);
    show_row_readings(dialog, fields);
    show_errors(dialog);
}

void on_field_chosen(GObject*, GParamSpec*, gpointer data)
{
    update_map_preview(dialog_of(data));
}

GtkDropDown* make_field_choice(MapImportDialog& dialog, MapField preset, const std::string& header)
{
    auto* choice = GTK_DROP_DOWN(gtk_drop_down_new(G_LIST_MODEL(g_object_ref(dialog.field_names)), nullptr));
    gtk_drop_down_set_selected(choice, guint(preset));
    gtk_accessible_update_property(GTK_ACCESSIBLE(choice), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   ("Column " + header).c_str(), -1);
    g_signal_connect(choice, "notify::selected", G_CALLBACK(on_field_chosen), &dialog);
    return choice;
}

void clear_columns(MapImportDialog& dialog)
{
    while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(dialog.columns)))
        gtk_grid_remove(dialog.columns, child);
    dialog.fields.clear();
    dialog.readings.clear();
}

// A column per header with its drop-down and first cells, then the column
// of what each of those rows reads as.
void fill_columns(MapImportDialog& dialog)
{
    clear_columns(dialog);
    const MapSheet& sheet = dialog.sheet;
    std::vector<MapField> presets = recognise_map_fields(sheet.header);
    size_t rows = std::min(previewed_rows, sheet.rows.size());
    int column = 0;
    for (; column < int(sheet.header.size()); ++column) {
        const std::string& header = sheet.header[size_t(column)];
        GtkWidget* title = make_cell(header);
        gtk_widget_add_css_class(title, "heading");
        gtk_grid_attach(dialog.columns, title, column, header_row, 1, 1);
        dialog.fields.push_back(make_field_choice(dialog, presets.at(size_t(column)), header));
        gtk_grid_attach(dialog.columns, GTK_WIDGET(dialog.fields.back()), column, field_row, 1, 1);
        for (size_t row = 0; row < rows; ++row) {
            const std::vector<std::string>& cells = sheet.rows[row];
            std::string text = size_t(column) < cells.size() ? cells[size_t(column)] : "";
            gtk_grid_attach(dialog.columns, make_cell(text), column, first_cell_row + int(row), 1, 1);
        }
    }
    GtkWidget* title = make_cell("Reads as");
    gtk_widget_add_css_class(title, "heading");
    gtk_grid_attach(dialog.columns, title, column, header_row, 1, 1);
    for (size_t row = 0; row < rows; ++row) {
        // Whole, where the cells are cut: the preview scrolls sideways.
        GtkWidget* reading = make_cell("");
        gtk_label_set_ellipsize(GTK_LABEL(reading), PANGO_ELLIPSIZE_NONE);
        dialog.readings.push_back(GTK_LABEL(reading));
        gtk_grid_attach(dialog.columns, reading, column, first_cell_row + int(row), 1, 1);
    }
}

// Where the map's plain addresses come from: the file's own header names
// its notation; any other file is read as the user writes addresses.
void show_heading(MapImportDialog& dialog, const char* path, bool named)
{
    g_autofree char* name = g_filename_display_basename(path);
    size_t rows = dialog.sheet.rows.size();
    std::string heading = std::string(name) + ": " + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
                          ". Plain addresses read as " + notation_name(dialog.notation) +
                          (named ? " (named in the file)." : ".");
    gtk_label_set_text(dialog.heading, heading.c_str());
}

void show_destination(MapImportDialog& dialog)
{
    std::string shown = "Add to the shown tab, " + poll_tab_title(*dialog.tabs->tab);
    gtk_check_button_set_label(dialog.into_shown, shown.c_str());
}

void release_map(MapImportDialog& dialog)
{
    clear_columns(dialog);
    dialog.sheet = {};
    dialog.reading = {};
}

void on_cancel_clicked(GtkButton*, gpointer data)
{
    MapImportDialog& dialog = dialog_of(data);
    gtk_widget_set_visible(GTK_WIDGET(dialog.window), FALSE);
    release_map(dialog);
}

void on_import_clicked(GtkButton*, gpointer data)
{
    apply_map_import(dialog_of(data));
}

GtkWidget* make_header_bar(MapImportDialog& dialog)
{
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_title_widget(GTK_HEADER_BAR(header), gtk_label_new("Import Register Map"));
    gtk_header_bar_set_show_title_buttons(GTK_HEADER_BAR(header), FALSE);
    GtkWidget* cancel = gtk_button_new_with_label("Cancel");
    dialog.import_button = GTK_BUTTON(gtk_button_new_with_label("Import"));
    gtk_widget_add_css_class(GTK_WIDGET(dialog.import_button), "suggested-action");
    gtk_header_bar_pack_start(GTK_HEADER_BAR(header), cancel);
    gtk_header_bar_pack_end(GTK_HEADER_BAR(header), GTK_WIDGET(dialog.import_button));
    g_signal_connect(cancel, "clicked", G_CALLBACK(on_cancel_clicked), &dialog);
    g_signal_connect(dialog.import_button, "clicked", G_CALLBACK(on_import_clicked), &dialog);
    return header;
}

GtkWidget* make_scroller(GtkWidget* child, int min_height)
{
    GtkWidget* scroller = gtk_scrolled_window_new();
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), child);
    gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scroller), min_height);
    return scroller;
}

GtkWidget* make_error_list(MapImportDialog& dialog)
{
    dialog.errors = GTK_TEXT_VIEW(gtk_text_view_new());
    gtk_text_view_set_editable(dialog.errors, FALSE);
    gtk_text_view_set_cursor_visible(dialog.errors, FALSE);
    gtk_accessible_update_property(GTK_ACCESSIBLE(dialog.errors), GTK_ACCESSIBLE_PROPERTY_LABEL, "Errors", -1);
    return make_scroller(GTK_WIDGET(dialog.errors), 96);
}

GtkWidget* make_destination(MapImportDialog& dialog)
{
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_box_append(GTK_BOX(box), make_cell("Put the points into:"));
    dialog.as_tabs = GTK_CHECK_BUTTON(gtk_check_button_new_with_label("New tabs, one per unit, table and block"));
    dialog.into_shown = GTK_CHECK_BUTTON(gtk_check_button_new_with_label("Add to the shown tab"));
    gtk_check_button_set_group(dialog.into_shown, dialog.as_tabs);
    gtk_check_button_set_active(dialog.as_tabs, TRUE);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.as_tabs));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(dialog.into_shown));
    return box;
}

GtkWidget* make_content(MapImportDialog& dialog)
{
    GtkGrid* grid = make_dialog_grid();
    dialog.heading = GTK_LABEL(gtk_label_new(""));
    gtk_label_set_xalign(dialog.heading, 0);
    gtk_label_set_wrap(dialog.heading, TRUE);
    gtk_grid_attach(grid, GTK_WIDGET(dialog.heading), 0, 0, 1, 1);
    dialog.columns = GTK_GRID(gtk_grid_new());
    gtk_grid_set_row_spacing(dialog.columns, 4);
    gtk_grid_set_column_spacing(dialog.columns, 12);
    GtkWidget* preview = make_scroller(GTK_WIDGET(dialog.columns), 240);
    gtk_widget_set_vexpand(preview, TRUE);
    gtk_widget_set_hexpand(preview, TRUE);
    gtk_grid_attach(grid, preview, 0, 1, 1, 1);
    dialog.summary = GTK_LABEL(make_cell(""));
    gtk_grid_attach(grid, GTK_WIDGET(dialog.summary), 0, 2, 1, 1);
    gtk_grid_attach(grid, make_error_list(dialog), 0, 3, 1, 1);
    gtk_grid_attach(grid, make_destination(dialog), 0, 4, 1, 1);
    return GTK_WIDGET(grid);
}

void on_file_chosen(GObject* source, GAsyncResult* result, gpointer data)
{
    MapImportDialog& dialog = dialog_of(data);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_open_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return;  // cancelled
    g_autofree char* path = g_file_get_path(file);
    if (!path)
        show_refusal(dialog.tabs->window, import_error, "Not a local file");
    else
        open_map_file(dialog, path);
}

// Says what the import did; stays until the user closes it.
void show_import_report(GtkWindow* parent, const MapImportReport& report)
{
    g_autoptr(AlertDialog) alert = alert_dialog_new(report.message.c_str());
    alert_dialog_set_detail(alert, report.detail.c_str());
    static const char* const close[] = {"Close", nullptr};
    alert_dialog_set_buttons(alert, close);
    alert_dialog_set_cancel_button(alert, 0);
    alert_dialog_choose(alert, parent, nullptr, nullptr, nullptr);  // the choice holds the alert
}

}  // namespace

void build_map_import_dialog(MapImportDialog& dialog, PollTabs& tabs, const Preferences& preferences)
{
    dialog.tabs = &tabs;
    dialog.preferences = &preferences;
    dialog.field_names = gtk_string_list_new(nullptr);
    for (size_t field = 0; field < field_count(); ++field)
        gtk_string_list_append(dialog.field_names, map_field_name(MapField(field)).c_str());
    dialog.file_dialog = file_dialog_new();
    g_autoptr(GtkFileFilter) filter = gtk_file_filter_new();
    gtk_file_filter_add_suffix(filter, "csv");
    gtk_file_filter_add_suffix(filter, "txt");
    gtk_file_filter_set_name(filter, "Register maps (*.csv, *.txt)");
    file_dialog_set_default_filter(dialog.file_dialog, filter);
    dialog.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_hide_on_close(dialog.window, TRUE);
    gtk_window_set_default_size(dialog.window, 900, 640);
    gtk_window_set_titlebar(dialog.window, make_header_bar(dialog));
    gtk_window_set_child(dialog.window, make_content(dialog));
    gtk_accessible_update_property(GTK_ACCESSIBLE(dialog.window), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   "Import Register Map", -1);
}

void start_map_import(MapImportDialog& dialog)
{
    if (GtkWindow* open = file_dialog_get_window(dialog.file_dialog)) {
        gtk_window_present(open);
        return;
    }
    file_dialog_open(dialog.file_dialog, dialog.tabs->window, nullptr, on_file_chosen, &dialog);
}

bool open_map_file(MapImportDialog& dialog, const char* path)
{
    withdraw_refusal(dialog.tabs->window);
    std::string bytes;
    if (!read_whole_file(path, bytes)) {
        int error = errno;
        show_refusal(dialog.tabs->window, import_error, file_failure_reason(path, error).c_str());
        return false;
    }
    MapSheetReading read = read_map_sheet(bytes);
    if (!read.sheet) {
        show_refusal(dialog.tabs->window, import_error, read.refusal.c_str());
        return false;
    }
    dialog.sheet = std::move(*read.sheet);
    std::optional<AddressNotation> named = header_notation(dialog.sheet.header);
    dialog.notation = named.value_or(dialog.preferences->notation);
    show_heading(dialog, path, named.has_value());
    show_destination(dialog);
    fill_columns(dialog);
    update_map_preview(dialog);
    gtk_window_set_transient_for(dialog.window, dialog.tabs->window);
    gtk_window_set_modal(dialog.window, TRUE);
    gtk_window_present(dialog.window);
    return true;
}

std::vector<MapField> chosen_map_fields(const MapImportDialog& dialog)
{
    std::vector<MapField> fields;
    for (GtkDropDown* choice : dialog.fields) {
        guint selected = gtk_drop_down_get_selected(choice);
        fields.push_back(selected < field_count() ? MapField(selected) : MapField::none);
    }
    return fields;
}

MapImport apply_map_import(MapImportDialog& dialog)
{
    PollTabs& tabs = *dialog.tabs;
    bool as_tabs = gtk_check_button_get_active(dialog.as_tabs);
    gtk_widget_set_visible(GTK_WIDGET(dialog.window), FALSE);
    commit_label_edit(tabs.tab->table);  // a label being typed stays where it was typed
    MapImport import = as_tabs ? import_map_as_tabs(*tabs.model, dialog.reading.entries)
                               : import_map_into(*tabs.model, *tabs.tab->definition, dialog.reading.entries);
    show_import_report(tabs.window, map_import_report(import, dialog.reading.rows_left_out, as_tabs));
    release_map(dialog);
    return import;
}
