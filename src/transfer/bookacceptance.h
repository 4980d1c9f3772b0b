#pragma once

#include "transfer/transfersafety.h"

#include <string>

// Why a copy of a gateway's book fetched to path cannot stand as that book; empty when it can.
// A copy is accepted only when it is a complete address book (DeviceBookFileSize) and, when the
// server announced a size (announced >= 0), it holds exactly that many bytes: a copy cut short
// by a dropped connection, even at a slot's end, must never pass for the gateway's book.
std::string bookCopyProblem(const std::string& path, long long announced = -1);
