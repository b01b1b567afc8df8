#include "widgets/dialog_layer.hpp"

#include <string>
#include <vector>

#if GTK_CHECK_VERSION(4, 10, 0)

GQuark dialog_error_quark() { return GTK_DIALOG_ERROR; }
AlertDialog* alert_dialog_new(const char* message) { return gtk_alert_dialog_new("%s", message); }
void alert_dialog_set_message(AlertDialog* self, const char* m) { gtk_alert_dialog_set_message(self, m); }
void alert_dialog_set_detail(AlertDialog* self, const char* d) { gtk_alert_dialog_set_detail(self, d); }
void alert_dialog_set_buttons(AlertDialog* self, const char* const* b) { gtk_alert_dialog_set_buttons(self, b); }
void alert_dialog_set_cancel_button(AlertDialog* self, int b) { gtk_alert_dialog_set_cancel_button(self, b); }
void alert_dialog_set_default_button(AlertDialog* self, int b) { gtk_alert_dialog_set_default_button(self, b); }
void alert_dialog_choose(AlertDialog* self, GtkWindow* parent, GCancellable* c, GAsyncReadyCallback cb, gpointer d)
{
    gtk_alert_dialog_choose(self, parent, c, cb, d);
}
int alert_dialog_choose_finish(AlertDialog* self, GAsyncResult* r, GError** e)
{
    return gtk_alert_dialog_choose_finish(self, r, e);
}
FileDialog* file_dialog_new() { return gtk_file_dialog_new(); }
void file_dialog_set_initial_name(FileDialog* self, const char* n) { gtk_file_dialog_set_initial_name(self, n); }
void file_dialog_set_initial_folder(FileDialog* self, GFile* f) { gtk_file_dialog_set_initial_folder(self, f); }
void file_dialog_set_default_filter(FileDialog* self, GtkFileFilter* f) { gtk_file_dialog_set_default_filter(self, f); }
void file_dialog_save(FileDialog* self, GtkWindow* p, GCancellable* c, GAsyncReadyCallback cb, gpointer d)
{
    gtk_file_dialog_save(self, p, c, cb, d);
}
GFile* file_dialog_save_finish(FileDialog* self, GAsyncResult* r, GError** e) { return gtk_file_dialog_save_finish(self, r, e); }
void file_dialog_open(FileDialog* self, GtkWindow* p, GCancellable* c, GAsyncReadyCallback cb, gpointer d)
{
    gtk_file_dialog_open(self, p, c, cb, d);
}
GFile* file_dialog_open_finish(FileDialog* self, GAsyncResult* r, GError** e) { return gtk_file_dialog_open_finish(self, r, e); }
GtkWindow* alert_dialog_get_window(AlertDialog*) { return nullptr; }
GtkWindow* file_dialog_get_window(FileDialog*) { return nullptr; }
FileDialog* file_dialog_get_last_started() { return nullptr; }

#else

G_DEFINE_QUARK(brenvaldor-dialog-error-quark, dialog_error)

namespace {

// One choice in progress: the window made for it, the task that completes
// it, and the cancellable whose "cancelled" closes it.
struct Choice {
    GTask* task = nullptr;
    GtkWindow* window = nullptr;
    GCancellable* cancellable = nullptr;
    gulong cancel_handler = 0;
    GObject* owner = nullptr;
    int cancel_button = -1;
};

void end_choice(Choice* choice);

}  // namespace

struct _BvAlertDialog {
    GObject parent_instance;
    std::string* message;
    std::string* detail;
    std::vector<std::string>* buttons;
    int cancel_button;
    int default_button;
    Choice* choice;  // while shown
};

G_DEFINE_FINAL_TYPE(BvAlertDialog, bv_alert_dialog, G_TYPE_OBJECT)

struct _BvFileDialog {
    GObject parent_instance;
    std::string* initial_name;
    GFile* initial_folder;
    GtkFileFilter* default_filter;
    Choice* choice;
};

G_DEFINE_FINAL_TYPE(BvFileDialog, bv_file_dialog, G_TYPE_OBJECT)

