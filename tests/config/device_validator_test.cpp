// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument definition check: every message from a minimal faulty file, the order in which
// faults are found, and the files that must pass.
#include "config/device_validator.h"

#include <gtest/gtest.h>

#include <optional>

#include "test_files.h"

namespace ktx {
namespace {

// One key of a definition file; files are built from a valid base and a few edits.
struct Line {
    std::string section;
    std::string key;
    std::string value;
};
using Lines = std::vector<Line>;

const std::string kDeg = "\xB0";          // "°" as an 8-bit (Latin-1) file spells it
const std::string kDegUtf8 = "\xC2\xB0";  // … and as a file saved on a UTF-8 system

Lines Scope(int type) {
    return {{"DEVICE", "NAME", "TDS_210"}, {"DEVICE", "TYPE", std::to_string(type)},
            {"INTERFACE", "RS232", "1"},   {"INTERFACE", "GPIB", "0"},
            {"MEMORY", "SIZE", "2500"},    {"MEMORY", "ITEMCNT", "2"},
            {"MEMORY", "I1", "500"},       {"MEMORY", "I2", "2500"},
            {"SOURCES", "COUNT", "3"},     {"SOURCES", "S1", "CH1"},
            {"SOURCES", "S2", "CH2"},      {"SOURCES", "S3", "REF1"},
            {"SOURCES", "WRITE", "3"},     {"MEASURES", "COUNT", "2"},
            {"MEASURES", "M1", "FREQ"},    {"MEASURES", "M2", "PERIOD"}};
}

Lines RangeTable(const std::string& section, const std::string& s, const std::string& r) {
    return {{section, "COUNT", "2"},
            {section, "S1", "AUTO"},
            {section, "S2", s},
            {section, "R1", "Auto"},
            {section, "R2", r}};
}

Lines Append(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Lines MultimeterScope() {
    Lines l = Append(Scope(9), {{"DEVICE", "NAME", "THS_720P"},
                                {"MEASDMM", "COUNT", "2"},
                                {"MEASDMM", "LOGCOUNT", "2"},  // = COUNT: allowed
                                {"MEASDMM", "D1", "AC V"},
                                {"MEASDMM", "D2", "DC V"},
                                {"MEASDMM", "V1", "V"},
                                {"MEASDMM", "V2", "V"},
                                {"MEASDMM", "S1", "ACV"},
                                {"MEASDMM", "S2", "DCV"},
                                {"ACQUDMM", "COUNT", "1"},
                                {"ACQUDMM", "A1", "AVERAGE"},
                                {"TIMEDMM", "COUNT", "2"},
                                {"TIMEDMM", "S1", "4M"},
                                {"TIMEDMM", "S2", "8M"},
                                {"TIMEDMM", "T1", "4 min"},
                                {"TIMEDMM", "T2", "8 min"}});
    l = Append(l, RangeTable("RANGEACV", "4", "4 V"));
    l = Append(l, RangeTable("RANGEDCV", "40", "40 V"));
    return Append(l, RangeTable("RANGEOHMS", "4E3", "4 kOhm"));
}

Lines Handheld(const std::string& degree = kDeg) {
    Lines l = {{"DEVICE", "NAME", "THS_3014"},
               {"DEVICE", "TYPE", "20"},
               {"INTERFACE", "RS232", "1"},
               {"INTERFACE", "GPIB", "0"},
               {"RS232", "CONFIG", "COM1:19200,N,8,1"},
               {"CONVLIB", "NAME", "ktxconv.dll"},  // lower case: compared upper-cased
               {"MEASDMM", "COUNT", "3"},
               {"MEASDMM", "LOGCOUNT", "2"},
               {"MEASDMM", "RANGECOUNT", "2"},
               {"MEASDMM", "D1", "Spannung DC"},
               {"MEASDMM", "D2", "Strom DC"},
               {"MEASDMM", "S1", "01"},
               {"MEASDMM", "S2", "03"},
               {"MEASDMM", "V1", "V;Hz"},
               {"MEASDMM", "V2", "A;"}};
    for (const std::string& unit :
         {std::string("V"), std::string("A"), std::string("OHM"), std::string("F"), degree + "C",
          degree + "F", std::string("HZ")}) {
        l = Append(l, RangeTable("RANGE" + unit, "2", "2 " + unit));
    }
    return l;
}

Lines Minimal(int type) {
    return {{"DEVICE", "NAME", "TDS_1012"},
            {"DEVICE", "TYPE", std::to_string(type)},
            {"INTERFACE", "RS232", "0"},
            {"INTERFACE", "GPIB", "1"}};
}

enum class Base { Scope, MultimeterScope, Handheld, Minimal12 };

Lines BaseLines(Base b) {
    switch (b) {
        case Base::Scope:
            return Scope(1);
        case Base::MultimeterScope:
            return MultimeterScope();
        case Base::Handheld:
            return Handheld();
        case Base::Minimal12:
            break;
    }
    return Minimal(12);
}

constexpr const char* kRemove = "\x01remove";

// Sets, adds or (value kRemove) removes keys; a key keeps its place in the file.
Lines Edit(Lines lines, const Lines& edits) {
    for (const Line& e : edits) {
        auto it = std::find_if(lines.begin(), lines.end(), [&](const Line& l) {
            return l.section == e.section && l.key == e.key;
        });
        if (e.value == kRemove) {
            if (it != lines.end()) {
                lines.erase(it);
            }
        } else if (it != lines.end()) {
            it->value = e.value;
        } else {
            lines.push_back(e);
        }
    }
    return lines;
}

// Sections in the order they first appear, keys in their order within them.
std::string Render(const Lines& lines) {
    std::vector<std::string> sections;
    for (const Line& l : lines) {
        if (std::find(sections.begin(), sections.end(), l.section) == sections.end()) {
            sections.push_back(l.section);
        }
    }
    std::string text = "; instrument definition for the validator test\r\n";
    for (const std::string& s : sections) {
        text += "[" + s + "]\r\n";
        for (const Line& l : lines) {
            if (l.section == s) {
                text += l.key + "=" + l.value + "\r\n";
            }
        }
    }
    return text;
}

struct FaultCase {
    std::string label;
    Base base;
    Lines edits;
    std::string expected;  // message text with its index; empty: the file passes
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.label; }
};

const std::string E = "ungültiger Eintrag für ";

// The range table rows of one section with base message b: COUNT, S, R, and S before R.
std::vector<FaultCase> RangeCases(Base base, const std::string& section, const std::string& shown) {
    return {
        {"", base, {{section, "COUNT", "0"}}, E + shown + " COUNT"},
        {"", base, {{section, "COUNT", kRemove}}, E + shown + " COUNT"},
        {"", base, {{section, "S2", ""}}, E + shown + " S2"},
        {"", base, {{section, "R1", kRemove}}, E + shown + " R1"},
        {"", base, {{section, "R1", ""}, {section, "S2", kRemove}}, E + shown + " S2"},
    };
}

std::vector<FaultCase> AllCases() {
    std::vector<FaultCase> c = {
        {"Scope", Base::Scope, {}, ""},
        {"MultimeterScope", Base::MultimeterScope, {}, ""},
        {"Handheld", Base::Handheld, {}, ""},
        {"Type12OnlyNameTypeInterfaces", Base::Minimal12, {}, ""},
        {"Type10IgnoresScopeLists",
         Base::Minimal12,
         {{"DEVICE", "TYPE", "10"}, {"MEMORY", "SIZE", "viel"}, {"SOURCES", "COUNT", "0"}},
         ""},
        {"Type14IgnoresMultimeterKeys",
         Base::Minimal12,
         {{"DEVICE", "TYPE", "14"}, {"MEASDMM", "COUNT", "0"}},
         ""},
        {"WriteZeroPasses", Base::Scope, {{"SOURCES", "WRITE", "0"}}, ""},
        {"WriteEqualCountPasses", Base::Scope, {{"SOURCES", "WRITE", "3"}}, ""},
        {"ItemCountZeroPasses", Base::Scope, {{"MEMORY", "ITEMCNT", "0"}}, ""},
        {"ItemCountMissingPasses", Base::Scope, {{"MEMORY", "ITEMCNT", kRemove}}, ""},
        {"LogCountEqualCountPasses", Base::MultimeterScope, {{"MEASDMM", "LOGCOUNT", "2"}}, ""},
        {"HandheldRangeCountEqualLogCount",
         Base::Handheld,
         {{"MEASDMM", "LOGCOUNT", "3"},
          {"MEASDMM", "RANGECOUNT", "3"},
          {"MEASDMM", "D3", "Ohm"},
          {"MEASDMM", "S3", "05"},
          {"MEASDMM", "V3", "OHM;"}},
         ""},
        // Only the functions 1 … LOGCOUNT of a handheld are looked at.
        {"HandheldEntriesBeyondLogCount", Base::Handheld, {{"MEASDMM", "S3", "123"}}, ""},
        {"ConvLibUpperCase", Base::Handheld, {{"CONVLIB", "NAME", "C:\\KTX\\KTXCONV.DLL"}}, ""},

        // Numbers are whole numbers; a comment may follow them.
        {"NumbersWithComments",
         Base::Scope,
         {{"INTERFACE", "RS232", "1 ; seriell"}, {"SOURCES", "COUNT", " 3 ;"}},
         ""},
        {"MultiLineTagIsAName", Base::Scope, {{"DEVICE", "NAME", "<<<INTERFACE"}}, ""},
        {"M2TypeWithLetters", Base::Scope, {{"DEVICE", "TYPE", "12abc"}}, "ungültiger Devicetyp"},
        {"M3Rs232Ja", Base::Scope, {{"INTERFACE", "RS232", "ja"}}, E + "INTERFACE RS232"},
        {"M4GpibDecimal", Base::Scope, {{"INTERFACE", "GPIB", "0.5"}}, E + "INTERFACE GPIB"},
        {"M6ItemCountWord", Base::Scope, {{"MEMORY", "ITEMCNT", "zwei"}}, E + "MEMORY ITEMCNT"},
        {"M8SourcesWithUnit", Base::Scope, {{"SOURCES", "COUNT", "3 Kanäle"}}, E + "SOURCES COUNT"},
        {"M60WriteWord", Base::Scope, {{"SOURCES", "WRITE", "CH3"}}, E + "SOURCES WRITE"},
        {"M13LogCountWithLetters",
         Base::MultimeterScope,
         {{"MEASDMM", "LOGCOUNT", "2x"}},
         E + "MEASDMM LOGCOUNT"},

        {"M1NameMissing", Base::Scope, {{"DEVICE", "NAME", kRemove}}, "kein Devicename"},
        {"M1NameEmpty", Base::Scope, {{"DEVICE", "NAME", ""}}, "kein Devicename"},
        {"M1BeforeEverything",
         Base::Scope,
         {{"DEVICE", "NAME", ""}, {"DEVICE", "TYPE", "0"}, {"INTERFACE", "RS232", "5"}},
         "kein Devicename"},
        {"M2TypeMissing", Base::Scope, {{"DEVICE", "TYPE", kRemove}}, "ungültiger Devicetyp"},
        {"M2TypeZero", Base::Scope, {{"DEVICE", "TYPE", "0"}}, "ungültiger Devicetyp"},
        {"M2TypeNegative", Base::Scope, {{"DEVICE", "TYPE", "-3"}}, "ungültiger Devicetyp"},
        {"M2TypeText", Base::Scope, {{"DEVICE", "TYPE", "TDS"}}, "ungültiger Devicetyp"},
        {"M3Rs232Missing", Base::Scope, {{"INTERFACE", "RS232", kRemove}}, E + "INTERFACE RS232"},
        {"M3Rs232Two", Base::Scope, {{"INTERFACE", "RS232", "2"}}, E + "INTERFACE RS232"},
        {"M3BeforeM4",
         Base::Scope,
         {{"INTERFACE", "RS232", "-1"}, {"INTERFACE", "GPIB", kRemove}},
         E + "INTERFACE RS232"},
        {"M4GpibMissing", Base::Minimal12, {{"INTERFACE", "GPIB", kRemove}}, E + "INTERFACE GPIB"},
        {"M4GpibTwo", Base::Scope, {{"INTERFACE", "GPIB", "2"}}, E + "INTERFACE GPIB"},
        {"M5SizeMissing", Base::Scope, {{"MEMORY", "SIZE", kRemove}}, E + "MEMORY SIZE"},
        {"M5SizeText", Base::Scope, {{"MEMORY", "SIZE", "2500 Punkte"}}, E + "MEMORY SIZE"},
        {"M5SizeTooBig", Base::Scope, {{"MEMORY", "SIZE", "99999999999"}}, E + "MEMORY SIZE"},
        {"M5SizeNegative", Base::Scope, {{"MEMORY", "SIZE", "-1"}}, E + "MEMORY SIZE"},
        {"M6ItemCountNegative", Base::Scope, {{"MEMORY", "ITEMCNT", "-1"}}, E + "MEMORY ITEMCNT"},
        {"M7ItemZero", Base::Scope, {{"MEMORY", "I2", "0"}}, E + "MEMORY I2"},
        {"M7ItemMissing", Base::Scope, {{"MEMORY", "I1", kRemove}}, E + "MEMORY I1"},
        {"M7ItemCountBeyondItems",
         Base::Scope,
         {{"MEMORY", "ITEMCNT", "2000000000"}},
         E + "MEMORY I3"},
        {"M8SourcesMissing", Base::Scope, {{"SOURCES", "COUNT", kRemove}}, E + "SOURCES COUNT"},
        {"M8SourcesZero", Base::Scope, {{"SOURCES", "COUNT", "0"}}, E + "SOURCES COUNT"},
        {"M8SourcesNegative",
         Base::Scope,
         {{"SOURCES", "COUNT", "-2"}, {"SOURCES", "WRITE", "-5"}},
         E + "SOURCES COUNT"},
        {"M60WriteMissing", Base::Scope, {{"SOURCES", "WRITE", kRemove}}, E + "SOURCES WRITE"},
        {"M60WriteBeyondCount", Base::Scope, {{"SOURCES", "WRITE", "4"}}, E + "SOURCES WRITE"},
        {"M60WriteNegative", Base::Scope, {{"SOURCES", "WRITE", "-1"}}, E + "SOURCES WRITE"},
        {"M60BeforeM9",
         Base::Scope,
         {{"SOURCES", "WRITE", kRemove}, {"SOURCES", "S1", ""}},
         E + "SOURCES WRITE"},
        {"M9SourceEmpty", Base::Scope, {{"SOURCES", "S2", ""}}, E + "SOURCES S2"},
        {"M9SourceMissing", Base::Scope, {{"SOURCES", "S3", kRemove}}, E + "SOURCES S3"},
        {"M10MeasuresMissing", Base::Scope, {{"MEASURES", "COUNT", kRemove}}, E + "MEASURES COUNT"},
        {"M11MeasureEmpty", Base::Scope, {{"MEASURES", "M2", ""}}, E + "MEASURES M2"},
        {"M9BeforeM11",
         Base::Scope,
         {{"MEASURES", "M1", ""}, {"SOURCES", "S3", ""}},
         E + "SOURCES S3"},
        {"Type9NeedsScopeListsFirst",
         Base::MultimeterScope,
         {{"MEASURES", "M1", ""}, {"MEASDMM", "COUNT", "0"}},
         E + "MEASURES M1"},

        {"M12DmmCountZero",
         Base::MultimeterScope,
         {{"MEASDMM", "COUNT", "0"}},
         E + "MEASDMM COUNT"},
        {"M12DmmCountMissing",
         Base::MultimeterScope,
         {{"MEASDMM", "COUNT", kRemove}},
         E + "MEASDMM COUNT"},
        {"M13LogCountAboveCount",
         Base::MultimeterScope,
         {{"MEASDMM", "LOGCOUNT", "3"}},
         E + "MEASDMM LOGCOUNT"},
        {"M13LogCountZero",
         Base::MultimeterScope,
         {{"MEASDMM", "LOGCOUNT", "0"}},
         E + "MEASDMM LOGCOUNT"},
        {"M14DmmNameEmpty", Base::MultimeterScope, {{"MEASDMM", "D2", ""}}, E + "MEASDMM D2"},
        {"M14AllDBeforeV",
         Base::MultimeterScope,
         {{"MEASDMM", "V1", ""}, {"MEASDMM", "D2", ""}},
         E + "MEASDMM D2"},
        {"M15DmmUnitEmpty", Base::MultimeterScope, {{"MEASDMM", "V1", kRemove}}, E + "MEASDMM V1"},
        {"M15AllVBeforeS",
         Base::MultimeterScope,
         {{"MEASDMM", "S1", ""}, {"MEASDMM", "V2", ""}},
         E + "MEASDMM V2"},
        {"M16DmmCodeEmpty", Base::MultimeterScope, {{"MEASDMM", "S2", ""}}, E + "MEASDMM S2"},
        {"M17AcquCountZero",
         Base::MultimeterScope,
         {{"ACQUDMM", "COUNT", "0"}},
         E + "ACQUDMM COUNT"},
        {"M18AcquEmpty", Base::MultimeterScope, {{"ACQUDMM", "A1", ""}}, E + "ACQUDMM A1"},
        {"M19TimeCountMissing",
         Base::MultimeterScope,
         {{"TIMEDMM", "COUNT", kRemove}},
         E + "TIMEDMM COUNT"},
        {"M20TimeCodeEmpty", Base::MultimeterScope, {{"TIMEDMM", "S2", ""}}, E + "TEMEDMM S2"},
        {"M21TimeTextEmpty", Base::MultimeterScope, {{"TIMEDMM", "T1", ""}}, E + "TEMEDMM T1"},
        {"M20AllSBeforeT",
         Base::MultimeterScope,
         {{"TIMEDMM", "T1", ""}, {"TIMEDMM", "S2", ""}},
         E + "TEMEDMM S2"},
        {"AcquBeforeTime",
         Base::MultimeterScope,
         {{"TIMEDMM", "COUNT", "0"}, {"ACQUDMM", "A1", ""}},
         E + "ACQUDMM A1"},
        {"TimeBeforeRanges",
         Base::MultimeterScope,
         {{"RANGEACV", "COUNT", "0"}, {"TIMEDMM", "T2", ""}},
         E + "TEMEDMM T2"},
        {"AcvBeforeDcv",
         Base::MultimeterScope,
         {{"RANGEDCV", "COUNT", "0"}, {"RANGEACV", "R2", ""}},
         E + "RANGEACV R2"},
        // A type-9 file needs none of the handheld's keys.
        {"Type9IgnoresHandheldRanges", Base::MultimeterScope, {{"RANGEV", "COUNT", "0"}}, ""},

        {"M58ConfigMissing", Base::Handheld, {{"RS232", "CONFIG", kRemove}}, E + "RS232 CONFIG"},
        {"M58ConfigEmpty", Base::Handheld, {{"RS232", "CONFIG", ""}}, E + "RS232 CONFIG"},
        {"M59ConvLibMissing", Base::Handheld, {{"CONVLIB", "NAME", kRemove}}, E + "CONVLIB NAME"},
        {"M59ConvLibNoDll",
         Base::Handheld,
         {{"CONVLIB", "NAME", "ktxconv.so"}},
         E + "CONVLIB NAME"},
        {"M58BeforeM59",
         Base::Handheld,
         {{"CONVLIB", "NAME", ""}, {"RS232", "CONFIG", ""}},
         E + "RS232 CONFIG"},
        {"M31HandheldCountZero", Base::Handheld, {{"MEASDMM", "COUNT", "0"}}, E + "MEASDMM COUNT"},
        {"M32RangeCountZero",
         Base::Handheld,
         {{"MEASDMM", "RANGECOUNT", "0"}},
         E + "MEASDMM RANGECOUNT"},
        {"M32RangeCountAboveCount",
         Base::Handheld,
         {{"MEASDMM", "RANGECOUNT", "4"}},
         E + "MEASDMM RANGECOUNT"},
        {"M33RangeCountAboveLogCount",
         Base::Handheld,
         {{"MEASDMM", "RANGECOUNT", "3"}},
         E + "MEASDMM LOGCOUNT"},
        {"M33LogCountMissing",
         Base::Handheld,
         {{"MEASDMM", "LOGCOUNT", kRemove}},
         E + "MEASDMM LOGCOUNT"},
        {"M34HandheldNameEmpty", Base::Handheld, {{"MEASDMM", "D2", ""}}, E + "MEASDMM D2"},
        {"M35CodeThreeCharacters", Base::Handheld, {{"MEASDMM", "S2", "003"}}, E + "MEASDMM S2"},
        {"M35CodeOneCharacter", Base::Handheld, {{"MEASDMM", "S1", "1"}}, E + "MEASDMM S1"},
        // The handheld's functions are checked one after another, each with D, S and V.
        {"M35FunctionByFunction",
         Base::Handheld,
         {{"MEASDMM", "S1", ""}, {"MEASDMM", "D2", ""}},
         E + "MEASDMM S1"},
        {"M36UnitWithoutSemicolon", Base::Handheld, {{"MEASDMM", "V2", "A"}}, E + "MEASDMM V2"},
        {"M36FunctionOneBeforeTwo",
         Base::Handheld,
         {{"MEASDMM", "V1", "V"}, {"MEASDMM", "S2", "3"}},
         E + "MEASDMM V1"},
        {"DmmBeforeRanges",
         Base::Handheld,
         {{"RANGEV", "COUNT", "0"}, {"MEASDMM", "V2", "A"}},
         E + "MEASDMM V2"},
        {"DegreeCBeforeDegreeF",
         Base::Handheld,
         {{"RANGE" + kDeg + "F", "COUNT", "0"}, {"RANGE" + kDeg + "C", "R1", ""}},
         E + "RANGE°C R1"},
        // A type-20 file needs none of the type-9 or oscilloscope keys.
        {"HandheldIgnoresScopeKeys",
         Base::Handheld,
         {{"SOURCES", "COUNT", "0"}, {"RANGEACV", "COUNT", "0"}},
         ""},
    };
    struct Range {
        Base base;
        std::string label, section, shown;
    };
    const Range ranges[] = {
        {Base::MultimeterScope, "Acv", "RANGEACV", "RANGEACV"},
        {Base::MultimeterScope, "Dcv", "RANGEDCV", "RANGEDCV"},
        {Base::MultimeterScope, "Ohms", "RANGEOHMS", "RANGEOHMS"},
        {Base::Handheld, "V", "RANGEV", "RANGEV"},
        {Base::Handheld, "A", "RANGEA", "RANGEA"},
        {Base::Handheld, "Ohm", "RANGEOHM", "RANGEOHM"},
        {Base::Handheld, "F", "RANGEF", "RANGEF"},
        {Base::Handheld, "DegC", "RANGE" + kDeg + "C", "RANGE°C"},
        {Base::Handheld, "DegF", "RANGE" + kDeg + "F", "RANGE°F"},
        {Base::Handheld, "Hz", "RANGEHZ", "RANGEHZ"},
    };
    const char* kinds[] = {"CountZero", "CountMissing", "SEmpty", "RMissing", "AllSBeforeR"};
    for (const Range& r : ranges) {
        auto rows = RangeCases(r.base, r.section, r.shown);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].label = "Range" + r.label + kinds[i];
            c.push_back(rows[i]);
        }
    }
    return c;
}

