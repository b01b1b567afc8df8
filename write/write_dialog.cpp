#include "write/write_dialog.hpp"

#include <modbus.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "widgets/address_spin.hpp"
#include "widgets/dialog_grid.hpp"
#include "tabs/poll_tabs.hpp"
#include "handover/ui_post.hpp"
#include "link/link_reports.hpp"
#include "link/link_state.hpp"
#include "table/grid_input.hpp"
#include "table/grid_layout.hpp"
#include "table/register_grid.hpp"
#include "handover/shown_values.hpp"
#include "values/wide_value.hpp"
#include "write/write_point.hpp"
#include "write/write_value.hpp"

// One showing of the alert. The completion of a choice may arrive after the
// program has already closed the alert and shown the next one, so each
// showing carries its own mark instead of the record's flags.
struct WriteAlertShowing {
    WriteDialog* dialog;
    uint32_t sequence;  // the write it was shown for
    bool closed_by_program = false;
};

namespace {

// The link of the write this dialog reports on; before any, the shown tab's.
LinkState& link_of(const WriteDialog& dialog)
{
    return dialog.link ? *dialog.link : *shown_link(*dialog.tabs).link;
}

// Function-code entries in drop-down order.
constexpr uint8_t write_fcodes[] = {5, 6, 15, 16};

ValueFormat current_format(const WriteDialog& dialog)
{
    return dialog.tabs ? selected_format(dialog.tabs->tab->table) : ValueFormat::UINT;
}

WordOrder current_order(const WriteDialog& dialog)
{
    return dialog.tabs ? selected_order(dialog.tabs->tab->table) : WordOrder::AB_CD;
}

using Words = std::array<uint16_t, 4>;

void on_value_changed(GtkEditable* entry, gpointer data);

void show_current_value(WriteDialog& dialog)
{
    if (show_point_value(dialog))
        return;
    char text[64];
    const char* shown = render_registers_or_fallback(dialog.current_words.data(), current_format(dialog),
                                                     current_order(dialog), text, sizeof text);
    // The text stands for the registers already; parsing it back would lose
    // what it does not show, such as the payload of a NaN.
    g_signal_handlers_block_by_func(dialog.value_entry, reinterpret_cast<gpointer>(on_value_changed), &dialog);
    gtk_editable_set_text(GTK_EDITABLE(dialog.value_entry), shown);
    g_signal_handlers_unblock_by_func(dialog.value_entry, reinterpret_cast<gpointer>(on_value_changed), &dialog);
    dialog.value_edited = false;
}

// The value entry's text as the registers it is written as in a format,
// or nothing when it is no value of the format.
std::optional<Words> parse_entry(const WriteDialog& dialog, ValueFormat format)
{
    const char* text = gtk_editable_get_text(GTK_EDITABLE(dialog.value_entry));
    Words words{};
    unsigned width = value_width(format);
    if (width == 1) {
        std::optional<uint16_t> value = parse_write_value(text, format);
        if (!value)
            return std::nullopt;
        words[0] = *value;
    } else {
        std::optional<uint64_t> bits = parse_wide_value(text, format);
        if (!bits)
            return std::nullopt;
        split_value(*bits, width, current_order(dialog), words.data());
    }
    return words;
}

// The registers of the value at address as polled, read in the format, or
// the fallback number when they are not all polled.
Words value_at(const WriteDialog& dialog, uint16_t address, uint16_t fallback)
{
    ValueFormat format = current_format(dialog);
    unsigned width = value_width(format);
    const PollTabs& main = *dialog.tabs;
    uint16_t start = main.tab->definition->poll.address;
    // Only values read for the block now defined count.
    PublishedValues published = main.grid_context.shown ? copy_values_for(*main.grid_context.shown, main.tab->definition->key, main.tab->definition->poll) : PublishedValues{};
    Words words{};
    if (address >= start && unsigned(address - start) + width <= published.value_count) {
        for (unsigned i = 0; i < width; ++i)
            words[i] = published.values[address - start + i];
    } else {
        split_value(bits_of_number(fallback, format), width, current_order(dialog), words.data());
    }
    return words;
}

guint selected_entry(const WriteDialog& dialog)
{
    guint selected = gtk_drop_down_get_selected(dialog.fcode_dropdown);
    return selected < 4 ? selected : 1;
}

// Single writes always carry one item, so their length row is hidden.
void update_length_row(WriteDialog& dialog)
{
    bool multiple = selected_entry(dialog) >= 2;
    if (!multiple)
        gtk_spin_button_set_value(dialog.length_spin, 1);
    gtk_widget_set_visible(GTK_WIDGET(dialog.length_label), multiple);
    gtk_widget_set_visible(GTK_WIDGET(dialog.length_spin), multiple);
}

void clear_message(WriteDialog& dialog)
{
    gtk_label_set_text(dialog.message_label, "");
    gtk_widget_remove_css_class(GTK_WIDGET(dialog.message_label), "error");
}

// The address shows in the table the function writes: a Modicon number
// changes its first digit with it.
void follow_function(WriteDialog& dialog)
{
    set_address_spin_notation(dialog.address_spin, address_notation(*dialog.tabs),
                              table_of_function(write_fcodes[selected_entry(dialog)]));
}

void on_fcode_selected(GObject*, GParamSpec*, gpointer dialog)
{
    update_length_row(*static_cast<WriteDialog*>(dialog));
    follow_function(*static_cast<WriteDialog*>(dialog));
}

void on_value_changed(GtkEditable*, gpointer data)
{
    WriteDialog& dialog = *static_cast<WriteDialog*>(data);
    dialog.value_edited = true;
    if (std::optional<Words> words = parse_entry(dialog, current_format(dialog)))
        dialog.current_words = *words;
}

void on_address_changed(GtkSpinButton*, gpointer dialog)
{
    follow_aimed_point(*static_cast<WriteDialog*>(dialog));
}

void on_bit_chosen(GObject*, GParamSpec*, gpointer dialog)
{
    show_point_value(*static_cast<WriteDialog*>(dialog));
}

// A name chosen is the value typed.
void on_name_chosen(GObject*, GParamSpec*, gpointer data)
{
    WriteDialog& dialog = *static_cast<WriteDialog*>(data);
    guint chosen = gtk_drop_down_get_selected(dialog.name_choice);
    if (chosen >= dialog.choice_names.size())
        return;
    gtk_editable_set_text(GTK_EDITABLE(dialog.value_entry), dialog.choice_names[chosen].c_str());
}

void on_send(GtkWidget*, gpointer dialog)
{
    send_write(*static_cast<WriteDialog*>(dialog));
}

void on_close(GtkButton*, gpointer dialog)
{
    gtk_widget_set_visible(GTK_WIDGET(static_cast<WriteDialog*>(dialog)->window), FALSE);
}

GtkSpinButton* make_spin(double lower, double upper, double page, double initial)
{
    GtkAdjustment* adjustment = gtk_adjustment_new(initial, lower, upper, 1, page, 0);
    GtkWidget* spin = gtk_spin_button_new(adjustment, 0, 0);
    gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(spin), TRUE);
    gtk_editable_set_alignment(GTK_EDITABLE(spin), 1.0f);
    return GTK_SPIN_BUTTON(spin);
}

