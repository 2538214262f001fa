#pragma once

// What the headless program says besides the reasons of the layers below,
// defined once. "{}" stands for a part filled in where the text is used.
namespace pelantra {

// The help's first and last lines; the commands' own lines come from their table.
inline constexpr const char* kUsageTitle = "Pemakaian:";
inline constexpr const char* kUsageSettings = "Pengaturan dibaca dari setting.ini di folder kerja.";
inline constexpr const char* kNoCommand = "Perintah belum diberikan.";
inline constexpr const char* kUnknownCommand = "Perintah tidak dikenal: {}";
inline constexpr const char* kUnknownOption = "Pilihan tidak dikenal: {}";
inline constexpr const char* kExtraArgument = "Argumen berlebih: {}";
inline constexpr const char* kSchoolsTakeNoArgument = "schools tidak menerima argumen: {}";
inline constexpr const char* kBackupNeedsArguments = "backup perlu <sekolah_id> dan <folder>.";
inline constexpr const char* kBackupAllNeedsFolder = "backup --all perlu <folder>.";
inline constexpr const char* kEmptyFolder = "<folder> tidak boleh kosong.";
inline constexpr const char* kVerifyNeedsArchive = "verify perlu <arsip.std>.";
inline constexpr const char* kOptionNeedsValue = "{} perlu nilai.";
inline constexpr const char* kLastNeedsNumber = "--last perlu angka 1 atau lebih: {}";
// The option of the schedule's command line that logs its runs as "jadwal".
inline constexpr const char* kScheduledOption = "--scheduled";

inline constexpr const char* kStepSeconds = "  {} detik";
inline constexpr const char* kSchoolFailed = "{}: gagal, {}";
inline constexpr const char* kAllSchoolsCount = "{} dari {} sekolah berhasil dibackup";
inline constexpr const char* kScheduleNeeds = "schedule perlu daily, weekly atau off: {}";
inline constexpr const char* kDailyNeeds = "schedule daily perlu <JJ:MM> dan <folder>.";
inline constexpr const char* kWeeklyNeeds = "schedule weekly perlu <hari>, <JJ:MM> dan <folder>.";
inline constexpr const char* kUnknownTime = "Jam tidak dikenal: {} (tulis JJ:MM, misalnya 19:30)";
// A line break or another control character cannot be written into the
// system's schedule.
inline constexpr const char* kFolderNameUnfit =
    "Nama folder berisi baris baru atau karakter kendali; pilih folder lain: {}";
// ... nor what the system's scheduler would change or refuse.
inline constexpr const char* kFolderNameTrailing =
    "Nama folder berakhir dengan \\ atau spasi, yang tidak dapat dipakai jadwal systemd; pilih folder lain: {}";
inline constexpr const char* kFolderNameNotUtf8 =
    "Nama folder bukan teks UTF-8, yang diabaikan jadwal systemd; pilih folder lain: {}";
inline constexpr const char* kFolderNamePercent =
    "Nama folder berisi %, yang diubah oleh Penjadwal Tugas Windows; pilih folder lain: {}";
inline constexpr const char* kUnknownDay = "Hari tidak dikenal: {} (Senin sampai Minggu)";
inline constexpr const char* kScheduleNeedsSettings =
    "setting.ini tidak ada di folder {}; jalankan perintah ini di folder setting.ini";

// The schedule as the system keeps it.
inline constexpr const char* kScheduleLine = "Backup otomatis: {}";
inline constexpr const char* kScheduleTimeUnread = "terdaftar, tetapi waktunya tidak dapat dibaca";
inline constexpr const char* kScheduleNotRunnable =
    "terdaftar, tetapi foldernya tidak dapat dipakai sistem; jadwalkan lagi dengan folder lain";
inline constexpr const char* kScheduleFolderLine = "Folder: {}";
inline constexpr const char* kNextRunLine = "Berikutnya: {}";
inline constexpr const char* kCatchUpLine =
    "Bila komputer mati pada waktunya, backup berjalan begitu komputer menyala.";
inline constexpr const char* kScheduleCommandLine = "Perintah: {}";
inline constexpr const char* kScheduleWorkingLine = "Folder kerja: {}";
inline constexpr const char* kScheduleOff = "Backup otomatis tidak aktif";
inline constexpr const char* kLogEmpty = "Belum ada backup yang tercatat di {}";

} // namespace pelantra
