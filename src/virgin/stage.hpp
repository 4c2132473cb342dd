// The eight test stages, each owning one bit in the flag bytes and one stamp slot.
#pragma once

#include <cstdint>

namespace stagemark {

enum class Stage : std::uint8_t { BSN, BT, CT, LAMA, FT, IMEI, RES1, RES2 };

// One bit per stage: 0x80 for BSN down to 0x01 for RES2.
using StageMask = std::uint8_t;

inline constexpr int kStageCount = 8;

constexpr StageMask MaskOf(Stage stage) { return static_cast<StageMask>(0x80u >> static_cast<unsigned>(stage)); }

// The stamp slot i belongs to the stage whose mask is 0x80 shifted right by i.
constexpr bool OwnsSlot(StageMask mask, int slot) { return (mask & (0x80u >> slot)) != 0; }

}  // namespace stagemark