GtkLabel* add_row(GtkGrid* grid, int row, const char* caption, GtkWidget* widget)
{
    GtkWidget* label = gtk_label_new(caption);
    gtk_widget_set_halign(label, GTK_ALIGN_END);
    gtk_grid_attach(grid, label, 0, row, 1, 1);
    gtk_grid_attach(grid, widget, 1, row, 1, 1);
    gtk_accessible_update_relation(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_RELATION_LABELLED_BY, label, nullptr, -1);
    return GTK_LABEL(label);
}

// GTK 4.8 spin buttons have no "activate" of their own; Enter reaches the
// text widget inside, after the spin button has taken the typed number.
void send_on_enter(GtkSpinButton* spin, WriteDialog& dialog)
{
    g_signal_connect(gtk_editable_get_delegate(GTK_EDITABLE(spin)), "activate", G_CALLBACK(on_send), &dialog);
}

// GTK 4.8 names a mnemonic button by its raw label and by its label child
// together ("_Send Send"), which a screen reader speaks underscore and all,
// and which no accessibility client finds by the button's text. The child
// alone names it.
GtkButton* make_mnemonic_button(const char* text)
{
    GtkWidget* button = gtk_button_new_with_mnemonic(text);
    gtk_accessible_reset_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL);
    return GTK_BUTTON(button);
}

