#pragma once

// Where a gateway keeps its files.
inline constexpr const char* DeviceRoot = "/RFA/";
inline constexpr const char* DeviceBookName = "Addrbook.cpe";
