// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument definition file check; see device_validator.h. The order of the checks is the
// order in which the messages were numbered, and a file author fixing one fault after another
// relies on it.
#include "config/device_validator.h"

#include <string_view>

#include "config/device_file.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/profile_file.h"

namespace ktx {

namespace {

// Validator message numbers (string 1000 + k).
enum : int {
    kNoName = 1,
    kBadType = 2,
    kBadRs232 = 3,
    kBadGpib = 4,
    kMemorySize = 5,
    kMemoryItemCount = 6,
    kMemoryItem = 7,
    kSourcesCount = 8,
    kSource = 9,
    kMeasuresCount = 10,
    kMeasure = 11,
    kDmmCount = 12,
    kDmmLogCount = 13,
    kDmmName = 14,
    kDmmUnit = 15,
    kDmmCode = 16,
    kAcquCount = 17,
    kAcqu = 18,
    kTimeCount = 19,
    kTimeCode = 20,
    kTimeText = 21,
    kRangeAcv = 22,
    kRangeDcv = 25,
    kRangeOhms = 28,
    kHandheldCount = 31,
    kHandheldRangeCount = 32,
    kHandheldLogCount = 33,
    kHandheldName = 34,
    kHandheldCode = 35,
    kHandheldUnit = 36,
    kRangeV = 37,
    kRangeA = 40,
    kRangeOhm = 43,
    kRangeF = 46,
    kRangeDegC = 49,
    kRangeDegF = 52,
    kRangeHz = 55,
    kRs232Config = 58,
    kConvLibName = 59,
    kSourcesWrite = 60,
};

constexpr int kTypeMultimeterScope = 9;
constexpr int kTypeHandheld = 20;
constexpr int kLastScopeTypeWithLists = 9;

// A whole decimal number, optionally signed, that fits an int: what SIZE must be. Trailing
// characters ("1000 Punkte") make it no number.
bool IsNumber(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    if (i == s.size() || s.size() - i > 10) {
        return false;
    }
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        v = v * 10 + (s[i] - '0');
    }
    return v <= 2147483647LL;
}

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return s;
}

// Walks the checks; Fail and the Check* methods do nothing once a fault was found. Loops over list
// entries stop at the first faulty one, so a COUNT far beyond the file's entries costs one look-up.
class Checker {
  public:
    explicit Checker(const std::string& path) : m_file(path) {}

    const std::optional<DeviceFileFault>& Fault() const { return m_fault; }
    bool Ok() const { return !m_fault; }

    // A key that is missing or holds no number (see ProfileNumber) reads as `def`.
    int Int(const std::string& section, const std::string& key, int def) const {
        return m_file.ReadInt(section, key, def);
    }
    // As Int, for keys whose default passes the check: a value that is there but no number
    // fails with `message`.
    int Number(const std::string& section, const std::string& key, int def, int message) {
        Fail(Has(section, key) && !ProfileNumber(Text(section, key)), message);
        return Int(section, key, def);
    }
    std::string Text(const std::string& section, const std::string& key) const {
        return m_file.ReadString(section, key, "");
    }
    bool Has(const std::string& section, const std::string& key) const {
        return m_file.HasKey(section, key);
    }

    void Fail(bool condition, int message, int index = -1) {
        if (Ok() && condition) {
            m_fault = DeviceFileFault{message, index};
        }
    }

    // <key><n> for n = 1 … count must not be empty.
    void CheckEntries(const std::string& section, const std::string& key, int count, int message) {
        for (int n = 1; Ok() && n <= count; ++n) {
            Fail(Text(section, key + std::to_string(n)).empty(), message, n);
        }
    }

    // A range table with base b: COUNT, then all S<n>, then all R<n>.
    void CheckRangeTable(const std::string& name, int base) {
        if (!Ok()) {
            return;
        }
        const std::string section = RangeSectionSpelling(m_file, name);
        const int count = Int(section, "COUNT", 0);
        Fail(count <= 0, base);
        CheckEntries(section, "S", count, base + 1);
        CheckEntries(section, "R", count, base + 2);
    }

  private:
    ProfileFile m_file;
    std::optional<DeviceFileFault> m_fault;
};

// Record lengths, sources and measurements: what the transfer and measurement dialogs of the
// oscilloscopes up to type 9 read without further checks.
void CheckScopeLists(Checker& c) {
    c.Fail(!IsNumber(c.Text("MEMORY", "SIZE")), kMemorySize);
    if (c.Ok()) {
        // A negative record length is no number the transfer dialog could use.
        c.Fail(c.Text("MEMORY", "SIZE")[0] == '-', kMemorySize);
    }
    const int itemCount = c.Number("MEMORY", "ITEMCNT", 0, kMemoryItemCount);
    c.Fail(itemCount < 0, kMemoryItemCount);
    for (int n = 1; c.Ok() && n <= itemCount; ++n) {
        c.Fail(c.Int("MEMORY", "I" + std::to_string(n), 0) == 0, kMemoryItem, n);
    }

    // Counts below zero would leave the dialogs an empty list where they expect one entry.
    const int sources = c.Int("SOURCES", "COUNT", 0);
    c.Fail(sources <= 0, kSourcesCount);
    const int write = c.Number("SOURCES", "WRITE", 0, kSourcesWrite);
    c.Fail(!c.Has("SOURCES", "WRITE") || write > sources || write < 0, kSourcesWrite);
    c.CheckEntries("SOURCES", "S", sources, kSource);

    const int measures = c.Int("MEASURES", "COUNT", 0);
    c.Fail(measures <= 0, kMeasuresCount);
    c.CheckEntries("MEASURES", "M", measures, kMeasure);
}