namespace {

BvFileDialog* last_started_file_dialog = nullptr;

void detach_choice(Choice* choice)
{
    if (BV_IS_ALERT_DIALOG(choice->owner))
        BV_ALERT_DIALOG(choice->owner)->choice = nullptr;
    else if (BV_IS_FILE_DIALOG(choice->owner))
        BV_FILE_DIALOG(choice->owner)->choice = nullptr;
}

// Completes the choice once and destroys its window; a later call (the
// window's own destruction, say) finds nothing left to do.
void end_choice(Choice* choice)
{
    if (choice->cancel_handler)
        g_signal_handler_disconnect(choice->cancellable, choice->cancel_handler);
    choice->cancel_handler = 0;
    detach_choice(choice);
    GtkWindow* window = choice->window;
    choice->window = nullptr;
    if (window) {
        g_object_set_data(G_OBJECT(window), "bv-choice", nullptr);
        gtk_window_destroy(window);
    }
    g_clear_object(&choice->cancellable);
    g_clear_object(&choice->task);
    g_clear_object(&choice->owner);
    delete choice;
}

// The choice is taken down before the task returns, so a completion that
// starts the next choice on the same dialog finds it free.
GTask* take_task(Choice* choice)
{
    GTask* task = G_TASK(g_object_ref(choice->task));
    end_choice(choice);
    return task;
}

void finish_with_int(Choice* choice, int value)
{
    g_autoptr(GTask) task = take_task(choice);
    g_task_return_int(task, value);
}

void finish_with_error(Choice* choice, int code, const char* text)
{
    g_autoptr(GTask) task = take_task(choice);
    g_task_return_new_error(task, dialog_error_quark(), code, "%s", text);
}

void on_choice_cancelled(GCancellable*, gpointer data)
{
    finish_with_error(static_cast<Choice*>(data), DIALOG_ERROR_CANCELLED, "Cancelled by application");
}

Choice* start_choice(GObject* owner, GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data)
{
    Choice* choice = new Choice;
    choice->owner = G_OBJECT(g_object_ref(owner));
    choice->task = g_task_new(owner, cancellable, callback, data);
    g_task_set_check_cancellable(choice->task, FALSE);
    if (cancellable) {
        choice->cancellable = G_CANCELLABLE(g_object_ref(cancellable));
        choice->cancel_handler = g_signal_connect(cancellable, "cancelled", G_CALLBACK(on_choice_cancelled), choice);
    }
    return choice;
}

// --- Alert ---

void on_alert_button(GtkButton* button, gpointer data)
{
    int index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "bv-index"));
    finish_with_int(static_cast<Choice*>(data), index);
}

void dismiss_alert(Choice* choice)
{
    if (choice->cancel_button >= 0)
        finish_with_int(choice, choice->cancel_button);
    else
        finish_with_error(choice, DIALOG_ERROR_DISMISSED, "Dismissed by user");
}

gboolean on_alert_close_request(GtkWindow* window, gpointer)
{
    if (Choice* choice = static_cast<Choice*>(g_object_get_data(G_OBJECT(window), "bv-choice")))
        dismiss_alert(choice);
    return TRUE;
}

gboolean on_alert_escape(GtkWidget* window, GVariant*, gpointer)
{
    on_alert_close_request(GTK_WINDOW(window), nullptr);
    return TRUE;
}

