#pragma once

#include <array>

#include "core/messages.h"

// What the user reads about a backup, defined once.
// "{}" stands for a part filled in where the text is used (FillIn).
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
inline constexpr const char* kSchemaBusy = "Skema tmpx sedang dipakai program lain; coba lagi nanti";
inline constexpr const char* kSchemaInUse = "Skema tmpx dipakai objek database lain, jadi tidak dihapus";
inline constexpr const char* kStagingFailed = "Data sekolah tidak dapat disiapkan";
inline constexpr const char* kSchoolUnreadable = "Data sekolah tidak dapat dibaca";
inline constexpr const char* kColumnsUnreadable = "Struktur tabel tidak dapat dibaca";
inline constexpr const char* kDropFailed = "Data sementara tidak dapat dihapus dari database";
// ... the folder and the tools.
inline constexpr const char* kFolderMissing = "Folder tujuan tidak ditemukan; pilih folder lain";
inline constexpr const char* kFolderUnwritable = "Folder tujuan tidak dapat ditulisi; pilih folder lain";
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
inline constexpr const char* kDiskFull = "Disk tujuan penuh; kosongkan sebagian disk atau pilih folder lain";
// Another school's archive has the name this school's would have (the
// name maps blanks and dots alike): that school, then this one.
inline constexpr const char* kOtherSchoolsArchive =
    "Folder tujuan sudah berisi arsip bernama sama milik {}; backup {} ke folder lain";
// In its details: each school, its npsn and its sekolah_id.
inline constexpr const char* kOwnerDetail = "{} (npsn {}, sekolah_id {})";
// What stands at the archive's name is no file (a link, a folder).
inline constexpr const char* kTargetNotArchive =
    "Di folder tujuan ada {} yang bukan berkas arsip; pindahkan atau ganti namanya, lalu coba lagi";
// What the user should still know although the archive stands: its earlier
// version could not be kept in Riwayat, or older kept ones not removed (why,
// in the system's words).
inline constexpr const char* kHistoryNotKept = "Arsip lama tidak dapat disimpan di folder Riwayat: {}";
inline constexpr const char* kHistoryNotPruned = "Arsip lama di folder Riwayat tidak dapat dihapus: {}";
// Why, in those two lines, and in the line of a file that could not be
// written: for a person, the system's words going into the details.
inline constexpr const char* kWhyHistoryIsLink = "Riwayat adalah tautan ke tempat lain, jadi tidak dipakai";
inline constexpr const char* kWhyHistoryNotFolder = "ada berkas bernama Riwayat, bukan folder";
inline constexpr const char* kWhyCopyShort = "salinan tidak lengkap";
inline constexpr const char* kWhyNoFreeName = "tidak ada nama berkas yang bebas";
inline constexpr const char* kWhyKeptIsLink = "tautan bernama arsip lama dibiarkan";
inline constexpr const char* kWhyDiskFull = "disk penuh";
inline constexpr const char* kWhyNoPermission = "tidak ada izin menulis";
inline constexpr const char* kWhyReadOnly = "disk hanya dapat dibaca";
inline constexpr const char* kWhyFileSystem = "sistem berkas menolak";
// The archive stands under its name, but the folder's flush after the
// rename failed (some network and shared-folder file systems).
inline constexpr const char* kFolderNotSynced =
    "Arsip sudah disimpan, tetapi sistem berkas tidak memastikan folder tujuan tertulis ke disk";
// Links where Pelantra expects its own folders are left as they are.
inline constexpr const char* kLinksLeftAlone = "Tautan di folder tujuan dibiarkan: {}";
// The success box: where the earlier archive went.
inline constexpr const char* kEarlierKeptLine = "Arsip lama disimpan di folder Riwayat: {}";
// ... the run itself.
inline constexpr const char* kStoppedReason = "Backup dihentikan";
inline constexpr const char* kRunBroke = "Proses backup terhenti";
inline constexpr const char* kRunWithoutOutcome = "Proses backup berakhir tanpa hasil";
// A staged table the database lacks.
inline constexpr const char* kNoColumnsFound = "tabel public.{} tidak ada atau tidak berkolom";

// The README's message table lists these.
inline constexpr std::array kBackupMessages = {
    kSuccessMessage,      kFailureMessage,   kSchoolNotFound,    kSchemaBusy,       kSchemaInUse,
    kStagingFailed,       kSchoolUnreadable, kColumnsUnreadable, kDropFailed,       kFolderMissing,
    kFolderUnwritable,    kExportFailed,     kDumpToolTooOld,    kExportIncomplete, kOtherSchool,
    kRewriteFailed,       kExportStalled,    kArchiverStalled,   kArchiveNotMade,   kArchiveTestFailed,
    kArchiveContentWrong, kArchiveNotLocked, kArchiveNotSaved,   kDiskFull,         kOtherSchoolsArchive,
    kTargetNotArchive,    kHistoryNotKept,   kHistoryNotPruned,  kFolderNotSynced,  kLinksLeftAlone,
    kStoppedReason,       kRunBroke,         kRunWithoutOutcome,
};

} // namespace pelantra
