#include "competition/pilot_list_reader.hpp"

#include <charconv>
#include <climits>

#include "core/strings.hpp"
#include "formats/common/xml_walker.hpp"

namespace tracora::competition {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

enum class Number { kAbsent, kGood, kBad };

// A decimal integer attribute: optional blanks and sign, digits, optional blanks.
Number NumberAttribute(std::string_view attributes, std::string_view name, int& value) {
    std::string text;
    if (!formats::XmlAttribute(attributes, name, text)) {
        return Number::kAbsent;
    }
    std::string_view digits = TrimBlanks(text, " \t\r\n");
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
    }
    if (digits.empty() ||
        (digits.front() != '-' && (digits.front() < '0' || digits.front() > '9'))) {
        return Number::kBad;
    }
    long long parsed = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (error != std::errc() || end != digits.data() + digits.size() || parsed < INT_MIN ||
        parsed > INT_MAX) {
        return Number::kBad;
    }
    value = static_cast<int>(parsed);
    return Number::kGood;
}

bool HasAttributes(std::string_view attributes) {
    for (const char c : attributes) {
        if (!IsBlank(c)) {
            return true;
        }
    }
    return false;
}

// An ID attribute that must be a non-negative number when present. False (with `message`) when
// it is bad; -1 stays in `id` when it is absent.
bool IdAttribute(std::string_view attributes, std::string_view name, int& id,
                 const std::string& badMessage, std::string& message) {
    int value = -1;
    switch (NumberAttribute(attributes, name, value)) {
        case Number::kAbsent:
            return true;
        case Number::kGood:
            if (value >= 0) {
                id = value;
                return true;
            }
            break;
        case Number::kBad:
            break;
    }
    message = badMessage;
    return false;
}

std::string PilotMessage(const char* format, std::size_t number) {
    return StringPrintf(format, static_cast<int>(number));
}

// The FS database: participants inside Fs/FsParticipants, tasks skipped.
class FsHandler : public formats::XmlHandler {
public:
    explicit FsHandler(std::vector<PilotEntry>& pilots) : pilots_(pilots) {}

    bool Open(const formats::XmlElement& element, std::size_t, const std::vector<std::string_view>&,
              std::string&) override {
        const std::string_view name = element.name;
        if (state_ == 0 && name == "Fs") {
            state_ = 1;
        } else if (state_ == 1 && name == "FsTasks") {
            state_ = 2;
        } else if (state_ == 1 && name == "FsParticipants") {
            state_ = 3;
        } else if (state_ == 3 && name == "FsParticipant") {
            participant_ = std::string(element.attributes);
            civlPilot_.clear();
            state_ = 4;
        } else if (state_ == 4 && name == "FsCivlPilot") {
            civlPilot_ = std::string(element.attributes);
            state_ = 5;
        }
        return true;
    }

    bool Close(const formats::XmlElement& element, std::size_t,
               const std::vector<std::string_view>&, std::string& message) override {
        const std::string_view name = element.name;
        if (state_ == 2 && name == "FsTasks") {
            state_ = 1;
        } else if (state_ == 5 && name == "FsCivlPilot") {
            state_ = 4;
        } else if (state_ == 4 && name == "FsParticipant") {
            state_ = 3;
            return TakePilot(message);
        } else if (state_ == 3 && name == "FsParticipants") {
            state_ = 10;
        } else if (state_ == 1 && name == "Fs") {
            state_ = 10;
        }
        return true;
    }

private:
    bool TakePilot(std::string& message) {
        const std::size_t number = pilots_.size() + 1;
        if (!HasAttributes(participant_)) {
            message = PilotMessage("Missing data for pilot %d in list", number);
            return false;
        }
        PilotEntry pilot;
        std::string name;
        if (!formats::XmlAttribute(participant_, "name", name) || name.empty()) {
            message = PilotMessage("Missing name for pilot %d in list", number);
            return false;
        }
        pilot.name = CutUtf8Characters(name, kPilotEntryNameChars);
        if (!IdAttribute(participant_, "id", pilot.competitionId,
                         PilotMessage("Bad/missing comp. ID for pilot %d in list", number),
                         message)) {
            return false;
        }
        const std::string badCivl = PilotMessage("Bad CIVL ID for pilot %d in list", number);
        int civl = -1;
        const Number own = NumberAttribute(participant_, "CIVLID", civl);
        if (own != Number::kAbsent) {
            if (!IdAttribute(participant_, "CIVLID", pilot.civlId, badCivl, message)) {
                return false;
            }
        } else if (HasAttributes(civlPilot_)) {
            if (!IdAttribute(civlPilot_, "id", pilot.civlId, badCivl, message)) {
                return false;
            }
        }
        pilots_.push_back(std::move(pilot));
        return true;
    }

    std::vector<PilotEntry>& pilots_;
    int state_ = 0;
    std::string participant_;
    std::string civlPilot_;
};

