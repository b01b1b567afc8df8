#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "registermap/map_export_file.hpp"
#include "registermap/map_import_dialog.hpp"
#include "support/app_link.hpp"
#include "support/gtk_test_env.hpp"
#include "support/refusal_alerts.hpp"
#include "support/temp_folder.hpp"

namespace {

using EntryKey = std::tuple<uint8_t, ModbusTable, uint16_t, std::string>;

// The entries by where they stand, each with its point.
std::vector<std::pair<EntryKey, Point>> sorted_entries(const std::vector<MapEntry>& entries)
{
    std::vector<std::pair<EntryKey, Point>> sorted;
    for (const MapEntry& entry : entries)
        sorted.push_back({{entry.unit, entry.table, entry.address, entry.name}, entry.point});
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return sorted;
}

std::string reading_of(MapImportDialog& dialog, size_t row)
{
    return gtk_label_get_text(dialog.readings.at(row));
}

GtkWidget* preview_cell(MapImportDialog& dialog, int column, int row)
{
    return gtk_grid_get_child_at(dialog.columns, column, 2 + row);
}

// Closes every alert over the main window, as the user's click on Close does.
void close_alerts(App& a)
{
    GListModel* windows = gtk_window_get_toplevels();
    std::vector<GtkWindow*> alerts;
    for (guint i = 0; i < g_list_model_get_n_items(windows); ++i) {
        g_autoptr(GtkWindow) window = GTK_WINDOW(g_list_model_get_item(windows, i));
        if (gtk_window_get_transient_for(window) == GTK_WINDOW(a.main_window.window) && gtk_window_get_modal(window) &&
            window != a.map_import.window)
            alerts.push_back(window);
    }
    for (GtkWindow* alert : alerts)
        press_alert_button(alert, "Close");
    drain_main_loop();
}

const DefinitionSetUp* definition_reading(SetUpModel& model, uint8_t fcode)
{
    for (auto& definition : model.definitions)
        if (definition->poll.fcode == fcode && definition->poll.slave == 1)
            return definition.get();
    return nullptr;
}

}  // namespace

