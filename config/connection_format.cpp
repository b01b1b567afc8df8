#include "config/connection_format.hpp"

#include <cstdint>
#include <optional>

#include "values/number_syntax.hpp"

namespace {

std::string_view yes_no(bool value)
{
    return value ? "yes" : "no";
}

std::optional<bool> parse_yes_no(std::string_view value)
{
    if (value == "yes")
        return true;
    if (value == "no")
        return false;
    return std::nullopt;
}

// A small number between low and high into field.
template <typename T>
bool store_number(std::string_view value, uint32_t low, uint32_t high, T& field)
{
    std::optional<uint32_t> number = parse_unsigned(value, high);
    if (!number || *number < low)
        return false;
    field = T(*number);
    return true;
}

bool apply_choice_piece(std::string_view key, std::string_view value, ConnectionSettings& settings)
{
    if (key == "type") {
        settings.use_tcp = value == "tcp";
        return value == "tcp" || value == "serial";
    }
    if (key == "parity") {
        if (value != "N" && value != "O" && value != "E")
            return false;
        settings.parity = value.front();
        return true;
    }
    if (key == "serial_mode") {
        settings.serial_framing = value == "ascii" ? SerialFraming::ascii : SerialFraming::rtu;
        return value == "ascii" || value == "rtu";
    }
    if (key == "tcp_mode") {
        settings.tcp_framing = value == "rtu" ? TcpFraming::rtu : TcpFraming::mbap;
        return value == "rtu" || value == "mbap";
    }
    std::optional<bool> keep_open = parse_yes_no(value);
    if (keep_open)
        settings.keep_open = *keep_open;
    return keep_open.has_value();
}

}  // namespace

void append_connection_line(std::string& out, const ConnectionSettings& settings, std::string_view keyword)
{
    out.append(keyword).append(" type=").append(settings.use_tcp ? "tcp" : "serial");
    // One field holds the baud rate of a serial line or the port of a server.
    out.append(settings.use_tcp ? " port=" : " baud=").append(std::to_string(settings.baud_or_port));
    out.append(" parity=").append(1, settings.parity);
    out.append(" data_bits=").append(std::to_string(settings.data_bits));
    out.append(" stop_bits=").append(std::to_string(settings.stop_bits));
    out.append(" serial_mode=").append(settings.serial_framing == SerialFraming::ascii ? "ascii" : "rtu");
    out.append(" tcp_mode=").append(settings.tcp_framing == TcpFraming::rtu ? "rtu" : "mbap");
    out.append(" timeout=").append(std::to_string(settings.response_timeout_ms));
    out.append(" keep_open=").append(yes_no(settings.keep_open));
    out.append("\n");
}

bool apply_connection_piece(std::string_view key, std::string_view value, ConnectionSettings& settings)
{
    if (key == "baud")
        return store_number(value, 1, UINT32_MAX, settings.baud_or_port);
    if (key == "port")
        return store_number(value, 1, UINT16_MAX, settings.baud_or_port);
    if (key == "data_bits")
        return store_number(value, 5, 8, settings.data_bits);
    if (key == "stop_bits")
        return store_number(value, 1, 2, settings.stop_bits);
    if (key == "timeout")
        return store_number(value, 0, UINT32_MAX, settings.response_timeout_ms);
    if (key == "type" || key == "parity" || key == "serial_mode" || key == "tcp_mode" || key == "keep_open")
        return apply_choice_piece(key, value, settings);
    return true;
}