class DeviceValidatorTable : public ::testing::TestWithParam<FaultCase> {};

INSTANTIATE_TEST_SUITE_P(Messages, DeviceValidatorTable, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) { return info.param.label; });

TEST_P(DeviceValidatorTable, ShowsTheFirstFaultOnly) {
    const FaultCase& c = GetParam();
    test::TempDir dir;
    const auto path = dir.Path("kt_test.ini");
    test::WriteFile(path, Render(Edit(BaseLines(c.base), c.edits)));

    test::RecordingNotifier notifier;
    const bool valid = ValidateDeviceFile(path, notifier);
    if (c.expected.empty()) {
        EXPECT_TRUE(valid);
        EXPECT_TRUE(notifier.shown.empty()) << notifier.shown.front().text;
        EXPECT_FALSE(FindDeviceFileFault(path));
        return;
    }
    EXPECT_FALSE(valid);
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].text, c.expected);
    EXPECT_EQ(notifier.shown[0].severity, Severity::Error);
    const auto fault = FindDeviceFileFault(path);
    ASSERT_TRUE(fault);
    EXPECT_EQ(DeviceFileFaultText(*fault), c.expected);
}

// Every one of the 60 messages is reachable from some row of the table above.
TEST(DeviceValidator, TableReachesEveryMessage) {
    std::vector<bool> seen(61, false);
    test::TempDir dir;
    for (const FaultCase& c : AllCases()) {
        if (c.expected.empty()) {
            continue;
        }
        const auto path = dir.Path("kt_test.ini");
        test::WriteFile(path, Render(Edit(BaseLines(c.base), c.edits)));
        const auto fault = FindDeviceFileFault(path);
        ASSERT_TRUE(fault) << c.label;
        ASSERT_GE(fault->message, 1);
        ASSERT_LE(fault->message, 60);
        seen[static_cast<std::size_t>(fault->message)] = true;
    }
    for (int k = 1; k <= 60; ++k) {
        EXPECT_TRUE(seen[static_cast<std::size_t>(k)]) << "message " << k;
    }
}

