#pragma once
// The virtual module's logic without any I/O: register table, drift, and request -> answer.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kvsim {

using Bytes = std::vector<std::uint8_t>;

constexpr int kMeasurements = 10; // temperature and humidity of channels 1..5
constexpr int kRegisters = 24;    // 10..23 exist and read 0
constexpr std::uint16_t kFaultValue = 0xFFFF;
constexpr std::uint16_t kAddressRegister = 0x0B00;
constexpr std::uint8_t kReadAddressFunction = 0x25;

// CRC-16 of Modbus RTU, table-driven; the wire carries the low byte first.
std::uint16_t crc16(const std::uint8_t *data, std::size_t size);
inline std::uint16_t crc16(const Bytes &frame) { return crc16(frame.data(), frame.size()); }
void appendCrc(Bytes &frame);

// One character on an 8N1 line is 11 bit times (start, 8 data, parity slot, stop) in Modbus terms.
std::int64_t charTimeNs(int baud);
// The silence that ends a frame: 3.5 characters rounded up to a microsecond, 1.75 ms above 19200.
std::int64_t frameGapNs(int baud);

// Slow, smooth wander of each measurement around a room value; parameters drawn from the seed, so the
// value at a given time since start is reproducible.
class Drift
{
public:
    explicit Drift(std::uint32_t seed);
    // Hundredths of a degree Celsius (even registers) or of %RH (odd registers).
    std::array<int, kMeasurements> at(double seconds) const;

private:
    struct Wave { double base, amplitude, periodS, phase; };
    std::array<Wave, kMeasurements> m_waves{};
};

struct Outcome
{
    bool answered = false;
    Bytes answer;    // empty when not answered
    std::string why; // set when not answered
};

class Module
{
public:
    explicit Module(std::uint32_t seed = 1) : m_drift(seed) {}

    std::uint8_t address = 1;
    bool fixed = false;                      // true: values below instead of the drift
    std::array<int, kMeasurements> values{}; // -32768..65535, stored two's complement
    std::array<bool, 5> faulted{};           // channel 1..5 at index 0..4 reads the fault value
    bool answersReadAddress = true;          // false: the read-address request goes unanswered

    std::array<std::uint16_t, kRegisters> registers(double seconds) const;
    // Handles one complete frame (as framed by silence) received at seconds since start.
    Outcome handle(const Bytes &frame, double seconds);

private:
    Drift m_drift;
};

// Two answers sent at once on one line, as the master reads them: a wired OR of their bytes, never
// with a good CRC.
Bytes collide(const Bytes &a, const Bytes &b);

std::string hex(const Bytes &bytes);

} // namespace kvsim