// The multimeter mode of the type-9 oscilloscope.
void CheckMultimeterScope(Checker& c) {
    const int count = c.Int("MEASDMM", "COUNT", 0);
    c.Fail(count <= 0, kDmmCount);
    const int logCount = c.Int("MEASDMM", "LOGCOUNT", 0);
    c.Fail(logCount <= 0 || logCount > count, kDmmLogCount);
    c.CheckEntries("MEASDMM", "D", count, kDmmName);
    c.CheckEntries("MEASDMM", "V", count, kDmmUnit);
    c.CheckEntries("MEASDMM", "S", count, kDmmCode);

    const int acqu = c.Int("ACQUDMM", "COUNT", 0);
    c.Fail(acqu <= 0, kAcquCount);
    c.CheckEntries("ACQUDMM", "A", acqu, kAcqu);

    const int times = c.Int("TIMEDMM", "COUNT", 0);
    c.Fail(times <= 0, kTimeCount);
    c.CheckEntries("TIMEDMM", "S", times, kTimeCode);
    c.CheckEntries("TIMEDMM", "T", times, kTimeText);

    c.CheckRangeTable("RANGEACV", kRangeAcv);
    c.CheckRangeTable("RANGEDCV", kRangeDcv);
    c.CheckRangeTable("RANGEOHMS", kRangeOhms);
}

// The handheld multimeter family.
void CheckHandheld(Checker& c) {
    c.Fail(c.Text("RS232", "CONFIG").empty(), kRs232Config);
    c.Fail(Upper(c.Text("CONVLIB", "NAME")).find("DLL") == std::string::npos, kConvLibName);

    const int count = c.Int("MEASDMM", "COUNT", 0);
    c.Fail(count <= 0, kHandheldCount);
    const int rangeCount = c.Int("MEASDMM", "RANGECOUNT", 0);
    c.Fail(rangeCount <= 0 || rangeCount > count, kHandheldRangeCount);
    const int logCount = c.Int("MEASDMM", "LOGCOUNT", 0);
    c.Fail(rangeCount <= 0 || rangeCount > logCount, kHandheldLogCount);

    // Unlike the type-9 lists, the handheld's functions are checked one after another, each
    // with its name, its code and its units. The code is the meter's two-digit function number.
    for (int n = 1; c.Ok() && n <= logCount; ++n) {
        const std::string i = std::to_string(n);
        c.Fail(c.Text("MEASDMM", "D" + i).empty(), kHandheldName, n);
        c.Fail(c.Text("MEASDMM", "S" + i).size() != 2, kHandheldCode, n);
        c.Fail(c.Text("MEASDMM", "V" + i).find(';') == std::string::npos, kHandheldUnit, n);
    }

    // Section names are "RANGE" + the main unit; "°" is written in the file's 8-bit encoding.
    c.CheckRangeTable("RANGEV", kRangeV);
    c.CheckRangeTable("RANGEA", kRangeA);
    c.CheckRangeTable("RANGEOHM", kRangeOhm);
    c.CheckRangeTable("RANGEF", kRangeF);
    c.CheckRangeTable(
        "RANGE\xB0"
        "C",
        kRangeDegC);
    c.CheckRangeTable(
        "RANGE\xB0"
        "F",
        kRangeDegF);
    c.CheckRangeTable("RANGEHZ", kRangeHz);
}

}  // namespace

std::optional<DeviceFileFault> FindDeviceFileFault(const std::string& path) {
    Checker c(path);
    c.Fail(c.Text("DEVICE", "NAME").empty(), kNoName);
    const int type = c.Int("DEVICE", "TYPE", 0);
    c.Fail(type <= 0, kBadType);
    const int rs232 = c.Int("INTERFACE", "RS232", -1);
    c.Fail(rs232 != 0 && rs232 != 1, kBadRs232);
    const int gpib = c.Int("INTERFACE", "GPIB", -1);
    c.Fail(gpib != 0 && gpib != 1, kBadGpib);

    if (c.Ok() && type <= kLastScopeTypeWithLists) {
        CheckScopeLists(c);
    }
    if (c.Ok() && type == kTypeMultimeterScope) {
        CheckMultimeterScope(c);
    }
    if (c.Ok() && type == kTypeHandheld) {
        CheckHandheld(c);
    }
    return c.Fault();
}

std::string DeviceFileFaultText(const DeviceFileFault& fault) {
    Notice n{MessageCatalog::kValidatorBase + fault.message, {}, ExtraJoin::Direct, 0};
    if (fault.index >= 0) {
        n.extra = std::to_string(fault.index);
    }
    return n.Text();
}

bool ValidateDeviceFile(const std::string& path, Notifier& notifier) {
    const auto fault = FindDeviceFileFault(path);
    if (fault) {
        ShowValidatorMsg(notifier, fault->message, fault->index);
    }
    return !fault;
}

}  // namespace ktx
