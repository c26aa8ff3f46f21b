#pragma once

#include <cstdint>

// The I/O settings of one board for one of its eight ports; the port number travels beside it.
struct GpioSettings
{
    uint32_t managerAddress = 0; // network byte order
    uint32_t period = 100;       // status-check period in ms
    int32_t mode = 0;            // 0 OUTPUT, 1 INPUT
    int32_t state = 0;           // 0 LOW, 1 HIGH
    int32_t initialState = 0;
    int32_t trapState = 0;
    uint32_t trapTime = 0; // ms
};
