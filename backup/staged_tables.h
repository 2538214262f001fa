#pragma once

#include <array>
#include <string_view>

namespace pelantra {

inline constexpr const char* kStagingSchema = "tmpx";

// The thirteen tables a backup carries, in the order they are created in the
// staging schema.
inline constexpr std::array<std::string_view, 13> kStagedTables = {
    "ptk",
    "peserta_didik",
    "anggota_rombel",
    "pembelajaran",
    "ptk_terdaftar",
    "registrasi_peserta_didik",
    "riwayat_gaji_berkala",
    "rombongan_belajar",
    "rwy_fungsional",
    "rwy_kepangkatan",
    "rwy_pend_formal",
    "tugas_tambahan",
    "sekolah",
};

} // namespace pelantra
