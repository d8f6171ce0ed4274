#pragma once
// The zip container of .xlsx and .ods files, in memory, through minizip (zlib's
// contrib): entries read by name, entries written in order. Faults are ESheetFormat.
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

    bool Has(const std::string& name);
    // The entry's bytes, checked against its CRC; at most 16 MiB.
    std::string Read(const std::string& name);

private:
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
