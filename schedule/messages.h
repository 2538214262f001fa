#pragma once

#include <array>

#include "core/messages.h"

// What the user reads about the automatic backup.
// "{}" stands for a part filled in where the text is used (FillIn).
namespace pelantra {

// The automatic backup: its time ("setiap hari pukul 19:30", "setiap Senin
// pukul 19:30"), and what went wrong with the system's schedule.
inline constexpr const char* kScheduleWhen = "setiap {} pukul {}";
inline constexpr const char* kScheduleNotSet = "Backup otomatis tidak dapat dijadwalkan";
inline constexpr const char* kScheduleUnreadable = "Jadwal backup otomatis tidak dapat dibaca";
inline constexpr const char* kScheduleNotRemoved = "Backup otomatis tidak dapat dihentikan";
inline constexpr const char* kTimerNotStarted =
    "Timer backup otomatis sudah ditulis tetapi belum berjalan; jalankan: systemctl --user enable --now "
    "pelantra-backup.timer";

// The README's message table lists these.
inline constexpr std::array kScheduleMessages = {
    kScheduleNotSet,
    kScheduleUnreadable,
    kScheduleNotRemoved,
    kTimerNotStarted,
};

} // namespace pelantra
