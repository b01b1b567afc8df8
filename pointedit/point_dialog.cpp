#include "pointedit/point_dialog.hpp"

#include <string>

#include "handover/shown_values.hpp"
#include "points/point_form.hpp"
#include "points/point_value.hpp"
#include "points/value_groups.hpp"
#include "setup/definition_name.hpp"
#include "setup/set_up_model.hpp"
#include "tabs/poll_tabs.hpp"
#include "widgets/dialog_grid.hpp"

namespace {

PointDialog& dialog_of(gpointer data)
{
    return *static_cast<PointDialog*>(data);
}

DefinitionSetUp* edited_definition(PointDialog& dialog)
{
    return dialog.tabs && dialog.tabs->model ? find_definition(*dialog.tabs->model, dialog.serial) : nullptr;
}

std::string text_of(GtkTextView* view)
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    g_autofree char* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    return text;
}

PointFields read_fields(PointDialog& dialog)
{
    PointFields fields;
    fields.type = gtk_drop_down_get_selected(dialog.type);
    fields.order = word_order_from_index(gtk_drop_down_get_selected(dialog.order));
    fields.registers = unsigned(gtk_spin_button_get_value_as_int(dialog.registers));
    fields.swapped_bytes = gtk_check_button_get_active(dialog.swapped_bytes);
    fields.scale = gtk_editable_get_text(GTK_EDITABLE(dialog.scale));
    fields.offset = gtk_editable_get_text(GTK_EDITABLE(dialog.offset));
    fields.decimals = gtk_spin_button_get_value_as_int(dialog.decimals);
    fields.unit = gtk_editable_get_text(GTK_EDITABLE(dialog.unit));
    fields.value_names = text_of(dialog.value_names);
    fields.bit_names = text_of(dialog.bit_names);
    return fields;
}

void show_fields(PointDialog& dialog, const PointFields& fields)
{
    gtk_drop_down_set_selected(dialog.type, fields.type);
    gtk_drop_down_set_selected(dialog.order, guint(fields.order));
    gtk_spin_button_set_value(dialog.registers, fields.registers);
    gtk_check_button_set_active(dialog.swapped_bytes, fields.swapped_bytes);
    gtk_editable_set_text(GTK_EDITABLE(dialog.scale), fields.scale.c_str());
    gtk_editable_set_text(GTK_EDITABLE(dialog.offset), fields.offset.c_str());
    gtk_spin_button_set_value(dialog.decimals, fields.decimals);
    gtk_editable_set_text(GTK_EDITABLE(dialog.unit), fields.unit.c_str());
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(dialog.value_names), fields.value_names.c_str(), -1);
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(dialog.bit_names), fields.bit_names.c_str(), -1);
}

// The point the fields make where it stands, or the reason it cannot.
std::optional<Point> checked_point(PointDialog& dialog, std::string& refusal)
{
    DefinitionSetUp* definition = edited_definition(dialog);
    if (!definition) {
        refusal = "Its tab is closed";
        return std::nullopt;
    }
    std::optional<Point> point = point_of(read_fields(dialog), refusal);
    if (point)
        refusal = point_refusal(*point, definition->poll, dialog.address);
    // In the tab's Format, a value may be wider than the type alone tells.
    bool bits = is_bit_poll(definition->poll.fcode);
    TabFormat tab{bits ? ValueFormat::UINT : definition->format, definition->order};
    const PollDefinition& poll = definition->poll;
    if (point && refusal.empty() && dialog.address + point_width(*point, tab, bits) > poll.address + poll.length)
        refusal = "Its value runs past the block's end";
    return refusal.empty() ? point : std::nullopt;
}

// The current value in the terms being set, from the values the grid shows.
std::string preview_text(PointDialog& dialog, const DefinitionSetUp& definition, const Point& point)
{
    if (!dialog.tabs->grid_context.shown)
        return "No value yet";
    PublishedValues published = copy_values_for(*dialog.tabs->grid_context.shown, definition.key, definition.poll);
    bool bits = is_bit_poll(definition.poll.fcode);
    TabFormat tab{bits ? ValueFormat::UINT : definition.format, definition.order};
    unsigned offset = dialog.address - definition.poll.address;
    unsigned width = point_width(point, tab, bits);
    if (offset + width > published.value_count)
        return "No value yet";
    PointReading reading = read_point(point, tab, {published.values.data() + offset, width}, bits);
    return reading.text + "  (raw " + reading.raw + ")";
}

void on_field_changed(gpointer data)
{
    update_point_preview(dialog_of(data));
}

void watch(GObject* field, const char* signal, PointDialog& dialog)
{
    g_signal_connect_swapped(field, signal, G_CALLBACK(on_field_changed), &dialog);
}