GtkWidget* make_header_bar(WriteDialog& dialog)
{
    GtkHeaderBar* header = GTK_HEADER_BAR(gtk_header_bar_new());
    gtk_header_bar_set_title_widget(header, gtk_label_new("Write Settings"));
    gtk_header_bar_set_show_title_buttons(header, FALSE);
    dialog.close_button = make_mnemonic_button("_Close");
    dialog.send_button = make_mnemonic_button("_Send");
    gtk_widget_add_css_class(GTK_WIDGET(dialog.send_button), "suggested-action");
    gtk_header_bar_pack_start(header, GTK_WIDGET(dialog.close_button));
    gtk_header_bar_pack_end(header, GTK_WIDGET(dialog.send_button));
    g_signal_connect(dialog.close_button, "clicked", G_CALLBACK(on_close), &dialog);
    g_signal_connect(dialog.send_button, "clicked", G_CALLBACK(on_send), &dialog);
    return GTK_WIDGET(header);
}

GtkWidget* make_content(WriteDialog& dialog)
{
    GtkGrid* grid = make_dialog_grid();

    static const char* const functions[] = {"05 Write Single Coil", "06 Write Single Register",
                                            "0F Write Multiple Coils", "10 Write Multiple Registers", nullptr};
    dialog.slave_spin = make_spin(1, 255, 10, 1);
    dialog.fcode_dropdown = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(functions));
    gtk_drop_down_set_selected(dialog.fcode_dropdown, 1);
    gtk_widget_set_hexpand(GTK_WIDGET(dialog.fcode_dropdown), TRUE);
    dialog.address_spin = make_spin(0, 65535, 10, 0);
    dialog.value_entry = GTK_ENTRY(gtk_entry_new());
    gtk_editable_set_alignment(GTK_EDITABLE(dialog.value_entry), 1.0f);
    gtk_editable_set_text(GTK_EDITABLE(dialog.value_entry), "0");
    dialog.message_label = GTK_LABEL(gtk_label_new(""));
    gtk_label_set_wrap(dialog.message_label, TRUE);
    dialog.length_spin = make_spin(1, 240, 10, 1);

    add_row(grid, 0, "Modbus ID:", GTK_WIDGET(dialog.slave_spin));
    add_row(grid, 1, "Function Code:", GTK_WIDGET(dialog.fcode_dropdown));
    add_row(grid, 2, "Address:", GTK_WIDGET(dialog.address_spin));
    add_row(grid, 3, "Value:", GTK_WIDGET(dialog.value_entry));
    gtk_grid_attach(grid, GTK_WIDGET(dialog.message_label), 0, 4, 2, 2);
    dialog.length_label = add_row(grid, 6, "Length:", GTK_WIDGET(dialog.length_spin));
    dialog.name_choice = GTK_DROP_DOWN(gtk_drop_down_new(nullptr, nullptr));
    dialog.name_label = add_row(grid, 7, "Name:", GTK_WIDGET(dialog.name_choice));
    dialog.bit_choice = GTK_DROP_DOWN(gtk_drop_down_new(nullptr, nullptr));
    dialog.bit_label = add_row(grid, 8, "Bit:", GTK_WIDGET(dialog.bit_choice));
    dialog.read_change_write = GTK_CHECK_BUTTON(gtk_check_button_new_with_label(
        "Read, change and write the whole register (another master may change it between the read and the write)"));
    gtk_grid_attach(grid, GTK_WIDGET(dialog.read_change_write), 0, 9, 2, 1);
    for (GtkWidget* hidden : {GTK_WIDGET(dialog.name_choice), GTK_WIDGET(dialog.name_label), GTK_WIDGET(dialog.bit_choice),
                              GTK_WIDGET(dialog.bit_label), GTK_WIDGET(dialog.read_change_write)})
        gtk_widget_set_visible(hidden, FALSE);
    g_signal_connect(dialog.address_spin, "value-changed", G_CALLBACK(on_address_changed), &dialog);
    g_signal_connect(dialog.bit_choice, "notify::selected", G_CALLBACK(on_bit_chosen), &dialog);
    g_signal_connect(dialog.name_choice, "notify::selected", G_CALLBACK(on_name_chosen), &dialog);
    // The parse error belongs to the value or the address it refuses.
    for (GtkWidget* refused : {GTK_WIDGET(dialog.value_entry), GTK_WIDGET(dialog.address_spin)})
        gtk_accessible_update_relation(GTK_ACCESSIBLE(refused), GTK_ACCESSIBLE_RELATION_DESCRIBED_BY,
                                       dialog.message_label, nullptr, -1);

    g_signal_connect(dialog.fcode_dropdown, "notify::selected", G_CALLBACK(on_fcode_selected), &dialog);
    g_signal_connect(dialog.value_entry, "changed", G_CALLBACK(on_value_changed), &dialog);
    g_signal_connect(dialog.value_entry, "activate", G_CALLBACK(on_send), &dialog);
    send_on_enter(dialog.slave_spin, dialog);
    send_on_enter(dialog.address_spin, dialog);
    send_on_enter(dialog.length_spin, dialog);
    return GTK_WIDGET(grid);
}

