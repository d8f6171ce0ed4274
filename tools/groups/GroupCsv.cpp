#include "tools/groups/GroupCsv.h"

#include <map>
#include <optional>

#include "base/Utf8.h"
#include "store/IDRules.h"

namespace {

constexpr std::size_t kSlotField = 0, kVehicleField = 1, kTrailerField = 2, kFields = 3;

std::string Utf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}

bool IsEmpty(const TCsvRecord& record) {
    for (const TCsvField& f : record.Fields)
        if (!f.Text.empty()) return false;
    return true;
}

bool IsHeader(const TCsvRecord& record) {
    static const std::u32string names[kFields] = {U"slot", U"vehicle", U"trailer"};
    if (record.Fields.size() != kFields) return false;
    for (std::size_t i = 0; i < kFields; ++i) {
        const std::u32string& text = record.Fields[i].Text;
        if (text.size() != names[i].size()) return false;
        for (std::size_t k = 0; k < text.size(); ++k) {
            const char32_t c = text[k] >= U'A' && text[k] <= U'Z' ? text[k] + 32 : text[k];
            if (c != names[i][k]) return false;
        }
    }
    return true;
}

// A whole number from 0 to 95 in decimal digits, or nothing.
std::optional<int> Slot(const std::u32string& text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int value = 0;
    for (char32_t c : text) {
        if (c < U'0' || c > U'9') return std::nullopt;
        value = value * 10 + static_cast<int>(c - U'0');
    }
    if (value >= kVehicleSlots) return std::nullopt;
    return value;
}

// What an ID box could hold, by the rule every way in shares.
void CheckID(const TCsvField& field, const char* what, std::vector<TCsvProblem>& problems) {
    const std::string id = std::string(what) + " ID " + QuotedText(field.Text);
    for (const TTextFault& fault : IDFaults(field.Text))
        problems.push_back({fault.At == TTextFault::kWholeText ? field.Start : field.At[fault.At],
                            id + fault.Why});
}

class TGroupReader {
public:
    TGroupCsv Read(std::string_view utf8) {
        TCsvText csv = ReadCsv(utf8);
        out_.Problems = std::move(csv.Problems);
        if (csv.Records.empty() && out_.Problems.empty())
            Problem({}, "the file is empty; its first line must be the header " +
                            std::string(kGroupCsvHeader));
        for (std::size_t r = 0; r < csv.Records.size(); ++r) {
            if (r == 0)
                Header(csv.Records[0]);
            else if (!IsEmpty(csv.Records[r]))
                Line(csv.Records[r]);
        }
        return std::move(out_);
    }

private:
    void Problem(TCsvPosition at, std::string message) {
        out_.Problems.push_back({at, std::move(message)});
    }

    void Header(const TCsvRecord& record) {
        if (!IsHeader(record))
            Problem(record.Fields[0].Start,
                    "the first line must be the header " + std::string(kGroupCsvHeader));
    }

    void Line(const TCsvRecord& record) {
        if (record.Fields.size() != kFields) {
            Problem(record.Fields[0].Start,
                    "a line has 3 fields (slot,vehicle,trailer); this one has " +
                        std::to_string(record.Fields.size()));
            return;
        }
        const TCsvField& slotField = record.Fields[kSlotField];
        const TCsvField& vehicle = record.Fields[kVehicleField];
        const TCsvField& trailer = record.Fields[kTrailerField];
        CheckID(vehicle, "vehicle", out_.Problems);
        const std::optional<int> slot = Slot(slotField.Text);
        if (!slot) {
            Problem(slotField.Start, "the slot must be a whole number from 0 to 95, not " +
                                         QuotedText(slotField.Text));
            CheckID(trailer, "trailer", out_.Problems);
            return;
        }
        if (*slot >= kTrailerSlots && !trailer.Text.empty())
            Problem(trailer.Start, "slot " + std::to_string(*slot) +
                                       " has no trailer ID (trailers are slots 0 to 31); "
                                       "leave the trailer column empty");
        else
            CheckID(trailer, "trailer", out_.Problems);
        const auto [first, isNew] = firstLine_.emplace(*slot, slotField.Start.Line);
        if (!isNew) {
            Problem(slotField.Start, "slot " + std::to_string(*slot) +
                                         " is given twice (first on line " +
                                         std::to_string(first->second) + ")");
            return;
        }
        out_.IDs.Vehicle[*slot] = Utf8(vehicle.Text);
        if (*slot < kTrailerSlots) out_.IDs.Trailer[*slot] = Utf8(trailer.Text);
    }

    TGroupCsv out_;
    std::map<int, int> firstLine_;  // slot -> the line that gave it
};

}  // namespace

std::string WriteGroupCsv(const TGroupIDs& ids) {
    std::string out = std::string(kGroupCsvHeader) + "\r\n";
    for (int k = 0; k < kVehicleSlots; ++k) {
        out += std::to_string(k) + "," + CsvField(ids.Vehicle[k]) + ",";
        if (k < kTrailerSlots) out += CsvField(ids.Trailer[k]);
        out += "\r\n";
    }
    return out;
}

TGroupCsv ReadGroupCsv(std::string_view utf8) {
    return TGroupReader().Read(utf8);
}
