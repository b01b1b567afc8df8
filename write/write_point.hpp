#pragma once
// The Write dialog on a point: the value as the user reads it ("1480 rpm",
// "Running", a string), turned back into the registers it sends; one bit
// of a register by Mask Write Register, or, only when the user chooses it,
// by reading the register as last polled, changing the bit and writing it
// whole.

#include <cstdint>

#include "link/link_state.hpp"

struct Point;
struct WriteDialog;

// The point of the shown tab at the address the dialog aims at, or null.
const Point* aimed_point(const WriteDialog& dialog);

// The rows the point aimed at has (its names, its bits, the choice of a
// whole-register write) shown, the others hidden; then its value.
void follow_aimed_point(WriteDialog& dialog);

// Shows the point's value from the registers last polled; false when the
// dialog aims at no point.
bool show_point_value(WriteDialog& dialog);

// Send on a point: the write handed over, or refused with its reason in
// the dialog and nothing sent. False when the dialog aims at no point.
bool send_point_write(WriteDialog& dialog, uint8_t fcode);

// The write goes to the link (write_dialog.cpp).
void submit_write(WriteDialog& dialog, WriteRequest request);
// Shows why Send did nothing (write_dialog.cpp).
void refuse_write(WriteDialog& dialog, const char* text);