TEST(DeviceValidator, MissingOrEmptyPathHasNoName) {
    test::TempDir dir;
    for (const std::string& path : {std::string(), dir.Path("kt_gone.ini"), dir.Path("")}) {
        test::RecordingNotifier notifier;
        EXPECT_FALSE(ValidateDeviceFile(path, notifier)) << path;
        ASSERT_EQ(notifier.shown.size(), 1u);
        EXPECT_EQ(notifier.shown[0].text, "kein Devicename");
    }
}

TEST(DeviceValidator, BinaryGarbageIsRejectedWithoutACrash) {
    test::TempDir dir;
    const auto path = dir.Path("kt_bin.ini");
    test::Bytes bytes;
    for (int i = 0; i < 4096; ++i) {
        bytes.push_back(static_cast<std::uint8_t>((i * 7919) & 0xFF));
    }
    test::WriteFile(path, bytes);
    test::RecordingNotifier notifier;
    EXPECT_FALSE(ValidateDeviceFile(path, notifier));
    EXPECT_EQ(notifier.shown.size(), 1u);
}

// Files edited on either system: the "°" sections in Latin-1 or in UTF-8 both validate, and
// a missing one is reported in the catalogue's spelling.
class DegreeSpelling : public ::testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(Encodings, DegreeSpelling, ::testing::Values(kDeg, kDegUtf8),
                         [](const auto& info) {
                             return info.param.size() == 1 ? "Latin1" : "Utf8";
                         });

TEST_P(DegreeSpelling, RangeSectionsValidate) {
    test::TempDir dir;
    const auto path = dir.Path("kt_ths.ini");
    test::WriteFile(path, Render(Handheld(GetParam())));
    test::RecordingNotifier notifier;
    EXPECT_TRUE(ValidateDeviceFile(path, notifier));

    test::WriteFile(path,
                    Render(Edit(Handheld(GetParam()), {{"RANGE" + GetParam() + "F", "S2", ""}})));
    EXPECT_FALSE(ValidateDeviceFile(path, notifier));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].text, "ungültiger Eintrag für RANGE°F S2");
}

}  // namespace
}  // namespace ktx
