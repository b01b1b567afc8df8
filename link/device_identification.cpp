#include "link/device_identification.hpp"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint8_t mei_device_identification = 14;
constexpr uint8_t exception_mark = 0x80;
// Unit, function, MEI type, read code, conformity, more follows, next
// object, object count.
constexpr size_t identification_header = 8;
constexpr uint8_t more_follows = 0xFF;

bool is_refusal(const Frame& request, const uint8_t* frame, size_t size)
{
    return size == 3 && frame[0] == request.bytes[0] && frame[1] == (request.bytes[1] | exception_mark);
}

bool printable(uint8_t byte)
{
    return byte >= 0x20 && byte < 0x7F;
}

// Appends count objects from at; false when they overrun the frame.
bool read_objects(const uint8_t* frame, size_t size, size_t at, unsigned count, IdentificationReply& reply)
{
    for (unsigned i = 0; i < count; ++i) {
        if (at + 2 > size || at + 2 + frame[at + 1] > size)
            return false;
        const char* value = reinterpret_cast<const char*>(frame + at + 2);
        reply.objects.emplace_back(frame[at], std::string(value, frame[at + 1]));
        at += 2 + frame[at + 1];
    }
    return at == size;
}

}  // namespace

Frame identification_request(uint8_t unit, uint8_t read_code, uint8_t first_object)
{
    Frame frame;
    frame.bytes = {unit, read_device_identification, mei_device_identification, read_code, first_object};
    frame.size = 5;
    return frame;
}

Frame server_id_request(uint8_t unit)
{
    Frame frame;
    frame.bytes = {unit, report_server_id};
    frame.size = 2;
    return frame;
}

IdentificationReply parse_identification(const Frame& request, const uint8_t* frame, size_t size)
{
    IdentificationReply reply;
    if (is_refusal(request, frame, size)) {
        reply.refused = true;
        return reply;
    }
    if (size < identification_header || frame[0] != request.bytes[0] || frame[1] != read_device_identification ||
        frame[2] != mei_device_identification || frame[3] != request.bytes[3])
        return reply;
    reply.conformity = frame[4];
    reply.more = frame[5] == more_follows;
    reply.next_object = frame[6];
    reply.good = read_objects(frame, size, identification_header, frame[7], reply);
    if (!reply.good)
        reply.objects.clear();
    return reply;
}

bool offers_regular(uint8_t conformity)
{
    return (conformity & ~exception_mark) >= regular_objects;
}

ServerIdReply parse_server_id(const Frame& request, const uint8_t* frame, size_t size)
{
    ServerIdReply reply;
    if (is_refusal(request, frame, size)) {
        reply.refused = true;
        return reply;
    }
    if (size < 3 || frame[0] != request.bytes[0] || frame[1] != report_server_id || size != 3u + frame[2])
        return reply;
    reply.good = true;
    for (size_t i = 3; i < size; ++i) {
        if (printable(frame[i])) {
            reply.text += char(frame[i]);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "<%02X>", frame[i]);
            reply.text += hex;
        }
    }
    return reply;
}

std::string identification_text(const std::vector<std::pair<uint8_t, std::string>>& objects)
{
    std::vector<std::pair<uint8_t, std::string>> sorted = objects;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (const auto& [id, value] : sorted) {
        if (value.empty())
            continue;
        if (!text.empty())
            text += " / ";
        text += value;
    }
    return text;
}
