#pragma once

#include <cstddef>
#include <span>

// One PNG image of the program's icons, built into the toolkit-free libraries so that the
// file-type registration can install the icons without a windowing toolkit.
struct EmbeddedIcon {
    int size;  // width and height in pixels
    const unsigned char* data;
    std::size_t length;
};

// The icon of iconIndex at each size it is drawn in: 0 the application, 1 the address-book
// document, 3 the gateway-list document; empty for any other index.
std::span<const EmbeddedIcon> embeddedIcons(int iconIndex);
