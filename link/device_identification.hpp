#pragma once
// What a unit tells of itself: Read Device Identification (function 43, MEI
// type 14) and, where a unit refuses it, Report Server ID (function 17).
// Frames are unit id and protocol data unit (link/frames.hpp); pure.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "link/frames.hpp"

inline constexpr uint8_t read_device_identification = 43;
inline constexpr uint8_t report_server_id = 17;
// Read device id codes: the basic objects (vendor, product code, revision),
// and the regular ones (URL, product and model name, application name).
inline constexpr uint8_t basic_objects = 1;
inline constexpr uint8_t regular_objects = 2;

// A stream of objects from first_object on.
Frame identification_request(uint8_t unit, uint8_t read_code, uint8_t first_object);
Frame server_id_request(uint8_t unit);

struct IdentificationReply {
    bool good = false;     // a well-formed reply to the request
    bool refused = false;  // an exception reply
    uint8_t conformity = 0;
    bool more = false;     // the unit has more objects, from next_object on
    uint8_t next_object = 0;
    std::vector<std::pair<uint8_t, std::string>> objects;
};

// Checks frame against request (both unit id and protocol data unit).
IdentificationReply parse_identification(const Frame& request, const uint8_t* frame, size_t size);
// Whether the unit offers the regular objects beside the basic ones.
bool offers_regular(uint8_t conformity);

// The bytes of a good Report Server ID reply as text, printable bytes as
// they are and the others in hex (<FF>); empty for a refusal or a reply that
// disagrees with the request.
struct ServerIdReply {
    bool good = false;
    bool refused = false;
    std::string text;
};
ServerIdReply parse_server_id(const Frame& request, const uint8_t* frame, size_t size);

// The objects as one line: their values in object order, " / " between.
std::string identification_text(const std::vector<std::pair<uint8_t, std::string>>& objects);
