#include "link/kept_link.hpp"

#include <cerrno>
#include <utility>

bool is_exception_response(int error)
{
    // EMBBADEXC: a whole exception response whose code the library does not know.
    return (error >= EMBXILFUN && error <= EMBXGTAR) || error == EMBBADEXC;
}

bool is_device_error(int error)
{
    return error == EIO || error == ENXIO || error == EBADF || error == ENODEV;
}

bool keep_after_cycle(const ConnectionSettings& settings, int failure)
{
    if (!settings.keep_open)
        return false;
    if (!settings.use_tcp)
        return !is_device_error(failure);
    return failure == 0 || is_exception_response(failure);
}

OpenResult KeptLink::take(const ConnectionSettings& settings, CallGuard& guard, PassedOver passed_over)
{
    kept_.wire.passed_over = passed_over;
    bool same = kept_.wire && opened_with_ == settings;
    // Nothing needs to be sent to tell a peer that closed the connection.
    if (same && (!settings.use_tcp || pass_over_pending(kept_.wire) != -1)) {
        OpenResult kept = std::exchange(kept_, OpenResult{});
        kept.connect_time = {};  // counted when it was made
        return kept;
    }
    kept_ = OpenResult{};  // closes a connection made with other settings, or closed at the far end
    OpenResult opened = open_link(settings, guard, &server_);
    opened.wire.passed_over = std::move(passed_over);
    return opened;
}

void KeptLink::give_back(OpenResult opened, const ConnectionSettings& settings, int failure)
{
    if (!opened.wire || !keep_after_cycle(settings, failure))
        return;  // opened closes here
    kept_ = std::move(opened);
    opened_with_ = settings;
}
