#pragma once

#include <QDateTime>

#include <string>

namespace pelantra {

// A moment as a person in Indonesia reads it, in this machine's local time:
// "10 Desember 2026 04.05.09".
std::string IndonesianDateTime(const QDateTime& moment);

} // namespace pelantra
