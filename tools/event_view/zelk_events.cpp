// zelk_events FILE [--json]: the rows the agent would show for an event file, newest first.
#include <iostream>
#include <string>
#include <vector>

#include "tools/event_view/event_view.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return RunEventsCommand(arguments, std::cout, std::cerr);
}