void refuse(WriteDialog& dialog, const char* text)
{
    refuse_write(dialog, text);
}

bool is_coil_write(uint8_t fcode)
{
    return fcode == 5 || fcode == 15;
}

// Why Send cannot hand the write over, or null. A value of several
// registers needs "10", and all its copies must fit one request.
const char* refusal(uint8_t fcode, unsigned count, ValueFormat format, bool parsed, char* text, size_t size)
{
    unsigned width = is_coil_write(fcode) ? 1 : value_width(format);
    if (width > 1 && fcode == 6)
        return "32-bit and 64-bit values need \"10 Write Multiple Registers\"";
    if (!parsed && is_coil_write(fcode))
        return "Coils take 0 or 1 (or ON, OFF)";
    if (!parsed) {
        std::snprintf(text, size, "Ungültiger Wert für das ausgewählte Format (%s)", accepted_values(format));
        return text;
    }
    if (width > 1 && count * width > MODBUS_MAX_WRITE_REGISTERS) {
        std::snprintf(text, size, "%u registers do not fit one request (at most %d)", count * width,
                      MODBUS_MAX_WRITE_REGISTERS);
        return text;
    }
    return nullptr;
}

// The registers Send writes, or nothing when the entry holds no value the
// write takes. A coil's text is always read afresh: it may say ON or OFF,
// and a number shown and left alone may be no state of a coil.
std::optional<Words> value_to_send(const WriteDialog& dialog, uint8_t fcode, ValueFormat format)
{
    if (is_coil_write(fcode)) {
        std::optional<bool> on = parse_coil_value(gtk_editable_get_text(GTK_EDITABLE(dialog.value_entry)), format);
        return on ? std::optional(Words{uint16_t(*on)}) : std::nullopt;
    }
    // A value shown and left alone goes back as the registers it came from,
    // which its text may not tell whole (a NaN's payload).
    return dialog.value_edited ? parse_entry(dialog, format) : std::optional(dialog.current_words);
}

