#pragma once
// A serial Modbus device of the tests' own on a pty pair (openpty): the
// client opens the slave end by its name, client_device(); the device reads
// requests on the master end and answers them in RTU or ASCII framing, or
// stays silent, or damages its answer as the test asks.
//
// A pty moves bytes at once whatever the baud rate, and its tcdrain returns
// at once too. The device therefore plays the line itself: a request counts
// as heard only when its last character would have arrived at the baud rate
// the client set (the pty's settings, read on the master end, carry the
// rate), and a reply goes out whole when its last character would have been
// sent. The pty drops parity and data bits from its settings, so the device
// is told its character format, as a real device is set up to match its
// line. For each request it notes when its first byte came and how long the
// line had been quiet since the end of the device's previous reply.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtyDevice {
public:
    using Bytes = std::vector<uint8_t>;
    using Clock = std::chrono::steady_clock;

    enum class Framing { rtu, ascii };
    enum class Answer {
        good,       // what the tables say; writes are applied
        silent,     // nothing at all
        bad_check,  // the good reply with a wrong CRC (RTU) or LRC (ASCII)
        bad_reply,  // a well-framed reply of another function
    };
    struct Heard {
        Bytes frame;  // unit id and protocol data unit, without CRC or LRC
        Clock::time_point began;  // its first byte
        bool after_reply;  // the request before got a reply
        // Then: the time from the end of that reply to the first byte of this
        // request; negative when the request came while the reply was still
        // on the line.
        double quiet_ms;
        uint32_t baud;  // the rate the client had set on its end
    };

    // Answers requests to unit, in framing; null if no pty could be had.
    static std::unique_ptr<PtyDevice> start(uint8_t unit = 1, Framing framing = Framing::rtu);
    ~PtyDevice();

    const std::string& client_device() const { return client_device_; }
    // Ends the device's thread and closes the pty.
    void stop();

    // The character format: parity ('N', 'E' or 'O'), data and stop bits.
    void set_character(char parity, uint8_t data_bits, uint8_t stop_bits);
    // How every request is answered from now on, and the answers of the
    // next few requests to its unit before that.
    void set_answer(Answer answer);
    // Answers only while the client's end is set to baud and parity
    // (read on the master end); a baud of 0 answers at any setting.
    void require_line(uint32_t baud, char parity);
    void answer_next(std::vector<Answer> answers);

    // Replies go out a few characters at a time at the line's pace, as a
    // real line carries them, rather than whole once their time is up.
    void set_paced(bool paced);
    // Replies to reads of address come ms later than their turn.
    void delay_replies_at(uint16_t address, int ms);
    // Read Device Identification answers with these objects, all in one
    // reply (basic conformity); without them it is refused.
    void set_identification(std::vector<std::pair<uint8_t, std::string>> objects);

    void set_holding(uint16_t address, uint16_t value);
    uint16_t holding(uint16_t address);

    std::vector<Heard> heard();
    size_t request_count();
    // Opens and closes of the client's device node since start.
    int opens();
    int closes();

private:
    PtyDevice() = default;
    void serve();
    void take_events();
    double character_ms();
    uint32_t client_baud();
    char client_parity();
    // A whole request at the front of input, and how many bytes it took; 0
    // while it is incomplete, SIZE_MAX for bytes that make no request.
    size_t take_request(const Bytes& input, Bytes& frame);
    Bytes reply_to(const Bytes& frame, Answer answer);
    Bytes framed(Bytes frame, bool damaged);

    uint8_t unit_ = 1;
    Framing framing_ = Framing::rtu;
    int master_ = -1;
    int slave_ = -1;  // held, so the line outlives every close of the client
    int events_ = -1;
    std::string client_device_;
    std::mutex lock_;  // guards everything below
    std::vector<uint16_t> holding_ = std::vector<uint16_t>(65536);
    Answer answer_ = Answer::good;
    std::deque<Answer> next_answers_;
    std::vector<Heard> heard_;
    char parity_ = 'N';
    uint8_t data_bits_ = 8;
    uint8_t stop_bits_ = 1;
    bool paced_ = false;
    uint16_t late_address_ = 0;
    int late_ms_ = 0;
    std::vector<std::pair<uint8_t, std::string>> identification_;
    uint32_t required_baud_ = 0;
    char required_parity_ = 'N';
    int opens_ = 0;
    int closes_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
