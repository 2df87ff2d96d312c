// The plug-in's PiPL resource: the property list a host reads, without
// running any plug-in code, to learn what the library is and how to call it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/pi/pi_types.h"

namespace mirel {

// Keys of the PiPL properties. Every property carries the vendor code '8BIM'.
constexpr pi::OSType kPiplKeyKind = pi::fourCC("kind");
constexpr pi::OSType kPiplKeyName = pi::fourCC("name");
constexpr pi::OSType kPiplKeyCategory = pi::fourCC("catg");
constexpr pi::OSType kPiplKeyVersion = pi::fourCC("vers");
constexpr pi::OSType kPiplKeyEntryPoint64 = pi::fourCC("8664");  // 64-bit Windows code
constexpr pi::OSType kPiplKeyTerminology = pi::fourCC("hstm");
constexpr pi::OSType kPiplKeyModes = pi::fourCC("mode");
constexpr pi::OSType kPiplKeyEnable = pi::fourCC("enbl");
constexpr pi::OSType kPiplKeyFilterCases = pi::fourCC("fici");

// Header: int16 1, int32 0, int32 property count. Each property: vendor, key,
// id 0, data length (already a multiple of 4), then the NUL-padded data.
constexpr std::size_t kPiplHeaderSize = 10;
constexpr std::size_t kPiplPropertyHeaderSize = 16;
constexpr std::int16_t kPiplResourceVersion = 1;

// The filter's own entries.
constexpr char kPiplFilterName[] = "Mirel 2...";
constexpr char kPiplCategory[] = "Ostrand";
constexpr char kPiplEntryPoint[] = "PluginMain";
constexpr char kPiplTerminologyScope[] = "Ostrand Mirel 2";
constexpr pi::OSType kPiplScriptingClass = pi::fourCC("OMR2");
constexpr pi::OSType kPiplScriptingEvent = pi::fourCC("OMR2");
// The host evaluates this when it decides whether to enable the menu item.
constexpr char kPiplEnableExpression[] =
    "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, "
    "RGB96Mode) ) && (PSHOP_ImageMode !=  MultichannelMode) ";
constexpr int kPiplFilterCaseCount = 7;

// The PiPL as the host reads it. The library carries these bytes as its
// ".pipl" section and also exports them under the C names MirelPiPL (the
// bytes) and MirelPiPLSize (their count, a size_t), for tools that look the
// PiPL up by symbol rather than by section.
std::span<const std::uint8_t> piplBytes();

}  // namespace mirel
