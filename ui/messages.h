#pragma once

#include <array>

#include "backup/messages.h"

// What the window says, defined once.
namespace pelantra {

// The layout's texts.
inline constexpr const char* kBackupButton = "Backup";
inline constexpr const char* kSearchButton = "Cari";
inline constexpr const char* kSchoolLabel = "Nama Sekolah";
inline constexpr const char* kFolderLabel = "Lokasi Simpan";
inline constexpr const char* kSettingsFrame = "Pengaturan";
inline constexpr const char* kFolderChooserTitle = "Export Data";
inline constexpr const char* kArchiveChooserTitle = "Periksa arsip";
inline constexpr const char* kArchiveFilter = "Arsip Pelantra (*.std)";
inline constexpr const char* kAllFilesFilter = "Semua berkas (*)";
// The pop-up menu.
inline constexpr const char* kMenuGuide = "Panduan";
inline constexpr const char* kMenuExit = "Keluar";
inline constexpr const char* kMenuCheck = "Periksa arsip...";
// Buttons of the boxes.
inline constexpr const char* kOpenFolderButton = "Buka folder";
inline constexpr const char* kYesButton = "Ya";
inline constexpr const char* kNoButton = "Tidak";
// The steps of a check, and of work asked to stop; " detik" follows the seconds.
inline constexpr const char* kCheckOpeningStep = "Membuka arsip...";
inline constexpr const char* kCheckReplayingStep = "Uji pulih ke salinan sementara...";
inline constexpr const char* kStoppingStep = "Menghentikan...";
inline constexpr const char* kSeconds = " detik";
// Boxes: their first lines, and the lines that name what they are about.
inline constexpr const char* kCheckFailed = "Arsip tidak lolos pemeriksaan";
// The lines of a checked archive's box: whose it is, when it was made, and
// its rows per table ("Peserta didik (peserta_didik): 120").
inline constexpr const char* kCheckSchoolLine = "Sekolah: {} (NPSN {})";
inline constexpr const char* kCheckPackedLine = "Dibuat: {}";
inline constexpr const char* kCheckTableLine = "{} ({}): {}";
// "Buka folder" found no program to open the folder with.
inline constexpr const char* kFolderNotOpened = "Folder tidak dapat dibuka";
inline constexpr const char* kOpenFolderByHand = "Buka folder ini sendiri lewat pengelola berkas:";
inline constexpr const char* kRunNotStarted = "Proses backup tidak dapat dimulai";
inline constexpr const char* kCheckNotStarted = "Pemeriksaan tidak dapat dimulai";
inline constexpr const char* kCloseDuringBackup = "Backup sedang berjalan. Hentikan backup lalu tutup?";
inline constexpr const char* kCloseDuringCheck = "Pemeriksaan arsip sedang berjalan. Hentikan pemeriksaan lalu tutup?";
inline constexpr const char* kEarlierArchiveKept = "Arsip yang sudah ada tidak diubah.";
// A scheduled backup failed since a window last looked: when, and which school.
inline constexpr const char* kScheduleFailed = "Backup otomatis terakhir gagal";
inline constexpr const char* kScheduledRunLine = "Waktu: {}";
// Of several schools that failed: each school and why, at most a few in
// the box, and how many more the details name.
inline constexpr const char* kFailedSchoolLine = "{}: {}";
inline constexpr const char* kMoreFailedSchools = "... dan {} sekolah lain (lihat rincian)";
// A failed run in the details: when it ended, the school and its id, why.
inline constexpr const char* kFailedRunDetail = "{}  {} ({})\n{}";
// What an empty school list says of itself.
inline constexpr const char* kNoSchools = "Belum ada sekolah dengan akun operator";
inline constexpr const char* kStartupHint =
    "Periksa DefDBPort di setting.ini di folder {} dan pastikan server database berjalan.";

// The README's message table lists these.
inline constexpr std::array kWindowMessages = {kCheckFailed,       kRunNotStarted,    kCheckNotStarted,
                                               kCloseDuringBackup, kCloseDuringCheck, kFolderNotOpened,
                                               kScheduleFailed};

} // namespace pelantra
