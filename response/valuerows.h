#pragma once
// The ten measured values in the order of their boxes, temperature and humidity of channels 1 to 5:
// one table for the window, the recording and the trend.

struct ValueRow
{
    const char *name; // UTF-8
    const char *unit; // UTF-8
    int unitIndex;    // of its unit label lblDanWei: rows 4 to 7 carry other indexes
};

inline constexpr int kValueRowCount = 10;

inline constexpr ValueRow kValueRows[kValueRowCount] = {
    {"1#温度值", "℃", 0}, {"1#湿度值", "%RH", 1}, {"2#温度值", "℃", 2}, {"2#湿度值", "%RH", 3},
    {"3#温度值", "℃", 6}, {"3#湿度值", "%RH", 4}, {"4#温度值", "℃", 7}, {"4#湿度值", "%RH", 5},
    {"5#温度值", "℃", 8}, {"5#湿度值", "%RH", 9},
};
