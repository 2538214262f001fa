#pragma once

// What the user reads about the session and the settings, defined once.
namespace pelantra {

inline constexpr const char* kConnectionFailedMessage = "Gagal melakukan koneksi database";
// A backup or a check finds no server to connect to.
inline constexpr const char* kServerUnreachable =
    "Server database tidak dapat dihubungi; pastikan server database berjalan, lalu coba lagi";

} // namespace pelantra