// Where Write starts on the shown tab: at its cursor (the first register
// of a wide value), or at the block's first address while the cursor is on
// no cell of an address.
uint16_t shown_tab_address(const PollTabs& main)
{
    const PollTab& tab = *main.tab;
    bool on_cell = tab.table.cursor_row >= 1 && tab.table.cursor_column >= 1 && tab.table.grid &&
                   gtk_grid_get_child_at(tab.table.grid, tab.table.cursor_column, tab.table.cursor_row);
    uint32_t address = on_cell ? group_first_address(main.tab->table, cursor_address(main.tab->table)) : highest_address + 1;
    return address <= highest_address ? static_cast<uint16_t>(address) : tab.definition->poll.address;
}

// The device is the shown tab's, whichever tab the last write came from;
// the function, value and length stay as the user left them.
void aim_at_shown_tab(WriteDialog& dialog)
{
    const PollTabs& main = *dialog.tabs;
    gtk_spin_button_set_value(dialog.slave_spin, main.tab->definition->poll.slave);
    gtk_spin_button_set_value(dialog.address_spin, shown_tab_address(main));
}

void present_modal(WriteDialog& dialog)
{
    gtk_window_set_transient_for(dialog.window, dialog.tabs->window);
    gtk_window_set_modal(dialog.window, TRUE);
    gtk_window_present(dialog.window);
}

// The request goes to the worker under a sequence number of its own, which
// every result names; while the link is not running it ends at once as
// failed, "Not connected", and never reaches a worker.
void hand_over(WriteDialog& dialog, uint8_t fcode, uint16_t count, const Words& words, unsigned width)
{
    WriteRequest request;
    std::copy(words.begin(), words.end(), request.words.begin());
    request.width = static_cast<uint8_t>(width);
    request.slave = static_cast<uint8_t>(gtk_spin_button_get_value_as_int(dialog.slave_spin));
    request.fcode = fcode;
    request.address = static_cast<uint16_t>(gtk_spin_button_get_value_as_int(dialog.address_spin));
    request.value = words[0];
    request.count = count;
    submit_write(dialog, request);
}

}  // namespace

void refuse_write(WriteDialog& dialog, const char* text)
{
    gtk_label_set_text(dialog.message_label, text);
    gtk_widget_add_css_class(GTK_WIDGET(dialog.message_label), "error");
}

void submit_write(WriteDialog& dialog, WriteRequest request)
{
    dialog.last_fcode = request.fcode;
    dialog.link = shown_link(*dialog.tabs).link;
    LinkState& link = *dialog.link;
    bool running = link.running.load(std::memory_order_acquire);
    dialog.sequence = hand_over_write(link, request, running);
    if (!running) {
        report_write(&dialog);
        return;
    }
    signal_wake(link);
    post_to_ui(report_write, &dialog);
}

