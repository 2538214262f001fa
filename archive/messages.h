#pragma once

#include <array>

#include "core/messages.h"

// What the user reads about what an archive holds and may hold.
// "{}" stands for a part filled in where the text is used (FillIn).
namespace pelantra {

inline constexpr const char* kCutInValue = "Isi arsip terpotong di tengah nilai atau komentar";
inline constexpr const char* kCutInStatement = "Isi arsip terpotong di tengah perintah";
inline constexpr const char* kForbiddenStatement = "Arsip berisi perintah yang tidak diizinkan";
inline constexpr const char* kNotOneSchool = "Arsip tidak berisi data tepat satu sekolah";
// Details of a refused archive: where, and what was wrong.
inline constexpr const char* kLineDetail = "baris {}: {}";
inline constexpr const char* kWhyNotInsert = "hanya INSERT data ke tabel sekolah yang diizinkan";
inline constexpr const char* kWhyOtherTable = "tabel di luar tiga belas tabel data sekolah";
inline constexpr const char* kWhySchemaNamed = "nama tabel menyebut skema";
inline constexpr const char* kWhyNoColumnList = "INSERT tanpa daftar kolom";
inline constexpr const char* kWhyBadColumnList = "daftar kolom tidak sah";
inline constexpr const char* kWhyNotLiteral = "nilai yang bukan data (fungsi, ekspresi, cast atau kutip dolar)";
inline constexpr const char* kWhyValueCount = "jumlah nilai tidak sama dengan jumlah kolom";
inline constexpr const char* kWhyTwoStatements = "teks lain sesudah perintah atau komentar pada baris yang sama";
inline constexpr const char* kWhyNestedComment = "komentar di dalam komentar";
inline constexpr const char* kWhyNulByte = "byte NUL";
inline constexpr const char* kWhyTooLong = "perintah atau komentar lebih dari 64 MiB";
inline constexpr const char* kWhyControlByte =
    "byte kendali di luar nilai teks (CR tanpa LF sesudahnya, atau byte kendali selain tab)";
inline constexpr const char* kWhyBackslashQuote =
    "nilai '...' yang berakhir di tempat lain bila garis miring terbalik dibaca sebagai escape "
    "(standard_conforming_strings = off)";
inline constexpr const char* kWhyBadEscape = "nilai E'...' dengan garis miring terbalik selain \\\\";
// Details of an archive that is not one school's.
inline constexpr const char* kSchoolRowCount = "{} baris sekolah di arsip; harus tepat satu";
inline constexpr const char* kOtherSchoolRow = "baris {}: tabel {} menyebut sekolah_id {}, bukan {}";
// Detail of a dump that ends without its closing title line (kDumpClosingTitle).
inline constexpr const char* kNoClosingLine = "baris penutup dump (\"{}\") tidak ada";

// The README's message table lists these.
inline constexpr std::array kArchiveMessages = {
    kCutInValue,
    kCutInStatement,
    kForbiddenStatement,
    kNotOneSchool,
};

} // namespace pelantra
