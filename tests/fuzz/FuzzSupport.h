#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Reads the fuzzer's input front to back; past the end every read gives zeros, so a target never
// has to check lengths before it asks.
class FuzzInput
{
  public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }
    size_t Remaining() const { return m_pos < m_size ? m_size - m_pos : 0; }

    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint32_t Word()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | Byte();
        return value;
    }
    // count bytes (fewer at the end of the input); returns how many were copied.
    size_t Bytes(uint8_t* out, size_t count)
    {
        const size_t n = count < Remaining() ? count : Remaining();
        if (n != 0)
            std::memcpy(out, m_data + m_pos, n);
        m_pos += n;
        return n;
    }
    const uint8_t* Rest(size_t& size)
    {
        size = Remaining();
        const uint8_t* rest = m_data + (m_pos < m_size ? m_pos : m_size);
        m_pos = m_size;
        return rest;
    }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A broken property: report it the way a sanitizer would, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)