GtkWidget* make_alert_content(BvAlertDialog* self, Choice* choice)
{
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_margin_top(box, 18);
    gtk_widget_set_margin_bottom(box, 12);
    gtk_widget_set_margin_start(box, 18);
    gtk_widget_set_margin_end(box, 18);

    GtkWidget* message = gtk_label_new(self->message->c_str());
    gtk_widget_add_css_class(message, "title-2");
    gtk_label_set_wrap(GTK_LABEL(message), TRUE);
    gtk_box_append(GTK_BOX(box), message);
    if (!self->detail->empty()) {
        GtkWidget* detail = gtk_label_new(self->detail->c_str());
        gtk_label_set_wrap(GTK_LABEL(detail), TRUE);
        gtk_label_set_selectable(GTK_LABEL(detail), FALSE);
        gtk_box_append(GTK_BOX(box), detail);
    }

    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_set_halign(buttons, GTK_ALIGN_END);
    std::vector<std::string> labels = *self->buttons;
    if (labels.empty())
        labels.push_back("Close");
    for (size_t i = 0; i < labels.size(); ++i) {
        GtkWidget* button = gtk_button_new_with_label(labels[i].c_str());
        g_object_set_data(G_OBJECT(button), "bv-index", GINT_TO_POINTER(static_cast<int>(i)));
        g_signal_connect(button, "clicked", G_CALLBACK(on_alert_button), choice);
        if (int(i) == self->default_button) {
            gtk_widget_add_css_class(button, "suggested-action");
            g_object_set_data(G_OBJECT(box), "bv-default", button);
        }
        gtk_box_append(GTK_BOX(buttons), button);
    }
    gtk_box_append(GTK_BOX(box), buttons);
    return box;
}

// --- File chooser ---

void on_file_response(GtkDialog* dialog, int response, gpointer)
{
    Choice* choice = static_cast<Choice*>(g_object_get_data(G_OBJECT(dialog), "bv-choice"));
    if (!choice)
        return;
    if (response == GTK_RESPONSE_ACCEPT) {
        GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog));
        if (file) {
            g_autoptr(GTask) task = take_task(choice);
            g_task_return_pointer(task, file, g_object_unref);
            return;
        }
    }
    finish_with_error(choice, DIALOG_ERROR_DISMISSED, "Dismissed by user");
}

