// The agent's view of an event file on the host: the rows one pass of the agent over the file would add,
// newest first, as text or JSON. Behind `./zelk events FILE [--json]`.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct EventRow;

struct EventViewRow {
    std::string timeText;  // UTF-8
    std::string eventText; // UTF-8
    bool alert;
};

// The rows a first pass over `bytes` adds, newest (top) first.
std::vector<EventViewRow> EventViewRows(const std::vector<uint8_t>& bytes);

// One row a line: the time, "ALERT" or blanks, the event text.
void WriteEventRowsText(const std::vector<EventViewRow>& rows, std::ostream& out);
// [{"time_text": "...", "event_text": "...", "alert": true}, ...]
void WriteEventRowsJson(const std::vector<EventViewRow>& rows, std::ostream& out);

// The command: `FILE [--json]`; 0 on success, 1 when the file cannot be read, 2 for a bad command line.
int RunEventsCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
