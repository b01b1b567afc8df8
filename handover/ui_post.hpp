#pragma once
// Hands work from any thread to the user-interface thread as a one-shot
// main-loop callback with a 0 ms time-out; callbacks run in posting order.
// The payload belongs to the callback once posted.

using UiCallback = void (*)(void* data);

void post_to_ui(UiCallback callback, void* data);
