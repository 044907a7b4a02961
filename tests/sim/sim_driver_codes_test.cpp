// SPDX-License-Identifier: GPL-3.0-or-later
// Every code a shipped instrument definition file gives the program to send (sources,
// measurement names, multimeter functions, ranges, logging time bases and types) is taken by
// the simulated instrument of that file's family, in the commands the program builds from it,
// and reads back the way the program checks it (the code occurs in the answer).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "link_settings.h"
#include "sim_instrument.h"
#include "sim_test_support.h"

namespace ktx::sim {
namespace {

using linklib::LinkSettings;
using test::Ask;
using test::Chomp;

std::vector<std::string> ShippedFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(KTX_DRIVER_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("kt_", 0) == 0 && entry.path().extension() == ".ini") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// <prefix>1 ... <prefix><count> of a section.
std::vector<std::string> Entries(const LinkSettings& section, const std::string& prefix,
                                 long count) {
    std::vector<std::string> values;
    for (long i = 1; i <= count; ++i) {
        values.push_back(section.Text(prefix + std::to_string(i), ""));
    }
    return values;
}

class ShippedCodesTest : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        m_path = std::string(KTX_DRIVER_DIR) + "/" + GetParam();
        m_type = static_cast<int>(LinkSettings(m_path, "DEVICE").Integer("TYPE", 1));
        SimConfig config;
        config.deviceType = m_type;
        m_sim = std::make_unique<SimInstrument>(config);
    }

    LinkSettings Section(const std::string& name) const { return LinkSettings(m_path, name); }
    std::vector<std::string> List(const std::string& section, const std::string& prefix,
                                  const char* countKey = "COUNT") const {
        const LinkSettings s = Section(section);
        return Entries(s, prefix, s.Integer(countKey, 0));
    }

    // A setting the program sends; the instrument must not count it as an error.
    void Send(const std::string& command) {
        Ask(*m_sim, command);
        EXPECT_EQ(Chomp(Ask(*m_sim, "*ESR?")), "0") << "refused: " << command;
    }
    // A query whose answer must hold `code`, as the program checks it.
    void ExpectReadBack(const std::string& query, const std::string& code) {
        const std::string answer = Chomp(Ask(*m_sim, query));
        EXPECT_NE(answer.find(code), std::string::npos) << query << " answered " << answer;
    }
    std::string Status() { return Chomp(Ask(*m_sim, "!h00?")); }

    std::string m_path;
    int m_type = 1;
    std::unique_ptr<SimInstrument> m_sim;
};

TEST_P(ShippedCodesTest, SourcesAndMeasurementsAreTaken) {
    // The measurement dialog uses slot IMM on types 2 and 9, MEAS1 elsewhere.
    const std::string slot = "MEASU:" + std::string(m_type == 2 || m_type == 9 ? "IMM" : "MEAS1");
    for (const std::string& source : List("SOURCES", "S")) {
        Send("DATA:SOURCE " + source);
        ExpectReadBack("DATA:SOURCE?", source);
        Send(slot + ":SOU " + source);
        ExpectReadBack(slot + ":SOU?", source);
    }
    Send(slot + ":SOU CH1");
    for (const std::string& measurement : List("MEASURES", "M")) {
        Send(slot + ":STATE 1");
        Send(slot + ":TYP " + measurement);
        ExpectReadBack(slot + ":TYP?", measurement);
        EXPECT_FALSE(Chomp(Ask(*m_sim, slot + ":VAL?")).empty()) << measurement;
    }
}

TEST_P(ShippedCodesTest, MultimeterCodesAreTaken) {
    const LinkSettings meter = Section("MEASDMM");
    const std::vector<std::string> functions = Entries(meter, "S", meter.Integer("COUNT", 0));
    const std::vector<std::string> units = Entries(meter, "V", meter.Integer("COUNT", 0));
    if (m_type == 9) {
        Send("DIS:MOD MET");
        // A fresh range dialog finds the logging time base among the file's codes.
        const std::vector<std::string> bases = List("TIMEDMM", "S");
        const std::string start = Chomp(Ask(*m_sim, "DMM:LOGG:SECD?"));
        EXPECT_NE(std::find(bases.begin(), bases.end(), start), bases.end()) << start;
        for (std::size_t i = 0; i < functions.size(); ++i) {
            Send("DMM:FUNC " + functions[i]);
            ExpectReadBack("DMM:FUNC?", functions[i]);
            if (static_cast<long>(i) >= meter.Integer("LOGCOUNT", 0)) {
                continue;
            }
            for (const std::string& range : List("RANGE" + functions[i], "S")) {
                Send("DMM:RANGE:AUTO OFF");
                Send("DMM:RANGE:" + functions[i] + " " + range);
                ExpectReadBack("DMM:RANGE:" + functions[i] + "?", range);
            }
            Send("DMM:RANGE:AUTO ON");
        }
        for (const std::string& base : bases) {
            Send("DMM:LOGG:SECD " + base);
            ExpectReadBack("DMM:LOGG:SECD?", base);
        }
        for (const std::string& type : List("ACQUDMM", "A")) {
            Send("DMM:MEASU:MEAS1:TYPE " + type);
            ExpectReadBack("DMM:MEASU:MEAS1:TYPE?", type);
        }
        for (const char* mode : {"SAM", "PEAK", "AVE"}) {
            Send(std::string("DMM:LOGG:MODE ") + mode);
            ExpectReadBack("DMM:LOGG:MOD?", mode);
        }
    } else if (m_type == 20) {
        for (std::size_t i = 0; i < functions.size(); ++i) {
            const std::string& function = functions[i];
            EXPECT_EQ(Chomp(Ask(*m_sim, "!T" + function + ",A")), "T0") << function;
            std::string status = Status();
            ASSERT_EQ(status.size(), 36u);
            // Positions 35-36: the function number in hexadecimal, compared in decimal.
            char number[8];
            std::snprintf(number, sizeof number, "%02ld",
                          std::strtol(status.substr(34, 2).c_str(), nullptr, 16));
            EXPECT_EQ(number, function);
            EXPECT_EQ(status[28], '1') << "auto range";
            EXPECT_EQ(Chomp(Ask(*m_sim, "!M?")).substr(0, 3), "M0;");
            EXPECT_EQ(Chomp(Ask(*m_sim, "!U?")).substr(0, 3), "U0;");
            if (static_cast<long>(i) >= meter.Integer("RANGECOUNT", 0)) {
                continue;
            }
            const std::string unit = units[i].substr(0, units[i].find(';'));
            const std::vector<std::string> ranges = List("RANGE" + unit, "S");
            EXPECT_FALSE(ranges.empty()) << "RANGE" << unit;
            for (const std::string& range : ranges) {
                EXPECT_EQ(Chomp(Ask(*m_sim, "!T" + function + "," + range)), "T0") << range;
                status = Status();
                // The first entry of each table (00) is auto range.
                EXPECT_EQ(status[28], range == "00" ? '1' : '0') << range;
                if (range != "00") {
                    EXPECT_EQ(status[23], range.back()) << range;
                }
            }
        }
    }
    EXPECT_EQ(Chomp(Ask(*m_sim, "*ESR?")), "0");
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedCodesTest, testing::ValuesIn(ShippedFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(3, info.param.size() - 7);
                         });

}  // namespace
}  // namespace ktx::sim
