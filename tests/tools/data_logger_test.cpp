// SPDX-License-Identifier: GPL-3.0-or-later
// The data logger: its command sequences against the simulated instrument's command log for
// the families that differ (oscilloscope slots MEAS1..4, the type-9 multimeter channel, the
// exclamation set of type 20), its time stamps over days with a test clock, a full disk, the
// record count, trigger mode, and the pure rules of the dialog (intervals, channel choices).
#include "tools/data_logger.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "config/safe_file.h"
#include "link/command_transport.h"
#include "test_files.h"
#include "tools/log_file_writer.h"
#include "tools/tools_sim_link.h"
#include "waveform/real6.h"

namespace ktx {
namespace {

class TestClock final : public LoggerClock {
  public:
    std::int64_t NowMs() override { return now; }
    std::int64_t now = 0;
};

struct Record {
    TimeField x;
    std::array<double, 4> y;
};

// The records after the header, read as an independent reader would: 30-byte records, x as
// hours, minutes, little-endian single, four 6-byte reals.
std::vector<Record> ReadRecords(const std::string& path, UnitStrings* units = nullptr) {
    const test::Bytes bytes = test::ReadFile(path);
    std::vector<Record> records;
    EXPECT_EQ(bytes.size() % kFourColumnRecord, 0u) << "a partial record at the end";
    if (bytes.size() < kFourColumnRecord) {
        return records;
    }
    if (units) {
        EXPECT_TRUE(ReadWaveHeader(bytes.data(), ReferenceHeader(WaveLayout::FourColumn), *units));
    }
    for (std::size_t off = kFourColumnRecord; off + kFourColumnRecord <= bytes.size();
         off += kFourColumnRecord) {
        Record r;
        std::memcpy(r.x.bytes.data(), bytes.data() + off, 6);
        for (int i = 0; i < 4; ++i) {
            r.y[i] = Real6::Decode(bytes.data() + off + 6 + 6 * i);
        }
        records.push_back(r);
    }
    return records;
}

class LoggerTest : public ::testing::Test {
  protected:
    void Make(int type, const std::string& deviceFile) {
        m_sim = std::make_unique<test::ToolsSimLink>(m_dir, type);
        m_logger = std::make_unique<DataLogger>(
            m_sim->Transport(), m_notes, m_settings,
            ReadLoggerChoices(std::string(KTX_DRIVER_DIR) + "/" + deviceFile, type), m_clock,
            LoggerHooks{[this](int ms) { m_waits.push_back(ms); },
                        [this](int ch, const std::string& t) { m_labels[ch] = t; },
                        {}},
            m_dir.Path("ktx_tmp.tmp"));
        m_settings.fileName = m_dir.Path("log.ktx");
        m_settings.interval = 1000;
    }
    void Scope(int k, const std::string& measurement, const std::string& source) {
        m_settings.active[k] = true;
        m_settings.measurement[k] = measurement;
        m_settings.source[k] = source;
    }
    std::vector<int> Shown() const {
        std::vector<int> ids;
        for (const test::Shown& s : m_notes.shown) {
            ids.push_back(s.stringId - 10000);
        }
        return ids;
    }

