#include "support/pty_device.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "link/line_frames.hpp"

namespace {

using Bytes = PtyDevice::Bytes;
using Clock = PtyDevice::Clock;

constexpr int poll_interval_ms = 20;
constexpr uint8_t exception_mark = 0x80;

// The checksums are the program's own, checked against known frames in
// tests/link/line_frames_test.cpp.
uint16_t crc16(const uint8_t* bytes, size_t size)
{
    return rtu_checksum(bytes, size);
}

uint8_t lrc(const uint8_t* bytes, size_t size)
{
    return ascii_lrc(bytes, size);
}

int hex_digit(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

uint32_t baud_of(speed_t speed)
{
    struct Rate {
        speed_t code;
        uint32_t baud;
    };
    static constexpr Rate rates[] = {{B300, 300},       {B600, 600},       {B1200, 1200},     {B2400, 2400},
                                     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
                                     {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
                                     {B921600, 921600}};
    for (Rate rate : rates)
        if (rate.code == speed)
            return rate.baud;
    return 0;
}

unsigned word_at(const Bytes& bytes, size_t at)
{
    return unsigned(bytes[at]) << 8 | bytes[at + 1];
}

// Another function whose reply has the same length.
uint8_t other_function(uint8_t fcode)
{
    switch (fcode) {
    case 1: return 2;
    case 2: return 1;
    case 3: return 4;
    case 4: return 3;
    case 5: return 6;
    case 6: return 5;
    case 15: return 16;
    case 16: return 15;
    default: return uint8_t(fcode + 1);
    }
}

}  // namespace

std::unique_ptr<PtyDevice> PtyDevice::start(uint8_t unit, Framing framing)
{
    std::unique_ptr<PtyDevice> device(new PtyDevice);
    device->unit_ = unit;
    device->framing_ = framing;
    char name[256];
    if (openpty(&device->master_, &device->slave_, name, nullptr, nullptr) != 0)
        return nullptr;
    device->client_device_ = name;
    fcntl(device->master_, F_SETFD, FD_CLOEXEC);
    fcntl(device->slave_, F_SETFD, FD_CLOEXEC);
    fcntl(device->master_, F_SETFL, fcntl(device->master_, F_GETFL) | O_NONBLOCK);
    // Raw from the start: an echo of the device's own replies would come
    // back to it as requests.
    termios settings;
    tcgetattr(device->slave_, &settings);
    cfmakeraw(&settings);
    tcsetattr(device->slave_, TCSANOW, &settings);
    device->events_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (device->events_ < 0 || inotify_add_watch(device->events_, name, IN_OPEN | IN_CLOSE) < 0)
        return nullptr;
    device->thread_ = std::thread([d = device.get()] { d->serve(); });
    return device;
}

PtyDevice::~PtyDevice()
{
    stop();
}

void PtyDevice::stop()
{
    stopping_.store(true);
    if (thread_.joinable())
        thread_.join();
    for (int* fd : {&master_, &slave_, &events_})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

void PtyDevice::set_character(char parity, uint8_t data_bits, uint8_t stop_bits)
{
    std::lock_guard hold(lock_);
    parity_ = parity;
    data_bits_ = data_bits;
    stop_bits_ = stop_bits;
}

void PtyDevice::set_answer(Answer answer)
{
    std::lock_guard hold(lock_);
    answer_ = answer;
}

void PtyDevice::require_line(uint32_t baud, char parity)
{
    std::lock_guard hold(lock_);
    required_baud_ = baud;
    required_parity_ = parity;
}

void PtyDevice::set_paced(bool paced)
{
    std::lock_guard hold(lock_);
    paced_ = paced;
}

void PtyDevice::delay_replies_at(uint16_t address, int ms)
{
    std::lock_guard hold(lock_);
    late_address_ = address;
    late_ms_ = ms;
}

void PtyDevice::set_identification(std::vector<std::pair<uint8_t, std::string>> objects)
{
    std::lock_guard hold(lock_);
    identification_ = std::move(objects);
}

void PtyDevice::answer_next(std::vector<Answer> answers)
{
    std::lock_guard hold(lock_);
    next_answers_.insert(next_answers_.end(), answers.begin(), answers.end());
}

void PtyDevice::set_holding(uint16_t address, uint16_t value)
{
    std::lock_guard hold(lock_);
    holding_[address] = value;
}

uint16_t PtyDevice::holding(uint16_t address)
{
    std::lock_guard hold(lock_);
    return holding_[address];
}

std::vector<PtyDevice::Heard> PtyDevice::heard()
{
    std::lock_guard hold(lock_);
    return heard_;
}

size_t PtyDevice::request_count()
{
    std::lock_guard hold(lock_);
    return heard_.size();
}

int PtyDevice::opens()
{
    std::lock_guard hold(lock_);
    take_events();
    return opens_;
}

int PtyDevice::closes()
{
    std::lock_guard hold(lock_);
    take_events();
    return closes_;
}

// Under lock_. An open and its close alternate, so no two events merge.
void PtyDevice::take_events()
{
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(events_, buffer, sizeof buffer)) > 0;)
        for (char* at = buffer; at < buffer + got;) {
            auto* event = reinterpret_cast<inotify_event*>(at);
            opens_ += (event->mask & IN_OPEN) ? 1 : 0;
            closes_ += (event->mask & IN_CLOSE) ? 1 : 0;
            at += sizeof(inotify_event) + event->len;
        }
}

uint32_t PtyDevice::client_baud()
{
    termios settings;
    if (tcgetattr(master_, &settings) != 0)
        return 0;
    return baud_of(cfgetospeed(&settings));
}

// The pty drops PARENB from the settings, but the input parity check that
// the library sets with any parity (INPCK), and PARODD, stay readable.
char PtyDevice::client_parity()
{
    termios settings;
    if (tcgetattr(master_, &settings) != 0 || !(settings.c_iflag & INPCK))
        return 'N';
    return settings.c_cflag & PARODD ? 'O' : 'E';
}

double PtyDevice::character_ms()
{
    uint32_t baud = client_baud();
    std::lock_guard hold(lock_);
    unsigned bits = 1 + data_bits_ + (parity_ == 'N' ? 0 : 1) + stop_bits_;
    return baud ? 1000.0 * bits / baud : 0.0;
}

size_t PtyDevice::take_request(const Bytes& input, Bytes& frame)
{
    if (framing_ == Framing::rtu) {
        if (input.size() < 2)
            return 0;
        bool multiple = input[1] == 15 || input[1] == 16;
        if (multiple && input.size() < 7)
            return 0;
        // Report Server ID and Read Device Identification are shorter.
        size_t size = multiple ? size_t(9) + input[6] : input[1] == 17 ? 4 : input[1] == 43 ? 7 : 8;
        if (input.size() < size)
            return 0;
        uint16_t crc = crc16(input.data(), size - 2);
        if (input[size - 2] != (crc & 0xFF) || input[size - 1] != crc >> 8)
            return SIZE_MAX;
        frame.assign(input.begin(), input.begin() + long(size - 2));
        return size;
    }
    if (input[0] != ':')
        return SIZE_MAX;
    auto end = std::search(input.begin(), input.end(), std::begin("\r\n"), std::begin("\r\n") + 2);
    if (end == input.end())
        return input.size() > 1024 ? SIZE_MAX : 0;
    size_t digits = size_t(end - input.begin()) - 1;
    if (digits % 2 || digits < 8)
        return SIZE_MAX;
    Bytes decoded;
    for (size_t i = 1; i < digits; i += 2) {
        int high = hex_digit(input[i]);
        int low = hex_digit(input[i + 1]);
        if (high < 0 || low < 0)
            return SIZE_MAX;
        decoded.push_back(uint8_t(high << 4 | low));
    }
    if (lrc(decoded.data(), decoded.size() - 1) != decoded.back())
        return SIZE_MAX;
    frame.assign(decoded.begin(), decoded.end() - 1);
    return digits + 3;
}

// Under lock_.
Bytes PtyDevice::reply_to(const Bytes& frame, Answer answer)
{
    uint8_t fcode = frame[1];
    unsigned address = frame.size() >= 6 ? word_at(frame, 2) : 0;
    unsigned count = frame.size() >= 6 ? word_at(frame, 4) : 0;
    bool apply = answer == Answer::good;
    Bytes reply{frame[0], fcode};
    switch (fcode) {
    case 1:
    case 2: {
        Bytes packed((count + 7) / 8, 0);
        for (unsigned i = 0; i < count; ++i)
            if (holding_[(address + i) & 0xFFFF] & 1)
                packed[i / 8] = uint8_t(packed[i / 8] | 1u << (i % 8));
        reply.push_back(uint8_t(packed.size()));
        reply.insert(reply.end(), packed.begin(), packed.end());
        break;
    }
    case 3:
    case 4:
        reply.push_back(uint8_t(2 * count));
        for (unsigned i = 0; i < count; ++i) {
            uint16_t value = holding_[(address + i) & 0xFFFF];
            reply.push_back(uint8_t(value >> 8));
            reply.push_back(uint8_t(value));
        }
        break;
    case 5:
    case 6:
        if (apply)
            holding_[address] = uint16_t(fcode == 6 ? count : count == 0xFF00);
        reply.assign(frame.begin(), frame.begin() + 6);
        break;
    case 15:
    case 16:
        for (unsigned i = 0; apply && i < count; ++i)
            holding_[(address + i) & 0xFFFF] =
                fcode == 16 ? uint16_t(word_at(frame, 7 + 2 * i)) : uint16_t(frame[7 + i / 8] >> (i % 8) & 1);
        reply.assign(frame.begin(), frame.begin() + 6);
        break;
    case 43:
        if (!identification_.empty()) {
            reply.insert(reply.end(), {0x0E, frame[3], 0x01, 0x00, 0x00, uint8_t(identification_.size())});
            for (const auto& [id, text] : identification_) {
                reply.insert(reply.end(), {id, uint8_t(text.size())});
                reply.insert(reply.end(), text.begin(), text.end());
            }
            break;
        }
        [[fallthrough]];
    default:
        reply = {frame[0], uint8_t(fcode | exception_mark), 1};
    }
    if (answer == Answer::bad_reply)
        reply[1] = other_function(fcode);
    return framed(reply, answer == Answer::bad_check);
}

Bytes PtyDevice::framed(Bytes frame, bool damaged)
{
    if (framing_ == Framing::rtu) {
        uint16_t crc = crc16(frame.data(), frame.size());
        if (damaged)
            crc ^= 0x5A5A;
        frame.push_back(uint8_t(crc & 0xFF));
        frame.push_back(uint8_t(crc >> 8));
        return frame;
    }
    frame.push_back(uint8_t(lrc(frame.data(), frame.size()) + (damaged ? 1 : 0)));
    Bytes text{':'};
    char digits[3];
    for (uint8_t byte : frame) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text.insert(text.end(), digits, digits + 2);
    }
    text.push_back('\r');
    text.push_back('\n');
    return text;
}

