#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pelantra {

// The staging schema and the thirteen tables a backup carries, named here
// only: every statement that names them takes the names from here.
inline constexpr const char* kStagingSchema = "tmpx";

// In the order they are created in the staging schema.
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

// The table that holds the school itself, and its key.
inline constexpr std::string_view kSchoolTable = "sekolah";
inline constexpr std::string_view kSchoolKey = "sekolah_id";

// The staged copy of `table`: "tmpx.<table>".
std::string Staged(std::string_view table);
// The thirteen names as one text array value, "{ptk,peserta_didik,...}",
// for a bound parameter.
std::string StagedTablesArray();

} // namespace pelantra
