#pragma once
// Windows device-manager values that the pages and the USB passes compare
// against. Linux facts are translated into these shapes in one place
// (sysfssource.cpp); everything else uses the names below.

#include <cstdint>

namespace devicetree {

// The instance id of the machine's root node and its hash.
inline constexpr char16_t kRootInstanceId[] = u"HTREE\\ROOT\\0";
constexpr std::uint32_t kRootInstanceIdHash = 0x8E4DD0EC;

// Problem codes (CM_PROB_*).
constexpr std::uint32_t kProblemNone = 0;
constexpr std::uint32_t kProblemFailedInstall = 28;  // no driver installed
constexpr std::uint32_t kProblemPhantom = 45;        // read when the code cannot be

// Node status flags (DN_*).
constexpr std::uint32_t kStatusRootEnumerated = 0x00000001;
constexpr std::uint32_t kStatusDriverLoaded = 0x00000002;
constexpr std::uint32_t kStatusStarted = 0x00000008;
constexpr std::uint32_t kStatusHasProblem = 0x00000400;
constexpr std::uint32_t kStatusDisableable = 0x00002000;
constexpr std::uint32_t kStatusRemovable = 0x00004000;
constexpr std::uint32_t kStatusNtEnumerator = 0x00800000;
constexpr std::uint32_t kStatusNtDriver = 0x01000000;

// Setup classes the USB passes ask for.
inline constexpr char kPrinterClassGuid[] = "{4d36e979-e325-11ce-bfc1-08002be10318}";
inline constexpr char kSoftwareDeviceClassGuid[] = "{62f9c741-b25a-46ce-b54c-9bccce08b6f2}";
inline constexpr char kUsbClassGuid[] = "{36fc9e60-c465-11cf-8056-444553540000}";

// The container of everything built into the machine.
inline constexpr char kComputerContainerId[] = "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}";

// USB interface class of printers and the IPP-over-USB protocol.
constexpr int kUsbClassPrinter = 0x07;
constexpr int kUsbPrinterProtocolIppOverUsb = 0x04;

}  // namespace devicetree