void PtyDevice::serve()
{
    Bytes input;
    Clock::time_point began;      // the first byte of the request at the front of input
    Clock::time_point next_began;  // the first byte of the one after it, once come
    Clock::time_point reply_end;
    bool answered = false;  // whether the request before got a reply
    // Reads what comes until the time given (or, with first_bytes, until
    // something came), noting when the bytes after the first `current` of
    // input began to come. False when stopping.
    auto listen_until = [&](Clock::time_point until, size_t current, bool first_bytes = false) {
        while (!stopping_.load()) {
            auto now = Clock::now();
            if (now >= until)
                return true;
            auto left = std::min<Clock::duration>(until - now, std::chrono::milliseconds(poll_interval_ms));
            auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
            timespec wait{seconds.count(), long(std::chrono::nanoseconds(left - seconds).count())};
            pollfd fd{master_, POLLIN, 0};
            if (ppoll(&fd, 1, &wait, nullptr) <= 0 || !(fd.revents & POLLIN))
                continue;
            auto came = Clock::now();
            uint8_t chunk[1024];
            ssize_t got = read(master_, chunk, sizeof chunk);
            if (got <= 0)
                continue;
            if (input.empty())
                began = came;
            else if (input.size() == current)
                next_began = came;
            input.insert(input.end(), chunk, chunk + got);
            if (first_bytes)
                return true;
        }
        return false;
    };
    while (!stopping_.load()) {
        Bytes frame;
        size_t size = input.empty() ? 0 : take_request(input, frame);
        if (size == SIZE_MAX) {
            input.clear();  // not a request
            continue;
        }
        double character = character_ms();
        if (size == 0) {
            if (!input.empty() && Clock::now() - began > std::chrono::milliseconds(int(character * 600) + 500))
                input.clear();  // the rest never came
            listen_until(Clock::now() + std::chrono::milliseconds(poll_interval_ms), SIZE_MAX, true);
            continue;
        }
        auto line_time = [&](size_t characters) {
            return std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double, std::milli>(character * double(characters)));
        };
        next_began = Clock::now();  // unless more comes while this one is on the line
        if (!listen_until(began + line_time(size), size))
            break;
        Clock::time_point first_byte = began;
        uint32_t baud = client_baud();
        char parity = client_parity();
        Bytes reply;
        int late_ms = 0;
        bool paced = false;
        {
            std::lock_guard hold(lock_);
            paced = paced_;
            if (late_ms_ && frame.size() >= 6 && word_at(frame, 2) == late_address_)
                late_ms = late_ms_;
            double quiet = std::chrono::duration<double, std::milli>(first_byte - reply_end).count();
            heard_.push_back({frame, first_byte, answered, quiet, baud});
            Answer answer = Answer::silent;
            bool line_fits = required_baud_ == 0 || (baud == required_baud_ && parity == required_parity_);
            if (frame[0] == unit_ && line_fits) {
                answer = answer_;
                if (!next_answers_.empty()) {
                    answer = next_answers_.front();
                    next_answers_.pop_front();
                }
            }
            if (answer != Answer::silent)
                reply = reply_to(frame, answer);
        }
        answered = !reply.empty();
        if (answered && late_ms && !listen_until(Clock::now() + std::chrono::milliseconds(late_ms), size))
            break;
        if (answered && paced) {
            // About a millisecond of line at a time.
            size_t step = std::max<size_t>(1, size_t(1.0 / std::max(character, 0.01)));
            for (size_t at = 0; at < reply.size(); at += step) {
                size_t count = std::min(step, reply.size() - at);
                [[maybe_unused]] ssize_t written = write(master_, reply.data() + at, count);
                if (!listen_until(Clock::now() + line_time(count), size))
                    break;
            }
            reply_end = Clock::now();
        } else if (answered) {
            if (!listen_until(Clock::now() + line_time(reply.size()), size))
                break;
            // Taken before the write: the client cannot see the reply earlier.
            reply_end = Clock::now();
            [[maybe_unused]] ssize_t written = write(master_, reply.data(), reply.size());
        }
        input.erase(input.begin(), input.begin() + long(size));
        began = next_began;
    }
}
