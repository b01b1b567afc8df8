#include "link/kept_link.hpp"

#include <utility>

bool is_exception_response(int error)
{
    // EMBBADEXC: a whole exception response whose code the library does not know.
    return (error >= EMBXILFUN && error <= EMBXGTAR) || error == EMBBADEXC;
}

bool keep_after_cycle(const ConnectionSettings& settings, int failure)
{
    return settings.keep_open && (failure == 0 || is_exception_response(failure));
}

OpenResult KeptLink::take(const ConnectionSettings& settings, CallGuard& guard)
{
    // No flush here: every request flushes the line before it is sent.
    if (kept_.context && opened_with_ == settings) {
        OpenResult kept = std::exchange(kept_, OpenResult{});
        kept.connect_time = {};  // counted when it was made
        return kept;
    }
    kept_ = OpenResult{};  // closes a connection made with other settings
    return open_modbus(settings, guard);
}

void KeptLink::give_back(OpenResult opened, const ConnectionSettings& settings, int failure)
{
    if (!opened.context || !keep_after_cycle(settings, failure))
        return;  // opened closes here
    kept_ = std::move(opened);
    opened_with_ = settings;
}
