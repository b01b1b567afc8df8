#include "handover/status_board.hpp"

#include <vector>

void post_status(StatusBoard& board, const LinkStatus& status)
{
    if (status.kind == StatusKind::cleared) {
        // Cleared for the link as a whole (a new Connect): nothing stands.
        std::erase_if(board.standing, [&](const LinkStatus& s) {
            return status.definition == 0 || s.definition == 0 || s.definition == status.definition;
        });
        return;
    }
    std::erase_if(board.standing, [&](const LinkStatus& s) { return s.definition == status.definition; });
    board.standing.push_back(status);
}

LinkStatus shown_status(const StatusBoard& board)
{
    return board.standing.empty() ? LinkStatus{} : board.standing.back();
}
