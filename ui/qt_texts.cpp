#include "ui/qt_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace pelantra {
namespace {

struct Text {
    const char* context;
    const char* source;
    const char* indonesian;
};

constexpr Text kTexts[] = {
    {"QPlatformTheme", "OK", "OK"},
    {"QPlatformTheme", "Cancel", "Batal"},
    {"QPlatformTheme", "Open", "Buka"},
    {"QPlatformTheme", "Close", "Tutup"},
    {"QPlatformTheme", "&Yes", "&Ya"},
    {"QPlatformTheme", "&No", "&Tidak"},
    {"QMessageBox", "Show Details...", "Tampilkan rincian..."},
    {"QMessageBox", "Hide Details...", "Sembunyikan rincian..."},
    {"QFileDialog", "Look in:", "Cari di:"},
    {"QFileDialog", "Directory:", "Folder:"},
    {"QFileDialog", "Files of type:", "Jenis berkas:"},
    {"QFileDialog", "Directories", "Folder"},
    {"QFileDialog", "Directory", "Folder"},
    {"QFileDialog", "&Choose", "&Pilih"},
    {"QFileDialog", "Choose", "Pilih"},
    {"QFileDialog", "Open", "Buka"},
    {"QFileDialog", "Back", "Kembali"},
    {"QFileDialog", "Forward", "Maju"},
    {"QFileDialog", "Parent Directory", "Folder induk"},
    {"QFileDialog", "Create New Folder", "Buat folder baru"},
    {"QFileDialog", "New Folder", "Folder Baru"},
    {"QFileDialog", "&New Folder", "Folder &baru"},
    {"QFileDialog", "List View", "Tampilan daftar"},
    {"QFileDialog", "Detail View", "Tampilan rinci"},
    {"QFileDialog", "Recent Places", "Tempat terakhir"},
    {"QFileDialog", "Find Directory", "Cari folder"},
    {"QFileDialog", "Show &hidden files", "Tampilkan berkas &tersembunyi"},
    {"QFileDialog", "&Rename", "&Ganti nama"},
    {"QFileDialog", "&Delete", "&Hapus"},
    {"QFileDialog", "File &name:", "&Nama berkas:"},
    {"QFileDialog", "&Open", "&Buka"},
    {"QFileDialog", "All files (*)", "Semua berkas (*)"},
    {"QFileSystemModel", "Computer", "Komputer"},
    {"QFileSystemModel", "My Computer", "Komputer"},
    // The pop-up menu of an edit field (the folder) and of the details text.
    {"QLineEdit", "&Undo", "&Urungkan"},
    {"QLineEdit", "&Redo", "U&langi"},
    {"QLineEdit", "Cu&t", "Po&tong"},
    {"QLineEdit", "&Copy", "&Salin"},
    {"QLineEdit", "&Paste", "&Tempel"},
    {"QLineEdit", "Delete", "Hapus"},
    {"QLineEdit", "Select All", "Pilih semua"},
    {"QWidgetTextControl", "&Undo", "&Urungkan"},
    {"QWidgetTextControl", "&Redo", "U&langi"},
    {"QWidgetTextControl", "Cu&t", "Po&tong"},
    {"QWidgetTextControl", "&Copy", "&Salin"},
    {"QWidgetTextControl", "Copy &Link Location", "Salin &alamat tautan"},
    {"QWidgetTextControl", "&Paste", "&Tempel"},
    {"QWidgetTextControl", "Delete", "Hapus"},
    {"QWidgetTextControl", "Select All", "Pilih semua"},
    {"QFileSystemModel", "Name", "Nama"},
    {"QFileSystemModel", "Size", "Ukuran"},
    {"QFileSystemModel", "Type", "Jenis"},
    {"QFileSystemModel", "Date Modified", "Tanggal diubah"},
    {"QFileSystemModel", "Unknown", "Tidak dikenal"},
    {"QAbstractFileIconProvider", "Drive", "Drive"},
    {"QAbstractFileIconProvider", "Folder", "Folder"},
    {"QAbstractFileIconProvider", "Unknown", "Tidak dikenal"},
    // What the folder dialog says of a name typed into it.
    {"QFileDialog", "%1\nDirectory not found.\nPlease verify the correct directory name was given.",
     "%1\nFolder tidak ditemukan.\nPeriksa lagi nama foldernya."},
    {"QFileDialog", "%1\nFile not found.\nPlease verify the correct file name was given.",
     "%1\nBerkas tidak ditemukan.\nPeriksa lagi nama berkasnya."},
    {"QFileDialog", "%1 already exists.\nDo you want to replace it?", "%1 sudah ada.\nGanti berkas itu?"},
    {"QFileDialog", "'%1' is write protected.\nDo you want to delete it anyway?",
     "'%1' dilindungi dari perubahan.\nTetap hapus?"},
    {"QFileDialog", "Are you sure you want to delete '%1'?", "Yakin menghapus '%1'?"},
    {"QFileDialog", "Could not delete directory.", "Folder tidak dapat dihapus."},
    {"QFileDialog", "Delete", "Hapus"},
};

class IndonesianQtTexts final : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        for (const Text& text : kTexts) {
            if (std::strcmp(text.context, context) == 0 && std::strcmp(text.source, source) == 0)
                return QString::fromUtf8(text.indonesian);
        }
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

void UseIndonesianQtTexts()
{
    // Dates and numbers Qt shows, such as a file's date in the file dialog.
    QLocale::setDefault(QLocale(QLocale::Indonesian, QLocale::Indonesia));
    static QTranslator qt;
    static IndonesianQtTexts ours;
    if (qt.load(QLocale(QLocale::Indonesian), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
    else
        QCoreApplication::installTranslator(&ours);
}

} // namespace pelantra
