#pragma once
// The zip container of .xlsx and .ods files, in memory, through minizip (zlib's
// contrib): entries read by name, whole or piece by piece, entries written in order.
// An archive with two entries of one name is refused. Faults are ESheetFormat.
#include <memory>
#include <string>
#include <string_view>

class TZipReader {
public:
    // The archive's bytes must outlive the reader.
    explicit TZipReader(std::string_view bytes);
    ~TZipReader();
    TZipReader(const TZipReader&) = delete;
    TZipReader& operator=(const TZipReader&) = delete;

    // Whether it holds the entry; closes the open one.
    bool Has(const std::string& name);
    // The entry's bytes, checked against its CRC; at most 16 MiB.
    std::string Read(const std::string& name);
    // The entry opened to be read piece by piece, so that a reader that refuses what
    // it meets early never unpacks the rest. One at a time: opening another, or
    // reading one whole, closes it.
    void Open(const std::string& name);
    // The next piece of the open entry; "" at its end, where the whole is checked
    // against its CRC. At most 16 MiB in all.
    std::string ReadSome();

private:
    void CheckNames();
    void Close();

    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

class TZipWriter {
public:
    TZipWriter();
    ~TZipWriter();
    TZipWriter(const TZipWriter&) = delete;
    TZipWriter& operator=(const TZipWriter&) = delete;

    // Deflated, or stored as it is (an OpenDocument file's "mimetype" must be).
    void Add(const std::string& name, std::string_view data, bool compress = true);
    // The whole archive; nothing may be added after.
    std::string Finish();

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};