namespace {

// Closes the "Pending" alert from the program's side. Its completion, now
// or later, is marked as ours so it is not taken for the user's Cancel.
void close_pending_alert(WriteDialog& dialog)
{
    if (!dialog.pending_shown || !dialog.cancellable)
        return;
    if (dialog.showing)
        dialog.showing->closed_by_program = true;
    dialog.showing = nullptr;
    dialog.pending_shown = false;
    g_autoptr(GCancellable) cancellable = std::exchange(dialog.cancellable, nullptr);
    g_cancellable_cancel(cancellable);
}

void show_alert(WriteDialog& dialog, GCancellable* cancellable)
{
    dialog.showing = new WriteAlertShowing{&dialog, dialog.sequence};
    dialog.pending_shown = true;
    alert_dialog_choose(dialog.alert, dialog.window, cancellable, on_write_alert_closed, dialog.showing);
}

void set_result_texts(WriteDialog& dialog, const WriteResult& result)
{
    if (result.failed) {
        alert_dialog_set_message(dialog.alert, "Error ❌");
        bool mask_refused = dialog.last_fcode == 22 && result.exception == 1;
        alert_dialog_set_detail(dialog.alert, mask_refused ? "The device refused function 0x16 (Mask Write Register); "
                                                             "it may take the whole register written instead"
                                                           : write_failure_text(result));
    } else {
        alert_dialog_set_message(dialog.alert, "Success ✅");
        alert_dialog_set_detail(dialog.alert, "Write operation completed");
    }
    static const char* const close[] = {"Close", nullptr};
    alert_dialog_set_buttons(dialog.alert, close);
    alert_dialog_set_cancel_button(dialog.alert, -1);
}

// A cancelled write shows no result: its "Pending" alert is closed.
bool report_cancel(WriteDialog& dialog)
{
    if (!dialog.cancelled)
        return false;
    close_pending_alert(dialog);
    return true;
}

void report_finished(WriteDialog& dialog, const WriteResult& result)
{
    if (dialog.result_scheduled || report_cancel(dialog))
        return;
    close_pending_alert(dialog);
    set_result_texts(dialog, result);
    post_to_ui(show_write_result, &dialog);
    dialog.result_scheduled = true;
}

void report_pending(WriteDialog& dialog)
{
    if (report_cancel(dialog))
        return;
    alert_dialog_set_message(dialog.alert, "Pending");
    alert_dialog_set_detail(dialog.alert, "Write operation in progress");
    static const char* const cancel[] = {"Cancel", nullptr};
    alert_dialog_set_buttons(dialog.alert, cancel);
    alert_dialog_set_cancel_button(dialog.alert, 0);
    if (dialog.pending_shown || dialog.showing)
        return;
    g_clear_object(&dialog.cancellable);
    dialog.cancellable = g_cancellable_new();
    show_alert(dialog, dialog.cancellable);
}

}  // namespace

void build_write_dialog(WriteDialog& dialog, PollTabs& main)
{
    dialog.tabs = &main;
    dialog.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_hide_on_close(dialog.window, TRUE);
    gtk_window_set_titlebar(dialog.window, make_header_bar(dialog));
    gtk_window_set_child(dialog.window, make_content(dialog));
    follow_function(dialog);
    if (main.preferences)
        listen_to_preferences(*main.preferences, [&dialog] { follow_function(dialog); });
    gtk_window_set_default_widget(dialog.window, GTK_WIDGET(dialog.send_button));
    gtk_accessible_update_property(GTK_ACCESSIBLE(dialog.window), GTK_ACCESSIBLE_PROPERTY_LABEL, "Write Settings", -1);
    update_length_row(dialog);

    dialog.alert = alert_dialog_new("Pending!");
    alert_dialog_set_detail(dialog.alert, "Write operation in progress");
    static const char* const cancel[] = {"Cancel", nullptr};
    alert_dialog_set_buttons(dialog.alert, cancel);
    alert_dialog_set_cancel_button(dialog.alert, 0);
}

void open_write_dialog(WriteDialog& dialog, uint16_t address, uint16_t fallback_value)
{
    const PollDefinition& poll = dialog.tabs->tab->definition->poll;
    WriteRequest last = copy_write_request(link_of(dialog));
    gtk_spin_button_set_value(dialog.slave_spin, poll.slave);
    gtk_spin_button_set_value(dialog.address_spin, address);
    for (guint i = 0; i < 4; ++i)
        if (write_fcodes[i] == last.fcode)
            gtk_drop_down_set_selected(dialog.fcode_dropdown, i);

    dialog.current_words = value_at(dialog, address, fallback_value);
    follow_aimed_point(dialog);
    show_current_value(dialog);

    gtk_spin_button_set_value(dialog.length_spin, last.count);
    update_length_row(dialog);
    clear_message(dialog);
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.slave_spin), TRUE);
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.address_spin), TRUE);
    gtk_widget_set_sensitive(GTK_WIDGET(dialog.value_entry), TRUE);

    present_modal(dialog);
    gtk_widget_grab_focus(GTK_WIDGET(dialog.value_entry));
}

