#pragma once
// Alert and file dialogs with the shape of GtkAlertDialog and GtkFileDialog.
// GTK 4.10 brought both classes; against it the names below are the real
// classes. Against GTK 4.8 they are small classes of our own that build a
// window for one choice and destroy it when the choice completes, so no
// hidden window outlives its use.

#include <gtk/gtk.h>

#if GTK_CHECK_VERSION(4, 10, 0)
using AlertDialog = GtkAlertDialog;
using FileDialog = GtkFileDialog;
#define ALERT_DIALOG(object) GTK_ALERT_DIALOG(object)
#define FILE_DIALOG(object) GTK_FILE_DIALOG(object)
#else
G_DECLARE_FINAL_TYPE(BvAlertDialog, bv_alert_dialog, BV, ALERT_DIALOG, GObject)
G_DECLARE_FINAL_TYPE(BvFileDialog, bv_file_dialog, BV, FILE_DIALOG, GObject)
using AlertDialog = BvAlertDialog;
using FileDialog = BvFileDialog;
#define ALERT_DIALOG(object) BV_ALERT_DIALOG(object)
#define FILE_DIALOG(object) BV_FILE_DIALOG(object)
#endif
// g_autoptr(AlertDialog) and g_autoptr(FileDialog) work with either.
G_DEFINE_AUTOPTR_CLEANUP_FUNC(AlertDialog, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC(FileDialog, g_object_unref)

// Casts from the source object of a completion: ALERT_DIALOG(source), FILE_DIALOG(source).

// Errors of a choice that yields no button or file. With GTK 4.10 these are
// GTK_DIALOG_ERROR and its codes.
GQuark dialog_error_quark();
enum DialogErrorCode {
    DIALOG_ERROR_FAILED = 0,
    DIALOG_ERROR_CANCELLED = 1,  // the GCancellable was cancelled
    DIALOG_ERROR_DISMISSED = 2,  // closed without a choice and no cancel button
};

AlertDialog* alert_dialog_new(const char* message);
void alert_dialog_set_message(AlertDialog* self, const char* message);
void alert_dialog_set_detail(AlertDialog* self, const char* detail);
// buttons: a null-terminated array of labels; the index of the pressed one
// is the result of the choice.
void alert_dialog_set_buttons(AlertDialog* self, const char* const* buttons);
// The index that Escape or a close of the window yields; -1 for none.
void alert_dialog_set_cancel_button(AlertDialog* self, int button);
// The index that Enter yields, shown as the suggested action; -1 for none.
void alert_dialog_set_default_button(AlertDialog* self, int button);
void alert_dialog_choose(AlertDialog* self, GtkWindow* parent, GCancellable* cancellable,
                         GAsyncReadyCallback callback, gpointer user_data);
// The button index, or -1 with error set.
int alert_dialog_choose_finish(AlertDialog* self, GAsyncResult* result, GError** error);

FileDialog* file_dialog_new();
void file_dialog_set_initial_name(FileDialog* self, const char* name);
void file_dialog_set_initial_folder(FileDialog* self, GFile* folder);
void file_dialog_set_default_filter(FileDialog* self, GtkFileFilter* filter);
void file_dialog_save(FileDialog* self, GtkWindow* parent, GCancellable* cancellable,
                      GAsyncReadyCallback callback, gpointer user_data);
GFile* file_dialog_save_finish(FileDialog* self, GAsyncResult* result, GError** error);
void file_dialog_open(FileDialog* self, GtkWindow* parent, GCancellable* cancellable,
                      GAsyncReadyCallback callback, gpointer user_data);
GFile* file_dialog_open_finish(FileDialog* self, GAsyncResult* result, GError** error);

// The window of the choice in progress, or null (always null with the real
// classes). Lets tests press the buttons a user would press.
GtkWindow* alert_dialog_get_window(AlertDialog* self);
GtkWindow* file_dialog_get_window(FileDialog* self);
// The last file dialog that started a choice, for tests; null with the real classes.
FileDialog* file_dialog_get_last_started();

// Escape closes window as a close from the window manager does: a kept
// dialog hides, and runs its own close-request handler on the way.
void close_on_escape(GtkWindow* window);

// Says that the user's own action on a file failed: an alert with message
// (what failed) and detail (the system's reason) and one Close button,
// transient for the window the action came from. It stays until the user
// closes it, or the window's next refusal or withdraw_refusal takes it down,
// so no later report of the link can hide it.
void show_refusal(GtkWindow* parent, const char* message, const char* detail);
// Takes down the refusal shown for parent, if any: the user acts again.
void withdraw_refusal(GtkWindow* parent);
