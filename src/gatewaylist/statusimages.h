#pragma once

#include "gatewaylist/gatewaylist.h"

#include <QPixmap>

inline constexpr int StatusImageSize = 16;

// The 16 x 16 image a row shows for its status, painted once and cached.
const QPixmap& statusImage(RowStatus status);
