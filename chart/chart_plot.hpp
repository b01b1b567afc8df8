#pragma once
// The plot of the Chart window: axes, grid lines, one curve per series, a
// legend and the hover read-out, drawn with cairo.

#include <gtk/gtk.h>

#include <string>

struct ChartWindow;

// The right-hand side: range drop-down, Pause, export buttons, plot, read-out.
GtkWidget* build_plot_side(ChartWindow& chart);
// A small square of the series colour.
GtkWidget* build_colour_swatch(unsigned colour);

// Draws the whole plot at the given size; also used for the PNG export.
void draw_plot(ChartWindow& chart, cairo_t* cr, int width, int height);

// The hover read-out for a pointer at x over a plot of the given width.
std::string hover_text(const ChartWindow& chart, double x, int width);
