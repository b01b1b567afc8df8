#include "values/csv_text.hpp"

#include <charconv>
#include <cstdio>
#include <ctime>

std::string csv_field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string number_text(double value)
{
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc{} ? std::string(text, end) : std::string();
}

std::string iso_utc_ms(int64_t time_ms)
{
    int64_t seconds = time_ms >= 0 ? time_ms / 1000 : -((-time_ms + 999) / 1000);
    int millis = int(time_ms - seconds * 1000);
    time_t whole = time_t(seconds);
    struct tm utc {};
    gmtime_r(&whole, &utc);
    char text[64];
    snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
             utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}
