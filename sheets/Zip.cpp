#include "sheets/Zip.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "sheets/SheetErrors.h"

namespace {

constexpr std::size_t kLargestEntry = 16u << 20;

// One growing buffer seen by minizip as a file: it reads, seeks back to mend the
// headers it wrote, and writes on.
struct TMemoryFile {
    std::string Bytes;
    std::size_t Pos = 0;
};

TMemoryFile& File(voidpf stream) {
    return *static_cast<TMemoryFile*>(stream);
}

voidpf Open(voidpf opaque, const void*, int) {
    File(opaque).Pos = 0;
    return opaque;
}

uLong Read(voidpf, voidpf stream, void* buffer, uLong size) {
    TMemoryFile& f = File(stream);
    const std::size_t n =
        std::min<std::size_t>(size, f.Bytes.size() - std::min(f.Pos, f.Bytes.size()));
    if (n > 0) std::memcpy(buffer, f.Bytes.data() + f.Pos, n);
    f.Pos += n;
    return static_cast<uLong>(n);
}

uLong Write(voidpf, voidpf stream, const void* buffer, uLong size) {
    TMemoryFile& f = File(stream);
    if (f.Pos + size > f.Bytes.size()) f.Bytes.resize(f.Pos + size);
    std::memcpy(f.Bytes.data() + f.Pos, buffer, size);
    f.Pos += size;
    return size;
}

ZPOS64_T Tell(voidpf, voidpf stream) {
    return File(stream).Pos;
}

long Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    TMemoryFile& f = File(stream);
    ZPOS64_T base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = f.Pos;
    if (origin == ZLIB_FILEFUNC_SEEK_END) base = f.Bytes.size();
    if (base + offset > f.Bytes.size()) return -1;
    f.Pos = static_cast<std::size_t>(base + offset);
    return 0;
}

int Close(voidpf, voidpf) {
    return 0;
}

int Error(voidpf, voidpf) {
    return 0;
}

zlib_filefunc64_def MemoryFunctions(TMemoryFile& file) {
    zlib_filefunc64_def f{};
    f.zopen64_file = Open;
    f.zread_file = Read;
    f.zwrite_file = Write;
    f.ztell64_file = Tell;
    f.zseek64_file = Seek;
    f.zclose_file = Close;
    f.zerror_file = Error;
    f.opaque = &file;
    return f;
}

}  // namespace

// ---- reading ----

struct TZipReader::TImpl {
    TMemoryFile File;
    unzFile Zip = nullptr;
    bool IsOpen = false;
    std::string Open;  // the entry being read (an entry's name may be "")
    std::size_t Unpacked = 0;
};

TZipReader::TZipReader(std::string_view bytes) : impl_(std::make_unique<TImpl>()) {
    impl_->File.Bytes.assign(bytes);
    zlib_filefunc64_def functions = MemoryFunctions(impl_->File);
    impl_->Zip = unzOpen2_64("memory", &functions);
    if (!impl_->Zip) throw ESheetFormat("it is not a zip archive");
    try {
        CheckNames();
    } catch (...) {
        unzClose(impl_->Zip);  // the destructor does not run for an object never made
        throw;
    }
}

// An entry is found by its name; with two of one name (letter case aside, as the
// package formats compare names) this reader and the user's program could each read
// another.
void TZipReader::CheckNames() {
    std::set<std::string> names;
    for (int at = unzGoToFirstFile(impl_->Zip); at == UNZ_OK; at = unzGoToNextFile(impl_->Zip)) {
        char name[1024];
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(impl_->Zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            throw ESheetFormat("its list of entries is damaged");
        std::string key(name, std::min<std::size_t>(info.size_filename, sizeof name - 1));
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (!names.insert(key).second)
            throw ESheetFormat("it holds two entries named " + key.substr(0, 100));
    }
}

TZipReader::~TZipReader() {
    Close();
    unzClose(impl_->Zip);
}

bool TZipReader::Has(const std::string& name) {
    Close();
    return unzLocateFile(impl_->Zip, name.c_str(), 1) == UNZ_OK;
}

void TZipReader::Open(const std::string& name) {
    unzFile zip = impl_->Zip;
    Close();
    if (unzLocateFile(zip, name.c_str(), 1) != UNZ_OK) throw ESheetFormat("it holds no " + name);
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        unzOpenCurrentFile(zip) != UNZ_OK)
        throw ESheetFormat(name + " cannot be unpacked");
    impl_->IsOpen = true;
    impl_->Open = name;
    impl_->Unpacked = 0;
    if (info.uncompressed_size > kLargestEntry) {
        Close();
        throw ESheetFormat(name + " is larger than 16 MiB");
    }
}

std::string TZipReader::ReadSome() {
    if (!impl_->IsOpen) return {};
    const std::string name = impl_->Open;
    char buffer[65536];
    const int n = unzReadCurrentFile(impl_->Zip, buffer, sizeof buffer);
    if (n > 0) {
        impl_->Unpacked += static_cast<std::size_t>(n);
        if (impl_->Unpacked <= kLargestEntry)
            return std::string(buffer, static_cast<std::size_t>(n));
        Close();  // a size field that lied
        throw ESheetFormat(name + " is larger than 16 MiB");
    }
    impl_->IsOpen = false;
    const int closed = unzCloseCurrentFile(impl_->Zip);  // checks the CRC of the whole entry
    if (n < 0 || closed != UNZ_OK) throw ESheetFormat(name + " is damaged");
    return {};
}

void TZipReader::Close() {
    if (!impl_->IsOpen) return;
    impl_->IsOpen = false;
    unzCloseCurrentFile(impl_->Zip);
}

std::string TZipReader::Read(const std::string& name) {
    Open(name);
    std::string data;
    for (std::string piece = ReadSome(); !piece.empty(); piece = ReadSome()) data += piece;
    return data;
}

// ---- writing ----

struct TZipWriter::TImpl {
    TMemoryFile File;
    zipFile Zip = nullptr;
};

TZipWriter::TZipWriter() : impl_(std::make_unique<TImpl>()) {
    zlib_filefunc64_def functions = MemoryFunctions(impl_->File);
    impl_->Zip = zipOpen2_64("memory", APPEND_STATUS_CREATE, nullptr, &functions);
    if (!impl_->Zip) throw ESheetFormat("a zip archive cannot be started");
}

TZipWriter::~TZipWriter() {
    if (impl_->Zip) zipClose(impl_->Zip, nullptr);
}

void TZipWriter::Add(const std::string& name, std::string_view data, bool compress) {
    zip_fileinfo info{};
    info.tmz_date.tm_mday = 1;  // 1 January 1980: the entries' own times mean nothing here
    info.tmz_date.tm_year = 1980;
    // No zip64 extras: an OpenDocument reader wants the stored mimetype entry plain.
    const bool ok =
        zipOpenNewFileInZip64(impl_->Zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                              compress ? Z_DEFLATED : 0, compress ? Z_DEFAULT_COMPRESSION : 0,
                              0) == ZIP_OK &&
        zipWriteInFileInZip(impl_->Zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
    if (zipCloseFileInZip(impl_->Zip) != ZIP_OK || !ok)
        throw ESheetFormat(name + " cannot be packed");
}

std::string TZipWriter::Finish() {
    const int closed = zipClose(impl_->Zip, nullptr);
    impl_->Zip = nullptr;
    if (closed != ZIP_OK) throw ESheetFormat("the zip archive cannot be finished");
    return std::move(impl_->File.Bytes);
}
