// A register map's CSV file read into cells. Tag exports come from many
// tools: the separator is found in the header line, quoted fields may hold
// anything, and lines end either way. Each row keeps the file line it
// starts on, so an error names the line an editor shows.

#include <array>
#include <string>
#include <vector>

#include "registermap/map_words.hpp"
#include "registermap/register_map.hpp"

namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// Bytes a UTF-8 sequence opened by lead takes, 0 for a byte that opens none.
size_t sequence_length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Whether the sequence at text[i] of length bytes is well formed: no
// overlong form, no surrogate, nothing above U+10FFFF.
bool good_sequence(std::string_view text, size_t i, size_t length)
{
    if (length == 0 || i + length > text.size())
        return false;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return false;
    unsigned char lead = static_cast<unsigned char>(text[i]);
    unsigned char next = length > 1 ? static_cast<unsigned char>(text[i + 1]) : 0;
    if ((lead == 0xE0 && next < 0xA0) || (lead == 0xED && next > 0x9F))
        return false;
    return !((lead == 0xF0 && next < 0x90) || (lead == 0xF4 && next > 0x8F));
}

// Why text is no UTF-8 text, naming the line, or empty when it is.
std::string text_refusal(std::string_view text)
{
    size_t line = 1;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\0')
            return "The file holds a zero byte on line " + std::to_string(line) + ": it is no text file";
        size_t length = sequence_length(static_cast<unsigned char>(text[i]));
        if (!good_sequence(text, i, length))
            return "The file is not UTF-8 text: line " + std::to_string(line) + " holds a byte that is not";
        line += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
        i += length;
    }
    return {};
}

struct CsvCursor {
    std::string_view text;
    char separator = ',';
    size_t at = 0;
    size_t line = 1;
};

bool at_line_end(const CsvCursor& cursor)
{
    return cursor.at >= cursor.text.size() || cursor.text[cursor.at] == '\n' || cursor.text[cursor.at] == '\r';
}

// Steps over one line break (CRLF, LF or a lone CR) and counts it.
void pass_line_end(CsvCursor& cursor)
{
    if (cursor.at < cursor.text.size() && cursor.text[cursor.at] == '\r')
        ++cursor.at;
    if (cursor.at < cursor.text.size() && cursor.text[cursor.at] == '\n')
        ++cursor.at;
    ++cursor.line;
}

// The inside of a quoted field, cursor on its opening quote; false when
// the file ends before the closing one.
bool read_quoted(CsvCursor& cursor, std::string& field)
{
    ++cursor.at;
    while (cursor.at < cursor.text.size()) {
        char c = cursor.text[cursor.at];
        if (c == '"' && cursor.at + 1 < cursor.text.size() && cursor.text[cursor.at + 1] == '"') {
            field += '"';
            cursor.at += 2;
        } else if (c == '"') {
            ++cursor.at;
            return true;
        } else {
            // A CRLF inside the quotes is one line break, and one line.
            bool crlf = c == '\r' && cursor.at + 1 < cursor.text.size() && cursor.text[cursor.at + 1] == '\n';
            cursor.line += (c == '\n' || (c == '\r' && !crlf));
            field += c;
            ++cursor.at;
        }
    }
    return false;
}

// One field, cursor at its start; more tells whether a separator ended it
// (passed over) rather than the line's end (not passed). Blanks around an
// unquoted field are dropped; text after a closing quote is kept, without
// its blanks, as the tools that write such fields mean it.
bool read_field(CsvCursor& cursor, std::string& field, bool& more, std::string& refusal)
{
    size_t start = cursor.at;
    while (cursor.at < cursor.text.size() && cursor.text[cursor.at] == ' ')
        ++cursor.at;
    bool quoted = cursor.at < cursor.text.size() && cursor.text[cursor.at] == '"';
    size_t opened_on = cursor.line;
    if (quoted && !read_quoted(cursor, field)) {
        refusal = "Line " + std::to_string(opened_on) + ": a quoted field has no closing quote";
        return false;
    }
    if (!quoted)
        cursor.at = start;
    size_t rest = cursor.at;
    while (!at_line_end(cursor) && cursor.text[cursor.at] != cursor.separator)
        ++cursor.at;
    field += trim_cell(cursor.text.substr(rest, cursor.at - rest));
    more = !at_line_end(cursor);
    if (more)
        ++cursor.at;
    return true;
}

// The fields of the record at cursor, which is then on the next record.
bool read_record(CsvCursor& cursor, std::vector<std::string>& fields, std::string& refusal)
{
    fields.clear();
    bool more = true;
    while (more) {
        fields.emplace_back();
        if (!read_field(cursor, fields.back(), more, refusal))
            return false;
    }
    pass_line_end(cursor);
    return true;
}

bool all_blank(const std::vector<std::string>& fields)
{
    for (const std::string& field : fields)
        if (!field.empty())
            return false;
    return true;
}

// The separator of the first line that is not blank: the one of ",", ";"
// and tab that stands there most often outside quotes (a comma on a tie, and
// when there is none).
char find_separator(std::string_view text)
{
    size_t start = text.find_first_not_of("\r\n");
    std::array<size_t, 3> counts{};
    constexpr char candidates[] = {',', ';', '\t'};
    bool quoted = false;
    for (size_t i = start == std::string_view::npos ? text.size() : start; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"')
            quoted = !quoted;
        if (!quoted && (c == '\n' || c == '\r'))
            break;
        for (size_t k = 0; k < counts.size(); ++k)
            counts[k] += !quoted && c == candidates[k];
    }
    size_t best = 0;
    for (size_t k = 1; k < counts.size(); ++k)
        if (counts[k] > counts[best])
            best = k;
    return candidates[best];
}

}  // namespace

MapSheetReading read_map_sheet(std::string_view bytes)
{
    if (bytes.starts_with(byte_order_mark))
        bytes.remove_prefix(byte_order_mark.size());
    MapSheetReading reading;
    if (std::string refusal = text_refusal(bytes); !refusal.empty()) {
        reading.refusal = std::move(refusal);
        return reading;
    }
    MapSheet sheet;
    sheet.separator = find_separator(bytes);
    CsvCursor cursor{bytes, sheet.separator};
    std::vector<std::string> fields;
    bool have_header = false;
    while (cursor.at < bytes.size()) {
        size_t line = cursor.line;
        if (!read_record(cursor, fields, reading.refusal))
            return reading;
        if (all_blank(fields))
            continue;
        if (!have_header) {
            sheet.header = std::move(fields);
            have_header = true;
            continue;
        }
        sheet.rows.push_back(std::move(fields));
        sheet.lines.push_back(line);
    }
    if (!have_header) {
        reading.refusal = "The file has no header row";
        return reading;
    }
    reading.sheet = std::move(sheet);
    return reading;
}
