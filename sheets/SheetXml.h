#pragma once
// What the .xlsx and .ods readers and writers share around Qt's XML stream reader and
// writer: a reader that refuses what no spreadsheet part holds (a DOCTYPE, an entity
// of its own, elements nested without end), and a cell's text built only up to what a
// cell may hold.
#include <QList>
#include <QString>
#include <QXmlStreamReader>
#include <string>
#include <string_view>

#include "sheets/Sheet.h"
#include "sheets/Zip.h"

// A cell's text as it is read, kept up to kCellCharacters; what passes that is only
// noted, never built.
class TCellText {
public:
    void Append(QStringView text);
    void Append(QChar c, std::uint64_t count);
    bool TooLong() const { return tooLong_; }
    const QString& Text() const { return text_; }  // at most kCellCharacters

private:
    QString text_;
    bool tooLong_ = false;
};

// A reader over one entry of the container, named in its faults, unpacked as far as
// it is read. Every token passes through Next(), so that nothing reaches the readers
// unchecked.
class TSheetXml {
public:
    // Opens the entry; it stays the zip's open entry while this is read.
    TSheetXml(TZipReader& zip, const std::string& entry);
    TSheetXml(const TSheetXml&) = delete;
    TSheetXml& operator=(const TSheetXml&) = delete;

    // The next token; ESheetFormat for XML that is not well-formed, a DOCTYPE (and so
    // any entity of the file's own), or elements nested deeper than any sheet nests.
    QXmlStreamReader::TokenType Next();
    // The next start element inside the current one, by local name (namespaces
    // differ between the dialects of one format); false at its end.
    bool NextChild();
    // Passes over the current element and everything in it.
    void Skip();
    // Unpacks the rest of the entry, unread, so that the whole is checked.
    void End();
    // The text of the current element, which holds no elements, into `text`.
    void ReadText(TCellText& text);

    bool Is(QStringView localName) const { return xml_.name() == localName; }
    // An attribute by its local name, whatever its namespace.
    QString Attribute(QStringView localName) const;
    QStringView Characters() const { return xml_.text(); }
    const std::string& Entry() const { return entry_; }
    [[noreturn]] void Fault(const std::string& why) const;

private:
    TZipReader& zip_;
    QXmlStreamReader xml_;
    std::string entry_;
    int depth_ = 0;
};

std::u32string Chars(QStringView text);
QString QtText(const std::string& utf8);