// The RACE database: every tblPilot element is one pilot.
class RaceHandler : public formats::XmlHandler {
public:
    explicit RaceHandler(std::vector<PilotEntry>& pilots) : pilots_(pilots) {}

    bool Open(const formats::XmlElement& element, std::size_t, const std::vector<std::string_view>&,
              std::string&) override {
        if (element.name == "tblPilot") {
            pilot_ = std::string(element.attributes);
        }
        return true;
    }

    bool Close(const formats::XmlElement& element, std::size_t,
               const std::vector<std::string_view>&, std::string& message) override {
        return element.name != "tblPilot" || TakePilot(message);
    }

private:
    static constexpr std::size_t kNameBytes = 99;

    bool TakePilot(std::string& message) {
        const std::size_t number = pilots_.size() + 1;
        if (!HasAttributes(pilot_)) {
            message = PilotMessage("Missing data for pilot %d in list", number);
            return false;
        }
        std::string first, last;
        formats::XmlAttribute(pilot_, "pilFirstName", first);
        formats::XmlAttribute(pilot_, "pilLastName", last);
        if (CutUtf8Characters(first, kPilotEntryNameChars) != first) {
            message = PilotMessage("Name too long for pilot %d in list", number);
            return false;
        }
        std::string name = CutUtf8Bytes(first, kNameBytes);
        if (!name.empty()) {
            name += ' ';
        }
        name = CutUtf8Bytes(name + last, kNameBytes);
        if (TrimBlanks(name).empty()) {
            message = PilotMessage("Missing name for pilot %d in list", number);
            return false;
        }
        PilotEntry pilot;
        pilot.name = CutUtf8Characters(name, kPilotEntryNameChars);
        if (!IdAttribute(pilot_, "pilNumber", pilot.competitionId,
                         PilotMessage("Bad/missing pilot ID for pilot %d in list", number),
                         message) ||
            !IdAttribute(pilot_, "pilIDGlobal", pilot.civlId,
                         PilotMessage("Bad/missing CIVL ID for pilot %d in list", number),
                         message)) {
            return false;
        }
        pilots_.push_back(std::move(pilot));
        return true;
    }

    std::vector<PilotEntry>& pilots_;
    std::string pilot_;
};

// Leading blanks dropped, runs of blanks reduced to one, a trailing blank dropped.
std::string NormaliseBlanks(std::string_view text) {
    std::string out;
    bool blank = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            blank = !out.empty();
            continue;
        }
        if (blank) {
            out.push_back(' ');
            blank = false;
        }
        out.push_back(c);
    }
    return out;
}

// One record of comma-separated text: at most seven fields (the seventh takes the rest of the
// line, commas and all). A field that starts, after blanks, with a double quote runs to the
// closing quote (a doubled quote stands for one; line breaks are part of it) and is kept as it
// stands; other fields are blank-normalised.
struct CsvRecord {
    std::vector<std::string> fields;
};

class CsvScanner {
public:
    explicit CsvScanner(std::string_view text) : text_(text) {}

    // False at the end of the text.
    bool Next(CsvRecord& record) {
        record.fields.clear();
        if (pos_ >= text_.size()) {
            return false;
        }
        while (true) {
            std::string field;
            bool quoted = false;
            std::size_t start = pos_;
            while (start < text_.size() && (text_[start] == ' ' || text_[start] == '\t')) {
                ++start;
            }
            if (start < text_.size() && text_[start] == '"') {
                quoted = true;
                pos_ = start + 1;
                while (pos_ < text_.size()) {
                    if (text_[pos_] == '"') {
                        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
                            field.push_back('"');
                            pos_ += 2;
                            continue;
                        }
                        ++pos_;
                        break;
                    }
                    field.push_back(text_[pos_++]);
                }
                // Anything between the closing quote and the next separator belongs to it.
                std::string rest;
                const bool last = record.fields.size() == 6;
                while (pos_ < text_.size() && text_[pos_] != '\n' && (last || text_[pos_] != ',')) {
                    rest.push_back(text_[pos_++]);
                }
                rest = NormaliseBlanks(rest);
                if (!rest.empty() && rest != "\r") {
                    field += rest;
                }
            } else {
                const bool last = record.fields.size() == 6;
                while (pos_ < text_.size() && text_[pos_] != '\n' && (last || text_[pos_] != ',')) {
                    field.push_back(text_[pos_++]);
                }
                if (!field.empty() && field.back() == '\r') {
                    field.pop_back();
                }
            }
            if (!quoted) {
                field = NormaliseBlanks(field);
            } else if (!field.empty() && field.back() == '\r') {
                field.pop_back();
            }
            record.fields.push_back(std::move(field));
            if (pos_ >= text_.size() || text_[pos_] == '\n') {
                ++pos_;
                return true;
            }
            ++pos_;  // the comma
        }
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// A CSV ID: empty or absent gives -1; an integer with optional blanks and sign, negative
// stored as -1; anything else is bad.
bool CsvId(const CsvRecord& record, std::size_t index, int& id) {
    id = -1;
    if (index >= record.fields.size()) {
        return true;
    }
    std::string_view text = TrimBlanks(record.fields[index]);
    if (text.empty()) {
        return true;
    }
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
        text = TrimBlanks(text);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return false;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > INT_MAX) {
        return false;
    }
    id = negative ? -1 : static_cast<int>(value);
    return true;
}

