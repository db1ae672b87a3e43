#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace rs485 {

// Spreading a number over one-character digit cells. Each takes the value
// and the cells' current texts and returns their new texts; a value whose
// decimal text is too long for the cells leaves them as they were.
using TemperatureCells = std::array<QString, 4>;  // hundreds or sign, tens, units, tenths
using TwoCells = std::array<QString, 2>;
using ThreeCells = std::array<QString, 3>;

// Tenths of a degree: 235 reads 023,5, -5 reads -00,5, -123 reads -12,3.
TemperatureCells showTemperature(int tenths, const TemperatureCells& current);
TwoCells showTwoDigits(int value, const TwoCells& current);
ThreeCells showThreeDigits(int value, const ThreeCells& current);

// The recording's own texts, for a device whose cells do not show it.
// Temperature in the template "000,0" / "-00,0"; a value too long for it
// leaves the template as it is.
QString recordedTemperatureText(int tenths);
// Step with a leading "0" below 10: "07", "42", "255".
QString recordedStepText(int step);

}  // namespace rs485
