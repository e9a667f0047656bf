#pragma once
// A keyboard event as the text-input framework hands it to a controller:
// macOS virtual key code, the typed characters, macOS modifier flag bits and
// the event's time stamp. Applications send the same values over D-Bus.
#include <cstdint>
#include <string>

namespace sorvane {

enum class KeyEventType : std::uint8_t {
    keyDown = 10,
    flagsChanged = 12,
};

// Masks of recognizedEvents(): one bit per event type.
namespace EventMask {
inline constexpr std::uint64_t keyDown = 1ull << 10;
inline constexpr std::uint64_t flagsChanged = 1ull << 12;
}  // namespace EventMask

// macOS modifier flag bits. The upper half is device-independent; the low
// bits tell the left key from the right one.
namespace ModifierFlag {
inline constexpr std::uint64_t capsLock = 1ull << 16;
inline constexpr std::uint64_t shift = 1ull << 17;
inline constexpr std::uint64_t control = 1ull << 18;
inline constexpr std::uint64_t option = 1ull << 19;
inline constexpr std::uint64_t command = 1ull << 20;
inline constexpr std::uint64_t numericPad = 1ull << 21;
inline constexpr std::uint64_t function = 1ull << 23;
inline constexpr std::uint64_t deviceIndependentMask = 0xFFFF0000ull;

inline constexpr std::uint64_t deviceLeftControl = 0x0001;
inline constexpr std::uint64_t deviceLeftShift = 0x0002;
inline constexpr std::uint64_t deviceRightShift = 0x0004;
inline constexpr std::uint64_t deviceLeftCommand = 0x0008;
inline constexpr std::uint64_t deviceRightCommand = 0x0010;
inline constexpr std::uint64_t deviceLeftOption = 0x0020;
inline constexpr std::uint64_t deviceRightOption = 0x0040;
inline constexpr std::uint64_t deviceRightControl = 0x2000;
}  // namespace ModifierFlag

struct KeyEvent {
    KeyEventType type = KeyEventType::keyDown;
    std::uint16_t keyCode = 0;
    // UTF-8. Empty for modifier changes.
    std::string characters;
    std::string charactersIgnoringModifiers;
    std::uint64_t modifierFlags = 0;
    // Seconds since the sender's start, as the system stamps events.
    double timestamp = 0;

    bool operator==(const KeyEvent&) const = default;
};

}  // namespace sorvane
