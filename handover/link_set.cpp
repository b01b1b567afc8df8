#include "handover/link_set.hpp"

#include <algorithm>

#include "link/worker.hpp"

namespace {

// How often a retiring link is looked at, and how many looks in a row must
// find it quiet: a post it made just before its worker ended may be due in
// the same main-loop turn as the first look, but has run by the second.
constexpr guint retire_look_ms = 100;
constexpr int quiet_looks_needed = 2;

bool quiet(const ConnectionLink& retired)
{
    // Only the set holds it: no worker, no scan; and nothing of it waits
    // in the main loop, which holds it by a plain pointer.
    return retired.link.use_count() == 1 && retired.reports.use_count() == 1 &&
           retired.reports->pending_work.load(std::memory_order_acquire) == 0 && !retired.reports->look_armed;
}

gboolean on_retire_look(gpointer data)
{
    LinkSet& set = *static_cast<LinkSet*>(data);
    for (auto& retiring : set.retiring)
        retiring.quiet_looks = quiet(retiring.link) ? retiring.quiet_looks + 1 : 0;
    std::erase_if(set.retiring, [](const LinkSet::Retiring& r) { return r.quiet_looks >= quiet_looks_needed; });
    if (!set.retiring.empty())
        return G_SOURCE_CONTINUE;
    set.retire_timer = 0;
    return G_SOURCE_REMOVE;
}

void stop_link(ConnectionLink& retired)
{
    LinkState& link = *retired.link;
    link.running.store(false, std::memory_order_release);
    cancel_worker(link);
    if (fail_waiting_write(link))
        retired.reports->write_ended(last_write_result(link));
    mark_values_stale(*retired.reports->shown, 0, retired.connection);
    // Nothing it told before the cancel stands on the line any more.
    retired.reports->board.standing.clear();
    retired.reports->deliver.show_status = nullptr;
}

}  // namespace

ConnectionLink* find_link(LinkSet& set, uint32_t connection)
{
    for (ConnectionLink& link : set.links)
        if (link.connection == connection)
            return &link;
    return nullptr;
}

ConnectionLink& link_for(LinkSet& set, uint32_t connection)
{
    if (ConnectionLink* found = find_link(set, connection))
        return *found;
    ConnectionLink made{connection, std::make_shared<LinkState>(), std::make_shared<UiReports>()};
    made.reports->connection.store(connection, std::memory_order_relaxed);
    made.reports->shown = set.shown;
    made.reports->chart = set.chart;
    set.links.push_back(std::move(made));
    if (set.made)
        set.made(set.links.back());
    return set.links.back();
}

bool pass_on_link(LinkSet& set, uint32_t connection, const std::vector<uint32_t>& kept)
{
    if (find_link(set, connection))
        return false;
    for (ConnectionLink& link : set.links)
        if (std::find(kept.begin(), kept.end(), link.connection) == kept.end()) {
            link.connection = connection;
            link.reports->connection.store(connection, std::memory_order_relaxed);
            return true;
        }
    return false;
}

void retire_links_except(LinkSet& set, const std::vector<uint32_t>& in_use)
{
    bool dropped_status = false;
    for (auto it = set.links.begin(); it != set.links.end();) {
        if (std::find(in_use.begin(), in_use.end(), it->connection) != in_use.end()) {
            ++it;
            continue;
        }
        dropped_status = dropped_status || !it->reports->board.standing.empty();
        stop_link(*it);
        set.retiring.push_back({std::move(*it), 0});
        it = set.links.erase(it);
    }
    if (!set.retiring.empty() && !set.retire_timer)
        set.retire_timer = g_timeout_add(retire_look_ms, on_retire_look, &set);
    // What the line said of a link gone gives way to what the others say.
    if (dropped_status && !set.links.empty() && set.links.front().reports->deliver.show_status)
        set.links.front().reports->deliver.show_status(LinkStatus{});
}

bool any_link_running(const LinkSet& set)
{
    return std::any_of(set.links.begin(), set.links.end(),
                       [](const ConnectionLink& l) { return l.link->running.load(std::memory_order_acquire); });
}

void take_all_pending_ui_work(LinkSet& set)
{
    for (ConnectionLink& link : set.links)
        take_pending_ui_work(*link.reports);
}

void show_statuses_again(LinkSet& set)
{
    for (ConnectionLink& link : set.links)
        show_status_again(*link.reports);
}

void request_stop_all(LinkSet& set)
{
    for (ConnectionLink& link : set.links)
        request_stop(*link.link);
}

StandingStatus status_standing_elsewhere(const LinkSet& set, uint32_t except)
{
    StandingStatus standing;
    for (const ConnectionLink& link : set.links) {
        LinkStatus status = shown_status(link.reports->board);
        if (link.connection != except && status.kind != StatusKind::cleared)
            standing = {status, link.connection};
    }
    return standing;
}
