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
inline constexpr const char* kBaseDirMissing =
    "setting.ini tidak berisi basedir; isi basedir dengan folder instalasi yang memuat pgsql dan php";
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
// The automatic backup: its time ("setiap hari pukul 19:30", "setiap Senin
// pukul 19:30"), and what went wrong with the system's schedule.
inline constexpr const char* kScheduleWhen = "setiap {} pukul {}";
inline constexpr const char* kScheduleNotSet = "Backup otomatis tidak dapat dijadwalkan";
inline constexpr const char* kScheduleUnreadable = "Jadwal backup otomatis tidak dapat dibaca";
inline constexpr const char* kScheduleNotRemoved = "Backup otomatis tidak dapat dihentikan";
inline constexpr const char* kTimerNotStarted =
    "Timer backup otomatis sudah ditulis tetapi belum berjalan; jalankan: systemctl --user enable --now "
    "pelantra-backup.timer";
// ... the run itself.
inline constexpr const char* kStoppedReason = "Backup dihentikan";
inline constexpr const char* kRunBroke = "Proses backup terhenti";
inline constexpr const char* kRunWithoutOutcome = "Proses backup berakhir tanpa hasil";

// A checked archive.
inline constexpr const char* kArchiveSound = "Arsip utuh";
inline constexpr const char* kArchiveRestorable = "Arsip utuh dan dapat dipulihkan";
inline constexpr const char* kArchiveNotFound = "Berkas arsip tidak ditemukan; periksa nama dan foldernya";
inline constexpr const char* kNotOurArchive = "Berkas ini bukan arsip backup Pelantra";
inline constexpr const char* kArchiveDamaged = "Arsip rusak atau tidak lengkap";
inline constexpr const char* kArchiveUnreadable = "Isi arsip tidak dapat dibaca";
inline constexpr const char* kCutInValue = "Isi arsip terpotong di tengah nilai atau komentar";
inline constexpr const char* kCutInStatement = "Isi arsip terpotong di tengah perintah";
inline constexpr const char* kForbiddenStatement = "Arsip berisi perintah yang tidak diizinkan";
inline constexpr const char* kNotOneSchool = "Arsip tidak berisi data tepat satu sekolah";
// Followed by the member's size and the bound, kMemberSizes.
inline constexpr const char* kMemberTooLarge = "Isi arsip terlalu besar untuk diperiksa";
inline constexpr const char* kMemberSizes = " ({} MiB; batas {} MiB)";
inline constexpr const char* kNotRestorable = "Isi arsip tidak dapat dipulihkan";
inline constexpr const char* kRowsDiffer = "Jumlah baris setelah pemulihan tidak sesuai";
inline constexpr const char* kCheckStopped = "Pemeriksaan dihentikan";
inline constexpr const char* kScratchNotReady = "Salinan uji tabel sekolah tidak dapat dibuat di database";
// The first line of a check that could not judge the archive.
inline constexpr const char* kCheckNotDone = "Pemeriksaan tidak dapat dilakukan; arsip belum diperiksa";

// Who holds the backup lock.
inline constexpr const char* kLockHeldElsewhere = "Kunci backup dipegang sesi database lain";
inline constexpr const char* kLockHolder =
    "Kunci backup dipegang sesi database lain: proses {}, program \"{}\", dari {}, tersambung sejak {}";
inline constexpr const char* kLocalSocket = "soket lokal";

// A staged table the database lacks.
inline constexpr const char* kNoColumnsFound = "tabel public.{} tidak ada atau tidak berkolom";

// Where the settings were looked for.
inline constexpr const char* kSettingsFolderDetail = "setting.ini di folder {}";

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

// Detail of a dump that ends without its closing title line.
inline constexpr const char* kNoClosingLine = "baris penutup dump (\"-- Kartesa Ombralu complete\") tidak ada";

// Details of a trial restore that failed.
inline constexpr const char* kFromLine = "baris {} dan sesudahnya";
inline constexpr const char* kNoSuchTable = "tabel {} tidak ada di database ini";
inline constexpr const char* kNoSuchColumn = "kolom {} tidak ada pada tabel {} (baris {})";
inline constexpr const char* kRowsDifferDetail = "tabel {}: {} baris di arsip, {} baris terpulihkan";

// Every message above that the user reads in a box or on standard error,
// the steps aside; the README's message table lists exactly these.
inline constexpr std::array kBackupMessages = {
    kSuccessMessage,       kFailureMessage,     kSchoolNotFound,
    kAnotherBackupRunning, kSchemaBusy,         kSchemaInUse,
    kStagingFailed,        kSchoolUnreadable,   kColumnsUnreadable,
    kConnectionLost,       kDropFailed,         kFolderMissing,
    kFolderUnwritable,     kToolCannotStart,    kExportFailed,
    kBaseDirMissing,       kDumpToolTooOld,     kExportIncomplete,
    kOtherSchool,          kRewriteFailed,      kExportStalled,
    kArchiverStalled,      kArchiveNotMade,     kArchiveTestFailed,
    kArchiveContentWrong,  kArchiveNotLocked,   kArchiveNotSaved,
    kStoppedReason,        kRunBroke,           kRunWithoutOutcome,
    kArchiveSound,         kArchiveRestorable,  kArchiveNotFound,
    kNotOurArchive,        kArchiveDamaged,     kArchiveUnreadable,
    kCutInValue,           kCutInStatement,     kForbiddenStatement,
    kNotOneSchool,         kMemberTooLarge,     kNotRestorable,
    kRowsDiffer,           kCheckStopped,       kScratchNotReady,
    kCheckNotDone,         kHistoryNotKept,     kHistoryNotPruned,
    kScheduleNotSet,       kScheduleUnreadable, kScheduleNotRemoved,
    kTimerNotStarted,      kDiskFull,           kOtherSchoolsArchive,
    kTargetNotArchive,     kFolderNotSynced,    kLinksLeftAlone,
};

} // namespace pelantra
