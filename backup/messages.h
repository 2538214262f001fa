#pragma once

#include <array>

#include "core/messages.h"

// What the user reads about a backup and about a checked archive, defined
// once. "{}" stands for a part filled in where the text is used (FillIn).
namespace pelantra {

// How a run ended, and the steps it goes through.
inline constexpr const char* kSuccessMessage = "Backup data telah berhasil dilakukan";
inline constexpr const char* kFailureMessage = "Backup data gagal dilakukan";
inline constexpr const char* kStagingStep = "Menyiapkan data...";
inline constexpr const char* kExportingStep = "Mengekspor...";
inline constexpr const char* kArchivingStep = "Mengarsipkan...";
inline constexpr const char* kTestingStep = "Menguji arsip...";

// What a box or the CLI names: the school and the archive.
inline constexpr const char* kSchoolLine = "Sekolah: {}";
inline constexpr const char* kArchiveLine = "Arsip: {}";

// Why a run failed: the school and its staging.
inline constexpr const char* kSchoolNotFound = "Sekolah tidak ditemukan";
inline constexpr const char* kAnotherBackupRunning = "Backup lain sedang berjalan pada database ini";
inline constexpr const char* kSchemaBusy = "Skema tmpx sedang dipakai program lain; coba lagi nanti";
inline constexpr const char* kSchemaInUse = "Skema tmpx dipakai objek database lain, jadi tidak dihapus";
inline constexpr const char* kStagingFailed = "Data sekolah tidak dapat disiapkan";
inline constexpr const char* kSchoolUnreadable = "Data sekolah tidak dapat dibaca";
inline constexpr const char* kColumnsUnreadable = "Struktur tabel tidak dapat dibaca";
inline constexpr const char* kConnectionLost = "Koneksi database terputus selama backup";
inline constexpr const char* kDropFailed = "Data sementara tidak dapat dihapus dari database";
// ... the folder and the tools.
inline constexpr const char* kFolderMissing = "Folder tujuan tidak ditemukan; pilih folder lain";
inline constexpr const char* kFolderUnwritable = "Folder tujuan tidak dapat ditulisi; pilih folder lain";
inline constexpr const char* kToolCannotStart =
    "Program {} tidak dapat dijalankan dari {}; periksa basedir di setting.ini di folder {}";
inline constexpr const char* kExportFailed = "Export data gagal";
inline constexpr const char* kDumpToolTooOld =
    "Versi program export (pg_dump {}) lebih lama dari server database (PostgreSQL {}). Pakai pg_dump dari instalasi "
    "server database itu: arahkan basedir di setting.ini di folder {} ke sana";
inline constexpr const char* kExportIncomplete = "Export data tidak lengkap";
inline constexpr const char* kOtherSchool = "Export berisi data sekolah lain";
inline constexpr const char* kRewriteFailed = "Hasil export tidak dapat diolah";
inline constexpr const char* kExportStalled = "Export data berhenti tanpa kemajuan";
inline constexpr const char* kArchiverStalled = "Pengarsip berhenti menerima data";
// ... the archive.
inline constexpr const char* kArchiveNotMade = "Arsip tidak dapat dibuat";
inline constexpr const char* kArchiveTestFailed = "Arsip gagal diuji";
inline constexpr const char* kArchiveContentWrong = "Isi arsip tidak sesuai";
inline constexpr const char* kArchiveNotLocked = "Arsip tidak terkunci dengan kata sandi";
inline constexpr const char* kArchiveNotSaved = "Arsip tidak dapat disimpan";
// ... the run itself.
inline constexpr const char* kStoppedReason = "Backup dihentikan";
inline constexpr const char* kRunBroke = "Proses backup terhenti";
inline constexpr const char* kRunWithoutOutcome = "Proses backup berakhir tanpa hasil";

// A checked archive.
inline constexpr const char* kArchiveSound = "Arsip utuh";
inline constexpr const char* kArchiveRestorable = "Arsip utuh dan dapat dipulihkan";
inline constexpr const char* kWrongPassword = "Arsip tidak dapat dibuka dengan kata sandi program";
inline constexpr const char* kArchiveDamaged = "Arsip rusak atau tidak lengkap";
inline constexpr const char* kNotTheOneMember = "Arsip harus berisi tepat satu berkas kartesa2014.sql";
inline constexpr const char* kArchiveUnreadable = "Isi arsip tidak dapat dibaca";
inline constexpr const char* kCutInValue = "Isi arsip terpotong di tengah nilai atau komentar";
inline constexpr const char* kCutInStatement = "Isi arsip terpotong di tengah perintah";
inline constexpr const char* kNoColumnList = "Perintah INSERT tanpa daftar kolom";
inline constexpr const char* kSchemaNamed = "Perintah INSERT menyebut skema";
inline constexpr const char* kMetaCommand = "Perintah psql di luar komentar";
inline constexpr const char* kNotRestorable = "Isi arsip tidak dapat dipulihkan";
inline constexpr const char* kRowsDiffer = "Jumlah baris setelah pemulihan tidak sesuai";
inline constexpr const char* kCheckStopped = "Pemeriksaan dihentikan";

// Every message above that the user reads in a box or on standard error,
// the steps aside; the README's message table lists exactly these.
inline constexpr std::array kBackupMessages = {
    kSuccessMessage,    kFailureMessage,   kSchoolNotFound,    kAnotherBackupRunning, kSchemaBusy,
    kSchemaInUse,       kStagingFailed,    kSchoolUnreadable,  kColumnsUnreadable,    kConnectionLost,
    kDropFailed,        kFolderMissing,    kFolderUnwritable,  kToolCannotStart,      kExportFailed,
    kDumpToolTooOld,    kExportIncomplete, kOtherSchool,       kRewriteFailed,        kExportStalled,
    kArchiverStalled,   kArchiveNotMade,   kArchiveTestFailed, kArchiveContentWrong,  kArchiveNotLocked,
    kArchiveNotSaved,   kStoppedReason,    kRunBroke,          kRunWithoutOutcome,    kArchiveSound,
    kArchiveRestorable, kWrongPassword,    kArchiveDamaged,    kNotTheOneMember,      kArchiveUnreadable,
    kCutInValue,        kCutInStatement,   kNoColumnList,      kSchemaNamed,          kMetaCommand,
    kNotRestorable,     kRowsDiffer,       kCheckStopped,
};

} // namespace pelantra
