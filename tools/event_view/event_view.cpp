#include "tools/event_view/event_view.h"

#include <cstdio>

#include "agent/core/event_reader.h"

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A lone surrogate becomes U+FFFD.
std::string Utf8(const char16_t* text) {
    std::string out;
    for (size_t i = 0; text[i] != 0; ++i) {
        const uint32_t unit = text[i];
        const uint32_t next = text[i + 1];
        if (unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

void WriteJsonString(const std::string& text, std::ostream& out) {
    out << '"';
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if (byte < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
            out << escaped;
        } else {
            out << c;
        }
    }
    out << '"';
}

// False when the file cannot be opened or read (a directory, say).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    uint8_t block[65536];
    size_t count;
    while ((count = fread(block, 1, sizeof(block), file)) > 0) {
        bytes.insert(bytes.end(), block, block + count);
    }
    const bool read = ferror(file) == 0;
    fclose(file);
    return read;
}

} // namespace

std::vector<EventViewRow> EventViewRows(const std::vector<uint8_t>& bytes) {
    std::vector<EventViewRow> rows;
    int64_t lastEventTime = 0;
    char16_t lastEvent[EVENT_TEXT_UNITS] = {};
    ReadNewEventsFromBytes(
        bytes.data(), bytes.size(), lastEventTime, lastEvent, [&rows](const EventRow& row) {
            rows.insert(rows.begin(), {Utf8(row.timeText), Utf8(row.eventText), row.alert});
        });
    return rows;
}

void WriteEventRowsText(const std::vector<EventViewRow>& rows, std::ostream& out) {
    for (const EventViewRow& row : rows) {
        out << row.timeText << (row.alert ? "  ALERT  " : "         ") << row.eventText << '\n';
    }
}

void WriteEventRowsJson(const std::vector<EventViewRow>& rows, std::ostream& out) {
    out << '[';
    for (size_t i = 0; i < rows.size(); ++i) {
        out << (i == 0 ? "{" : ", {") << "\"time_text\": ";
        WriteJsonString(rows[i].timeText, out);
        out << ", \"event_text\": ";
        WriteJsonString(rows[i].eventText, out);
        out << ", \"alert\": " << (rows[i].alert ? "true" : "false") << '}';
    }
    out << "]\n";
}

int RunEventsCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    std::string path;
    bool json = false;
    for (const std::string& argument : arguments) {
        if (argument == "--json") {
            json = true;
        } else if (path.empty() && !argument.empty() && argument[0] != '-') {
            path = argument;
        } else {
            err << "events: unexpected argument '" << argument << "'\n";
            path.clear();
            break;
        }
    }
    if (path.empty()) {
        err << "usage: events FILE [--json]   (FILE: an event file, ZELKSrv.evt)\n";
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) {
        err << "events: cannot read " << path << '\n';
        return 1;
    }
    const std::vector<EventViewRow> rows = EventViewRows(bytes);
    if (json) {
        WriteEventRowsJson(rows, out);
    } else {
        WriteEventRowsText(rows, out);
    }
    return 0;
}
