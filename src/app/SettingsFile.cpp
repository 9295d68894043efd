#include "app/SettingsFile.h"

namespace vantrel::app {

SettingsFileValues ReadSettingsFile(std::FILE* file) {
    SettingsFileValues values;
    unsigned hexValue = 0;
    int decimalValue = 0;
    if (std::fscanf(file, "BASEADD=%x\r\n", &hexValue) == 1)
        values.baseAddress = static_cast<std::int32_t>(hexValue);
    if (std::fscanf(file, "INTERRUPT=%x\r\n", &hexValue) == 1)
        values.interrupt = static_cast<std::int32_t>(hexValue);
    if (std::fscanf(file, "VOLTMETER=%d\r\n", &decimalValue) == 1) values.voltmeter = decimalValue;
    if (std::fscanf(file, "BOARDTYPE=%d\r\n", &decimalValue) == 1)
        values.boardType = static_cast<std::uint8_t>(decimalValue);
    return values;
}

}  // namespace vantrel::app