GtkTextView* make_name_list(GtkGrid* grid, int row, const char* caption, const char* hint)
{
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_monospace(GTK_TEXT_VIEW(view), TRUE);
    GtkWidget* scroller = gtk_scrolled_window_new();
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), view);
    gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scroller), 64);
    gtk_widget_set_tooltip_text(scroller, hint);
    GtkWidget* label = gtk_label_new(caption);
    gtk_widget_set_halign(label, GTK_ALIGN_END);
    gtk_widget_set_valign(label, GTK_ALIGN_START);
    gtk_grid_attach(grid, label, 0, row, 1, 1);
    gtk_grid_attach(grid, scroller, 1, row, 1, 1);
    gtk_accessible_update_relation(GTK_ACCESSIBLE(view), GTK_ACCESSIBLE_RELATION_LABELLED_BY, label, nullptr, -1);
    return GTK_TEXT_VIEW(view);
}

GtkSpinButton* make_spin(double lower, double upper, double value)
{
    GtkWidget* spin = gtk_spin_button_new_with_range(lower, upper, 1);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), value);
    return GTK_SPIN_BUTTON(spin);
}

GtkWidget* make_content(PointDialog& dialog)
{
    GtkGrid* grid = make_dialog_grid();
    dialog.heading = GTK_LABEL(gtk_label_new(""));
    gtk_grid_attach(grid, GTK_WIDGET(dialog.heading), 0, 0, 2, 1);
    dialog.label = GTK_ENTRY(gtk_entry_new());
    gtk_widget_set_hexpand(GTK_WIDGET(dialog.label), TRUE);
    std::span<const char* const> types = point_type_names();
    std::vector<const char*> type_list(types.begin(), types.end());
    type_list.push_back(nullptr);
    dialog.type = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(type_list.data()));
    static const char* const orders[] = {"AB CD", "CD AB", "BA DC", "DC BA", nullptr};
    dialog.order = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(orders));
    dialog.registers = make_spin(1, longest_point_string, 1);
    dialog.swapped_bytes = GTK_CHECK_BUTTON(gtk_check_button_new_with_label("Low byte first"));
    dialog.scale = GTK_ENTRY(gtk_entry_new());
    dialog.offset = GTK_ENTRY(gtk_entry_new());
    dialog.decimals = make_spin(-1, 15, -1);
    gtk_widget_set_tooltip_text(GTK_WIDGET(dialog.decimals), "-1 shows as many as the value needs");
    dialog.unit = GTK_ENTRY(gtk_entry_new());
    add_dialog_row(grid, 1, "Label:", GTK_WIDGET(dialog.label));
    add_dialog_row(grid, 2, "Type:", GTK_WIDGET(dialog.type));
    add_dialog_row(grid, 3, "Order:", GTK_WIDGET(dialog.order));
    add_dialog_row(grid, 4, "Registers:", GTK_WIDGET(dialog.registers));
    add_dialog_row(grid, 5, "Bytes:", GTK_WIDGET(dialog.swapped_bytes));
    add_dialog_row(grid, 6, "Scale:", GTK_WIDGET(dialog.scale));
    add_dialog_row(grid, 7, "Offset:", GTK_WIDGET(dialog.offset));
    add_dialog_row(grid, 8, "Decimals:", GTK_WIDGET(dialog.decimals));
    add_dialog_row(grid, 9, "Unit:", GTK_WIDGET(dialog.unit));
    dialog.value_names = make_name_list(grid, 10, "Value names:", "One a line: 0 = Stopped");
    dialog.bit_names = make_name_list(grid, 11, "Bit names:", "One a line: 3 = Overtemp");
    dialog.preview = GTK_LABEL(gtk_label_new(""));
    gtk_label_set_selectable(dialog.preview, TRUE);
    gtk_widget_set_halign(GTK_WIDGET(dialog.preview), GTK_ALIGN_START);
    add_dialog_row(grid, 12, "Now:", GTK_WIDGET(dialog.preview));
    dialog.reason = GTK_LABEL(gtk_label_new(""));
    gtk_widget_add_css_class(GTK_WIDGET(dialog.reason), "error");
    gtk_label_set_wrap(dialog.reason, TRUE);
    gtk_grid_attach(grid, GTK_WIDGET(dialog.reason), 0, 13, 2, 1);

    for (GtkDropDown* drop_down : {dialog.type, dialog.order})
        watch(G_OBJECT(drop_down), "notify::selected", dialog);
    for (GtkSpinButton* spin : {dialog.registers, dialog.decimals})
        watch(G_OBJECT(spin), "value-changed", dialog);
    watch(G_OBJECT(dialog.swapped_bytes), "toggled", dialog);
    for (GtkEntry* entry : {dialog.scale, dialog.offset, dialog.unit})
        watch(G_OBJECT(entry), "changed", dialog);
    for (GtkTextView* view : {dialog.value_names, dialog.bit_names})
        watch(G_OBJECT(gtk_text_view_get_buffer(view)), "changed", dialog);
    return GTK_WIDGET(grid);
}