void choose_file(BvFileDialog* self, GtkWindow* parent, GtkFileChooserAction action, GCancellable* cancellable,
                 GAsyncReadyCallback callback, gpointer data)
{
    g_return_if_fail(self->choice == nullptr);
    Choice* choice = start_choice(G_OBJECT(self), cancellable, callback, data);
    last_started_file_dialog = self;
    if (cancellable && g_cancellable_is_cancelled(cancellable)) {
        finish_with_error(choice, DIALOG_ERROR_CANCELLED, "Cancelled by application");
        return;
    }
    bool saving = action == GTK_FILE_CHOOSER_ACTION_SAVE;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* dialog = gtk_file_chooser_dialog_new(saving ? "Save File" : "Open File", parent, action, "_Cancel",
                                                    GTK_RESPONSE_CANCEL, saving ? "_Save" : "_Open",
                                                    GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    if (self->initial_folder)
        gtk_file_chooser_set_current_folder(chooser, self->initial_folder, nullptr);
    if (saving && !self->initial_name->empty())
        gtk_file_chooser_set_current_name(chooser, self->initial_name->c_str());
    if (self->default_filter) {
        gtk_file_chooser_add_filter(chooser, self->default_filter);
        gtk_file_chooser_set_filter(chooser, self->default_filter);
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    choice->window = GTK_WINDOW(dialog);
    self->choice = choice;
    g_object_set_data(G_OBJECT(dialog), "bv-choice", choice);
    g_signal_connect(dialog, "response", G_CALLBACK(on_file_response), nullptr);
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace

static void bv_alert_dialog_finalize(GObject* object)
{
    BvAlertDialog* self = BV_ALERT_DIALOG(object);
    delete self->message;
    delete self->detail;
    delete self->buttons;
    G_OBJECT_CLASS(bv_alert_dialog_parent_class)->finalize(object);
}

static void bv_alert_dialog_class_init(BvAlertDialogClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = bv_alert_dialog_finalize;
}

static void bv_alert_dialog_init(BvAlertDialog* self)
{
    self->message = new std::string;
    self->detail = new std::string;
    self->buttons = new std::vector<std::string>;
    self->cancel_button = -1;
    self->default_button = -1;
    self->choice = nullptr;
}

static void bv_file_dialog_finalize(GObject* object)
{
    BvFileDialog* self = BV_FILE_DIALOG(object);
    if (last_started_file_dialog == self)
        last_started_file_dialog = nullptr;
    delete self->initial_name;
    g_clear_object(&self->initial_folder);
    g_clear_object(&self->default_filter);
    G_OBJECT_CLASS(bv_file_dialog_parent_class)->finalize(object);
}

static void bv_file_dialog_class_init(BvFileDialogClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = bv_file_dialog_finalize;
}

static void bv_file_dialog_init(BvFileDialog* self)
{
    self->initial_name = new std::string;
    self->initial_folder = nullptr;
    self->default_filter = nullptr;
    self->choice = nullptr;
}

AlertDialog* alert_dialog_new(const char* message)
{
    BvAlertDialog* self = BV_ALERT_DIALOG(g_object_new(bv_alert_dialog_get_type(), nullptr));
    self->message->assign(message ? message : "");
    return self;
}

void alert_dialog_set_message(AlertDialog* self, const char* message)
{
    self->message->assign(message ? message : "");
}

void alert_dialog_set_detail(AlertDialog* self, const char* detail)
{
    self->detail->assign(detail ? detail : "");
}

void alert_dialog_set_buttons(AlertDialog* self, const char* const* buttons)
{
    self->buttons->clear();
    for (; buttons && *buttons; ++buttons)
        self->buttons->emplace_back(*buttons);
}

void alert_dialog_set_cancel_button(AlertDialog* self, int button)
{
    self->cancel_button = button;
}

void alert_dialog_set_default_button(AlertDialog* self, int button)
{
    self->default_button = button;
}

void alert_dialog_choose(AlertDialog* self, GtkWindow* parent, GCancellable* cancellable,
                         GAsyncReadyCallback callback, gpointer user_data)
{
    g_return_if_fail(self->choice == nullptr);
    Choice* choice = start_choice(G_OBJECT(self), cancellable, callback, user_data);
    choice->cancel_button = self->cancel_button;
    if (cancellable && g_cancellable_is_cancelled(cancellable)) {
        finish_with_error(choice, DIALOG_ERROR_CANCELLED, "Cancelled by application");
        return;
    }
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(window, self->message->c_str());
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_modal(window, TRUE);
    if (parent)
        gtk_window_set_transient_for(window, parent);
    gtk_window_set_destroy_with_parent(window, TRUE);
    GtkWidget* content = make_alert_content(self, choice);
    gtk_window_set_child(window, content);
    // Enter presses the default button, which has the focus from the start.
    if (auto* button = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(content), "bv-default"))) {
        gtk_window_set_default_widget(window, button);
        gtk_window_set_focus(window, button);
    }

    GtkEventController* keys = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(keys),
        gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, GdkModifierType(0)),
                         gtk_callback_action_new(on_alert_escape, nullptr, nullptr)));
    gtk_widget_add_controller(GTK_WIDGET(window), keys);

    choice->window = window;
    self->choice = choice;
    g_object_set_data(G_OBJECT(window), "bv-choice", choice);
    g_signal_connect(window, "close-request", G_CALLBACK(on_alert_close_request), nullptr);
    gtk_window_present(window);
}

int alert_dialog_choose_finish(AlertDialog*, GAsyncResult* result, GError** error)
{
    GError* local = nullptr;
    gssize value = g_task_propagate_int(G_TASK(result), &local);
    if (local) {
        g_propagate_error(error, local);
        return -1;
    }
    return static_cast<int>(value);
}

FileDialog* file_dialog_new()
{
    return BV_FILE_DIALOG(g_object_new(bv_file_dialog_get_type(), nullptr));
}

void file_dialog_set_initial_name(FileDialog* self, const char* name)
{
    self->initial_name->assign(name ? name : "");
}

void file_dialog_set_initial_folder(FileDialog* self, GFile* folder)
{
    g_set_object(&self->initial_folder, folder);
}

void file_dialog_set_default_filter(FileDialog* self, GtkFileFilter* filter)
{
    g_set_object(&self->default_filter, filter);
}

void file_dialog_save(FileDialog* self, GtkWindow* parent, GCancellable* cancellable,
                      GAsyncReadyCallback callback, gpointer user_data)
{
    choose_file(self, parent, GTK_FILE_CHOOSER_ACTION_SAVE, cancellable, callback, user_data);
}

