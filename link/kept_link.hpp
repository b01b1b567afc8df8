#pragma once
// The connection that may outlive its poll cycle ("Keep connection open").
//
// The worker holds one KeptLink for as long as it cycles. Each cycle takes
// its connection from it and hands it back at the end. The connection stays
// open for the next cycle only while keep_open is on and the settings are
// the ones it was opened with. A TCP connection is dropped after any
// failure but a Modbus exception response: after a time-out, a reset or a
// malformed reply the stream may be out of step. A serial port stays open
// across such failures (opening it again toggles DTR and RTS, which resets
// some devices): the quiet line before each request keeps late answers out;
// only an error of the device itself closes it. Before a kept TCP
// connection is used, what waits in it (a late reply, which no request
// awaits now) is passed over, and a connection the far end closed while
// idle, even behind such bytes, is opened anew before anything is sent.
// Whether kept or not, a numeric server address is read once for as long
// as the settings name it (see ServerAddress). Destroying the KeptLink
// closes the connection; the worker's loop ends, and with it the KeptLink,
// on Disconnect, at exit and when a newer worker takes over.

#include "link/open_link.hpp"

// True for the errors of a device that answered with an exception response.
bool is_exception_response(int error);
// True for the errors that say the line itself is gone or unusable.
bool is_device_error(int error);

// Whether a cycle that ended so leaves its connection fit for the next one.
// failure: the errno of the cycle's failed exchange with the device, 0 if
// none failed.
bool keep_after_cycle(const ConnectionSettings& settings, int failure);

class KeptLink {
public:
    // The kept connection when it was opened with these very settings;
    // otherwise the kept one is closed and a new one opened, watched by
    // guard. The worker's guard outlives its KeptLink, so a Disconnect shuts
    // a kept socket down as it does one opened for a single cycle.
    // The line's bytes passed over go to passed_over, from now on.
    OpenResult take(const ConnectionSettings& settings, CallGuard& guard, PassedOver passed_over);
    // The end of a cycle that took opened: kept for the next cycle, or closed.
    void give_back(OpenResult opened, const ConnectionSettings& settings, int failure);

private:
    OpenResult kept_;
    ConnectionSettings opened_with_;
    ServerAddress server_;  // the server text as the last opening read it
};
