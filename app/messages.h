#pragma once

// What the headless program says besides the reasons of the layers below,
// defined once. "{}" stands for a part filled in where the text is used.
namespace pelantra {

inline constexpr const char* kUsage =
    "Pemakaian:\n"
    "  pelantra-cli schools                        daftar sekolah: <sekolah_id> TAB <nama>\n"
    "  pelantra-cli backup <sekolah_id> <folder>   backup data satu sekolah ke folder\n"
    "  pelantra-cli backup --all <folder>          backup setiap sekolah di daftar, satu arsip per sekolah\n"
    "  pelantra-cli verify <arsip.std>             periksa isi arsip dan hitung barisnya\n"
    "  pelantra-cli verify --replay <arsip.std>    buktikan juga bahwa arsip dapat dipulihkan\n"
    "  pelantra-cli --version                      versi program\n"
    "Pengaturan dibaca dari setting.ini di folder kerja.\n";
inline constexpr const char* kNoCommand = "Perintah belum diberikan.";
inline constexpr const char* kUnknownCommand = "Perintah tidak dikenal: {}";
inline constexpr const char* kUnknownOption = "Pilihan tidak dikenal: {}";
inline constexpr const char* kExtraArgument = "Argumen berlebih: {}";
inline constexpr const char* kSchoolsTakeNoArgument = "schools tidak menerima argumen: {}";
inline constexpr const char* kBackupNeedsArguments = "backup perlu <sekolah_id> dan <folder>.";
inline constexpr const char* kBackupAllNeedsFolder = "backup --all perlu <folder>.";
inline constexpr const char* kEmptyFolder = "<folder> tidak boleh kosong.";
inline constexpr const char* kVerifyNeedsArchive = "verify perlu <arsip.std>.";

inline constexpr const char* kStepSeconds = "  {} detik";
inline constexpr const char* kSchoolFailed = "{}: gagal, {}";
inline constexpr const char* kAllSchoolsCount = "{} dari {} sekolah berhasil dibackup";

} // namespace pelantra