int ReadCsv(std::string_view text, PilotListRead& read) {
    CsvScanner scanner(text);
    CsvRecord record;
    while (scanner.Next(record)) {
        if (record.fields.empty() || record.fields[0].empty()) {
            continue;
        }
        if (read.pilots.empty() && EqualsIgnoringCase(record.fields[0], "Name")) {
            continue;
        }
        PilotEntry pilot;
        pilot.name = CutUtf8Characters(record.fields[0], kPilotEntryNameChars);
        if (!CsvId(record, 1, pilot.competitionId)) {
            read.message = "Bad CompId number";
            return -1;
        }
        if (!CsvId(record, 2, pilot.civlId)) {
            read.message = "Bad CivlId number";
            return -1;
        }
        for (std::size_t slot = 0; slot < kDeviceSlots; ++slot) {
            if (slot + 3 < record.fields.size()) {
                pilot.devices[slot] = CutUtf8Bytes(record.fields[slot + 3], kDeviceIdBytes);
            }
        }
        read.pilots.push_back(std::move(pilot));
    }
    return 0;
}

// Whether a CSV field must be quoted to read back as it stands.
bool NeedsQuotes(std::string_view field) {
    if (field.empty()) {
        return false;
    }
    if (field.find_first_of(",\"\r\n\t") != std::string_view::npos || field.front() == ' ' ||
        field.back() == ' ' || field.find("  ") != std::string_view::npos) {
        return true;
    }
    return false;
}

void AppendCsvField(std::string& out, std::string_view field) {
    if (!NeedsQuotes(field)) {
        out += field;
        return;
    }
    out.push_back('"');
    for (const char c : field) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

}  // namespace

int ReadPilotListText(std::string_view text, PilotListRead& read) {
    read = PilotListRead{};
    read.title = kDecodingPilotListTitle;
    const std::size_t lt = text.find('<');
    const std::size_t gt = lt == std::string_view::npos ? lt : text.find('>', lt);
    bool ok = false;
    try {
        if (gt == std::string_view::npos) {
            read.kind = PilotListKind::kCsv;
            ok = ReadCsv(text, read) == 0;
        } else {
            std::string_view tag = text.substr(lt + 1, gt - lt - 1);
            const std::size_t nameEnd = tag.find_first_of(" \t\r\n/");
            if (nameEnd != std::string_view::npos) {
                tag = tag.substr(0, nameEnd);
            }
            const std::string_view before = text.substr(0, lt);
            const bool bomOnly = before.empty() || before == kBom;
            if (tag == "RACE" || tag == "?xml") {
                if (!bomOnly) {
                    read.message = "Unknown BOM before opening tag '<" + std::string(tag) + ">'";
                    return -1;
                }
            } else {
                read.message = "Missing opening tag '<?xml>'";
                return -1;
            }
            if (tag == "RACE") {
                read.kind = PilotListKind::kRaceDatabase;
                // The export has no declaration of its own: the walk starts at its root.
                std::string document = "<?xml?>";
                document.append(text.substr(lt));
                RaceHandler handler(read.pilots);
                ok = formats::WalkXml(document, handler, read.message);
            } else {
                read.kind = PilotListKind::kFsDatabase;
                FsHandler handler(read.pilots);
                ok = formats::WalkXml(text, handler, read.message);
            }
        }
    } catch (const std::bad_alloc&) {
        read.pilots.clear();
        read.message = "Memory allocation error";
        return -1;
    }
    if (!ok) {
        read.pilots.clear();
        return -1;
    }
    if (read.pilots.empty()) {
        read.message = "No pilots found";
        return -1;
    }
    return static_cast<int>(read.pilots.size());
}

std::string PilotListCsvText(std::span<const PilotEntry> pilots) {
    std::string out = "Name,CompId,CivlId";
    for (std::size_t slot = 1; slot <= kDeviceSlots; ++slot) {
        out += StringPrintf(",Device%zu", slot);
    }
    out += "\r\n";
    for (const PilotEntry& pilot : pilots) {
        AppendCsvField(out, CutUtf8Bytes(pilot.name, 256));
        out += pilot.competitionId >= 0 ? StringPrintf(",%d", pilot.competitionId) : ",";
        out += pilot.civlId >= 0 ? StringPrintf(",%d", pilot.civlId) : ",";
        for (const std::string& device : pilot.devices) {
            out.push_back(',');
            AppendCsvField(out, device);
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace tracora::competition
