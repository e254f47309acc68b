// Numbers as the framework's 8-character display texts. The text buffer must
// hold 9 bytes; nothing longer is ever written.
#pragma once

#include <cstdint>

constexpr int kNumberTextBytes = 9;

extern const char kOverflowText[];       // " Huge!  "
extern const char kMinusInfinityText[];  // "   -\xB0   "

void formatFloatText(float value, char* text) noexcept;
void formatIntegerText(std::int32_t value, char* text) noexcept;

// 20 log10(ratio) rounded to single precision, computed the same way on every
// target so decibel texts never depend on a platform's maths library.
float decibelsOf(float ratio) noexcept;
