#pragma once

#include <array>

#include "core/messages.h"

// What the user reads when a program of the installation cannot be found or started.
// "{}" stands for a part filled in where the text is used (FillIn).
namespace pelantra {

inline constexpr const char* kToolCannotStart =
    "Program {} tidak dapat dijalankan dari {}; periksa basedir di setting.ini di folder {}";
inline constexpr const char* kBaseDirMissing =
    "setting.ini tidak berisi basedir; isi basedir dengan folder instalasi yang memuat pgsql dan php";

// The README's message table lists these.
inline constexpr std::array kToolMessages = {
    kToolCannotStart,
    kBaseDirMissing,
};

} // namespace pelantra
