#include "app/resources.hpp"

// Made by glib-compile-resources; registered by hand because the generated
// constructor would be dropped by the linker from the static library.
extern "C" void brenvaldor_register_resource(void);

void register_resources()
{
    static bool registered = false;
    if (!registered) {
        brenvaldor_register_resource();
        registered = true;
    }
}
