#pragma once

#include <array>

#include "core/messages.h"

// What the user reads about a checked archive.
// "{}" stands for a part filled in where the text is used (FillIn).
namespace pelantra {

// A checked archive.
inline constexpr const char* kArchiveSound = "Arsip utuh";
inline constexpr const char* kArchiveRestorable = "Arsip utuh dan dapat dipulihkan";
inline constexpr const char* kArchiveNotFound = "Berkas arsip tidak ditemukan; periksa nama dan foldernya";
inline constexpr const char* kNotOurArchive = "Berkas ini bukan arsip backup Pelantra";
inline constexpr const char* kArchiveDamaged = "Arsip rusak atau tidak lengkap";
inline constexpr const char* kArchiveUnreadable = "Isi arsip tidak dapat dibaca";
// Followed by the member's size and the bound, kMemberSizes.
inline constexpr const char* kMemberTooLarge = "Isi arsip terlalu besar untuk diperiksa";
inline constexpr const char* kMemberSizes = " ({} MiB; batas {} MiB)";
inline constexpr const char* kNotRestorable = "Isi arsip tidak dapat dipulihkan";
inline constexpr const char* kRowsDiffer = "Jumlah baris setelah pemulihan tidak sesuai";
inline constexpr const char* kCheckStopped = "Pemeriksaan dihentikan";
inline constexpr const char* kScratchNotReady = "Salinan uji tabel sekolah tidak dapat dibuat di database";
// The first line of a check that could not judge the archive.
inline constexpr const char* kCheckNotDone = "Pemeriksaan tidak dapat dilakukan; arsip belum diperiksa";
// Why a file is no archive of ours.
inline constexpr const char* kWhyNotAnArchive = "berkas ini bukan arsip 7z";
inline constexpr const char* kWhyOtherPassword = "arsip terkunci dengan kata sandi lain";
inline constexpr const char* kWhyOtherMembers = "arsip tidak berisi tepat satu berkas kartesa2014.sql";
inline constexpr const char* kWhyNotLocked = "arsip tidak terkunci dengan kata sandi";
// Detail of a member that unpacks to more than the listing declared.
inline constexpr const char* kLongerThanListed = "isi arsip lebih panjang dari {} byte yang tercatat di daftar arsip";
// What a check adds when values hold backslashes in plain '...' strings.
inline constexpr const char* kBackslashValues =
    "{} nilai berisi garis miring terbalik dalam '...'; server dengan standard_conforming_strings = off "
    "membacanya lain";
// Details of a trial restore that failed.
inline constexpr const char* kFromLine = "baris {} dan sesudahnya";
inline constexpr const char* kNoSuchTable = "tabel {} tidak ada di database ini";
inline constexpr const char* kNoSuchColumn = "kolom {} tidak ada pada tabel {} (baris {})";
inline constexpr const char* kRowsDifferDetail = "tabel {}: {} baris di arsip, {} baris terpulihkan";

// The README's message table lists these.
inline constexpr std::array kCheckMessages = {
    kArchiveSound,   kArchiveRestorable, kArchiveNotFound, kNotOurArchive, kArchiveDamaged,  kArchiveUnreadable,
    kMemberTooLarge, kNotRestorable,     kRowsDiffer,      kCheckStopped,  kScratchNotReady, kCheckNotDone,
};

} // namespace pelantra
