#pragma once
// A tab's grid in its page. The grid is made and laid out when its tab is
// first shown, and only the shown tab's grid is in the window: the others
// wait outside it, kept by their tabs, so that a set-up of many large tabs
// neither builds grids nobody looks at nor makes the window, or a load that
// replaces the tabs, walk their thousands of widgets.

struct PollTabs;
struct PollTab;

// main.tab's grid in its page, above the statistics line, made and laid
// out if it never was; its cells are empty until filled.
void bring_in_grid(PollTabs& main);
// As bring_in_grid, with the values reported last, in a later turn of the
// main loop, for whichever tab is shown then; until then main.tab's grid is
// empty and outside the window.
void bring_in_grid_soon(PollTabs& main);
// Takes tab's grid out of the window, if it is in.
void put_grid_aside(PollTab& tab);