void present_write_dialog_modal(WriteDialog& dialog)
{
    aim_at_shown_tab(dialog);
    present_modal(dialog);
}

void present_write_dialog(WriteDialog& dialog)
{
    aim_at_shown_tab(dialog);
    gtk_window_present(dialog.window);
}

void rerender_write_value(WriteDialog& dialog)
{
    if (dialog.value_entry)
        show_current_value(dialog);
}

void send_write(WriteDialog& dialog)
{
    dialog.cancelled = false;
    g_clear_object(&dialog.cancellable);
    dialog.pending_shown = false;
    dialog.result_scheduled = false;
    clear_message(dialog);

    // A number typed but not yet committed with Enter still counts.
    gtk_spin_button_update(dialog.slave_spin);
    gtk_spin_button_update(dialog.length_spin);
    ParsedAddress address = take_address_spin(dialog.address_spin);
    if (!address.address)
        return refuse(dialog, address.refusal.c_str());
    guint entry = selected_entry(dialog);
    uint8_t fcode = write_fcodes[entry];
    uint16_t count = entry >= 2 ? static_cast<uint16_t>(gtk_spin_button_get_value_as_int(dialog.length_spin)) : 1;

    if (send_point_write(dialog, fcode))
        return;
    ValueFormat format = current_format(dialog);
    std::optional<Words> words = value_to_send(dialog, fcode, format);
    char text[160];
    if (const char* reason = refusal(fcode, count, format, words.has_value(), text, sizeof text))
        return refuse(dialog, reason);
    // The entry shows the value sent in the format's own notation; a coil
    // value typed while a wide format is chosen stays as typed.
    bool coils_in_wide_format = is_coil_write(fcode) && value_width(format) > 1;
    if (!coils_in_wide_format) {
        dialog.current_words = *words;
        show_current_value(dialog);
    }
    unsigned width = is_coil_write(fcode) ? 1 : value_width(format);
    hand_over(dialog, fcode, count, *words, width);
}

void report_write(void* data)
{
    WriteDialog& dialog = *static_cast<WriteDialog*>(data);
    if (dialog.sequence == 0)
        return;
    // Only the result of this dialog's own write closes it.
    WriteResult result = last_write_result(link_of(dialog));
    if (result.sequence == dialog.sequence)
        report_finished(dialog, result);
    else
        report_pending(dialog);
}

void show_write_result(void* data)
{
    WriteDialog& dialog = *static_cast<WriteDialog*>(data);
    // Only one choice at a time: an alert the user has not yet closed stays.
    if (dialog.showing)
        return;
    show_alert(dialog, nullptr);
}

void on_write_alert_closed(GObject* alert, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<WriteAlertShowing> showing(static_cast<WriteAlertShowing*>(data));
    g_autoptr(GError) error = nullptr;
    alert_dialog_choose_finish(ALERT_DIALOG(alert), result, &error);
    if (showing->closed_by_program)
        return;

    // The user's Cancel (or Escape) on "Pending": a write the worker has
    // not taken is withdrawn and never sent; one under way runs to its end
    // and its result is not shown.
    WriteDialog& dialog = *showing->dialog;
    if (last_write_result(link_of(dialog)).sequence != showing->sequence) {
        withdraw_write(link_of(dialog), showing->sequence);
        if (showing->sequence == dialog.sequence)
            dialog.cancelled = true;
    }
    dialog.pending_shown = false;
    g_clear_object(&dialog.cancellable);
    if (dialog.showing == showing.get())
        dialog.showing = nullptr;
}
