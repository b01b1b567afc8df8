#pragma once
// The links of the set-up: one for each connection that a poll definition
// polls over, each with its own worker, kept connection or serial port,
// statistics and status board, and its own UiReports. A device that falls
// silent on one connection holds back only that connection's worker.
//
// Every link's reports file values and polls into the same ShownValues and
// ChartFeed, which the views read by a definition's key alone (keys are
// unique across the set-up). A worker holds its link and its reports, and
// the reports hold what they file into, so a link dropped from the set
// stays whole under a worker that has yet to end. No window here.

#include <glib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "handover/chart_feed.hpp"
#include "handover/shown_values.hpp"
#include "handover/ui_reports.hpp"
#include "link/link_state.hpp"

// The link of one connection of the set-up.
struct ConnectionLink {
    uint32_t connection = 0;  // the connection's serial in the set-up model
    std::shared_ptr<LinkState> link;
    std::shared_ptr<UiReports> reports;
};

struct LinkSet {
    // What every link's reports file into.
    std::shared_ptr<ShownValues> shown = std::make_shared<ShownValues>();
    std::shared_ptr<ChartFeed> chart = std::make_shared<ChartFeed>();
    // Called on the user-interface thread for a link just made, before it
    // is handed a definition: the application wires its deliveries and
    // stores its connection's settings (and starts it while others run).
    std::function<void(ConnectionLink&)> made;

    std::vector<ConnectionLink> links;  // in the order they were made
    // Links no definition uses any more: stopped, and kept until nothing
    // but the set holds them and nothing of theirs waits in the main loop.
    struct Retiring {
        ConnectionLink link;
        int quiet_looks = 0;
    };
    std::vector<Retiring> retiring;
    guint retire_timer = 0;
};

// A link found or made stays where it is until the next is made or one is
// retired: hold no pointer to it across either.
ConnectionLink* find_link(LinkSet& set, uint32_t connection);
// The link of connection, made (and told to set.made) when there is none.
ConnectionLink& link_for(LinkSet& set, uint32_t connection);
// Hands connection, which has no link, the link of a connection no longer
// in the set-up (not among kept), if there is one: a load replaces every
// connection, and a link running then polls on under the new one as it
// always did, without a new worker's pause. False when there is none.
bool pass_on_link(LinkSet& set, uint32_t connection, const std::vector<uint32_t>& kept);
// Stops the link of every connection not in in_use and drops it from the
// set once its worker has ended. A write still waiting on it fails as "not
// connected"; its statuses stand no more.
void retire_links_except(LinkSet& set, const std::vector<uint32_t>& in_use);

// Whether any link is meant to run (connected, or connecting).
bool any_link_running(const LinkSet& set);
// Every link's take_pending_ui_work and show_status_again.
void take_all_pending_ui_work(LinkSet& set);
void show_statuses_again(LinkSet& set);
// The exit path: request_stop on every link.
void request_stop_all(LinkSet& set);

// A status that stands on another link's board than except's (of the
// links that have one, the one made last), with the connection it is
// about; a cleared status (connection 0) when none stands.
struct StandingStatus {
    LinkStatus status;
    uint32_t connection = 0;
};
StandingStatus status_standing_elsewhere(const LinkSet& set, uint32_t except);