// Given a semicolon map with a byte order mark, a notation named in its
// header and a malformed row, expect the drop-downs preset, a column chosen
// by hand to change the preview, the error by line and column, the set-up
// untouched until Import, then tabs holding the good rows' points, which
// Export writes to a file that reads back to the same points.
TEST(MapImportDialog, ImportsTheGoodRowsAsTabsAndExportReadsBack)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    MapImportDialog& dialog = a.map_import;
    TempFolder folder;
    std::string path = folder.file("boiler.csv");
    write_file(path, "\xEF\xBB\xBFTag;Address (Modicon);Data Type;Scale;Units;Text\r\n"
                     "T1;40001;REAL;0.1;\xC2\xB0" "C;Boiler temperature\r\n"
                     "P1;40003;INT;;bar;Pressure\r\n"
                     "X1;40005;REAL48;;;Broken\r\n"
                     "R1;00001;BOOL;;;Pump running\r\n"
                     "F1;30001;UINT;2;l/min;Flow\r\n");
    ASSERT_TRUE(open_map_file(dialog, path.c_str()));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(dialog.window)));
    EXPECT_EQ(chosen_map_fields(dialog),
              (std::vector<MapField>{MapField::name, MapField::address, MapField::data_type, MapField::scale,
                                     MapField::engineering_unit, MapField::none}));
    EXPECT_NE(reading_of(dialog, 0).find("T1"), std::string::npos) << reading_of(dialog, 0);
    EXPECT_TRUE(gtk_widget_has_css_class(preview_cell(dialog, 5, 0), "dim-label"));

    // The label from the last column rather than the first.
    gtk_drop_down_set_selected(dialog.fields[0], guint(MapField::none));
    gtk_drop_down_set_selected(dialog.fields[5], guint(MapField::name));
    EXPECT_NE(reading_of(dialog, 0).find("Boiler temperature"), std::string::npos) << reading_of(dialog, 0);
    EXPECT_TRUE(gtk_widget_has_css_class(preview_cell(dialog, 0, 0), "dim-label"));
    EXPECT_FALSE(gtk_widget_has_css_class(preview_cell(dialog, 5, 0), "dim-label"));
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(dialog.readings.at(2)), "error"));
    GtkTextBuffer* errors = gtk_text_view_get_buffer(dialog.errors);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(errors, &start, &end);
    g_autofree char* error_text = gtk_text_buffer_get_text(errors, &start, &end, FALSE);
    EXPECT_TRUE(g_str_has_prefix(error_text, "Line 4, column Data Type")) << error_text;
    EXPECT_NE(std::string(gtk_label_get_text(dialog.summary)).find("1 row "), std::string::npos);
    EXPECT_EQ(a.set_up.definitions.size(), 1u) << "nothing changes before Import";
    EXPECT_FALSE(a.set_up.document.changed);

    std::vector<MapEntry> imported = dialog.reading.entries;
    ASSERT_EQ(imported.size(), 4u);
    MapImport import = apply_map_import(dialog);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(dialog.window)));
    EXPECT_EQ(import.definitions_added, 3u);
    ASSERT_EQ(a.set_up.definitions.size(), 4u);
    EXPECT_EQ(gtk_notebook_get_n_pages(a.tabs.notebook), 4);
    const DefinitionSetUp* holding = definition_reading(a.set_up, 3);
    ASSERT_NE(holding, nullptr);
    EXPECT_EQ(holding->poll.address, 0);
    ASSERT_EQ(holding->points.count(0), 1u);
    EXPECT_EQ(holding->points.at(0).format, ValueFormat::FLOAT32);
    EXPECT_EQ(holding->points.at(0).unit, "\xC2\xB0" "C");
    ASSERT_NE(find_label(holding->labels, 0), nullptr);
    EXPECT_EQ(find_label(holding->labels, 0)->text, "Boiler temperature");
    EXPECT_EQ(find_label(holding->labels, 4), nullptr) << "the broken row is left out";
    ASSERT_NE(definition_reading(a.set_up, 1), nullptr);
    ASSERT_NE(definition_reading(a.set_up, 4), nullptr);
    AlertTexts alerts = alerts_over(GTK_WINDOW(a.main_window.window));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].at(0).find("4 points"), std::string::npos) << alerts[0].at(0);
    EXPECT_NE(alerts[0].at(0).find("3 new tabs"), std::string::npos) << alerts[0].at(0);
    EXPECT_NE(alerts[0].at(1).find("1 row "), std::string::npos) << alerts[0].at(1);

    std::string exported = folder.file("register-map.csv");
    ASSERT_TRUE(export_register_map(a.map_export, exported.c_str()));
    ASSERT_TRUE(open_map_file(dialog, exported.c_str()));
    EXPECT_TRUE(dialog.reading.errors.empty());
    EXPECT_EQ(sorted_entries(dialog.reading.entries), sorted_entries(imported));
}

// Given a tab of unit 1's holding registers, expect an import into it to
// add the holding registers' points and leave out a coil with the reason.
TEST(MapImportDialog, AddingToTheShownTabLeavesOutOtherTables)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    store_poll_definition(PollDefinition{1, 3, 0, 10, 1000});
    MapImportDialog& dialog = a.map_import;
    TempFolder folder;
    std::string path = folder.file("plant.csv");
    write_file(path, "Name,Table,Address\nSetpoint,Holding Registers,5\nRun,Coils,3\nLimit,Holding Registers,7\n");
    ASSERT_TRUE(open_map_file(dialog, path.c_str()));
    gtk_check_button_set_active(dialog.into_shown, TRUE);
    MapImport import = apply_map_import(dialog);

    EXPECT_EQ(import.definitions_added, 0u);
    EXPECT_EQ(a.set_up.definitions.size(), 1u);
    const DefinitionSetUp& shown = *a.tabs.tab->definition;
    ASSERT_NE(find_label(shown.labels, 5), nullptr);
    EXPECT_EQ(find_label(shown.labels, 5)->text, "Setpoint");
    ASSERT_NE(find_label(shown.labels, 7), nullptr);
    EXPECT_EQ(find_label(shown.labels, 3), nullptr);
    AlertTexts alerts = alerts_over(GTK_WINDOW(a.main_window.window));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].at(0).find("2 points"), std::string::npos) << alerts[0].at(0);
    EXPECT_NE(alerts[0].at(1).find("1 point "), std::string::npos) << alerts[0].at(1);
    close_alerts(a);

    // A file that holds no map is refused with the reason, the dialog not shown.
    write_file(path, "");
    EXPECT_FALSE(open_map_file(dialog, path.c_str()));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(dialog.window)));
    alerts = alerts_over(GTK_WINDOW(a.main_window.window));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].at(0), "Cannot import register map");
}
