#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

// What the user reads about the session and the settings, defined once.
namespace pelantra {

// The program's name: window and box titles, its data folder, its name in
// the server's list of connections.
inline constexpr const char* kProgramName = "Pelantra";

inline constexpr const char* kConnectionFailedMessage = "Gagal melakukan koneksi database";
// A backup or a check finds no server to connect to.
inline constexpr const char* kServerUnreachable =
    "Server database tidak dapat dihubungi; pastikan server database berjalan, lalu coba lagi";

// The school list could not be read from the database.
inline constexpr const char* kSchoolListUnreadable = "Daftar sekolah tidak dapat dibaca dari database";

// setting.ini's KeepCopies is no number a backup can keep.
inline constexpr const char* kKeepCopiesInvalid =
    "KeepCopies di setting.ini harus angka 0 sampai 999 (banyak arsip lama yang disimpan per sekolah)";
// Which value of which setting.ini: its folder, the key and the value.
inline constexpr const char* kSettingsValueDetail = "setting.ini di folder {}: {}={}";

// setting.ini is no regular file of a sane size: its path, and why.
inline constexpr const char* kSettingsUnfit =
    "{} tidak dapat dibaca sebagai setting.ini: {}; ganti dengan berkas teks biasa";
inline constexpr const char* kSettingsNotAFile = "berkas ini {}, bukan berkas teks";
inline constexpr const char* kSettingsTooLarge = "berkas ini {} byte, terlalu besar";

inline constexpr const char* kAnotherBackupRunning = "Backup lain sedang berjalan pada database ini";
inline constexpr const char* kConnectionLost = "Koneksi database terputus selama backup";
// Who holds the backup lock.
inline constexpr const char* kLockHeldElsewhere = "Kunci backup dipegang sesi database lain";
inline constexpr const char* kLockHolder =
    "Kunci backup dipegang sesi database lain: proses {}, program \"{}\", dari {}, tersambung sejak {}";
inline constexpr const char* kLocalSocket = "soket lokal";
// Where the settings were looked for.
inline constexpr const char* kSettingsFolderDetail = "setting.ini di folder {}";
// The backup lock could not even be asked for.
inline constexpr const char* kLockNotTaken = "Kunci backup tidak dapat diambil dari database";

// The README's message table lists these.
inline constexpr std::array kCoreMessages = {
    kConnectionFailedMessage, kServerUnreachable, kSchoolListUnreadable, kKeepCopiesInvalid,
    kAnotherBackupRunning,    kConnectionLost,    kLockNotTaken};

// A name from the database or an archive as it may go to a terminal or a
// line of the log: control bytes (C0, DEL, and C1 written in UTF-8) escaped
// as \xNN or \u00NN, so that it neither moves the cursor nor breaks the line.
inline std::string Printable(std::string_view text)
{
    constexpr const char* kHex = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            const auto c1 = static_cast<unsigned char>(text[++i]);
            shown.append("\\u00").append(1, kHex[c1 >> 4]).append(1, kHex[c1 & 15]);
        } else {
            shown.push_back(text[i]);
        }
    }
    return shown;
}

// `text` with each "{}" in turn replaced by the next of `parts`.
inline std::string FillIn(std::string_view text, std::initializer_list<std::string_view> parts)
{
    std::string filled;
    auto part = parts.begin();
    for (std::size_t at; part != parts.end() && (at = text.find("{}")) != std::string_view::npos; ++part) {
        filled.append(text.substr(0, at)).append(*part);
        text.remove_prefix(at + 2);
    }
    return filled.append(text);
}

} // namespace pelantra
