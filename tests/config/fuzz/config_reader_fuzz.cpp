// libFuzzer target for the configuration reader. Besides crashes, leaks
// and hangs it checks one property: whatever the reader accepts, the
// writer writes back in a form the reader turns into the same result.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/config_format.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    PollDefinition poll;
    LabelStore labels;
    set_label(labels, 1, "held before");
    ConfigReadResult result = read_configuration(text, poll, labels);
    if (!result.ok) {
        if (result.failed_line == 0)
            __builtin_trap();
        return 0;
    }
    if (result.failed_line != 0 || poll.fcode < 1 || poll.fcode > 4)
        __builtin_trap();

    std::string written = write_configuration(poll, labels);
    PollDefinition again;
    LabelStore again_labels;
    ConfigReadResult reread = read_configuration(written, again, again_labels);
    if (!reread.ok || !(again == poll) || again_labels.entries != labels.entries)
        __builtin_trap();
    return 0;
}
