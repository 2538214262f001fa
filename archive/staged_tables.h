#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pelantra {

// The staging schema and the thirteen tables a backup carries, named here
// only: every statement that names them takes the names from here.
inline constexpr const char* kStagingSchema = "tmpx";

// A staged table: how its rows are chosen, and what it holds.
struct StagedTable {
    std::string_view name;
    // The column its rows are chosen by: the school's own rows by its id,
    // the others by the values of `key` in the staged table `through`.
    std::string_view key;
    std::string_view through; // empty: the school's own rows
    std::string_view label; // what it holds, for a person
};

// In the order they are created in the staging schema. A table is copied
// after the one its rows are chosen through.
inline constexpr std::array<StagedTable, 13> kStagedTableList = {{
    {"ptk", "ptk_id", "ptk_terdaftar", "PTK (guru dan tenaga kependidikan)"},
    {"peserta_didik", "peserta_didik_id", "registrasi_peserta_didik", "Peserta didik"},
    {"anggota_rombel", "rombongan_belajar_id", "rombongan_belajar", "Anggota rombongan belajar"},
    {"pembelajaran", "rombongan_belajar_id", "rombongan_belajar", "Pembelajaran"},
    {"ptk_terdaftar", "sekolah_id", {}, "Penugasan PTK"},
    {"registrasi_peserta_didik", "sekolah_id", {}, "Registrasi peserta didik"},
    {"riwayat_gaji_berkala", "ptk_id", "ptk_terdaftar", "Riwayat gaji berkala"},
    {"rombongan_belajar", "sekolah_id", {}, "Rombongan belajar (kelas)"},
    {"rwy_fungsional", "ptk_id", "ptk_terdaftar", "Riwayat jabatan fungsional"},
    {"rwy_kepangkatan", "ptk_id", "ptk_terdaftar", "Riwayat kepangkatan"},
    {"rwy_pend_formal", "ptk_id", "ptk_terdaftar", "Riwayat pendidikan formal"},
    {"tugas_tambahan", "ptk_id", "ptk_terdaftar", "Tugas tambahan"},
    {"sekolah", "sekolah_id", {}, "Sekolah"},
}};

// Their names alone.
inline constexpr std::array<std::string_view, 13> kStagedTables = [] {
    std::array<std::string_view, 13> names{};
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = kStagedTableList[i].name;
    return names;
}();

// The table that holds the school itself, and its key.
inline constexpr std::string_view kSchoolTable = "sekolah";
inline constexpr std::string_view kSchoolKey = "sekolah_id";

// The staged copy of `table`: "tmpx.<table>".
std::string Staged(std::string_view table);
// The thirteen names as one text array value, "{ptk,peserta_didik,...}",
// for a bound parameter.
std::string StagedTablesArray();

} // namespace pelantra
