#include "link/worker.hpp"

bool start_worker()
{
    return false;
}

int active_workers()
{
    return 0;
}