void on_ok_clicked(GtkButton*, gpointer data)
{
    apply_point_dialog(dialog_of(data));
}

void on_cancel_clicked(GtkButton*, gpointer data)
{
    gtk_widget_set_visible(GTK_WIDGET(dialog_of(data).window), FALSE);
}

GtkWidget* make_header_bar(PointDialog& dialog)
{
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_title_widget(GTK_HEADER_BAR(header), gtk_label_new("Edit Point"));
    gtk_header_bar_set_show_title_buttons(GTK_HEADER_BAR(header), FALSE);
    GtkWidget* cancel = gtk_button_new_with_label("Cancel");
    dialog.ok_button = GTK_BUTTON(gtk_button_new_with_label("Ok"));
    gtk_widget_add_css_class(GTK_WIDGET(dialog.ok_button), "suggested-action");
    gtk_header_bar_pack_start(GTK_HEADER_BAR(header), cancel);
    gtk_header_bar_pack_end(GTK_HEADER_BAR(header), GTK_WIDGET(dialog.ok_button));
    g_signal_connect(cancel, "clicked", G_CALLBACK(on_cancel_clicked), &dialog);
    g_signal_connect(dialog.ok_button, "clicked", G_CALLBACK(on_ok_clicked), &dialog);
    return header;
}

}  // namespace

void build_point_dialog(PointDialog& dialog, PollTabs& tabs)
{
    dialog.tabs = &tabs;
    dialog.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_hide_on_close(dialog.window, TRUE);
    gtk_window_set_titlebar(dialog.window, make_header_bar(dialog));
    gtk_window_set_child(dialog.window, make_content(dialog));
    gtk_accessible_update_property(GTK_ACCESSIBLE(dialog.window), GTK_ACCESSIBLE_PROPERTY_LABEL, "Edit Point", -1);
}

void open_point_dialog(PointDialog& dialog, uint16_t address)
{
    PollTab& tab = *dialog.tabs->tab;
    const DefinitionSetUp& definition = *tab.definition;
    dialog.serial = tab.serial;
    dialog.address = address;
    AddressNotation notation = address_notation(*dialog.tabs);
    std::string heading = tab_title(definition.name, definition.poll, notation) + " \u00b7 Address " +
                          format_address(notation, table_of_function(definition.poll.fcode), address);
    gtk_label_set_text(dialog.heading, heading.c_str());
    const LabelEntry* label = find_label(definition.labels, address);
    gtk_editable_set_text(GTK_EDITABLE(dialog.label), label ? label->text.c_str() : "");
    auto held = definition.points.find(address);
    show_fields(dialog, fields_of(held == definition.points.end() ? Point{} : held->second));
    update_point_preview(dialog);
    gtk_window_set_transient_for(dialog.window, dialog.tabs->window);
    gtk_window_set_modal(dialog.window, TRUE);
    gtk_window_present(dialog.window);
}

bool apply_point_dialog(PointDialog& dialog)
{
    std::string refusal;
    std::optional<Point> point = checked_point(dialog, refusal);
    DefinitionSetUp* definition = edited_definition(dialog);
    if (!point || !definition) {
        update_point_preview(dialog);
        return false;
    }
    SetUpModel& model = *dialog.tabs->model;
    std::string label = gtk_editable_get_text(GTK_EDITABLE(dialog.label));
    const LabelEntry* held = find_label(definition->labels, dialog.address);
    if (held ? held->text != label : !label.empty())
        set_definition_label(model, *definition, dialog.address, label);
    set_point(model, *definition, dialog.address, *point);
    gtk_widget_set_visible(GTK_WIDGET(dialog.window), FALSE);
    return true;
}

void update_point_preview(PointDialog& dialog)
{
    std::string refusal;
    std::optional<Point> point = checked_point(dialog, refusal);
    gtk_label_set_text(dialog.reason, refusal.c_str());
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.ok_button), point.has_value());
    DefinitionSetUp* definition = edited_definition(dialog);
    std::string preview = point && definition ? preview_text(dialog, *definition, *point) : "";
    gtk_label_set_text(dialog.preview, preview.c_str());
    // Only the fields the type has are open.
    unsigned type = gtk_drop_down_get_selected(dialog.type);
    std::string_view name = type < point_type_names().size() ? point_type_names()[type] : "";
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.registers), name == "BCD" || name == "String");
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.swapped_bytes), name == "String");
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.bit_names), name == "Bits");
}
