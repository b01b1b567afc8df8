#pragma once
// What the status line stands on: the newest status of the link and of each
// poll definition that no good read has cleared since. No GTK here.
//
// A good read of a definition clears its own status and the link's (the
// link works again), but not another definition's: one block's exception
// stays on the line while the other blocks are read without fault.

#include <vector>

#include "link/link_reports.hpp"

struct StatusBoard {
    std::vector<LinkStatus> standing;  // newest last, at most one per definition
};

void post_status(StatusBoard& board, const LinkStatus& status);
// The newest standing status, or a cleared one.
LinkStatus shown_status(const StatusBoard& board);
