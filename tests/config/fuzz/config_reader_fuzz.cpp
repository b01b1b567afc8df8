// libFuzzer target for the configuration reader. Besides crashes, leaks
// and hangs it checks one property: whatever the reader accepts, the
// writer writes back in a form the reader turns into the same definitions
// (points and connection indexes included) and connections.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_format.hpp"

namespace {

bool same(const DefinitionSetUp& a, const DefinitionSetUp& b)
{
    return a.poll == b.poll && a.labels.entries == b.labels.entries && a.name == b.name && a.format == b.format &&
           a.order == b.order && a.chart == b.chart && a.points == b.points && a.connection == b.connection;
}

// Default settings are written as none, and read back as none.
bool same(const std::optional<ConnectionSettings>& a, const std::optional<ConnectionSettings>& b)
{
    return a.value_or(ConnectionSettings{}) == b.value_or(ConnectionSettings{});
}

// The first connection's name the model gives is written as none.
bool same_connections(const SetUpRecord& a, const SetUpRecord& b)
{
    auto first_name = [](const SetUpRecord& set_up) -> std::string_view {
        return set_up.connection_name.empty() ? first_connection_name : set_up.connection_name;
    };
    if (!same(a.connection, b.connection) || first_name(a) != first_name(b) ||
        a.more_connections.size() != b.more_connections.size())
        return false;
    for (size_t i = 0; i < a.more_connections.size(); ++i)
        if (a.more_connections[i].name != b.more_connections[i].name ||
            a.more_connections[i].settings != b.more_connections[i].settings)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    SetUpRecord set_up;
    ConfigReadResult result = read_configuration(text, PollDefinition{}, set_up);
    const std::vector<DefinitionSetUp>& read = set_up.definitions;
    if (!result.ok) {
        if (result.failed_line == 0)
            __builtin_trap();
        return 0;
    }
    if (result.failed_line != 0 || read.empty() || read.size() > max_poll_definitions)
        __builtin_trap();
    for (const DefinitionSetUp& definition : read)
        if (definition.poll.fcode < 1 || definition.poll.fcode > 4)
            __builtin_trap();
    if (set_up.more_connections.size() >= max_connections)
        __builtin_trap();

    SetUpRecord written;
    ConfigReadResult reread = read_configuration(write_configuration(set_up), PollDefinition{}, written);
    const std::vector<DefinitionSetUp>& again = written.definitions;
    if (!reread.ok || again.size() != read.size() || !same_connections(set_up, written))
        __builtin_trap();
    for (size_t i = 0; i < read.size(); ++i)
        if (!same(read[i], again[i]))
            __builtin_trap();
    return 0;
}
