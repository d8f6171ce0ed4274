#pragma once
// What the .xlsx and .ods readers and writers share around Qt's XML stream reader and
// writer.
#include <QList>
#include <QString>
#include <QXmlStreamReader>
#include <string>
#include <string_view>

#include "sheets/Sheet.h"

// A reader over one entry of the container, named in its faults.
class TSheetXml : public QXmlStreamReader {
public:
    TSheetXml(const std::string& entry, const std::string& xml)
        : QXmlStreamReader(QByteArray::fromStdString(xml)), entry_(entry) {}

    // The next start element inside the current one, by local name (namespaces
    // differ between the dialects of one format); false at its end. Throws
    // ESheetFormat when the XML is not well-formed.
    bool NextChild();
    bool Is(QStringView localName) const { return name() == localName; }
    // An attribute by its local name, whatever its namespace.
    QString Attribute(QStringView localName) const;
    const std::string& Entry() const { return entry_; }
    [[noreturn]] void Fault(const std::string& why) const;

private:
    std::string entry_;
};

// Every cell of a sheet is counted here: a file that would make more is refused
// rather than filling the memory (a group's sheet has about 400).
class TCellBudget {
public:
    void Spend(std::size_t cells);

private:
    std::size_t left_ = 100000;
};

std::u32string Chars(const QString& text);
QString QtText(const std::string& utf8);
