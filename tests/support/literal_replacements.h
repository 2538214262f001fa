#pragma once

#include <string>

#include "backup/dump_rewriter.h"

// The dump rewrite as a chain of whole-text replacements, right only for old
// dumps whose values hold none of the searched texts. The rewriter must match
// it byte for byte there; the benchmark measures against it.
namespace pelantra::literal {

// Replaces every occurrence, scanning on after the inserted text.
inline void ReplaceAll(std::string& s, const std::string& what, const std::string& with)
{
    std::string r;
    std::size_t from = 0;
    for (std::size_t at; (at = s.find(what, from)) != std::string::npos; from = at + what.size())
        r.append(s, from, at - from).append(with);
    r.append(s, from, std::string::npos);
    s.swap(r);
}

inline std::string Rewrite(std::string s, const ColumnLists& lists)
{
    ReplaceAll(s, "SET statement_timeout = 0", "/*SET statement_timeout = 0");
    ReplaceAll(s, "SET search_path = tmpx, pg_catalog;", "SET search_path = tmpx, pg_catalog;*/");
    ReplaceAll(s, "PostgreSQL database dump", "Kartesa Ombralu");
    // "ptk" carries a blank so that it leaves "ptk_terdaftar", done first, alone.
    for (const char* t : {"ptk_terdaftar", "ptk", "peserta_didik", "anggota_rombel", "pembelajaran",
                          "registrasi_peserta_didik", "riwayat_gaji_berkala", "rombongan_belajar", "rwy_fungsional",
                          "rwy_kepangkatan", "rwy_pend_formal", "tugas_tambahan", "sekolah"}) {
        const std::string blank = std::string(t) == "ptk" ? " " : "";
        ReplaceAll(s, "INSERT INTO " + std::string(t) + blank, "INSERT INTO " + std::string(t) + lists.at(t) + blank);
    }
    return s;
}

} // namespace pelantra::literal