void file_dialog_open(FileDialog* self, GtkWindow* parent, GCancellable* cancellable,
                      GAsyncReadyCallback callback, gpointer user_data)
{
    choose_file(self, parent, GTK_FILE_CHOOSER_ACTION_OPEN, cancellable, callback, user_data);
}

static GFile* finish_file(GAsyncResult* result, GError** error)
{
    return static_cast<GFile*>(g_task_propagate_pointer(G_TASK(result), error));
}

GFile* file_dialog_save_finish(FileDialog*, GAsyncResult* result, GError** error)
{
    return finish_file(result, error);
}

GFile* file_dialog_open_finish(FileDialog*, GAsyncResult* result, GError** error)
{
    return finish_file(result, error);
}

GtkWindow* alert_dialog_get_window(AlertDialog* self)
{
    return self->choice ? self->choice->window : nullptr;
}

GtkWindow* file_dialog_get_window(FileDialog* self)
{
    return self->choice ? self->choice->window : nullptr;
}

FileDialog* file_dialog_get_last_started()
{
    return last_started_file_dialog;
}

#endif

namespace {

constexpr const char* refusal_key = "bv-refusal";

// The refusal shown for a window, kept on the window itself.
struct Refusal {
    AlertDialog* alert;
    GCancellable* cancellable;  // takes the alert down
};

void drop_refusal(gpointer data)
{
    auto* refusal = static_cast<Refusal*>(data);
    g_cancellable_cancel(refusal->cancellable);
    g_object_unref(refusal->cancellable);
    g_object_unref(refusal->alert);
    delete refusal;
}

void on_refusal_closed(GObject* source, GAsyncResult* result, gpointer data)
{
    g_autoptr(GObject) parent = G_OBJECT(data);
    alert_dialog_choose_finish(ALERT_DIALOG(source), result, nullptr);
    // A refusal that a newer one replaced is no longer the window's.
    auto* shown = static_cast<Refusal*>(g_object_get_data(parent, refusal_key));
    if (shown && G_OBJECT(shown->alert) == source)
        g_object_set_data(parent, refusal_key, nullptr);
}

// A window that goes takes its refusal down first, while the alert's own
// window, which goes with it, is still there to be closed.
void watch_refusal_parent(GtkWindow* parent)
{
    if (g_object_get_data(G_OBJECT(parent), "bv-refusal-watched"))
        return;
    g_object_set_data(G_OBJECT(parent), "bv-refusal-watched", GINT_TO_POINTER(1));
    g_signal_connect(parent, "destroy", G_CALLBACK(withdraw_refusal), nullptr);
}

}  // namespace

void close_on_escape(GtkWindow* window)
{
    GtkEventController* keys = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(keys),
        gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, GdkModifierType(0)),
                         gtk_named_action_new("window.close")));
    gtk_widget_add_controller(GTK_WIDGET(window), keys);
}

void show_refusal(GtkWindow* parent, const char* message, const char* detail)
{
    g_autoptr(AlertDialog) alert = alert_dialog_new(message);
    alert_dialog_set_detail(alert, detail);
    static const char* const close[] = {"Close", nullptr};
    alert_dialog_set_buttons(alert, close);
    alert_dialog_set_cancel_button(alert, 0);
    if (!parent) {
        alert_dialog_choose(alert, nullptr, nullptr, nullptr, nullptr);  // the choice holds the alert
        return;
    }
    watch_refusal_parent(parent);
    auto* refusal = new Refusal{ALERT_DIALOG(g_object_ref(alert)), g_cancellable_new()};
    // Replacing the window's earlier refusal takes that one down first.
    g_object_set_data_full(G_OBJECT(parent), refusal_key, refusal, drop_refusal);
    alert_dialog_choose(alert, parent, refusal->cancellable, on_refusal_closed, g_object_ref(parent));
}

void withdraw_refusal(GtkWindow* parent)
{
    if (parent)
        g_object_set_data(G_OBJECT(parent), refusal_key, nullptr);
}
