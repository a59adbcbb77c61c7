#include "simcore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace kvsim {

namespace {

std::array<std::uint16_t, 256> makeTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xA001 : value >> 1;
        table[i] = std::uint16_t(value);
    }
    return table;
}

Bytes exception(std::uint8_t address, std::uint8_t function, std::uint8_t code)
{
    Bytes answer{address, std::uint8_t(function | 0x80), code};
    appendCrc(answer);
    return answer;
}

Outcome ignored(std::string why) { return Outcome{false, {}, std::move(why)}; }
Outcome answer(Bytes bytes) { return Outcome{true, std::move(bytes), {}}; }

} // namespace

std::uint16_t crc16(const std::uint8_t *data, std::size_t size)
{
    static const auto table = makeTable();
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i)
        crc = std::uint16_t((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
    return crc;
}

void appendCrc(Bytes &frame)
{
    const std::uint16_t crc = crc16(frame);
    frame.push_back(std::uint8_t(crc & 0xFF));
    frame.push_back(std::uint8_t(crc >> 8));
}

std::int64_t charTimeNs(int baud) { return 11'000'000'000LL / baud; }

std::int64_t frameGapNs(int baud)
{
    if (baud > 19200)
        return 1'750'000;
    const std::int64_t us = (35 * 11 * 1'000'000LL + 10LL * baud - 1) / (10LL * baud);
    return us * 1000;
}

Drift::Drift(std::uint32_t seed)
{
    std::mt19937 rng(seed);
    auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    for (int i = 0; i < kMeasurements; ++i) {
        const bool temperature = i % 2 == 0;
        // Kept inside 20..26 C and 40..60 %RH at every moment.
        m_waves[i] = temperature ? Wave{uniform(21.5, 24.5), uniform(0.4, 1.4), uniform(90, 600), uniform(0, 6.283)}
                                 : Wave{uniform(45, 55), uniform(1.5, 4.5), uniform(90, 600), uniform(0, 6.283)};
    }
}

std::array<int, kMeasurements> Drift::at(double seconds) const
{
    std::array<int, kMeasurements> out{};
    for (int i = 0; i < kMeasurements; ++i) {
        const Wave &w = m_waves[i];
        out[i] = int(std::lround(100 * (w.base + w.amplitude * std::sin(6.283185307 * seconds / w.periodS + w.phase))));
    }
    return out;
}

std::array<std::uint16_t, kRegisters> Module::registers(double seconds) const
{
    std::array<std::uint16_t, kRegisters> table{};
    const auto measured = fixed ? values : m_drift.at(seconds);
    for (int i = 0; i < kMeasurements; ++i)
        table[i] = faulted[i / 2] ? kFaultValue : std::uint16_t(measured[i] & 0xFFFF);
    return table;
}

Outcome Module::handle(const Bytes &frame, double seconds)
{
    const bool fixedLength = frame.size() >= 2 && (frame[1] == 0x03 || frame[1] == 0x04 || frame[1] == 0x06);
    if (frame.size() < 4 || (fixedLength && frame.size() < 8))
        return ignored("truncated frame");
    const std::uint16_t crc = std::uint16_t(frame[frame.size() - 2] | frame[frame.size() - 1] << 8);
    if (crc16(frame.data(), frame.size() - 2) != crc)
        return ignored("bad CRC");

    const Bytes readAddress{0xFA, kReadAddressFunction, 0x02, 0x00, 0x00, 0x01};
    if (frame.size() == 8 && std::equal(readAddress.begin(), readAddress.end(), frame.begin())) {
        if (!answersReadAddress)
            return ignored("read-address request ignored");
        Bytes out{address, kReadAddressFunction, 0x02, address};
        appendCrc(out);
        return answer(out);
    }
    const std::uint8_t to = frame[0], function = frame[1];
    if (to != 0 && to != address)
        return ignored("for address " + std::to_string(to));
    const bool broadcast = to == 0;
    if (fixedLength && frame.size() != 8)
        return ignored("frame too long");
    const unsigned first = unsigned(frame[2] << 8 | frame[3]), second = unsigned(frame[4] << 8 | frame[5]);

    if (function == 0x03 || function == 0x04) {
        if (broadcast)
            return ignored("broadcast read");
        if (second < 1 || second > 0x7D)
            return answer(exception(address, function, 0x03));
        if (first + second > unsigned(kRegisters))
            return answer(exception(address, function, 0x02));
        const auto table = registers(seconds);
        Bytes out{address, function, std::uint8_t(2 * second)};
        for (unsigned r = first; r < first + second; ++r) {
            out.push_back(std::uint8_t(table[r] >> 8));
            out.push_back(std::uint8_t(table[r] & 0xFF));
        }
        appendCrc(out);
        return answer(out);
    }
    if (function == 0x06) {
        Outcome out;
        if (first != kAddressRegister)
            out = answer(exception(address, function, 0x02));
        else if (second < 1 || second > 247)
            out = answer(exception(address, function, 0x03));
        else {
            address = std::uint8_t(second);
            out = answer(frame);
        }
        if (broadcast)
            return ignored(out.answer == frame ? "broadcast write applied" : "broadcast write refused");
        return out;
    }
    if (broadcast)
        return ignored("broadcast of an unknown function");
    return answer(exception(address, function, 0x01));
}

Bytes collide(const Bytes &a, const Bytes &b)
{
    Bytes out(std::max(a.size(), b.size()));
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = std::uint8_t((i < a.size() ? a[i] : 0) | (i < b.size() ? b[i] : 0));
    // The same answer twice would pass as one: a collision never does.
    if (out.size() >= 3 && crc16(out.data(), out.size() - 2) == std::uint16_t(out[out.size() - 2] | out.back() << 8))
        out.back() ^= 0xFF;
    return out;
}

std::string hex(const Bytes &bytes)
{
    std::string text;
    char digits[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, i ? " %02X" : "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

} // namespace kvsim