    test::TempDir m_dir;
    test::RecordingNotifier m_notes;
    TestClock m_clock;
    LoggerSettings m_settings;
    std::unique_ptr<test::ToolsSimLink> m_sim;
    std::unique_ptr<DataLogger> m_logger;
    std::vector<int> m_waits;
    std::array<std::string, 4> m_labels;
};

// What each family is sent to prepare a channel and take one sample.
struct SequenceCase {
    const char* name;
    int type;
    const char* deviceFile;
    int channel;  // the one active channel
    const char* measurement;
    const char* source;
    bool dmm;
    const char* expected;  // the command log of PrepareLogger
    const char* unit;
};

class LoggerSequenceTest : public LoggerTest, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(LoggerSequenceTest, PrepareSendsTheFamilysCommandsAndReadsTheUnit) {
    const SequenceCase& c = GetParam();
    Make(c.type, c.deviceFile);
    m_logger->Open();
    m_sim->Log();
    if (c.type >= kExclamationType) {
        const LoggerChoices choices =
            ReadLoggerChoices(std::string(KTX_DRIVER_DIR) + "/" + c.deviceFile, c.type);
        ApplyChannelChoice(m_settings, 0, {choices.scopeMeasures + 1, 0, true}, choices, m_notes);
    } else {
        Scope(c.channel, c.measurement, c.source);
        m_settings.useDmm[c.channel] = c.dmm;
    }
    EXPECT_TRUE(m_logger->PrepareLogger());
    EXPECT_EQ(m_sim->Log(), c.expected);
    EXPECT_EQ(m_settings.units[c.channel], c.unit);
    EXPECT_TRUE(m_notes.shown.empty());
    EXPECT_FALSE(m_labels[c.channel].empty());
}

INSTANTIATE_TEST_SUITE_P(
    Families, LoggerSequenceTest,
    ::testing::Values(
        SequenceCase{"ScopeSlotFollowsTheChannel", 1, "kt_tds210.ini", 2, "FREQ", "CH1", false,
                     "MEASU:MEAS3:STATE 1|MEASU:MEAS3:TYP FREQ|MEASU:MEAS3:SOU CH1|"
                     "MEASU:MEAS3:TYP?|MEASU:MEAS3:SOU?|MEASU:MEAS3:VAL?|MEASU:MEAS3:UNI?",
                     "Hz"},
        SequenceCase{"Type9ScopeChannel", 9, "kt_ths720p.ini", 0, "PK2PK", "CH2", false,
                     "MEASU:MEAS1:STATE 1|MEASU:MEAS1:TYP PK2PK|MEASU:MEAS1:SOU CH2|"
                     "MEASU:MEAS1:TYP?|MEASU:MEAS1:SOU?|MEASU:MEAS1:VAL?|MEASU:MEAS1:UNI?",
                     "V"},
        SequenceCase{"Type9MultimeterChannel", 9, "kt_ths720p.ini", 1, "OHMS", "DMM", true,
                     "DMM:RANGE:AUTO ON|DMM:FUNC OHMS|DMM:FUNC?|DMM:VAL?", "Ohm"},
        SequenceCase{"ExclamationSet", 20, "kt_ths3014.ini", 0, "", "", false,
                     "!T02,A|!h00?|!M?|!U?", "V"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoggerTest, TimeStampsRunPast24HoursAndStopBeforeTheFieldOverflows) {
    Make(1, "kt_tds210.ini");
    Scope(0, "FREQ", "CH1");
    ASSERT_TRUE(m_logger->Start(1'000'000));
    struct Case {
        std::int64_t ms;
        int hours;
        int minutes;
        float seconds;
    };
    const Case cases[] = {
        {500, 0, 0, 0.5f},
        {23 * 3'600'000LL + 59 * 60'000LL + 59'000, 23, 59, 59.0f},
        {24 * 3'600'000LL, 24, 0, 0.0f},  // where the record's x used to become 0
        {24 * 3'600'000LL + 61'250, 24, 1, 1.25f},
        {100 * 3'600'000LL + 30 * 60'000LL, 100, 30, 0.0f},
        {255 * 3'600'000LL + 59 * 60'000LL + 59'900, 255, 59, 59.9f},
    };
    for (const Case& c : cases) {
        m_clock.now = c.ms;
        EXPECT_EQ(m_logger->Tick(), TickResult::Sampled) << c.ms;
    }
    m_clock.now = kLogTimeLimitMs;
    EXPECT_EQ(m_logger->Tick(), TickResult::Stopped);
    EXPECT_EQ(Shown(), std::vector<int>{330});
    EXPECT_FALSE(m_logger->Logging());

    const std::vector<Record> records = ReadRecords(m_settings.fileName);
    ASSERT_EQ(records.size(), std::size(cases));
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].x,
                  TimeField::Make(static_cast<std::uint8_t>(cases[i].hours),
                                  static_cast<std::uint8_t>(cases[i].minutes), cases[i].seconds))
            << i;
        EXPECT_NEAR(TimeFieldToSeconds(records[i].x), cases[i].ms / 1000.0, 0.01);
        EXPECT_GT(records[i].y[0], 0.0);  // the simulated frequency
    }
}

TEST_F(LoggerTest, CountEndsLoggingWithExactlyThatManyRecords) {
    Make(1, "kt_tds210.ini");
    Scope(0, "FREQ", "CH1");
    Scope(3, "PK2PK", "CH2");
    ASSERT_TRUE(m_logger->Start(3));
    std::vector<TickResult> results;
    for (int i = 1; i <= 4; ++i) {
        m_clock.now = i * 1000;
        results.push_back(m_logger->Tick());
    }
    EXPECT_EQ(results, (std::vector<TickResult>{TickResult::Sampled, TickResult::Sampled,
                                                TickResult::Stopped, TickResult::Stopped}));
    UnitStrings units;
    const std::vector<Record> records = ReadRecords(m_settings.fileName, &units);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(units, (UnitStrings{"Hz", "#", "#", "V"}));
    for (const Record& r : records) {
        EXPECT_EQ(r.y[1], 0.0);
        EXPECT_EQ(r.y[2], 0.0);
        EXPECT_GT(r.y[3], 0.0);
    }
    EXPECT_EQ(CountWaveFile(m_settings.fileName), 4);
    EXPECT_TRUE(m_notes.shown.empty());
}

// A disk that is full after `limit` bytes, written for real into `path`.
class FillingStore final : public LogStore {
  public:
    FillingStore(const std::string& path, std::uint64_t limit) : m_limit(limit) {
        m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        m_size = static_cast<std::uint64_t>(::lseek(m_fd, 0, SEEK_END));
    }
    ~FillingStore() override { ::close(m_fd); }
    int Write(const void* data, std::size_t n) override {
        const std::size_t fits =
            static_cast<std::size_t>(std::min<std::uint64_t>(n, m_limit - m_size));
        if (fits > 0 && ::write(m_fd, data, fits) != static_cast<ssize_t>(fits)) {
            return errno;
        }
        m_size += fits;
        return fits < n ? ENOSPC : 0;
    }
    int Sync() override { return 0; }
    int Truncate(std::uint64_t size) override {
        m_size = size;
        return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
    }

  private:
    int m_fd;
    std::uint64_t m_limit;
    std::uint64_t m_size = 0;
};

struct FullDiskCase {
    const char* name;
    bool sizeLimit;  // the system refuses to grow the file (EFBIG), else a store fills (ENOSPC)
    int error;
};

class LoggerFullDiskTest : public LoggerTest, public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(LoggerFullDiskTest, StopsWithTheSystemsTextAndKeepsEveryWholeRecord) {
    const FullDiskCase& c = GetParam();
    Make(1, "kt_tds210.ini");
    Scope(0, "FREQ", "CH1");
    // Room for the header and four records and a half.
    const std::uint64_t room = 5 * kFourColumnRecord + kFourColumnRecord / 2;
    if (!c.sizeLimit) {
        m_logger->SetWriterFactory([room](const std::string& target, const LogRecord& header,
                                          FileError& error) -> std::unique_ptr<LogFileWriter> {
            auto made = LogFileWriter::Create(target, header, error);
            if (!made) {
                return nullptr;
            }
            made->Close();
            return std::make_unique<LogFileWriter>(std::make_unique<FillingStore>(target, room),
                                                   kFourColumnRecord, target);
        });
    }
    ASSERT_TRUE(m_logger->Start(1000));
    std::unique_ptr<test::FileSizeLimit> limit;
    if (c.sizeLimit) {
        limit = std::make_unique<test::FileSizeLimit>(room);
    }
    TickResult result = TickResult::Sampled;
    int ticks = 0;
    // The writer works beside the ticks: the failure shows at one of the ticks after it.
    while (result == TickResult::Sampled && ticks < 10'000) {
        m_clock.now += 1000;
        result = m_logger->Tick();
        ++ticks;
        if (ticks > 4) {
            usleep(1000);
        }
    }
    limit.reset();
    EXPECT_EQ(result, TickResult::Stopped);
    ASSERT_EQ(m_notes.shown.size(), 1u);
    EXPECT_EQ(m_notes.shown[0].stringId, 10041);
    EXPECT_NE(m_notes.shown[0].text.find(SystemErrorText(c.error)), std::string::npos)
        << m_notes.shown[0].text;
    const std::vector<Record> records = ReadRecords(m_settings.fileName);
    ASSERT_EQ(records.size(), 4u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(TimeFieldToMilliseconds(records[i].x), 1000 * static_cast<int>(i + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Disks, LoggerFullDiskTest,
                         ::testing::Values(FullDiskCase{"FileSizeLimit", true, EFBIG},
                                           FullDiskCase{"FullDevice", false, ENOSPC}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoggerTest, RecordsReachTheFileWhileLoggingGoesOn) {
    const std::string path = m_dir.Path("live.ktx");
    FileError error;
    auto writer = LogFileWriter::Create(path, LogRecord{}, error);
    ASSERT_TRUE(writer);
    for (int i = 0; i < 5; ++i) {
        LogRecord r{};
        r[0] = static_cast<std::uint8_t>(i);
        EXPECT_TRUE(writer->Append(r));
    }
    // Not closed: what a crash now would leave. Waits for the writer, at most 10 s.
    for (int i = 0; i < 10'000 && writer->RecordsWritten() < 6; ++i) {
        usleep(1000);
    }
    EXPECT_EQ(test::ReadFile(path).size(), 6 * kFourColumnRecord);
    EXPECT_TRUE(writer->Close());
}

TEST_F(LoggerTest, AnOldFileIsReplacedOnlyByAValidLogAndDevicesAreRefused) {
    FileError error;
    EXPECT_FALSE(LogFileWriter::Create("/dev/null", LogRecord{}, error));
    EXPECT_EQ(error.fault, FileFault::NotRegular);
    const std::string old = m_dir.Path("old.ktx");
    test::WriteFile(old, std::string(1000, 'x'));
    auto writer = LogFileWriter::Create(old, LogRecord{}, error);
    ASSERT_TRUE(writer);
    EXPECT_EQ(test::ReadFile(old).size(), kFourColumnRecord);
}

TEST_F(LoggerTest, TriggerModeWritesOnlyAfterTheInstrumentSaved) {
    Make(1, "kt_tds210.ini");
    Scope(0, "FREQ", "CH1");
    m_settings.triggered = true;
    ASSERT_TRUE(m_logger->Start(10));
    m_sim->Log();
    // Armed while acquiring: the first poll finds the sequence waiting.
    EXPECT_EQ(m_logger->Tick(), TickResult::Waiting);
    EXPECT_EQ(m_logger->Tick(), TickResult::Sampled);
    EXPECT_EQ(m_sim->Log(), "TRIG:STATE?|TRIG:STATE?|MEASU:MEAS1:VAL?|ACQ:STATE RUN");
    m_logger->Stop();
    EXPECT_EQ(m_sim->Log(), "ACQ:STOPA RUNST|ACQ:STATE RUN");
    EXPECT_EQ(ReadRecords(m_settings.fileName).size(), 1u);
}

TEST_F(LoggerTest, NoValidResultIsAskedOnceMoreAfterAPause) {
    struct Case {
        int invalid;  // the simulator's next answers of 9.9E37
        std::vector<int> waits;
        const char* log;
        bool valid;
    };
    const Case cases[] = {
        {0, {}, "MEASU:MEAS1:VAL?", true},
        {1, {500}, "MEASU:MEAS1:VAL?|MEASU:MEAS1:VAL?", true},
        {2, {500}, "MEASU:MEAS1:VAL?|MEASU:MEAS1:VAL?", false},
    };
    Make(12, "kt_tds1012.ini");
    Scope(0, "MEAN", "CH1");
    m_logger->Open();
    ASSERT_TRUE(m_logger->PrepareLogger());
    for (const Case& c : cases) {
        m_sim->Transport().SendCommand("KTXSIM:INVALID " + std::to_string(c.invalid));
        m_sim->Log();
        m_waits.clear();
        EXPECT_TRUE(m_logger->TakeLogSample()) << c.invalid;
        EXPECT_EQ(m_sim->Log(), c.log) << c.invalid;
        EXPECT_EQ(m_waits, c.waits) << c.invalid;
        // The second answer stands, the instrument's marker included (it is stored as read).
        EXPECT_EQ(m_logger->Values()[0] > 9e37, !c.valid) << c.invalid;
    }
    EXPECT_TRUE(m_notes.shown.empty());
}

TEST_F(LoggerTest, StopWhileWaitingForTheTriggerWritesNothing) {
    Make(12, "kt_tds1012.ini");
    Scope(0, "FREQ", "CH1");
    m_settings.triggered = true;
    ASSERT_TRUE(m_logger->Start(10));
    // The next sequence triggers only after a minute: every poll finds it waiting.
    m_sim->Transport().SendCommand("KTXSIM:SEQUENCE:DELAY 60000");
    m_sim->Transport().SendCommand("ACQ:STATE RUN");
    m_sim->Log();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m_logger->Tick(), TickResult::Waiting);
    }
    m_logger->Stop();
    EXPECT_EQ(m_sim->Log(), "TRIG:STATE?|TRIG:STATE?|TRIG:STATE?|ACQ:STOPA RUNST|ACQ:STATE RUN");
    EXPECT_TRUE(ReadRecords(m_settings.fileName).empty());
    EXPECT_EQ(std::filesystem::file_size(m_settings.fileName), kFourColumnRecord);
}

TEST_F(LoggerTest, NoActiveChannelStartsNothing) {
    Make(1, "kt_tds210.ini");
    EXPECT_FALSE(m_logger->Start(10));
    EXPECT_EQ(Shown(), std::vector<int>{21});
    EXPECT_FALSE(std::filesystem::exists(m_settings.fileName));
}

TEST(LoggerRules, IntervalTexts) {
    struct Case {
        int hours;
        int minutes;
        const char* seconds;
        std::optional<std::int32_t> ms;
        const char* correctedText;
    };
    const Case cases[] = {
        {0, 0, "0.7", 700, "0.7"},          {1, 2, "3.5", 3'723'500, "3.5"},
        {0, 0, "59.9", 59'900, "59.9"},     {0, 0, "75", std::nullopt, "59.9"},
        {0, 0, "abc", std::nullopt, "abc"}, {0, 0, "-1", std::nullopt, "-1"},
    };
    for (const Case& c : cases) {
        test::RecordingNotifier notes;
        std::string text = c.seconds;
        EXPECT_EQ(ReadInterval(c.hours, c.minutes, text, notes), c.ms) << c.seconds;
        EXPECT_EQ(text, c.correctedText);
        EXPECT_EQ(notes.shown.size(), c.ms ? 0u : 1u);
    }
    // A timing test of 734 ms is shown as 0.7 s and stored as what is shown.
    EXPECT_EQ(ShowInterval(734).seconds, "   0.7");
    EXPECT_EQ(ShownInterval(734), 700);
    EXPECT_EQ(ShownInterval(3'723'560), 3'723'600);
}

TEST(LoggerRules, HandheldStatusAndReadings) {
    const std::string base = "h00000000000000000000000000000000001";
    ASSERT_EQ(base.size(), 36u);
    struct Case {
        std::string answer;
        std::optional<int> nibble;
    };
    const auto with = [&](char c) {
        std::string s = base;
        s[27] = c;
        return s;
    };
    const Case cases[] = {{with('7'), 7},
                          {with('F'), 15},
                          {with('d'), 13},
                          {with('G'), std::nullopt},
                          {base.substr(1), std::nullopt},
                          {base + "0", std::nullopt}};
    for (const Case& c : cases) {
        EXPECT_EQ(HandheldStatusNibble(c.answer), c.nibble) << c.answer;
    }
    EXPECT_EQ(HandheldReading("M0;1.234E+00"), 1.234);
    EXPECT_EQ(HandheldReading("U0;-5e-3"), -0.005);
    EXPECT_EQ(HandheldReading("M0;"), std::nullopt);
    EXPECT_EQ(HandheldReading("1.0"), std::nullopt);
}

TEST(LoggerRules, ChannelChoicesOfTheMultimeterFamilies) {
    LoggerChoices type9;
    type9.deviceType = 9;
    type9.measures = {"FREQ", "MEAN", "ACV", "OHMS"};
    type9.scopeMeasures = 2;
    type9.sources = {"CH1", "CH2", "DMM"};
    struct Case {
        const char* name;
        int channel;
        ChannelChoice choice;
        ChannelChoice corrected;
        std::vector<int> messages;
    };
    const Case cases[] = {
        {"dmm with a multimeter function", 0, {3, 2, true}, {3, 2, true}, {}},
        {"second dmm channel", 1, {2, 2, true}, {0, 0, true}, {10018}},
        {"scope source with a multimeter function", 3, {3, 1, true}, {0, 1, true}, {10019}},
    };
    LoggerSettings settings;
    for (const Case& c : cases) {
        test::RecordingNotifier notes;
        const ChannelChoice got = ApplyChannelChoice(settings, c.channel, c.choice, type9, notes);
        std::vector<int> ids;
        for (const auto& s : notes.shown) {
            ids.push_back(s.stringId);
        }
        EXPECT_EQ(got.measure, c.corrected.measure) << c.name;
        EXPECT_EQ(got.source, c.corrected.source) << c.name;
        EXPECT_EQ(ids, c.messages) << c.name;
    }
    EXPECT_TRUE(settings.useDmm[0]);
    EXPECT_EQ(settings.measurement[0], "OHMS");
    EXPECT_FALSE(settings.useDmm[1]);
    EXPECT_EQ(settings.measurement[3], "FREQ");
    // With the multimeter free, a scope measurement on it becomes the first function.
    settings.useDmm[0] = false;
    test::RecordingNotifier notes;
    const ChannelChoice got = ApplyChannelChoice(settings, 2, {1, 2, true}, type9, notes);
    EXPECT_EQ(got.measure, 2);
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0].stringId, 10019);

    LoggerChoices handheld;
    handheld.deviceType = 20;
    handheld.measures = {"FREQ", "Spannung DC", "Widerstand", "Sonder"};
    handheld.scopeMeasures = 1;
    handheld.functionCodes = {"01", "05", "12"};
    handheld.unitPairs = {"V;HZ", "OHM;", "DB"};
    const struct {
        int measure;
        UnitStrings units;
        std::array<bool, 4> active;
    } pairs[] = {{1, {"V", "HZ", "#", "#"}, {true, true, false, false}},
                 {2, {"OHM", "#", "#", "#"}, {true, false, false, false}},
                 {3, {"", "DB", "#", "#"}, {true, true, false, false}}};
    for (const auto& p : pairs) {
        LoggerSettings s;
        s.active = {true, true, true, true};
        ApplyChannelChoice(s, 2, {p.measure, 0, true}, handheld, notes);
        EXPECT_EQ(s.units, p.units) << p.measure;
        EXPECT_EQ(s.active, p.active) << p.measure;
        EXPECT_EQ(s.measurement[0],
                  handheld.functionCodes[static_cast<std::size_t>(p.measure - 1)]);
    }
}

}  // namespace
}  // namespace ktx
